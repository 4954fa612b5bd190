#pragma once

#include "core/codec/Bytes.h"

namespace corvaline::testing {

// Wire bytes around a plaintext of our choosing, the way the writer frames its own.
Bytes wireFromPlain(ByteView plain);
// The plaintext inside wire bytes, padding included.
Bytes plainFromWire(ByteView wire);

}  // namespace corvaline::testing
