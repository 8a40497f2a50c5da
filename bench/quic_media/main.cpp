// Call media over the networked session on 127.0.0.1: one sender, 1, 2 and 4
// receivers, 30 frames/s of 60 KiB (camera) plus 50 packets/s of 120 bytes
// (microphone) for a fixed time. The same bytes, framed the same way, then go
// over plain TCP on loopback as the baseline for CPU. Prints one JSON line;
// the top-level figures are the 4-receiver case.
//
// Usage: quic_media [seconds per case, default 10]
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/media_network.hpp"
#include "wire_frame/reader.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using chat::media::MediaKind;
using chat::media::MediaPacket;

constexpr std::size_t kFrameBytes = 60 * 1024;
constexpr std::size_t kAudioBytes = 120;

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Payloads carry their send time in the first 8 bytes.
std::vector<std::uint8_t> stamped(std::size_t size) {
  std::vector<std::uint8_t> p(size, 0x5a);
  const std::int64_t t = now_ns();
  std::memcpy(p.data(), &t, sizeof t);
  return p;
}

std::int64_t stamp_of(const std::uint8_t* payload) {
  std::int64_t t;
  std::memcpy(&t, payload, sizeof t);
  return t;
}

struct Latencies {
  std::mutex mu;
  std::vector<double> ms;
  void add(std::int64_t sent_ns) {
    const double v = static_cast<double>(now_ns() - sent_ns) / 1e6;
    std::lock_guard lock(mu);
    ms.push_back(v);
  }
};

struct Figures {
  int receivers = 0;
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  double p50 = 0, p99 = 0, cpu = 0;
};

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

// Drives the sender at 30 camera frames and 50 audio packets per second.
template <typename Send>
std::uint64_t pace(std::chrono::seconds duration, Send send) {
  const auto start = Clock::now();
  const auto end = start + duration;
  auto next_video = start, next_audio = start;
  std::uint64_t sent = 0;
  while (true) {
    const auto next = std::min(next_video, next_audio);
    if (next >= end) break;
    std::this_thread::sleep_until(next);
    if (next_video <= next_audio) {
      send(MediaKind::Camera, stamped(kFrameBytes));
      next_video += std::chrono::microseconds(1'000'000 / 30);
    } else {
      send(MediaKind::Microphone, stamped(kAudioBytes));
      next_audio += std::chrono::microseconds(1'000'000 / 50);
    }
    ++sent;
  }
  return sent;
}

