#pragma once

#include <memory>
#include <string>

namespace corvaline {

// Locale-aware decimal numbers with grouping, at most a given number of fraction digits.
// One owner, one thread at a time.
class DecimalFormat {
  public:
    // An empty locale name means the process's default locale (from the environment).
    explicit DecimalFormat(const std::string& locale = {}, int maximumFractionDigits = 2);
    ~DecimalFormat();
    DecimalFormat(DecimalFormat&&) noexcept;
    DecimalFormat& operator=(DecimalFormat&&) noexcept;

    std::string format(double value, int minimumFractionDigits);

  private:
    struct Formatter;
    std::unique_ptr<Formatter> formatter_;
};

}  // namespace corvaline
