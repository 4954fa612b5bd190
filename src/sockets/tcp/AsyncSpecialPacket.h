#pragma once

#include "sockets/tcp/TlsSettings.h"

namespace corvaline {

// The TLS barrier: one object that sits in both the read and the write queue, so that every
// read and write queued before it ends in plain text. Used on the socket queue only.
struct AsyncSpecialPacket {
    TlsSettings tlsSettings;
};

}  // namespace corvaline
