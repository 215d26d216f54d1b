// What the X11 backend tells the window manager about a top-level window,
// as the ICCCM and EWMH ask: its names, class, icon, type and owner. Each
// function sets the properties on the X window; the caller flushes.
#pragma once

#include "platform/backend.h"
#include "platform/icon_image.h"
#include "platform/x11_atoms.h"

#include <X11/Xlib.h>
#include <span>
#include <string_view>
#include <vector>

namespace morvex::platform {

// The caption as _NET_WM_NAME and _NET_WM_ICON_NAME (UTF-8), and as WM_NAME
// and WM_ICON_NAME for older window managers: STRING when Latin-1 holds the
// text, else COMPOUND_TEXT, so that the euro sign and the other characters
// Windows-1252 has beyond Latin-1 survive there too.
void set_x11_caption(Display* display, ::Window window, const X11Atoms& atoms, std::string_view caption);

// WM_CLASS, _NET_WM_PID, the normal window type and no decorations of the
// window manager's (the engine draws them); set once, at creation.
void set_x11_identity(Display* display, ::Window window, const X11Atoms& atoms,
                      const ApplicationClass& identity);

// _NET_WM_ICON: each image as its width, its height and its pixels
// (0xAARRGGBB), one format-32 item (a C long, as Xlib passes them) each.
std::vector<long> net_wm_icon_items(std::span<const IconImage> images);
// Sets the icon; no images remove it.
void set_x11_icon(Display* display, ::Window window, const X11Atoms& atoms,
                  std::span<const IconImage> images);

// Marks the window as a dialog: _NET_WM_WINDOW_TYPE_DIALOG, and with an
// owner WM_TRANSIENT_FOR it and _NET_WM_STATE_MODAL. Window managers read
// these when the window is mapped, so this comes before.
void set_x11_dialog(Display* display, ::Window window, const X11Atoms& atoms, ::Window owner);

} // namespace morvex::platform
