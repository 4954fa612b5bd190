#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/locale/DecimalFormat.h"

namespace corvaline {

// Byte counts as short texts with decimal units ("1,000 bytes", "1.50 MB"), grouped and
// pointed as the locale has it. Main thread only.
class ByteCountFormatter {
  public:
    // The names of bytes, KB, MB and GB as the interface shows them; the larger units are
    // never translated.
    explicit ByteCountFormatter(const std::array<std::string, 4>& unitNames = {"bytes", "KB", "MB",
                                                                               "GB"},
                                const std::string& locale = {});

    std::string stringFromByteCount(std::int64_t count);

  private:
    std::array<std::string, 9> units_;
    DecimalFormat number_;
};

}  // namespace corvaline
