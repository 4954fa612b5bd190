#include "core/model/entities/Random.h"

#include <random>

namespace corvaline {

std::int64_t uniformRandomBelow(std::int64_t bound) {
    static std::mt19937_64 generator{std::random_device{}()};
    return std::uniform_int_distribution<std::int64_t>(0, bound - 1)(generator);
}

}  // namespace corvaline