Figures run_quic(int receivers, std::chrono::seconds duration) {
  quic::EndpointOptions opts;
  opts.bind = {asio::ip::address_v4::loopback(), 0};
  auto sender = chat::media::NetworkedTransport::start(opts);
  if (!sender) {
    std::fprintf(stderr, "sender: %s\n", sender.error().c_str());
    std::exit(1);
  }
  std::vector<std::unique_ptr<chat::media::NetworkedTransport>> rx;
  for (int i = 0; i < receivers; ++i) {
    auto t = chat::media::NetworkedTransport::start(opts);
    if (!t) std::exit(1);
    (*sender)->connect(*(*t)->ticket());
    rx.push_back(std::move(t).value());
  }
  Latencies lat;
  std::atomic<std::uint64_t> received{0};
  std::atomic<bool> stop{false};
  // Each receiver polls like a frame cycle would, every millisecond.
  std::vector<std::thread> pollers;
  for (auto& t : rx)
    pollers.emplace_back([&, tr = t.get()] {
      while (!stop) {
        for (const auto& p : tr->drain()) {
          lat.add(stamp_of(p.payload.data()));
          ++received;
        }
        std::this_thread::sleep_for(1ms);
      }
    });
  // Let every connection come up before measuring.
  std::uint64_t seq = 0;
  auto send = [&](MediaKind kind, std::vector<std::uint8_t> payload) {
    MediaPacket p;
    p.kind = kind;
    p.seq = seq++;
    p.sender = "u_bench";
    p.payload = std::move(payload);
    (*sender)->send(p);
  };
  for (int i = 0; i < 20; ++i) {
    send(MediaKind::Microphone, stamped(kAudioBytes));
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(200ms);
  {
    std::lock_guard lock(lat.mu);
    lat.ms.clear();
  }
  received = 0;
  const double cpu0 = cpu_seconds();
  Figures f;
  f.receivers = receivers;
  f.sent = pace(duration, send);
  std::this_thread::sleep_for(500ms);  // the last packets in flight
  f.cpu = cpu_seconds() - cpu0;
  stop = true;
  for (auto& t : pollers) t.join();
  f.received = received;
  f.p50 = percentile(lat.ms, 0.5);
  f.p99 = percentile(lat.ms, 0.99);
  return f;
}

bool read_all(int fd, std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t r = recv(fd, p, n, 0);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

Figures run_tcp(int receivers, std::chrono::seconds duration) {
  const int lfd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(lfd, 16) != 0 ||
      getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("tcp listen");
    std::exit(1);
  }
  std::vector<int> out, in;
  const int one = 1;
  for (int i = 0; i < receivers; ++i) {
    const int c = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) std::exit(1);
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out.push_back(c);
    in.push_back(accept(lfd, nullptr, nullptr));
  }
  Latencies lat;
  std::atomic<std::uint64_t> received{0};
  std::vector<std::thread> readers;
  for (int fd : in)
    readers.emplace_back([&, fd] {
      std::array<std::uint8_t, 4> prefix;
      std::vector<std::uint8_t> body;
      while (read_all(fd, prefix.data(), 4)) {
        body.resize(wire_frame::decode_prefix(prefix, false));
        if (!read_all(fd, body.data(), body.size())) break;
        const auto p = chat::media::decode_packet(body);
        if (!p) continue;
        lat.add(stamp_of(p->payload.data()));
        ++received;
      }
    });
  std::uint64_t seq = 0;
  const double cpu0 = cpu_seconds();
  Figures f;
  f.receivers = receivers;
  f.sent = pace(duration, [&](MediaKind kind, std::vector<std::uint8_t> payload) {
    MediaPacket p;
    p.kind = kind;
    p.seq = seq++;
    p.sender = "u_bench";
    p.payload = std::move(payload);
    const auto bytes = *chat::media::encode_packet(p);
    const auto prefix = wire_frame::encode_prefix(static_cast<std::uint32_t>(bytes.size()), false);
    // A copy per receiver, as the media session makes.
    for (int fd : out) {
      const std::vector<std::uint8_t> copy = bytes;
      write_all(fd, prefix.data(), prefix.size());
      write_all(fd, copy.data(), copy.size());
    }
  });
  std::this_thread::sleep_for(500ms);
  f.cpu = cpu_seconds() - cpu0;
  for (int fd : out) close(fd);
  for (auto& t : readers) t.join();
  for (int fd : in) close(fd);
  close(lfd);
  f.received = received;
  f.p50 = percentile(lat.ms, 0.5);
  f.p99 = percentile(lat.ms, 0.99);
  return f;
}

double delivered(const Figures& f) {
  return f.sent == 0 ? 0
                     : static_cast<double>(f.received) / static_cast<double>(f.sent * f.receivers);
}

}  // namespace

int main(int argc, char** argv) {
  const std::chrono::seconds duration(argc > 1 ? std::max(1, std::atoi(argv[1])) : 10);
  std::vector<Figures> cases;
  for (int n : {1, 2, 4}) cases.push_back(run_quic(n, duration));
  const Figures tcp = run_tcp(4, duration);
  const Figures& four = cases.back();
  std::string detail;
  for (const auto& c : cases) {
    char buf[256];
    std::snprintf(
        buf, sizeof buf,
        "%s{\"receivers\":%d,\"delivered\":%.4f,\"latency_ms_p50\":%.3f,\"latency_ms_p99\":%.3f,"
        "\"cpu_s\":%.3f}",
        detail.empty() ? "" : ",", c.receivers, delivered(c), c.p50, c.p99, c.cpu);
    detail += buf;
  }
  std::printf(
      "{\"delivered\":%.4f,\"latency_ms_p50\":%.3f,\"latency_ms_p99\":%.3f,\"cpu_s\":%.3f,\"tcp_"
      "cpu_s\":%.3f,"
      "\"cpu_ratio_to_tcp\":%.3f,\"tcp_delivered\":%.4f,\"tcp_latency_ms_p99\":%.3f,\"seconds\":%d,"
      "\"cases\":[%s]}\n",
      delivered(four), four.p50, four.p99, four.cpu, tcp.cpu, tcp.cpu > 0 ? four.cpu / tcp.cpu : 0,
      delivered(tcp), tcp.p99, static_cast<int>(duration.count()), detail.c_str());
  return 0;
}
