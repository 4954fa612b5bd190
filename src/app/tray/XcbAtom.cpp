#include "app/tray/XcbAtom.h"

#include <cstdint>
#include <cstdlib>

namespace corvaline::app {

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name) {
    auto* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    free(reply);
    return atom;
}

}  // namespace corvaline::app
