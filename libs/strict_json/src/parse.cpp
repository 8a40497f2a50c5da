#include "strict_json/parse.hpp"

#include <fmt/format.h>

#include <string>
#include <utility>
#include <vector>

namespace strict_json {
namespace {

// Builds the tree from parser events, refusing duplicates and deep nesting.
// nlohmann's own DOM builder keeps the last of duplicate members, which would
// let two readers disagree on what a text says.
class StrictBuilder {
 public:
  using number_integer_t = Tree::number_integer_t;
  using number_unsigned_t = Tree::number_unsigned_t;
  using number_float_t = Tree::number_float_t;
  using string_t = Tree::string_t;
  using binary_t = Tree::binary_t;

  StrictBuilder(Tree& root, const Limits& limits) : root_(root), limits_(limits) {}

  const std::string& error() const { return error_; }

  bool null() { return put(nullptr); }
  bool boolean(bool v) { return put(v); }
  bool number_integer(number_integer_t v) { return put(v); }
  bool number_unsigned(number_unsigned_t v) { return put(v); }
  bool number_float(number_float_t v, const string_t&) { return put(v); }
  bool string(string_t& v) { return put(std::move(v)); }
  bool binary(binary_t&) { return fail("binary values are not JSON"); }

  bool start_object(std::size_t) { return open(Tree::object()); }
  bool start_array(std::size_t) { return open(Tree::array()); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }

  bool key(string_t& k) {
    Tree& top = *levels_.back().node;
    if (top.contains(k)) {
      return fail(fmt::format("duplicate member \"{}\" at {}", printable(k, 64), where()));
    }
    levels_.back().key = k;
    slot_ = &top[k];
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    std::string_view what = e.what();
    // Drop the "[json.exception.parse_error.101] " prefix: it means nothing to a user.
    if (auto close = what.find("] "); what.starts_with("[json.exception.") && close != what.npos) {
      what.remove_prefix(close + 2);
    }
    error_ = printable(what, limits_.max_error_bytes);
    return false;
  }

 private:
  struct Level {
    Tree* node;
    std::string key;  // the member being read, when node is an object
  };

  template <typename V>
  Tree* place(V&& v) {
    if (levels_.empty()) {
      root_ = Tree(std::forward<V>(v));
      return &root_;
    }
    Tree& top = *levels_.back().node;
    if (top.is_array()) {
      top.emplace_back(std::forward<V>(v));
      return &top.back();
    }
    *slot_ = Tree(std::forward<V>(v));
    return slot_;
  }

  template <typename V>
  bool put(V&& v) {
    place(std::forward<V>(v));
    return true;
  }

  bool open(Tree&& empty) {
    if (levels_.size() >= limits_.max_depth) {
      return fail(fmt::format("nesting deeper than {} levels", limits_.max_depth));
    }
    Tree* node = place(std::move(empty));
    levels_.push_back(Level{node, {}});
    return true;
  }

  bool close() {
    levels_.pop_back();
    return true;
  }

  std::string where() const {
    std::string path = "$";
    for (const Level& level : levels_) {
      if (level.node->is_array()) {
        path += fmt::format("[{}]", level.node->size() - 1);
      } else if (&level != &levels_.back()) {
        path += "." + printable(level.key, 64);
      }
    }
    return path;
  }

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  Tree& root_;
  const Limits& limits_;
  std::vector<Level> levels_;
  Tree* slot_ = nullptr;
  std::string error_;
};

}  // namespace

namespace {

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0.
std::size_t utf8_sequence(std::string_view s) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(0);
  std::size_t len = c < 0x80                 ? 1
                    : c >= 0xc2 && c <= 0xdf ? 2
                    : c >= 0xe0 && c <= 0xef ? 3
                    : c >= 0xf0 && c <= 0xf4 ? 4
                                             : 0;
  if (len == 0 || len > s.size()) return 0;
  for (std::size_t i = 1; i < len; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return 0;
  }
  // Overlong forms, UTF-16 surrogates and code points above U+10FFFF.
  if (len == 3 && ((c == 0xe0 && byte(1) < 0xa0) || (c == 0xed && byte(1) >= 0xa0))) return 0;
  if (len == 4 && ((c == 0xf0 && byte(1) < 0x90) || (c == 0xf4 && byte(1) >= 0x90))) return 0;
  return len;
}

}  // namespace

std::string printable(std::string_view text, std::size_t max_bytes) {
  std::string out;
  while (!text.empty()) {
    if (out.size() >= max_bytes) {
      out += "...";
      break;
    }
    std::size_t len = utf8_sequence(text);
    auto c = static_cast<unsigned char>(text[0]);
    if (len == 0 || c < 0x20 || c == 0x7f) {
      out += fmt::format("\\x{:02x}", c);
      len = 1;
    } else {
      out.append(text.substr(0, len));
    }
    text.remove_prefix(len);
  }
  return out;
}

base::Result<Tree> parse(std::string_view text, const Limits& limits) {
  Tree root;
  StrictBuilder builder(root, limits);
  bool ok = false;
  try {
    ok = Tree::sax_parse(text.begin(), text.end(), &builder);
  } catch (const std::exception& e) {
    return base::make_error(printable(e.what(), limits.max_error_bytes));
  }
  if (!ok) {
    return base::make_error(builder.error().empty() ? std::string("invalid JSON")
                                                    : builder.error());
  }
  return root;
}

}  // namespace strict_json
