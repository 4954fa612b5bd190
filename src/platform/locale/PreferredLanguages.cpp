#include "platform/locale/PreferredLanguages.h"

namespace corvaline {

std::string languageTagFromLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    std::string_view modifier;
    if (const size_t at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at + 1);
        locale = locale.substr(0, at);
    }
    locale = locale.substr(0, locale.find('.'));
    std::string_view territory;
    if (const size_t underscore = locale.find('_'); underscore != std::string_view::npos) {
        territory = locale.substr(underscore + 1);
        locale = locale.substr(0, underscore);
    }
    if (locale.empty() || locale == "C" || locale == "POSIX")
        return {};

    std::string tag(locale);
    // The script sits between language and region; other modifiers (such as "euro") name no
    // script and are dropped.
    if (modifier == "latin")
        tag += "-Latn";
    if (!territory.empty())
        tag += "-" + std::string(territory);
    return tag;
}

std::vector<std::string> preferredLanguages(const EnvironmentLookup& env) {
    std::vector<std::string> languages;
    if (auto list = env("LANGUAGE")) {
        const std::string_view text = *list;
        for (size_t start = 0;;) {
            const size_t colon = text.find(':', start);
            if (auto tag = languageTagFromLocale(text.substr(start, colon - start)); !tag.empty()) {
                languages.push_back(std::move(tag));
            }
            if (colon == std::string_view::npos)
                break;
            start = colon + 1;
        }
        if (!languages.empty())
            return languages;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        auto value = env(variable);
        if (!value || value->empty())
            continue;
        if (auto tag = languageTagFromLocale(*value); !tag.empty())
            languages.push_back(tag);
        break;
    }
    return languages;
}

}  // namespace corvaline
