#include "vesk_ui/i18n.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace vesk_ui {

namespace {

std::string_view trim(std::string_view s) {
  const char* ws = " \t\r\n";
  auto b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view primary(std::string_view lang) {
  return lang.substr(0, lang.find('-'));
}

}  // namespace

EmbeddedCatalog::EmbeddedCatalog(std::string default_language, std::vector<CatalogBundle> bundles,
                                 std::string probe_key)
    : default_language_(std::move(default_language)), probe_key_(std::move(probe_key)) {
  for (auto& b : bundles) {
    Bundle out;
    out.language = b.language;
    std::string_view src = b.source;
    while (!src.empty()) {
      auto nl = src.find('\n');
      std::string_view line = src.substr(0, nl);
      src = nl == std::string_view::npos ? std::string_view{} : src.substr(nl + 1);
      std::string_view t = trim(line);
      if (t.empty() || t.front() == '#') continue;
      auto eq = t.find(" = ");
      std::string_view key =
          eq == std::string_view::npos ? std::string_view{} : trim(t.substr(0, eq));
      if (key.empty()) {
        malformed_.push_back(b.language + ":" + std::string(line));
        continue;
      }
      std::string k(key);
      if (!out.texts.count(k)) out.order.push_back(k);
      out.texts[k] = std::string(trim(t.substr(eq + 3)));
    }
    bundles_.push_back(std::move(out));
  }
}

const EmbeddedCatalog::Bundle* EmbeddedCatalog::find_bundle(std::string_view language) const {
  for (const auto& b : bundles_) {
    if (iequals(b.language, language)) return &b;
  }
  return nullptr;
}

std::optional<std::string_view> EmbeddedCatalog::lookup(std::string_view language,
                                                        std::string_view key) const {
  const Bundle* b = find_bundle(language);
  if (!b) return std::nullopt;
  auto it = b->texts.find(key);
  if (it == b->texts.end()) return std::nullopt;
  return std::string_view(it->second);
}

std::string_view EmbeddedCatalog::t_in(const std::vector<std::string>& languages,
                                       std::string_view key) const {
  for (const auto& lang : languages) {
    if (lang.empty()) continue;
    if (auto v = lookup(lang, key)) return *v;
    // "de-AT" is served by a "de" or "de-DE" bundle before falling back.
    for (const auto& b : bundles_) {
      if (iequals(primary(b.language), primary(lang))) {
        if (auto it = b.texts.find(key); it != b.texts.end()) return it->second;
      }
    }
  }
  if (auto v = lookup(default_language_, key)) return *v;
  return key;
}

std::string_view EmbeddedCatalog::t(std::string_view key) const {
  return t_in(I18nManager::global().languages(), key);
}

std::vector<std::string> EmbeddedCatalog::keys(std::string_view language) const {
  const Bundle* b = find_bundle(language);
  return b ? b->order : std::vector<std::string>{};
}

I18nManager& I18nManager::global() {
  static I18nManager m = [] {
    I18nManager g;
    g.refresh_from_environment();
    return g;
  }();
  return m;
}

void I18nManager::set_languages(std::vector<std::string> languages) {
  if (languages == languages_) return;
  languages_ = std::move(languages);
  ++revision_;
}

std::string I18nManager::normalize(std::string_view locale) {
  auto cut = locale.find_first_of(".@");
  std::string_view base = locale.substr(0, cut);
  if (base.empty() || base == "C" || base == "POSIX") return {};
  std::string out(base);
  std::replace(out.begin(), out.end(), '_', '-');
  return out;
}

std::vector<std::string> I18nManager::languages_from(
    const std::function<const char*(const char*)>& getenv) {
  std::vector<std::string> out;
  for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(var);
    if (!v || !*v) continue;
    std::string_view list = v;
    while (true) {
      auto colon = list.find(':');
      std::string n = normalize(list.substr(0, colon));
      if (!n.empty() && std::find(out.begin(), out.end(), n) == out.end()) out.push_back(n);
      if (colon == std::string_view::npos) break;
      list = list.substr(colon + 1);
    }
    return out;
  }
  return out;
}

void I18nManager::refresh_from_environment() {
  set_languages(languages_from([](const char* name) { return std::getenv(name); }));
}

}  // namespace vesk_ui
