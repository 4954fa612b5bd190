#include "core/codec/Packet.h"

namespace corvaline {

std::string_view Packet::text(std::size_t index) const {
    if (index >= fields_.size()) {
        return {};
    }
    const auto* text = std::get_if<std::string>(&fields_[index]);
    return text != nullptr ? std::string_view(*text) : std::string_view();
}

}  // namespace corvaline
