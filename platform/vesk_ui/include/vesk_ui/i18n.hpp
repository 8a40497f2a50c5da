#pragma once
// Localisation: catalogs embedded in the program as "key = text" sources, and
// the process's current language.
//
// Source format, one entry a line: "key = text". Lines starting with "#" are
// comments, blank lines separate groups; the key and the text are trimmed of
// surrounding white space. Lines without " = " are ignored.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk_ui {

struct CatalogBundle {
  std::string language;  // such as "en-US"
  std::string source;
};

class EmbeddedCatalog {
 public:
  EmbeddedCatalog(std::string default_language, std::vector<CatalogBundle> bundles,
                  std::string probe_key = {});

  // The text of `key` in the process's current languages (I18nManager),
  // falling back to the default language; a key missing from every bundle
  // answers itself, so the gap shows on screen instead of an empty label.
  std::string_view t(std::string_view key) const;
  // The same for an explicit preference list.
  std::string_view t_in(const std::vector<std::string>& languages, std::string_view key) const;
  // Exactly one bundle's text, if it has the key.
  std::optional<std::string_view> lookup(std::string_view language, std::string_view key) const;

  const std::string& default_language() const { return default_language_; }
  const std::string& probe_key() const { return probe_key_; }
  // Keys of one bundle in source order.
  std::vector<std::string> keys(std::string_view language) const;
  // Lines that were neither comments, blank nor entries, as "language:line".
  const std::vector<std::string>& malformed_lines() const { return malformed_; }

 private:
  struct Bundle {
    std::string language;
    std::vector<std::string> order;
    std::map<std::string, std::string, std::less<>> texts;
  };
  const Bundle* find_bundle(std::string_view language) const;
  std::string default_language_;
  std::string probe_key_;
  std::vector<Bundle> bundles_;
  std::vector<std::string> malformed_;
};

class I18nManager {
 public:
  static I18nManager& global();

  // Preferred languages, most wanted first ("de-DE", "fr"); empty means the
  // catalogs' defaults.
  const std::vector<std::string>& languages() const { return languages_; }
  // Changes whenever the languages change; caches of measured labels key on it.
  std::uint32_t revision() const { return revision_; }

  void set_languages(std::vector<std::string> languages);
  // Reads LANGUAGE, then LC_ALL, LC_MESSAGES and LANG (the first that is set
  // and not empty wins; "C" and "POSIX" mean no preference).
  void refresh_from_environment();

  // "de_DE.UTF-8@euro" -> "de-DE"; "C" -> "".
  static std::string normalize(std::string_view locale);
  static std::vector<std::string> languages_from(
      const std::function<const char*(const char*)>& getenv);

 private:
  std::vector<std::string> languages_;
  std::uint32_t revision_ = 1;
};

}  // namespace vesk_ui
