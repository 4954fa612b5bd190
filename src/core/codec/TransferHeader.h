#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/codec/Bytes.h"
#include "core/codec/PacketCodec.h"

namespace corvaline {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// The line of one file-transfer header: each key "=" value encrypted as an 8-bit text, in
// base64 and followed by 0x1F; the line ended by CR LF. Nothing only when the cipher library
// fails. Main thread only (the codec's encoding).
std::optional<Bytes> prepareHeader(PacketCodec& codec, const HeaderFields& keysAndValues);

// The fields of a received header line in line order, each key turned into its property name
// ("FROM-USERNAMEDISPLAY" -> "from_usernamedisplay"), up to the first field that does not
// decode to a key, "=" and a value (split at the first "=": keys have none, values may); the
// piece after the last 0x1F always ends it. The target takes the names it has and skips the
// others. Main thread only.
HeaderFields ParseTransferHeader(PacketCodec& codec, ByteView line);

}  // namespace corvaline
