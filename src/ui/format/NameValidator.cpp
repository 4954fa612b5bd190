#include "ui/format/NameValidator.h"

#include "ui/format/Corrected.h"

namespace corvaline::ui {

NameValidator::NameValidator(bool forUser, QObject* parent)
    : QValidator(parent), formatter_(forUser) {}

void NameValidator::beginEditing(const QString& fieldText) {
    formatter_.textShouldBeginEditing(fieldText.toStdString());
}

QValidator::State NameValidator::validate(QString& input, int& position) const {
    takeCorrection(input, position, formatter_.isPartialStringValid(input.toStdString()));
    // Empty is allowed while typing; leaving the field empty brings the old name back.
    return input.isEmpty() ? Intermediate : Acceptable;
}

void NameValidator::fixup(QString& input) const {
    input = QString::fromStdString(formatter_.getObjectValue(input.toStdString()));
}

}  // namespace corvaline::ui
