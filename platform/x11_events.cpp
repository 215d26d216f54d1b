#include "platform/x11_events.h"

#include "platform/x11_error_trap.h"
#include "platform/x11_input_method.h"
#include "platform/x11_keys.h"

#include <X11/Xutil.h>

namespace morvex::platform {

namespace {

constexpr int WheelNotch = 120;

bool focus_change_counts(const XFocusChangeEvent& event) {
    // Grabs (a window manager's task switcher, a menu) and changes among a
    // window's descendants do not move the focus between top-level windows.
    if (event.mode == NotifyGrab || event.mode == NotifyUngrab)
        return false;
    // With the focus at PointerRoot, the pointer crossing a window sends it
    // focus changes of detail NotifyPointer: the pointer, not the user's
    // choice of window, moved them.
    return event.detail != NotifyInferior && event.detail != NotifyVirtual &&
           event.detail != NotifyNonlinearVirtual && event.detail != NotifyPointer;
}

} // namespace

X11EventTranslator::X11EventTranslator(Display* display, const X11Atoms& atoms, X11WindowLookup& windows,
                                       InputSink& input, X11InputMethod* input_method)
    : m_display(display), m_atoms(atoms), m_windows(windows), m_input(input), m_input_method(input_method) {}

void X11EventTranslator::handle(XEvent& event) {
    const bool key_event = event.type == KeyPress || event.type == KeyRelease;
    // The input method may rewrite the event it takes, so the key is noted first.
    const unsigned int keycode = key_event ? event.xkey.keycode : 0;
    if (key_event)
        m_windows.input_time(event.xkey.time);
    else if (event.type == ButtonPress || event.type == ButtonRelease)
        m_windows.input_time(event.xbutton.time);
    // Every event goes past the input method first: it takes the keys it
    // composes with and, when it is a server, its own messages.
    if (XFilterEvent(&event, None)) {
        if (event.type == KeyPress && keycode != 0)
            m_consumed_keys.insert(keycode);
        return;
    }
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        return;
    }
    if (event.type == DestroyNotify) {
        m_reparented.erase(event.xdestroywindow.window);
        return;
    }
    if (m_windows.handle_own_event(event))
        return;
    const WindowHandle window = m_windows.handle_of(event.xany.window);
    if (window == 0)
        return;
    switch (event.type) {
    case KeyPress:
    case KeyRelease:
        key(event.xkey, event.type == KeyPress);
        break;
    case ButtonPress:
    case ButtonRelease:
        button(event.xbutton, window, event.type == ButtonPress);
        break;
    case MotionNotify:
        motion(event.xmotion, window);
        break;
    case LeaveNotify:
        if (event.xcrossing.mode == NotifyNormal)
            m_input.mouse_left(window);
        break;
    case Expose:
        m_input.expose(window, Rect::FromSize(event.xexpose.x, event.xexpose.y, event.xexpose.width,
                                              event.xexpose.height));
        break;
    case ConfigureNotify:
        configure(event.xconfigure, window);
        break;
    case ReparentNotify:
        m_reparented[event.xreparent.window] = event.xreparent.parent != DefaultRootWindow(m_display);
        break;
    case FocusIn:
    case FocusOut:
        focus(event.xfocus, window, event.type == FocusIn);
        break;
    case MapNotify:
    case UnmapNotify:
        m_windows.mapped(window, event.type == MapNotify);
        break;
    case ClientMessage:
        if (event.xclient.message_type == m_atoms.wm_protocols && event.xclient.format == 32 &&
            static_cast<Atom>(event.xclient.data.l[0]) == m_atoms.wm_delete_window)
            m_input.close_request(window);
        break;
    default:
        break;
    }
}

