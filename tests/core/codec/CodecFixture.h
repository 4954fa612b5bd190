#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "core/codec/PacketCodec.h"

namespace corvaline::testing {

// The saved encoding held in the test, counting how often the codec saves it.
class MemoryEncodingSetting final : public EncodingSetting {
  public:
    MemoryEncodingSetting(long long& value, int& writes) : value_(value), writes_(writes) {}
    long long read() const override { return value_; }
    void write(long long encoding) override {
        value_ = encoding;
        ++writes_;
    }

  private:
    long long& value_;
    int& writes_;
};

inline Bytes bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

class CodecTest : public ::testing::Test {
  protected:
    long long savedEncoding = 12;
    int encodingWrites = 0;
    PacketCodec codec{std::make_unique<MemoryEncodingSetting>(savedEncoding, encodingWrites)};
};

}  // namespace corvaline::testing
