#pragma once

#include <QString>
#include <string_view>
#include <vector>

#include "core/model/store/Value.h"

class QTextDocument;

namespace corvaline {
class User;
}  // namespace corvaline

namespace corvaline::ui {

// The two texts of the user-information window: one line per known attribute, a bold label,
// a colon and the value. GUI thread.
struct UserInfoText {
    enum class Tab { Personal, System };
    struct Line {
        QString label;
        QString value;
        bool operator==(const Line&) const = default;
    };

    // Every attribute the tab reads, in display order (those without a line of their own
    // included), so that a change of any of them redraws the tab.
    static std::vector<std::string_view> keys(Tab tab);
    // The lines the user's attributes give at `now`: "*" and empty values leave no line.
    static std::vector<Line> lines(const User& user, Tab tab, Date now);
    // Replaces the document's text by the lines, separated by single line breaks.
    static void write(QTextDocument& document, const std::vector<Line>& lines);
};

}  // namespace corvaline::ui
