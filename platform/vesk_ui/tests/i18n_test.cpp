#include "vesk_ui/i18n.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

using vesk_ui::EmbeddedCatalog;
using vesk_ui::I18nManager;

const char* kEn =
    "# Sample — user-facing strings.\n"
    "\n"
    "# Shown under the name.\n"
    "app-available = Available\n"
    "app-add = ＋ Category\n"
    "  app-spaced   =   padded text  \n"
    "this line is not an entry\n"
    "=orphan\n"
    "app-empty = \n";
const char* kDe = "app-available = Verfügbar\n";

TEST(EmbeddedCatalog, ParsesEntriesCommentsAndKeepsOrder) {
  EmbeddedCatalog cat("en-US", {{"en-US", kEn}, {"de-DE", kDe}}, "app-available");
  EXPECT_EQ(cat.keys("en-US"),
            (std::vector<std::string>{"app-available", "app-add", "app-spaced"}));
  EXPECT_EQ(*cat.lookup("en-US", "app-add"), "＋ Category");
  EXPECT_EQ(*cat.lookup("en-US", "app-spaced"), "padded text");
  EXPECT_FALSE(cat.lookup("en-US", "app-empty").has_value());  // "key =" lacks " = text"
  EXPECT_EQ(cat.malformed_lines().size(), 3u);
  EXPECT_EQ(cat.probe_key(), "app-available");
  EXPECT_EQ(cat.default_language(), "en-US");
}

TEST(EmbeddedCatalog, ResolvesByLanguageWithFallbacks) {
  EmbeddedCatalog cat("en-US", {{"en-US", kEn}, {"de-DE", kDe}});
  struct Case {
    std::vector<std::string> langs;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "app-available", "Available"},
      {{"de-DE"}, "app-available", "Verfügbar"},
      {{"de-de"}, "app-available", "Verfügbar"},  // case-insensitive tags
      {{"de-AT"}, "app-available", "Verfügbar"},  // same primary language
      {{"de"}, "app-available", "Verfügbar"},
      {{"de-DE"}, "app-add", "＋ Category"},               // untranslated: default language
      {{"fr-FR", "de-DE"}, "app-available", "Verfügbar"},  // preference order
      {{"fr-FR"}, "app-available", "Available"},
      {{"en-US"}, "no-such-key", "no-such-key"},  // missing everywhere: the key shows
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cat.t_in(c.langs, c.key), c.expected) << c.key;
  }
}

TEST(I18nManager, LanguagesFromTheEnvironment) {
  struct Case {
    std::map<std::string, std::string> env;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{}, {}},
      {{{"LANG", "de_DE.UTF-8"}}, {"de-DE"}},
      {{{"LANG", "C"}}, {}},
      {{{"LANG", "C.UTF-8"}}, {}},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR"}}, {"fr-FR"}},
      {{{"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "sv_SE"}}, {"sv-SE"}},
      {{{"LANGUAGE", "pt_BR:pt:en"}, {"LANG", "de_DE"}}, {"pt-BR", "pt", "en"}},
      {{{"LANGUAGE", ""}, {"LANG", "nb_NO.UTF-8@euro"}}, {"nb-NO"}},
  };
  for (const auto& c : cases) {
    auto langs = I18nManager::languages_from([&](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(langs, c.expected);
  }
}

TEST(I18nManager, RevisionChangesOnlyWhenTheLanguageDoes) {
  I18nManager m;
  auto r0 = m.revision();
  m.set_languages({"de-DE"});
  auto r1 = m.revision();
  EXPECT_NE(r1, r0);
  m.set_languages({"de-DE"});
  EXPECT_EQ(m.revision(), r1);
  m.set_languages({});
  EXPECT_NE(m.revision(), r1);

  // The process-wide manager drives EmbeddedCatalog::t.
  EmbeddedCatalog cat("en-US", {{"en-US", kEn}, {"de-DE", kDe}});
  auto& g = I18nManager::global();
  auto saved = g.languages();
  g.set_languages({"de-DE"});
  EXPECT_EQ(cat.t("app-available"), "Verfügbar");
  g.set_languages({"ja-JP"});
  EXPECT_EQ(cat.t("app-available"), "Available");
  g.set_languages(saved);
}

}  // namespace
