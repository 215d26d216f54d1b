#include "platform/x11_test_input.h"

#include "platform/charset.h"
#include "platform/window_messages.h"
#include "platform/x11_backend.h"
#include "platform/x11_keys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace morvex::platform {

struct X11TestInput::State {
    X11Backend& backend;
    Display* display = nullptr;
    std::unordered_map<KeySym, KeyCode> lent; // key codes lent for keysyms the keymap lacked

    // How to make a keysym: a key and whether Shift goes with it.
    struct Stroke {
        KeyCode keycode = 0;
        bool shift = false;
    };

    // Returns once the server has handled our input and the backend has
    // passed on the events it caused.
    void settle() {
        XSync(display, False);
        backend.drain_events();
    }

    std::optional<Stroke> stroke_of(KeySym keysym) {
        if (const auto found = lent.find(keysym); found != lent.end())
            return Stroke{found->second, false};
        if (const KeyCode keycode = XKeysymToKeycode(display, keysym); keycode != 0) {
            // Only the first two levels: the others need modifiers (AltGr)
            // that differ from one layout to the next.
            for (unsigned int level : {0u, 1u}) {
                if (XkbKeycodeToKeysym(display, keycode, 0, static_cast<int>(level)) == keysym)
                    return Stroke{keycode, level == 1};
            }
        }
        const std::optional<KeyCode> spare = lend(keysym);
        if (!spare)
            return std::nullopt;
        return Stroke{*spare, false};
    }

    // Maps a key code that has no symbols to the keysym, on both levels.
    std::optional<KeyCode> lend(KeySym keysym) {
        int first = 0;
        int last = 0;
        XDisplayKeycodes(display, &first, &last);
        int per_code = 0;
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(first), last - first + 1, &per_code);
        if (!map)
            return std::nullopt;
        std::optional<KeyCode> spare;
        for (int code = last; code >= first && !spare; --code) {
            const KeySym* syms =
                map + static_cast<std::size_t>(code - first) * static_cast<std::size_t>(per_code);
            if (std::all_of(syms, syms + per_code, [](KeySym sym) { return sym == NoSymbol; }))
                spare = static_cast<KeyCode>(code);
        }
        XFree(map);
        if (!spare)
            return std::nullopt;
        KeySym both[2] = {keysym, keysym};
        XChangeKeyboardMapping(display, *spare, 2, both, 1);
        // The backend looks keys up in the new keymap once it has seen the
        // change, which comes before any key event made after it.
        XSync(display, False);
        lent[keysym] = *spare;
        return spare;
    }

    void press(const Stroke& stroke, bool down) {
        XTestFakeKeyEvent(display, stroke.keycode, down ? True : False, CurrentTime);
    }
};

std::unique_ptr<X11TestInput> X11TestInput::open(X11Backend& backend) {
    const std::string name = backend.display_name();
    Display* display = name.empty() ? nullptr : XOpenDisplay(name.c_str());
    if (!display) {
        std::fprintf(stderr, "morvex: cannot open the X display \"%s\" for test input\n", name.c_str());
        return nullptr;
    }
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
        std::fprintf(stderr, "morvex: the X display \"%s\" has no XTEST extension\n", name.c_str());
        XCloseDisplay(display);
        return nullptr;
    }
    auto state = std::make_unique<State>(State{backend, display, {}});
    return std::unique_ptr<X11TestInput>(new X11TestInput(std::move(state)));
}

X11TestInput::X11TestInput(std::unique_ptr<State> state) : m_state(std::move(state)) {}

X11TestInput::~X11TestInput() {
    State& state = *m_state;
    for (const auto& [keysym, keycode] : state.lent) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(state.display, keycode, 2, none, 1);
    }
    XSync(state.display, False);
    XCloseDisplay(state.display);
}

bool X11TestInput::move_pointer(WindowHandle top_level, Point point) {
    State& state = *m_state;
    const ::Window window = state.backend.x_window(top_level);
    if (window == 0)
        return false;
    const int screen = DefaultScreen(state.display);
    int x = 0;
    int y = 0;
    ::Window child = 0;
    if (!XTranslateCoordinates(state.display, window, RootWindow(state.display, screen), point.x, point.y, &x,
                               &y, &child))
        return false;
    XTestFakeMotionEvent(state.display, screen, x, y, CurrentTime);
    state.settle();
    return true;
}

void X11TestInput::button(MouseButton button, bool down) {
    const unsigned int number = button == MouseButton::Left ? 1 : button == MouseButton::Middle ? 2 : 3;
    XTestFakeButtonEvent(m_state->display, number, down ? True : False, CurrentTime);
    m_state->settle();
}

bool X11TestInput::click(WindowHandle top_level, Point point, MouseButton button) {
    if (!move_pointer(top_level, point))
        return false;
    this->button(button, true);
    this->button(button, false);
    return true;
}

void X11TestInput::wheel(int notches) {
    const unsigned int number = notches > 0 ? 4 : 5;
    for (int i = 0; i < (notches > 0 ? notches : -notches); ++i) {
        XTestFakeButtonEvent(m_state->display, number, True, CurrentTime);
        XTestFakeButtonEvent(m_state->display, number, False, CurrentTime);
    }
    m_state->settle();
}

bool X11TestInput::key(uint32_t virtual_key, bool down) {
    const KeySymbol keysym = keysym_of_virtual_key(virtual_key);
    const auto stroke = keysym != 0 ? m_state->stroke_of(keysym) : std::nullopt;
    if (!stroke)
        return false;
    // The key itself, whatever its shifted level holds.
    m_state->press(State::Stroke{stroke->keycode, false}, down);
    m_state->settle();
    return true;
}

bool X11TestInput::press_key(uint32_t virtual_key, std::initializer_list<uint32_t> modifiers) {
    std::vector<uint32_t> held;
    bool pressed = true;
    for (uint32_t modifier : modifiers) {
        if (!key(modifier, true)) {
            pressed = false;
            break;
        }
        held.push_back(modifier);
    }
    pressed = pressed && key(virtual_key, true) && key(virtual_key, false);
    for (auto modifier = held.rbegin(); modifier != held.rend(); ++modifier)
        key(*modifier, false);
    return pressed;
}

bool X11TestInput::type_text(std::string_view text) {
    State& state = *m_state;
    const auto shift = state.stroke_of(XK_Shift_L);
    for (char byte : text) {
        const KeySymbol keysym = keysym_of_character(windows1252_code_point(static_cast<uint8_t>(byte)));
        const auto stroke = keysym != 0 ? state.stroke_of(keysym) : std::nullopt;
        if (!stroke || (stroke->shift && !shift)) {
            state.settle();
            return false;
        }
        if (stroke->shift)
            state.press(*shift, true);
        state.press(*stroke, true);
        state.press(*stroke, false);
        if (stroke->shift)
            state.press(*shift, false);
    }
    state.settle();
    return true;
}

} // namespace morvex::platform
