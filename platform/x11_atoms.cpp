#include "platform/x11_atoms.h"

#include <iterator>

namespace morvex::platform {

X11Atoms intern_x11_atoms(Display* display) {
    X11Atoms atoms;
    struct Name {
        const char* name;
        Atom X11Atoms::*atom;
    };
    static constexpr Name Names[] = {
        {"WM_PROTOCOLS", &X11Atoms::wm_protocols},
        {"WM_DELETE_WINDOW", &X11Atoms::wm_delete_window},
        {"_NET_WM_NAME", &X11Atoms::net_wm_name},
        {"_NET_WM_ICON_NAME", &X11Atoms::net_wm_icon_name},
        {"_NET_WM_ICON", &X11Atoms::net_wm_icon},
        {"_NET_WM_PID", &X11Atoms::net_wm_pid},
        {"_MOTIF_WM_HINTS", &X11Atoms::motif_wm_hints},
        {"_NET_WM_WINDOW_TYPE", &X11Atoms::net_wm_window_type},
        {"_NET_WM_WINDOW_TYPE_NORMAL", &X11Atoms::net_wm_window_type_normal},
        {"_NET_WM_WINDOW_TYPE_DIALOG", &X11Atoms::net_wm_window_type_dialog},
        {"_NET_WM_STATE", &X11Atoms::net_wm_state},
        {"_NET_WM_STATE_MODAL", &X11Atoms::net_wm_state_modal},
        {"_NET_ACTIVE_WINDOW", &X11Atoms::net_active_window},
        {"UTF8_STRING", &X11Atoms::utf8_string},
        {"CLIPBOARD", &X11Atoms::clipboard},
        {"TARGETS", &X11Atoms::targets},
        {"TEXT", &X11Atoms::text},
        {"TIMESTAMP", &X11Atoms::timestamp},
        {"INCR", &X11Atoms::incr},
        {"MORVEX_SELECTION", &X11Atoms::selection_data},
        {"MORVEX_MARKER", &X11Atoms::marker},
    };
    constexpr int Count = static_cast<int>(std::size(Names));
    char* names[Count];
    for (int i = 0; i < Count; ++i)
        names[i] = const_cast<char*>(Names[i].name);
    Atom interned[Count] = {};
    XInternAtoms(display, names, Count, False, interned);
    for (int i = 0; i < Count; ++i)
        atoms.*(Names[i].atom) = interned[i];
    return atoms;
}

} // namespace morvex::platform
