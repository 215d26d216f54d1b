// The atoms the X11 backend names: window-manager protocols and properties,
// the selections and their targets, and the backend's own.
#pragma once

#include <X11/Xlib.h>

namespace morvex::platform {

struct X11Atoms {
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    Atom net_wm_name = 0;
    Atom net_wm_icon_name = 0;
    Atom net_wm_icon = 0;
    Atom net_wm_pid = 0;
    Atom net_wm_window_type = 0;
    Atom net_wm_window_type_normal = 0;
    Atom net_wm_window_type_dialog = 0;
    Atom net_wm_state = 0;
    Atom net_wm_state_modal = 0;
    Atom net_active_window = 0;
    Atom motif_wm_hints = 0;
    Atom utf8_string = 0;
    // Selections.
    Atom clipboard = 0;
    Atom targets = 0;
    Atom text = 0;
    Atom timestamp = 0;
    Atom incr = 0;
    // The property other clients put selection data into for us.
    Atom selection_data = 0;
    // The client message the backend sends itself to know that the events
    // before it were handled.
    Atom marker = 0;
};

// Interns them all in one round trip.
X11Atoms intern_x11_atoms(Display* display);

} // namespace morvex::platform
