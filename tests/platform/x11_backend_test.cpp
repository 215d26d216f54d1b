// The X11 backend against a private Xvfb: pixels read back with XGetImage,
// input made with XTEST, window-manager requests made by a second client.
// clang-format off
// GoogleTest comes before Xlib, whose None and Bool macros would break it.
#include <gtest/gtest.h>
// clang-format on

#include "platform/charset.h"
#include "platform/x11_backend.h"
#include "platform/x11_clipboard.h"
#include "platform/x11_error_trap.h"
#include "tests/support/xvfb_server.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace morvex::platform {
namespace {

using namespace std::chrono_literals;
using testing::XvfbServer;

std::string hex(uint32_t value) {
    std::ostringstream out;
    out << std::uppercase << std::hex << (value < 0x10 ? "0" : "") << value;
    return out.str();
}
std::string text(Point point) {
    return std::to_string(point.x) + "," + std::to_string(point.y);
}
std::string text(const Rect& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.width()) +
           "x" + std::to_string(rect.height());
}
const char* text(MouseButton button) {
    return button == MouseButton::Left ? "left" : button == MouseButton::Right ? "right" : "middle";
}

// Writes every input call down as a line of text, for tests to wait for and compare.
class InputRecorder final : public InputSink {
public:
    void key(uint32_t virtual_key, bool down) override {
        add("key " + hex(virtual_key) + (down ? " down" : " up"));
    }
    void character(uint8_t character) override { add("char " + hex(character)); }
    void mouse_move(WindowHandle window, Point point) override {
        add("move " + std::to_string(window) + " " + text(point));
    }
    void mouse_button(WindowHandle window, Point point, MouseButton button, bool down) override {
        add("button " + std::to_string(window) + " " + text(button) + (down ? " down " : " up ") +
            text(point));
    }
    void mouse_wheel(WindowHandle window, Point point, int delta) override {
        add("wheel " + std::to_string(window) + " " + std::to_string(delta) + " " + text(point));
    }
    void close_request(WindowHandle window) override { add("close " + std::to_string(window)); }
    void top_level_moved(WindowHandle window, const Rect& rect) override {
        add("moved " + std::to_string(window) + " " + text(rect));
    }
    void top_level_activated(WindowHandle window, bool active) override {
        add("activated " + std::to_string(window) + (active ? " 1" : " 0"));
    }
    void expose(WindowHandle window, const Rect& rect) override {
        add("expose " + std::to_string(window) + " " + text(rect));
    }

    // Waits until a line starting with `prefix` was recorded; true when one was.
    bool wait_for(const std::string& prefix, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return std::any_of(m_lines.begin(), m_lines.end(),
                               [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
        });
    }
    // The lines recorded so far that start with one of `prefixes`; forgets all lines.
    std::vector<std::string> take(const std::vector<std::string>& prefixes) {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> taken;
        for (const std::string& line : m_lines) {
            for (const std::string& prefix : prefixes) {
                if (line.rfind(prefix, 0) == 0) {
                    taken.push_back(line);
                    break;
                }
            }
        }
        m_lines.clear();
        return taken;
    }
    void clear() { take({}); }

private:
    void add(std::string line) {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(line));
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines;
};

// A drawing with edges and a gradient, so that an offset, a swapped channel
// or a lost row shows.
FrameBuffer test_drawing(int width, int height, Pixel salt = 0) {
    FrameBuffer pixels(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.at(x, y) = MakePixel(static_cast<uint8_t>(x * 255 / std::max(width - 1, 1)),
                                        static_cast<uint8_t>(y * 255 / std::max(height - 1, 1)),
                                        static_cast<uint8_t>(x + y)) ^
                              salt;
        }
    }
    const auto fill = [&](Rect rect, Pixel colour) {
        for (int y = rect.top; y < rect.bottom; ++y)
            for (int x = rect.left; x < rect.right; ++x)
                pixels.at(x, y) = colour ^ salt;
    };
    fill(Rect::FromSize(10, 10, 40, 30), MakePixel(255, 0, 0));
    fill(Rect::FromSize(width - 50, height - 40, 30, 20), MakePixel(0x12, 0x34, 0x56));
    fill(Rect::FromSize(width - 1, 0, 1, height), MakePixel(255, 255, 255));
    fill(Rect::FromSize(0, height - 1, width, 1), MakePixel(0, 0, 255));
    return pixels;
}

