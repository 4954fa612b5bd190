#pragma once

#include "core/codec/EncodingSetting.h"

namespace corvaline {

// An encoding setting that lives only as long as one fuzzing run.
class FixedEncodingSetting final : public EncodingSetting {
  public:
    explicit FixedEncodingSetting(long long value) : value_(value) {}
    long long read() const override { return value_; }
    void write(long long encoding) override { value_ = encoding; }

  private:
    long long value_;
};

}  // namespace corvaline
