// Feeds the user-information parser hostile records; whatever it accepts the writer must put
// into a record that parses again, and that record must survive a further trip unchanged (the
// writer cleans separator lookalikes out of values once, so the first trip may change them).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/codec/UserInfoRecord.h"

using namespace corvaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view record(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParceUserInfo(record);
    if (!parsed) {
        return 0;
    }
    const auto written = ParceUserInfo(UserInfoPacketFromUser(*parsed));
    if (!written || ParceUserInfo(UserInfoPacketFromUser(*written)) != written) {
        __builtin_trap();
    }
    return 0;
}