void X11EventTranslator::key(XKeyEvent& event, bool down) {
    // A key the input method took on its press (a dead key, the keys of a
    // compose sequence) gives no release either.
    if (!down && !m_held_keys.contains(event.keycode) && m_consumed_keys.erase(event.keycode) > 0)
        return;
    KeySym translated = NoSymbol;
    char ignored[8];
    XLookupString(&event, ignored, sizeof ignored, &translated, nullptr);

    uint32_t virtual_key = 0;
    const auto held = m_held_keys.find(event.keycode);
    if (!down && held != m_held_keys.end()) {
        virtual_key = held->second;
        m_held_keys.erase(held);
    } else if (event.keycode != 0) {
        // Key code 0 is the input method's: the result of a composition,
        // which is text without a key.
        const KeyStroke stroke{XLookupKeysym(&event, 0), XLookupKeysym(&event, 1), translated};
        virtual_key = virtual_key_of(stroke);
        if (down && virtual_key != 0)
            m_held_keys[event.keycode] = virtual_key;
    }
    if (virtual_key != 0)
        m_input.key(virtual_key, down);
    if (!down)
        return;
    m_consumed_keys.erase(event.keycode);
    KeyModifiers modifiers = KeyModifiers::NoModifier;
    if (event.state & ControlMask)
        modifiers = modifiers | KeyModifiers::Control;
    if (event.state & Mod1Mask)
        modifiers = modifiers | KeyModifiers::Alt;
    if (m_input_method) {
        if (const auto text = m_input_method->lookup(event)) {
            const KeySym keysym = event.keycode != 0 ? translated : NoSymbol;
            for (char character : characters_of_lookup(*text, keysym, modifiers))
                m_input.character(static_cast<uint8_t>(character));
            return;
        }
    }
    if (const auto character = character_of_key(translated, modifiers))
        m_input.character(*character);
}

void X11EventTranslator::focus(const XFocusChangeEvent& event, WindowHandle window, bool focused) {
    if (!focus_change_counts(event))
        return;
    if (m_input_method)
        m_input_method->set_focus(event.window, focused);
    if (!focused)
        release_held_keys();
    if (m_windows.take_focus(window, focused, event.serial))
        m_input.top_level_activated(window, focused);
}

void X11EventTranslator::release_held_keys() {
    for (const auto& [keycode, virtual_key] : m_held_keys)
        m_input.key(virtual_key, false);
    m_held_keys.clear();
}

void X11EventTranslator::button(const XButtonEvent& event, WindowHandle window, bool down) {
    const Point point{event.x, event.y};
    switch (event.button) {
    case Button1:
        m_input.mouse_button(window, point, MouseButton::Left, down);
        break;
    case Button2:
        m_input.mouse_button(window, point, MouseButton::Middle, down);
        break;
    case Button3:
        m_input.mouse_button(window, point, MouseButton::Right, down);
        break;
    case Button4:
    case Button5:
        // A wheel notch is a press and a release; the press counts.
        if (down)
            m_input.mouse_wheel(window, point, event.button == Button4 ? WheelNotch : -WheelNotch);
        break;
    default:
        break; // horizontal scrolling and extra buttons have no message here
    }
}

void X11EventTranslator::motion(const XMotionEvent& event, WindowHandle window) {
    // Only the latest of a run of queued moves in the same window matters.
    if (XEventsQueued(m_display, QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(m_display, &next);
        if (next.type == MotionNotify && next.xmotion.window == event.window &&
            next.xmotion.state == event.state)
            return;
    }
    m_input.mouse_move(window, Point{event.x, event.y});
}

void X11EventTranslator::configure(const XConfigureEvent& event, WindowHandle window) {
    int x = event.x;
    int y = event.y;
    // A real event gives the position within the parent, which under a
    // reparenting window manager is its frame; one the window manager sends
    // gives root coordinates already, as does a real one while the parent is
    // the root window.
    const auto reparented = m_reparented.find(event.window);
    if (!event.send_event && reparented != m_reparented.end() && reparented->second) {
        ::Window child = 0;
        bool translated = false;
        const int error = x11_request_error(m_display, [&] {
            translated = XTranslateCoordinates(m_display, event.window, DefaultRootWindow(m_display), 0, 0,
                                               &x, &y, &child) != False;
        });
        if (error != 0 || !translated)
            return; // the window is gone
    }
    const Rect screen_rect = Rect::FromSize(x, y, event.width, event.height);
    if (m_windows.take_geometry(window, screen_rect, event.serial))
        m_input.top_level_moved(window, screen_rect);
}

} // namespace morvex::platform
