#include "shell/capslock.h"

#include <QGuiApplication>

#include <memory>

#if defined(QK_WITH_XKB_X11)
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#elif defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_MACOS)
#include <ApplicationServices/ApplicationServices.h>
#endif

namespace capslock {

#if defined(QK_WITH_XKB_X11)
namespace {
struct XkbFree
{
    void operator()(xkb_context *c) const { xkb_context_unref(c); }
    void operator()(xkb_keymap *k) const { xkb_keymap_unref(k); }
    void operator()(xkb_state *s) const { xkb_state_unref(s); }
};

// The keymap is read once per connection; only the state is asked for on
// each key, one round trip to the server.
struct Keyboard
{
    xcb_connection_t *connection = nullptr;
    std::int32_t device = -1;
    std::unique_ptr<xkb_context, XkbFree> context;
    std::unique_ptr<xkb_keymap, XkbFree> keymap;
};
} // namespace

std::optional<bool> stateOnX11(xcb_connection_t *connection)
{
    static Keyboard keyboard;
    if (!connection || xcb_connection_has_error(connection))
        return std::nullopt;
    if (keyboard.connection != connection) {
        keyboard = Keyboard();
        keyboard.connection = connection; // a server without XKB is not asked again
        if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                         XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                         nullptr, nullptr, nullptr, nullptr))
            return std::nullopt;
        keyboard.device = xkb_x11_get_core_keyboard_device_id(connection);
        keyboard.context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        if (keyboard.device < 0 || !keyboard.context)
            return std::nullopt;
        keyboard.keymap.reset(xkb_x11_keymap_new_from_device(keyboard.context.get(), connection,
                                                             keyboard.device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    }
    if (!keyboard.keymap)
        return std::nullopt;
    const std::unique_ptr<xkb_state, XkbFree> state(
        xkb_x11_state_new_from_device(keyboard.keymap.get(), connection, keyboard.device));
    if (!state)
        return std::nullopt;
    return xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0;
}

std::optional<bool> state()
{
    if (const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return stateOnX11(x11->connection());
    return std::nullopt;
}
#else
std::optional<bool> stateOnX11(xcb_connection_t *)
{
    return std::nullopt;
}

std::optional<bool> state()
{
#if defined(Q_OS_WIN)
    return (::GetKeyState(VK_CAPITAL) & 1) != 0;
#elif defined(Q_OS_MACOS)
    return (::CGEventSourceFlagsState(kCGEventSourceStateCombinedSessionState) &
            kCGEventFlagMaskAlphaShift) != 0;
#else
    return std::nullopt;
#endif
}
#endif

} // namespace capslock
