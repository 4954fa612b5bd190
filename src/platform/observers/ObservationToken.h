#pragma once

#include <functional>
#include <utility>

namespace corvaline {

// Keeps one observation alive: destroying the token or calling remove() ends it. Outliving
// the observed object is harmless. Main thread only.
class [[nodiscard]] ObservationToken {
  public:
    ObservationToken() = default;
    explicit ObservationToken(std::function<void()> remover) : remover_(std::move(remover)) {}
    ObservationToken(ObservationToken&& other) noexcept
        : remover_(std::exchange(other.remover_, nullptr)) {}
    ObservationToken& operator=(ObservationToken&& other) noexcept {
        if (this != &other) {
            remove();
            remover_ = std::exchange(other.remover_, nullptr);
        }
        return *this;
    }
    ObservationToken(const ObservationToken&) = delete;
    ObservationToken& operator=(const ObservationToken&) = delete;
    ~ObservationToken() { remove(); }

    void remove() {
        if (auto remover = std::exchange(remover_, nullptr))
            remover();
    }
    explicit operator bool() const { return static_cast<bool>(remover_); }

  private:
    std::function<void()> remover_;
};

}  // namespace corvaline
