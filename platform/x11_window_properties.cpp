#include "platform/x11_window_properties.h"

#include "platform/charset.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <string>
#include <unistd.h>

namespace morvex::platform {

namespace {

void set_property(Display* display, ::Window window, Atom property, Atom type, int format, const void* data,
                  std::size_t items) {
    XChangeProperty(display, window, property, type, format, PropModeReplace,
                    static_cast<const unsigned char*>(data), static_cast<int>(items));
}

// Latin-1 with '?' for what it lacks: the last resort when Xlib cannot
// encode the text.
std::string latin1_of_utf8(std::string_view text) {
    std::string result;
    for (char32_t point : utf8_code_points(text))
        result += point <= 0xFF && (point < 0x80 || point >= 0xA0) ? static_cast<char>(point) : '?';
    return result;
}

} // namespace

void set_x11_caption(Display* display, ::Window window, const X11Atoms& atoms, std::string_view caption) {
    for (Atom property : {atoms.net_wm_name, atoms.net_wm_icon_name})
        set_property(display, window, property, atoms.utf8_string, 8, caption.data(), caption.size());

    std::string text(caption);
    char* list[] = {text.data()};
    XTextProperty encoded{};
    // Xlib's converters between UTF-8 and compound text do not depend on the locale.
    if (Xutf8TextListToTextProperty(display, list, 1, XStdICCTextStyle, &encoded) >= 0) {
        XSetWMName(display, window, &encoded);
        XSetWMIconName(display, window, &encoded);
        XFree(encoded.value);
        return;
    }
    const std::string latin1 = latin1_of_utf8(caption);
    for (Atom property : {Atom(XA_WM_NAME), Atom(XA_WM_ICON_NAME)})
        set_property(display, window, property, XA_STRING, 8, latin1.data(), latin1.size());
}

void set_x11_identity(Display* display, ::Window window, const X11Atoms& atoms,
                      const ApplicationClass& identity) {
    std::string name = identity.name;
    std::string class_name = identity.class_name;
    XClassHint class_hint{name.data(), class_name.data()};
    XSetClassHint(display, window, &class_hint);
    const long pid = getpid();
    set_property(display, window, atoms.net_wm_pid, XA_CARDINAL, 32, &pid, 1);
    const Atom type = atoms.net_wm_window_type_normal;
    set_property(display, window, atoms.net_wm_window_type, XA_ATOM, 32, &type, 1);
    // The window engine draws its own caption and border: a window manager
    // is asked for none of its own (flags: decorations given; decorations: none).
    const long motif_hints[5] = {2, 0, 0, 0, 0};
    set_property(display, window, atoms.motif_wm_hints, atoms.motif_wm_hints, 32, motif_hints, 5);
}

std::vector<long> net_wm_icon_items(std::span<const IconImage> images) {
    std::vector<long> items;
    for (const IconImage& image : images) {
        if (!image.valid())
            continue;
        items.push_back(image.width);
        items.push_back(image.height);
        items.insert(items.end(), image.pixels.begin(), image.pixels.end());
    }
    return items;
}

void set_x11_icon(Display* display, ::Window window, const X11Atoms& atoms,
                  std::span<const IconImage> images) {
    const std::vector<long> items = net_wm_icon_items(images);
    if (items.empty())
        XDeleteProperty(display, window, atoms.net_wm_icon);
    else
        set_property(display, window, atoms.net_wm_icon, XA_CARDINAL, 32, items.data(), items.size());
}

void set_x11_dialog(Display* display, ::Window window, const X11Atoms& atoms, ::Window owner) {
    const Atom type = atoms.net_wm_window_type_dialog;
    set_property(display, window, atoms.net_wm_window_type, XA_ATOM, 32, &type, 1);
    if (owner == 0)
        return;
    XSetTransientForHint(display, window, owner);
    const Atom state = atoms.net_wm_state_modal;
    set_property(display, window, atoms.net_wm_state, XA_ATOM, 32, &state, 1);
}

} // namespace morvex::platform