class X11BackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        XInitThreads();
        // The input method composes with the Compose file of a UTF-8 locale.
        setenv("LC_ALL", "C.UTF-8", 1);
        server = XvfbServer::start(server_error);
        if (!server)
            return;
        // Spare key codes for characters the default layout lacks.
        Display* display = XOpenDisplay(server->display_name().c_str());
        int first = 0;
        int last = 0;
        XDisplayKeycodes(display, &first, &last);
        int per_code = 0;
        KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(first), last - first + 1, &per_code);
        std::vector<KeySym> extra = {XK_EuroSign, XK_Cyrillic_a, XK_dead_acute, XK_dead_diaeresis,
                                     XK_Multi_key};
        for (int code = last; code >= first && !extra.empty(); --code) {
            const KeySym* syms = map + (code - first) * per_code;
            if (std::all_of(syms, syms + per_code, [](KeySym sym) { return sym == NoSymbol; })) {
                XChangeKeyboardMapping(display, code, 1, &extra.back(), 1);
                remapped[extra.back()] = static_cast<KeyCode>(code);
                extra.pop_back();
            }
        }
        XFree(map);
        XSync(display, False);
        XCloseDisplay(display);
    }
    static void TearDownTestSuite() { server.reset(); }

    virtual X11Options options() const { return {}; }

    void SetUp() override {
        ASSERT_TRUE(server) << server_error;
        client = XOpenDisplay(server->display_name().c_str());
        ASSERT_TRUE(client);
        backend = X11Backend::open(server->display_name().c_str(), input, options());
        ASSERT_TRUE(backend);
    }
    void TearDown() override {
        backend.reset();
        if (client)
            XCloseDisplay(client);
    }

    // Creates and shows a top-level window and waits for its first expose.
    ::Window show(WindowHandle window, const Rect& rect, std::string_view caption = "Test") {
        backend->top_level_created(window, rect, caption);
        backend->top_level_shown(window, true);
        EXPECT_TRUE(input.wait_for("expose " + std::to_string(window)));
        return backend->x_window(window);
    }

    FrameBuffer read_back(::Window window, int width, int height) {
        backend->sync();
        FrameBuffer pixels(width, height);
        XImage* image = XGetImage(client, window, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) {
            ADD_FAILURE() << "XGetImage failed";
            return pixels;
        }
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.at(x, y) = static_cast<Pixel>(XGetPixel(image, x, y) & 0xFFFFFF);
        XDestroyImage(image);
        return pixels;
    }

    void focus(WindowHandle window) {
        // The backend maps windows on its own connection: wait until the
        // server has, or the focus request would be refused.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        XWindowAttributes attributes{};
        while ((XGetWindowAttributes(client, backend->x_window(window), &attributes) == 0 ||
                attributes.map_state != IsViewable) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        XSetInputFocus(client, backend->x_window(window), RevertToNone, CurrentTime);
        XSync(client, False);
        ASSERT_TRUE(input.wait_for("activated " + std::to_string(window) + " 1"));
    }

    KeyCode keycode(KeySym keysym) {
        const auto found = remapped.find(keysym);
        return found != remapped.end() ? found->second : XKeysymToKeycode(client, keysym);
    }
    void key(KeySym keysym, bool down) {
        XTestFakeKeyEvent(client, keycode(keysym), down ? True : False, CurrentTime);
        XSync(client, False);
    }
    void pointer_to(int root_x, int root_y) {
        XTestFakeMotionEvent(client, DefaultScreen(client), root_x, root_y, CurrentTime);
        XSync(client, False);
    }
    void click(unsigned button, bool down) {
        XTestFakeButtonEvent(client, button, down ? True : False, CurrentTime);
        XSync(client, False);
    }

    static inline std::unique_ptr<XvfbServer> server;
    static inline std::string server_error;
    static inline std::map<KeySym, KeyCode> remapped;
    Display* client = nullptr;
    InputRecorder input;
    std::unique_ptr<X11Backend> backend;
};

// ---------------------------------------------------------------- pixels

class X11PresentTest : public X11BackendTest, public ::testing::WithParamInterface<X11Options::SharedMemory> {
protected:
    X11Options options() const override { return {GetParam()}; }
};

