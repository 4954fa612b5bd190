#include "platform/locale/PreferredLanguages.h"

#include <gtest/gtest.h>

#include <map>

#include "support/FakeEnvironment.h"

namespace corvaline {
namespace {

TEST(PreferredLanguagesTest, LocaleNamesBecomeLanguageTags) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"de_DE.UTF-8", "de-DE"},
        {"sr_RS@latin", "sr-Latn-RS"},
        {"sr_RS.UTF-8@latin", "sr-Latn-RS"},
        {"de_DE@euro", "de-DE"},
        {"el", "el"},
        {"pt_BR", "pt-BR"},
        {"sr-Latn-RS", "sr-Latn-RS"},
        {"C", ""},
        {"C.UTF-8", ""},
        {"POSIX", ""},
        {"", ""},
    };
    for (const auto& [locale, tag] : cases) {
        EXPECT_EQ(languageTagFromLocale(locale), tag) << locale;
    }
}

TEST(PreferredLanguagesTest, LanguageListFirstThenTheFirstSetLocaleVariable) {
    struct Case {
        std::map<std::string, std::string> env;
        std::vector<std::string> languages;
    };
    const std::vector<Case> cases = {
        {{{"LANGUAGE", "de_DE:en_US:C"}, {"LANG", "fr_FR.UTF-8"}}, {"de-DE", "en-US"}},
        {{{"LANGUAGE", "::sr_RS@latin:"}}, {"sr-Latn-RS"}},
        {{{"LANGUAGE", "C:POSIX"}, {"LANG", "el_GR.UTF-8"}}, {"el-GR"}},
        {{{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LC_MESSAGES", "pl_PL.UTF-8"}, {"LANG", "ru_RU"}},
         {"pl-PL"}},
        {{{"LC_ALL", "tr_TR.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "de_DE"}}, {"tr-TR"}},
        {{{"LC_ALL", "C"}, {"LANG", "de_DE.UTF-8"}}, {}},  // LC_ALL=C overrides LANG
        {{}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(preferredLanguages(testing::fakeEnvironment(c.env)), c.languages)
            << ::testing::PrintToString(c.env);
    }
}

}  // namespace
}  // namespace corvaline
