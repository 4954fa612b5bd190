#pragma once

#include <QString>

namespace corvaline::ui {

// A name from the network or from the person as the text of a button, check box or menu
// item: every "&" is shown as typed instead of marking the next letter as the Alt shortcut
// ("R&D" stays "R&D"). GUI thread (any thread: a pure function).
inline QString buttonText(QString name) {
    return name.replace(QChar('&'), QStringLiteral("&&"));
}

}  // namespace corvaline::ui