void expect_same_pixels(const FrameBuffer& shown, const FrameBuffer& expected) {
    ASSERT_EQ(shown.width(), expected.width());
    ASSERT_EQ(shown.height(), expected.height());
    int wrong = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            if (shown.at(x, y) != expected.at(x, y) && ++wrong <= 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << hex(shown.at(x, y)) << ", expected "
                              << hex(expected.at(x, y));
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_P(X11PresentTest, WindowShowsTheFrameBufferExactly) {
    const ::Window window = show(1, Rect::FromSize(40, 30, 331, 251));
    const FrameBuffer pixels = test_drawing(331, 251);
    // A dirty rectangle larger than the buffer is cut to it.
    backend->present(1, pixels, Rect{-5, -5, 400, 400});
    expect_same_pixels(read_back(window, 331, 251), pixels);
    EXPECT_EQ(backend->uses_shared_memory(), GetParam() == X11Options::SharedMemory::WhenAvailable);
}

TEST_P(X11PresentTest, OnlyTheDirtyRectanglesChange) {
    const ::Window window = show(1, Rect::FromSize(0, 0, 400, 300));
    const FrameBuffer first = test_drawing(400, 300);
    backend->present(1, first, Rect{0, 0, 400, 300});
    // A large area (through shared memory where it is used), then a small
    // one (always over the connection), overlapping it.
    const FrameBuffer second = test_drawing(400, 300, 0xFFFFFF);
    const Rect large{23, 17, 313, 247};
    backend->present(1, second, large);
    const FrameBuffer third = test_drawing(400, 300, 0x00FFFF);
    const Rect small{300, 240, 341, 263};
    backend->present(1, third, small);

    FrameBuffer expected = first;
    for (const auto& [area, source] : {std::pair{large, &second}, std::pair{small, &third}})
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                expected.at(x, y) = source->at(x, y);
    expect_same_pixels(read_back(window, 400, 300), expected);
}

TEST_P(X11PresentTest, PresentsAfterTheWindowLayerResizesTheWindow) {
    const ::Window window = show(1, Rect::FromSize(0, 0, 100, 80));
    backend->present(1, test_drawing(100, 80), Rect{0, 0, 100, 80});
    backend->top_level_moved(1, Rect::FromSize(10, 20, 300, 240));
    const FrameBuffer larger = test_drawing(300, 240, 0x00FF00);
    backend->present(1, larger, Rect{0, 0, 300, 240});
    expect_same_pixels(read_back(window, 300, 240), larger);

    ::Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(client, window, &root, &x, &y, &width, &height, &border, &depth);
    EXPECT_EQ(Rect::FromSize(x, y, static_cast<int>(width), static_cast<int>(height)),
              Rect::FromSize(10, 20, 300, 240));
}

INSTANTIATE_TEST_SUITE_P(Transfers, X11PresentTest,
                         ::testing::Values(X11Options::SharedMemory::WhenAvailable,
                                           X11Options::SharedMemory::Never),
                         [](const auto& info) {
                             return info.param == X11Options::SharedMemory::Never ? "Protocol"
                                                                                  : "SharedMemory";
                         });

TEST(X11SharedMemoryFallback, ServerThatCannotAttachGetsPixelsOverTheConnection) {
    // Over TCP the server cannot tell who we are, so it only attaches
    // segments that everyone may use; ours are private, as from another machine.
    XInitThreads();
    std::string error;
    const auto server = XvfbServer::start(error, {"-listen", "tcp"});
    ASSERT_TRUE(server) << error;
    const std::string name = "localhost:" + std::to_string(server->display_number());
    InputRecorder input;
    auto backend = X11Backend::open(name.c_str(), input);
    ASSERT_TRUE(backend) << "cannot reach " << name;
    ASSERT_TRUE(backend->uses_shared_memory()) << "the server offers MIT-SHM";

    backend->top_level_created(7, Rect::FromSize(0, 0, 320, 240), "Remote");
    backend->top_level_shown(7, true);
    ASSERT_TRUE(input.wait_for("expose 7"));
    const FrameBuffer pixels = test_drawing(320, 240);
    backend->present(7, pixels, Rect{0, 0, 320, 240});
    EXPECT_FALSE(backend->uses_shared_memory());
    backend->sync();

    Display* client = XOpenDisplay(name.c_str());
    ASSERT_TRUE(client);
    XImage* image = XGetImage(client, backend->x_window(7), 0, 0, 320, 240, AllPlanes, ZPixmap);
    ASSERT_TRUE(image);
    FrameBuffer shown(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            shown.at(x, y) = static_cast<Pixel>(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    XCloseDisplay(client);
    expect_same_pixels(shown, pixels);
}

// ---------------------------------------------------------------- keys

struct KeyCase {
    const char* label;
    std::vector<KeySym> keys; // pressed in this order, released in reverse
    std::vector<std::string> expected;
};

class X11KeyTest : public X11BackendTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(X11KeyTest, KeysArriveAsVirtualKeysAndCharacters) {
    show(1, Rect::FromSize(0, 0, 100, 100));
    focus(1);
    input.clear();
    for (KeySym keysym : GetParam().keys)
        key(keysym, true);
    for (auto keysym = GetParam().keys.rbegin(); keysym != GetParam().keys.rend(); ++keysym)
        key(*keysym, false);
    // A space afterwards marks the end.
    key(XK_space, true);
    key(XK_space, false);
    ASSERT_TRUE(input.wait_for("key 20 up"));
    std::vector<std::string> received = input.take({"key", "char"});
    ASSERT_GE(received.size(), 3u);
    received.resize(received.size() - 3);
    EXPECT_EQ(received, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, X11KeyTest,
    ::testing::Values(KeyCase{"Letter", {XK_a}, {"key 41 down", "char 61", "key 41 up"}},
                      KeyCase{"ShiftedLetter",
                              {XK_Shift_L, XK_a},
                              {"key 10 down", "key 41 down", "char 41", "key 41 up", "key 10 up"}},
                      KeyCase{"ShiftedDigit",
                              {XK_Shift_L, XK_1},
                              {"key 10 down", "key 31 down", "char 21", "key 31 up", "key 10 up"}},
                      KeyCase{"ControlLetter",
                              {XK_Control_L, XK_c},
                              {"key 11 down", "key 43 down", "char 03", "key 43 up", "key 11 up"}},
                      KeyCase{"AltLetter",
                              {XK_Alt_L, XK_f},
                              {"key 12 down", "key 46 down", "char 66", "key 46 up", "key 12 up"}},
                      KeyCase{"FunctionKey", {XK_F5}, {"key 74 down", "key 74 up"}},
                      KeyCase{"F12", {XK_F12}, {"key 7B down", "key 7B up"}},
                      KeyCase{"Arrow", {XK_Left}, {"key 25 down", "key 25 up"}},
                      KeyCase{"PageUp", {XK_Prior}, {"key 21 down", "key 21 up"}},
                      KeyCase{"Delete", {XK_Delete}, {"key 2E down", "key 2E up"}},
                      KeyCase{"Return", {XK_Return}, {"key 0D down", "char 0D", "key 0D up"}},
                      KeyCase{"Escape", {XK_Escape}, {"key 1B down", "char 1B", "key 1B up"}},
                      KeyCase{"BackSpace", {XK_BackSpace}, {"key 08 down", "char 08", "key 08 up"}},
                      KeyCase{"Tab", {XK_Tab}, {"key 09 down", "char 09", "key 09 up"}},
                      KeyCase{"KeypadWithoutNumLockNavigates", {XK_KP_End}, {"key 23 down", "key 23 up"}},
                      KeyCase{"KeypadOperator", {XK_KP_Add}, {"key 6B down", "char 2B", "key 6B up"}},
                      KeyCase{"EuroSign", {XK_EuroSign}, {"char 80"}},
                      KeyCase{"CharacterOutsideWindows1252TypesNothing", {XK_Cyrillic_a}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

struct CompositionCase {
    const char* label;
    std::vector<std::vector<KeySym>> strokes; // each pressed in order and released in reverse
    std::vector<std::string> with_input_method;
    std::vector<std::string> without;
};

class X11CompositionTest
    : public X11BackendTest,
      public ::testing::WithParamInterface<std::tuple<CompositionCase, X11Options::InputMethod>> {
protected:
    X11Options options() const override {
        X11Options chosen;
        chosen.input_method = std::get<1>(GetParam());
        return chosen;
    }
};

TEST_P(X11CompositionTest, DeadKeysAndComposeTypeWhatTheyStandFor) {
    const auto& [composition, method] = GetParam();
    const bool with = method == X11Options::InputMethod::WhenAvailable;
    ASSERT_EQ(backend->uses_input_method(), with);
    show(1, Rect::FromSize(0, 0, 100, 100));
    focus(1);
    input.clear();
    for (const std::vector<KeySym>& stroke : composition.strokes) {
        for (KeySym keysym : stroke)
            key(keysym, true);
        for (auto keysym = stroke.rbegin(); keysym != stroke.rend(); ++keysym)
            key(*keysym, false);
    }
    key(XK_Escape, true);
    key(XK_Escape, false);
    ASSERT_TRUE(input.wait_for("key 1B up"));
    std::vector<std::string> received = input.take({"key", "char"});
    ASSERT_GE(received.size(), 3u);
    received.resize(received.size() - 3);
    EXPECT_EQ(received, with ? composition.with_input_method : composition.without);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, X11CompositionTest,
    ::testing::Combine(
        ::testing::Values(
            CompositionCase{"DeadAcuteThenE",
                            {{XK_dead_acute}, {XK_e}},
                            {"char E9"},
                            {"key 45 down", "char 65", "key 45 up"}},
            CompositionCase{"DeadDiaeresisThenShiftedU",
                            {{XK_dead_diaeresis}, {XK_Shift_L, XK_u}},
                            {"key 10 down", "char DC", "key 10 up"},
                            {"key 10 down", "key 55 down", "char 55", "key 55 up", "key 10 up"}},
            CompositionCase{"ComposeCapitalCEqualsIsEuro",
                            {{XK_Multi_key}, {XK_Shift_L, XK_c}, {XK_equal}},
                            {"key 10 down", "key 10 up", "char 80"},
                            {"key 10 down", "key 43 down", "char 43", "key 43 up", "key 10 up", "key BB down",
                             "char 3D", "key BB up"}},
            CompositionCase{"CompositionOutsideWindows1252TypesNothing",
                            {{XK_dead_acute}, {XK_z}},
                            {},
                            {"key 5A down", "char 7A", "key 5A up"}},
            CompositionCase{"PlainKeysAreUntouched",
                            {{XK_x}, {XK_Return}},
                            {"key 58 down", "char 78", "key 58 up", "key 0D down", "char 0D", "key 0D up"},
                            {"key 58 down", "char 78", "key 58 up", "key 0D down", "char 0D", "key 0D up"}}),
        ::testing::Values(X11Options::InputMethod::WhenAvailable, X11Options::InputMethod::Never)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).label) +
               (std::get<1>(info.param) == X11Options::InputMethod::Never ? "WithoutInputMethod" : "");
    });

TEST_F(X11BackendTest, NumLockTurnsTheKeypadIntoDigits) {
    show(1, Rect::FromSize(0, 0, 100, 100));
    focus(1);
    key(XK_Num_Lock, true);
    key(XK_Num_Lock, false);
    ASSERT_TRUE(input.wait_for("key 90 up"));
    input.clear();
    key(XK_KP_1, true);
    key(XK_KP_1, false);
    key(XK_Num_Lock, true); // back off for the other tests
    key(XK_Num_Lock, false);
    ASSERT_TRUE(input.wait_for("key 90 up"));
    EXPECT_EQ(input.take({"key 61", "char"}),
              (std::vector<std::string>{"key 61 down", "char 31", "key 61 up"}));
}

TEST_F(X11BackendTest, LosingTheFocusReleasesKeysHeldDown) {
    show(1, Rect::FromSize(0, 0, 100, 100));
    focus(1);
    input.clear();
    key(XK_Shift_L, true);
    ASSERT_TRUE(input.wait_for("key 10 down"));
    XSetInputFocus(client, None, RevertToNone, CurrentTime);
    XSync(client, False);
    ASSERT_TRUE(input.wait_for("activated 1 0"));
    key(XK_Shift_L, false);
    EXPECT_EQ(input.take({"key", "activated"}),
              (std::vector<std::string>{"key 10 down", "key 10 up", "activated 1 0"}));
}

// ---------------------------------------------------------------- mouse

TEST_F(X11BackendTest, MouseButtonsAndWheelArriveWithTheirPositions) {
    show(3, Rect::FromSize(50, 60, 200, 150));
    pointer_to(80, 100);
    ASSERT_TRUE(input.wait_for("move 3 30,40"));
    input.clear();
    for (unsigned button : {1u, 2u, 3u, 4u, 5u}) {
        click(button, true);
        click(button, false);
    }
    pointer_to(51, 61);
    ASSERT_TRUE(input.wait_for("move 3 1,1"));
    EXPECT_EQ(input.take({"button", "wheel", "move"}),
              (std::vector<std::string>{"button 3 left down 30,40", "button 3 left up 30,40",
                                        "button 3 middle down 30,40", "button 3 middle up 30,40",
                                        "button 3 right down 30,40", "button 3 right up 30,40",
                                        "wheel 3 120 30,40", "wheel 3 -120 30,40", "move 3 1,1"}));
}

TEST_F(X11BackendTest, DraggingOutOfTheWindowKeepsReportingToIt) {
    show(3, Rect::FromSize(50, 60, 200, 150));
    pointer_to(60, 70);
    ASSERT_TRUE(input.wait_for("move 3 10,10"));
    click(1, true);
    pointer_to(20, 30);
    ASSERT_TRUE(input.wait_for("move 3 -30,-30"));
    click(1, false);
    EXPECT_TRUE(input.wait_for("button 3 left up -30,-30"));
}

// ---------------------------------------------------------------- window manager's side

TEST_F(X11BackendTest, DeleteWindowProtocolIsACloseRequest) {
    const ::Window window = show(4, Rect::FromSize(0, 0, 80, 60));
    Atom* protocols = nullptr;
    int count = 0;
    const Atom delete_window = XInternAtom(client, "WM_DELETE_WINDOW", False);
    ASSERT_TRUE(XGetWMProtocols(client, window, &protocols, &count));
    EXPECT_TRUE(std::find(protocols, protocols + count, delete_window) != protocols + count);
    XFree(protocols);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(client, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(delete_window);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(client, window, False, NoEventMask, &event);
    XSync(client, False);
    EXPECT_TRUE(input.wait_for("close 4"));
}

TEST_F(X11BackendTest, MovesByOthersAreReportedButTheWindowLayersOwnAreNot) {
    const ::Window window = show(5, Rect::FromSize(10, 10, 100, 100));
    backend->top_level_moved(5, Rect::FromSize(30, 40, 150, 120));
    backend->sync();
    // As a window manager or the user would.
    XMoveResizeWindow(client, window, 70, 80, 210, 160);
    XSync(client, False);
    ASSERT_TRUE(input.wait_for("moved 5 70,80 210x160"));
    EXPECT_EQ(input.take({"moved"}), std::vector<std::string>{"moved 5 70,80 210x160"});
}

std::string property_text(Display* display, ::Window window, const char* property, Atom* type = nullptr) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1 << 20, False,
                       AnyPropertyType, &actual, &format, &items, &after, &data);
    if (type)
        *type = actual;
    std::string text = data ? std::string(reinterpret_cast<char*>(data), items) : std::string();
    if (data)
        XFree(data);
    return text;
}

std::vector<long> property_items(Display* display, ::Window window, const char* property) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1 << 20, False,
                       AnyPropertyType, &actual, &format, &items, &after, &data);
    // Xlib hands 32-bit items out as C longs, sign-extended.
    std::vector<long> values;
    for (unsigned long i = 0; data && format == 32 && i < items; ++i)
        values.push_back(reinterpret_cast<long*>(data)[i] & 0xFFFFFFFF);
    if (data)
        XFree(data);
    return values;
}

TEST_F(X11BackendTest, CaptionKeepsEveryCharacterInUtf8AndInWmName) {
    struct Case {
        const char* caption;
        const char* wm_name_encoding;
    };
    // Latin-1 text stays STRING for the oldest window managers; the rest of
    // Windows-1252 needs compound text.
    const Case cases[] = {
        {"Caf\xc3\xa9", "STRING"},
        {"Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xc5\x92 \xe2\x80\x9cq\xe2\x80\x9d", "COMPOUND_TEXT"}};
    const ::Window window = show(6, Rect::FromSize(0, 0, 50, 50), "First");
    for (const Case& c : cases) {
        backend->top_level_caption(6, c.caption);
        backend->sync();
        EXPECT_EQ(property_text(client, window, "_NET_WM_NAME"), c.caption);
        EXPECT_EQ(property_text(client, window, "_NET_WM_ICON_NAME"), c.caption);
        XTextProperty name{};
        ASSERT_TRUE(XGetWMName(client, window, &name));
        char* encoding = XGetAtomName(client, name.encoding);
        EXPECT_STREQ(encoding, c.wm_name_encoding);
        XFree(encoding);
        char** list = nullptr;
        int count = 0;
        ASSERT_EQ(Xutf8TextPropertyToTextList(client, &name, &list, &count), Success);
        ASSERT_EQ(count, 1);
        EXPECT_STREQ(list[0], c.caption);
        XFreeStringList(list);
        XFree(name.value);
    }
}

TEST_F(X11BackendTest, WindowManagerLearnsTheProgramItsIconsAndItsDialogs) {
    set_application_class("tavemon", "Tavemon");
    const ::Window owner = show(1, Rect::FromSize(0, 0, 60, 60), "Owner");
    backend->top_level_created(2, Rect::FromSize(10, 10, 40, 30), "Dialog");
    backend->top_level_dialog(2, 1);
    backend->top_level_shown(2, true);
    const ::Window dialog = backend->x_window(2);
    set_application_class("morvex", "Morvex");
    const IconImage icons[] = {{2, 1, {0xFF112233, 0x80FFFFFF}}, {1, 1, {0x00000000}}};
    backend->top_level_icon(1, icons);
    backend->sync();

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(client, owner, &hint));
    EXPECT_STREQ(hint.res_name, "tavemon");
    EXPECT_STREQ(hint.res_class, "Tavemon");
    XFree(hint.res_name);
    XFree(hint.res_class);
    EXPECT_EQ(property_items(client, owner, "_NET_WM_PID"), std::vector<long>{getpid()});
    EXPECT_EQ(property_items(client, owner, "_NET_WM_ICON"),
              (std::vector<long>{2, 1, 0xFF112233, 0x80FFFFFF, 1, 1, 0}));

    const auto atom = [&](const char* name) { return static_cast<long>(XInternAtom(client, name, False)); };
    EXPECT_EQ(property_items(client, owner, "_NET_WM_WINDOW_TYPE"),
              std::vector<long>{atom("_NET_WM_WINDOW_TYPE_NORMAL")});
    EXPECT_EQ(property_items(client, dialog, "_NET_WM_WINDOW_TYPE"),
              std::vector<long>{atom("_NET_WM_WINDOW_TYPE_DIALOG")});
    EXPECT_EQ(property_items(client, dialog, "_NET_WM_STATE"),
              std::vector<long>{atom("_NET_WM_STATE_MODAL")});
    ::Window transient_for = 0;
    ASSERT_TRUE(XGetTransientForHint(client, dialog, &transient_for));
    EXPECT_EQ(transient_for, owner);

    backend->top_level_icon(1, {});
    backend->sync();
    EXPECT_TRUE(property_items(client, owner, "_NET_WM_ICON").empty());
}

TEST_F(X11BackendTest, CursorShapesShowOverTheWindow) {
    show(3, Rect::FromSize(100, 100, 80, 80));
    pointer_to(140, 140);
    ASSERT_TRUE(input.wait_for("move 3"));
    const auto shown = [&](MouseCursor shape) {
        backend->set_cursor(3, shape);
        backend->sync();
        XFixesCursorImage* image = XFixesGetCursorImage(client);
        std::vector<unsigned long> pixels;
        if (image) {
            pixels.assign(image->pixels, image->pixels + image->width * image->height);
            pixels.push_back(image->xhot);
            XFree(image);
        }
        return pixels;
    };
    const auto arrow = shown(MouseCursor::Arrow);
    const auto ibeam = shown(MouseCursor::IBeam);
    const auto wait = shown(MouseCursor::Wait);
    const auto size = shown(MouseCursor::SizeWE);
    ASSERT_FALSE(arrow.empty());
    EXPECT_NE(arrow, ibeam);
    EXPECT_NE(ibeam, wait);
    EXPECT_NE(wait, size);
    EXPECT_EQ(shown(MouseCursor::IBeam), ibeam);
    EXPECT_EQ(shown(MouseCursor::Arrow), arrow);
}

TEST_F(X11BackendTest, DestroyedWindowIsGoneFromTheServer) {
    const ::Window window = show(8, Rect::FromSize(0, 0, 50, 50));
    backend->top_level_destroyed(8);
    backend->sync();
    EXPECT_EQ(backend->x_window(8), 0u);
    XWindowAttributes attributes;
    EXPECT_EQ(x11_request_error(client, [&] { XGetWindowAttributes(client, window, &attributes); }),
              BadWindow);
    // Calls for a window that is gone are ignored.
    backend->present(8, test_drawing(50, 50), Rect{0, 0, 50, 50});
    backend->top_level_shown(8, true);
}

TEST_F(X11BackendTest, ShutDownDestroysTheWindowsAndLaterCallsDoNothing) {
    const ::Window window = show(10, Rect::FromSize(0, 0, 50, 50));
    backend->shut_down();
    XWindowAttributes attributes;
    EXPECT_EQ(x11_request_error(client, [&] { XGetWindowAttributes(client, window, &attributes); }),
              BadWindow);
    EXPECT_EQ(backend->x_window(10), 0u);
    backend->top_level_created(11, Rect::FromSize(0, 0, 50, 50), "Late");
    backend->present(11, test_drawing(50, 50), Rect{0, 0, 50, 50});
    backend->top_level_destroyed(10);
    backend->sync();
    backend->shut_down();
    EXPECT_EQ(backend->x_window(11), 0u);
}

TEST_F(X11BackendTest, ErrorsAreTrappedOrLoggedButNeverEndTheProcess) {
    const ::Window bogus = 0x3FFFFFF;
    EXPECT_EQ(x11_request_error(client, [&] { XMapWindow(client, bogus); }), BadWindow);
    EXPECT_EQ(x11_request_error(client, [&] { XNoOp(client); }), 0);
    // Untrapped: Xlib's own handler would end the test here.
    XUnmapWindow(client, bogus);
    XSync(client, False);
    SUCCEED();
}

TEST_F(X11BackendTest, HiddenWindowIsUnmapped) {
    const ::Window window = show(9, Rect::FromSize(0, 0, 50, 50));
    backend->top_level_shown(9, false);
    backend->sync();
    XWindowAttributes attributes{};
    XGetWindowAttributes(client, window, &attributes);
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    backend->top_level_shown(9, true);
    backend->sync();
    XGetWindowAttributes(client, window, &attributes);
    EXPECT_EQ(attributes.map_state, IsViewable);
}

// ---------------------------------------------------------------- clipboard

// What another client receives when it asks for a selection as `target`;
// nullopt when the owner refused.
std::optional<std::pair<std::string, std::string>> read_selection(Display* display, Atom selection,
                                                                  const char* target) {
    const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(display, "READ_HERE", False);
    XConvertSelection(display, selection, XInternAtom(display, target, False), property, window, CurrentTime);
    XFlush(display);
    std::optional<std::pair<std::string, std::string>> result;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    XEvent event{};
    while (!XCheckTypedWindowEvent(display, window, SelectionNotify, &event)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "no SelectionNotify";
            XDestroyWindow(display, window);
            return result;
        }
        std::this_thread::sleep_for(1ms);
    }
    if (event.xselection.property != None) {
        Atom type = 0;
        std::string data = property_text(display, window, "READ_HERE", &type);
        if (type == XA_ATOM) {
            // TARGETS: the names, in order, one a line.
            const std::vector<long> atoms = property_items(display, window, "READ_HERE");
            data.clear();
            for (long atom : atoms) {
                char* name = XGetAtomName(display, static_cast<Atom>(atom));
                data += std::string(name) + "\n";
                XFree(name);
            }
        }
        char* type_name = XGetAtomName(display, type);
        result.emplace(type_name, data);
        XFree(type_name);
    }
    XDestroyWindow(display, window);
    return result;
}

TEST_F(X11BackendTest, OtherClientsReadOurSelectionInTheTargetTheyAskFor) {
    Clipboard& clipboard = backend->clipboard();
    ASSERT_TRUE(clipboard.set_text(Selection::Clipboard, "Caf\xe9 \x80 \x93q\x94"));
    ASSERT_TRUE(clipboard.set_text(Selection::Primary, "Gr\xfc\xdf"));
    const Atom clipboard_atom = XInternAtom(client, "CLIPBOARD", False);
    struct Case {
        Atom selection;
        const char* target;
        std::optional<std::pair<std::string, std::string>> expected;
    };
    const Case cases[] = {
        {clipboard_atom,
         "UTF8_STRING",
         {{"UTF8_STRING", "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"}}},
        {clipboard_atom, "STRING", {{"STRING", "Caf\xe9 ? ?q?"}}},
        {clipboard_atom, "TEXT", {{"UTF8_STRING", "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"}}},
        {clipboard_atom, "TARGETS", {{"ATOM", "TARGETS\nUTF8_STRING\nSTRING\nTEXT\n"}}},
        {clipboard_atom, "image/png", std::nullopt},
        {XA_PRIMARY, "TEXT", {{"STRING", "Gr\xfc\xdf"}}},
        {XA_PRIMARY, "UTF8_STRING", {{"UTF8_STRING", "Gr\xc3\xbc\xc3\x9f"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_selection(client, c.selection, c.target), c.expected) << c.target;
    // Our own selection is answered without asking the server.
    EXPECT_EQ(clipboard.text(Selection::Clipboard), "Caf\xe9 \x80 \x93q\x94");
}

// Another client owning a selection, answering requests on a thread of its
// own with UTF-8 text (when `utf8`) or Latin-1 only, or not at all.
class SelectionOwner {
public:
    enum class Answers { Utf8, Latin1Only, Nothing };
    SelectionOwner(const std::string& display_name, const char* selection, std::string utf8_text,
                   Answers answers)
        : m_display(XOpenDisplay(display_name.c_str())), m_text(std::move(utf8_text)), m_answers(answers) {
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        m_selection = XInternAtom(m_display, selection, False);
        XSetSelectionOwner(m_display, m_selection, m_window, CurrentTime);
        XSync(m_display, False);
        m_thread = std::thread([this] { serve(); });
    }
    ~SelectionOwner() {
        m_stop = true;
        m_thread.join();
        XCloseDisplay(m_display);
    }

private:
    void serve() {
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        while (!m_stop) {
            XEvent event;
            if (!XCheckTypedEvent(m_display, SelectionRequest, &event)) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            if (m_answers == Answers::Nothing)
                continue;
            const XSelectionRequestEvent& request = event.xselectionrequest;
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.time = request.time;
            reply.xselection.property = None;
            std::string data;
            if (request.target == utf8 && m_answers == Answers::Utf8)
                data = m_text;
            else if (request.target == XA_STRING)
                data = utf8_to_windows1252(m_text); // Latin-1 for the text used here
            if (!data.empty()) {
                XChangeProperty(m_display, request.requestor, request.property, request.target, 8,
                                PropModeReplace, reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<int>(data.size()));
                reply.xselection.property = request.property;
            }
            XSendEvent(m_display, request.requestor, False, NoEventMask, &reply);
            XFlush(m_display);
        }
    }

    Display* m_display;
    ::Window m_window = 0;
    Atom m_selection = 0;
    std::string m_text;
    Answers m_answers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(X11BackendTest, SelectionsOfOtherClientsAreReadAsWindows1252) {
    Clipboard& clipboard = backend->clipboard();
    ASSERT_TRUE(clipboard.set_text(Selection::Clipboard, "ours"));
    {
        // Taking the selection away drops our text.
        SelectionOwner owner(server->display_name(), "CLIPBOARD", "Gr\xc3\xbc\xc3\x9f\xe2\x82\xac \xd0\xb0",
                             SelectionOwner::Answers::Utf8);
        // Once the backend has heard that it lost the selection.
        backend->drain_events();
        EXPECT_EQ(clipboard.text(Selection::Clipboard), "Gr\xfc\xdf\x80 ?");
    }
    {
        SelectionOwner owner(server->display_name(), "PRIMARY", "Caf\xc3\xa9",
                             SelectionOwner::Answers::Latin1Only);
        EXPECT_EQ(clipboard.text(Selection::Primary), "Caf\xe9");
    }
    // The owner is gone with its connection: nobody offers anything.
    EXPECT_EQ(clipboard.text(Selection::Primary), std::nullopt);
    {
        SelectionOwner owner(server->display_name(), "CLIPBOARD", "late", SelectionOwner::Answers::Nothing);
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(clipboard.text(Selection::Clipboard), std::nullopt);
        EXPECT_GE(std::chrono::steady_clock::now() - asked, X11Clipboard::ReplyTimeout);
    }
    ASSERT_TRUE(clipboard.set_text(Selection::Clipboard, "again"));
    EXPECT_EQ(read_selection(client, XInternAtom(client, "CLIPBOARD", False), "UTF8_STRING"),
              (std::pair<std::string, std::string>{"UTF8_STRING", "again"}));
}

TEST(X11ConnectionLoss, WindowsAreAskedToCloseAndTheProcessGoesOn) {
    XInitThreads();
    std::string error;
    auto server = XvfbServer::start(error);
    ASSERT_TRUE(server) << error;
    InputRecorder input;
    auto backend = X11Backend::open(server->display_name().c_str(), input);
    ASSERT_TRUE(backend);
    backend->top_level_created(1, Rect::FromSize(0, 0, 60, 40), "One");
    backend->top_level_created(2, Rect::FromSize(0, 0, 60, 40), "Two");
    backend->sync();
    server.reset();
    EXPECT_TRUE(input.wait_for("close 1"));
    EXPECT_TRUE(input.wait_for("close 2"));
    // Nothing reaches a server any more, and nothing fails.
    backend->present(1, test_drawing(60, 40), Rect{0, 0, 60, 40});
    backend->top_level_moved(2, Rect::FromSize(5, 5, 70, 50));
    backend->top_level_destroyed(1);
    backend->beep();
    backend->sync();
    backend.reset();
}

TEST(X11BackendOpen, UnreachableDisplayGivesNoBackend) {
    InputRecorder input;
    EXPECT_EQ(X11Backend::open(":4999", input), nullptr);
}

} // namespace
} // namespace morvex::platform
