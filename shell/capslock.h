#pragma once

#include <optional>

struct xcb_connection_t;

// The Caps Lock state. Qt tells keys, not lock states, so the platform is
// asked: the X server through xkbcommon, or the system's own call.
namespace capslock {

// Whether Caps Lock is on; nothing where the platform cannot say (the
// offscreen platform, a Wayland session): the caller then shows nothing.
std::optional<bool> state();

// The same, asked of the X server behind the connection.
std::optional<bool> stateOnX11(xcb_connection_t *connection);

} // namespace capslock
