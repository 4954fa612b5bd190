#pragma once

#include <cstdint>
#include <string_view>

namespace corvaline {

// The trace hook every service calls with a ready-formatted line. It records nothing unless
// diagnostics are switched on (CORVALINE_TRACE=1 at start, or setEnabled), and then writes
// each line to stderr. Off, a call costs one atomic load. Any thread.
class DebugTracer {
  public:
    static void initTrace(std::string_view text, int32_t number);
    static void addLogItem(std::string_view text, int32_t number);
    static void finishTrace(std::string_view text, int32_t number);

    static bool isEnabled();
    static void setEnabled(bool enabled);
    // True when the value of CORVALINE_TRACE asks for diagnostics.
    static bool requestedBy(const char* environmentValue);
};

}  // namespace corvaline
