#pragma once

#include <string>

namespace corvaline {

// The verdict on a text being typed into a field: whether it may stand as typed, and the
// text the field should show (the typed text itself, or its correction). A plain value: any
// thread that owns it.
struct PartialCheck {
    bool valid = true;
    std::string proposed;
    bool operator==(const PartialCheck&) const = default;
};

}  // namespace corvaline
