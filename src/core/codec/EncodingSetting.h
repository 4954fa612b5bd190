#pragma once

namespace corvaline {

// Where the 8-bit text encoding of packets is kept between runs (the user default
// "encoding"). Called on the main thread only.
class EncodingSetting {
  public:
    virtual ~EncodingSetting() = default;
    virtual long long read() const = 0;
    virtual void write(long long encoding) = 0;
};

}  // namespace corvaline
