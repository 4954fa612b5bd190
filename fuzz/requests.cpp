// Feeds every request type through the message service's dispatch, the replies' types too
// (a peer may send them unasked), with fields from the bytes; each reply must decode.
#include "support/FuzzCore.h"
#include "support/PacketTypes.h"

using namespace corvaline::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    FuzzCore::shared().deliverAll(input, kRequestTypes);
    return 0;
}
