#pragma once

#include <QString>
#include <cstdint>

#include "core/format/ByteCountFormatter.h"

namespace corvaline::ui {

// The one byte-count formatter the windows share, with the unit names translated.
// GUI thread.
ByteCountFormatter& SharedByteCountFormatter();

// A byte count as the windows show it ("1.50 MB"). GUI thread.
QString byteCountText(std::int64_t count);

}  // namespace corvaline::ui
