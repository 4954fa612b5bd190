#pragma once

#include <cstdint>
#include <memory>

#include "sockets/Data.h"

namespace corvaline {

// One queued write: the caller's bytes, held without a copy, and how far they have gone out.
// Used on the socket queue only.
struct AsyncWritePacket {
    std::shared_ptr<const Data> buffer;
    std::uint64_t bytesDone = 0;
    long tag = 0;
    double timeout = -1;       // grows when the delegate extends it
    std::uint64_t serial = 0;  // tells a late time-out answer from one about this write
};

}  // namespace corvaline
