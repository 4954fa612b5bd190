// Feeds the presence service packets whose fields come from the bytes: announcements,
// answers, goodbyes, typing notices and relay clearances, from peers, strangers and the
// local user's own id and session.
#include "support/FuzzCore.h"
#include "support/PacketTypes.h"

using namespace corvaline::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    FuzzCore::shared().deliverAll(input, kPresenceTypes);
    return 0;
}
