// Feeds the user-information parser hostile records; whatever it accepts must survive a
// second trip through the writer and the parser unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/codec/UserInfoRecord.h"

using namespace corvaline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view record(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParceUserInfo(record);
    if (parsed && ParceUserInfo(UserInfoPacketFromUser(*parsed)) != parsed) {
        __builtin_trap();
    }
    return 0;
}
