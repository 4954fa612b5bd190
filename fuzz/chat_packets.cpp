// Feeds the group-chat handlers joins, member lists, messages and leaves for the stored room,
// rooms nobody knows and room ids that are not numbers, mixed with the presence packets that
// bring members on and off line.
#include "support/FuzzCore.h"
#include "support/PacketTypes.h"

using namespace corvaline::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    FuzzCore::shared().deliverAll(input, kChatTypes);
    return 0;
}
