#pragma once

#include <QString>
#include <algorithm>

#include "core/format/PartialCheck.h"

namespace corvaline::ui {

// Puts a partial check's proposed text into a field's input; the cursor stays as far from
// the end as it was. GUI thread.
inline void takeCorrection(QString& input, int& position, const PartialCheck& check) {
    if (check.valid) {
        return;
    }
    const auto fromEnd = input.size() - position;
    input = QString::fromStdString(check.proposed);
    position = static_cast<int>(std::clamp<qsizetype>(input.size() - fromEnd, 0, input.size()));
}

}  // namespace corvaline::ui
