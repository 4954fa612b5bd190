// Feeds the relay's packets: messages held for others and handed on, receipts, the clearance
// that tells holders a message arrived, and the announcements that start a delivery round.
#include "support/FuzzCore.h"
#include "support/PacketTypes.h"

using namespace corvaline::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    FuzzCore::shared().deliverAll(input, kRelayTypes);
    return 0;
}
