#pragma once

#include <xcb/xcb.h>

#include <string>

namespace corvaline::app {

// The atom of `name` on the connection, made when the server has none yet; XCB_ATOM_NONE when
// the server cannot answer. Any thread that owns the connection.
xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name);

}  // namespace corvaline::app
