#include "ui/format/IPv4Validator.h"

#include <algorithm>

#include "ui/format/Corrected.h"

namespace corvaline::ui {

QValidator::State IPv4Validator::validate(QString& input, int& position) const {
    takeCorrection(input, position, formatter_.isPartialStringValid(input.toStdString()));
    const auto parts = input.split('.');
    const bool complete =
        parts.size() == 4 && std::none_of(parts.begin(), parts.end(),
                                          [](const QString& part) { return part.isEmpty(); });
    // Anything shorter is completed by fixup when the field is left.
    return complete ? Acceptable : Intermediate;
}

void IPv4Validator::fixup(QString& input) const {
    input = QString::fromStdString(formatter_.getObjectValue(input.toStdString()));
}

}  // namespace corvaline::ui
