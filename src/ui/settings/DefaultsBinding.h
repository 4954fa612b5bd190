#pragma once

#include <string_view>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace corvaline::ui {

// Binds a control to a user default both ways: the control shows the value and follows its
// changes, and every change the user makes is written at once, so that its readers (observing
// the default) take it up immediately. The binding lives as long as the control. GUI thread.
void bindBool(QAbstractButton* box, std::string_view key);
// A check box over an integer default that is 1 when on and 0 when off.
void bindOnOff(QAbstractButton* box, std::string_view key);
void bindInteger(QSpinBox* box, std::string_view key);
// The item whose data equals the value is chosen; choosing one stores its data.
void bindChoice(QComboBox* box, std::string_view key);
// Written when the editing ends (Return or leaving the field).
void bindText(QLineEdit* field, std::string_view key);
// Written as typed; Return starts a new line.
void bindText(QPlainTextEdit* field, std::string_view key);

}  // namespace corvaline::ui
