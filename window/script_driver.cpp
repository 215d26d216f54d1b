#include "window/script_driver.h"

#include "platform/backend.h"
#include "platform/charset.h"
#include "platform/headless_backend.h"
#include "platform/message_box.h"
#include "platform/png_file.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/ascii_case.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/list_box.h"
#include "window/menu_bar.h"
#include "window/menu_popup.h"
#include "window/painter/system_colors.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

namespace morvex {

namespace {

// How long a line waits for a window when the program shows none.
constexpr std::chrono::milliseconds NoWindowGrace{1000};

struct Recorder {
    std::mutex mutex;
    std::vector<std::string> events;
};

Recorder& recorder() {
    static Recorder* instance = new Recorder; // lives until the process ends
    return *instance;
}

void record(const EventRecord& event) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    r.events.push_back(ShortEventName(event.code()) + " " + std::to_string(event.control));
}

// Splits off the first blank-separated word.
std::string_view next_word(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t')
        ++end;
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::optional<int64_t> integer(std::string_view word) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || error != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

// Where a control lies in its top-level window (FIELD 0: the client area).
std::optional<platform::Rect> field_rect(Window& window, int32_t field) {
    const platform::Rect client = window.client_rect_in_frame();
    if (field == 0)
        return client;
    const Control* control = window.control(field);
    if (control == nullptr)
        return std::nullopt;
    if (control->handle())
        return platform::rect_in_top_level(control->handle());
    return control->rect().offset(client.left, client.top);
}

// The window as the screen shows it: with the visible popups it owns (a
// dropped list) drawn over it, on the desktop colour where they reach out.
platform::FrameBuffer screen_of(platform::WindowHandle top) {
    // What the display shows where it can say, else the frame buffer.
    const auto pixels_of = [](platform::WindowHandle handle) {
        std::optional<platform::FrameBuffer> pixels = platform::backend().capture(handle);
        return pixels ? std::move(*pixels) : platform::frame_buffer_copy(handle);
    };
    platform::FrameBuffer window = pixels_of(top);
    const platform::Rect frame = platform::window_rect(top);
    platform::Rect all = frame;
    std::vector<platform::WindowHandle> popups;
    for (const platform::WindowHandle owned : platform::owned_windows(top))
        if (platform::is_window_visible(owned)) {
            popups.push_back(owned);
            all = all.unite(platform::window_rect(owned));
        }
    if (popups.empty())
        return window;
    const painter::Color desktop = painter::system_color(painter::SystemColor::Desktop);
    platform::FrameBuffer screen(all.width(), all.height(),
                                 platform::MakePixel(desktop.red, desktop.green, desktop.blue));
    const auto blit = [&](const platform::FrameBuffer& pixels, const platform::Rect& at) {
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x)
                screen.at(at.left - all.left + x, at.top - all.top + y) = pixels.at(x, y);
    };
    blit(window, frame);
    // Owned windows list from the top of the z-order down: the lowest goes first.
    for (auto it = popups.rbegin(); it != popups.rend(); ++it)
        blit(pixels_of(*it), platform::window_rect(*it));
    return screen;
}

} // namespace

bool RunOnWindowThread(platform::WindowHandle window_handle, const std::function<void()>& call) {
    if (!platform::is_window(window_handle))
        return false;
    std::function<void()> copy = call;
    bool ran = false;
    std::function<void()> wrapped = [&] {
        copy();
        ran = true;
    };
    platform::send_message({window_handle, MsgRunOnWindowThread, 0, reinterpret_cast<intptr_t>(&wrapped)});
    return ran;
}

void ScriptDriver::RecordEvents() {
    SetEventObserver(record);
}

std::vector<std::string> ScriptDriver::TakeEvents() {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> events;
    events.swap(r.events);
    return events;
}

ScriptDriver::ScriptDriver(ScriptOptions options, std::ostream& out, std::ostream& err)
    : m_options(std::move(options)), m_out(out), m_err(err) {
    if (m_options.input) {
        m_input = m_options.input;
    } else {
        m_own_input = platform::make_direct_input();
        m_input = m_own_input.get();
    }
    RecordEvents();
}

ScriptDriver::~ScriptDriver() = default;

void ScriptDriver::AddCommand(std::string name, Command command) {
    m_commands[std::move(name)] = std::move(command);
}

bool ScriptDriver::WaitIdle() {
    return platform::wait_until_idle(m_options.idle_timeout);
}

bool ScriptDriver::WithActiveWindow(const std::function<void(Window&)>& call) {
    const platform::WindowHandle active = platform::active_window();
    if (active == 0)
        return false;
    // A frame's active MDI child is the window the user works in.
    platform::WindowHandle target = active;
    RunOnWindowThread(active, [&] {
        if (Window* window = WindowOfHandle(active);
            window && window->kind() == Window::Kind::ApplicationFrame)
            if (Window* child = static_cast<ApplicationFrame*>(window)->active_child())
                target = child->handle();
    });
    bool found = false;
    RunOnWindowThread(target, [&] {
        if (Window* window = WindowOfHandle(target)) {
            found = true;
            call(*window);
        }
    });
    return found;
}

bool ScriptDriver::activate_when_none_is() {
    // A window manager gives the activation to another window when the active
    // one goes; without one (headless, a bare X server) the driver does, as
    // the user would click the window they go on with.
    // A window just opened may not show yet: wait a while for one to take.
    const auto now = std::chrono::steady_clock::now();
    const auto give_up = now + m_options.idle_timeout;
    // With no window at all, a procedure may be between closing one window
    // and opening its next (its thread counts as idle without windows): a
    // moment is given for one to come before the line runs without.
    const auto none_grace = now + std::min<std::chrono::milliseconds>(m_options.idle_timeout, NoWindowGrace);
    for (;;) {
        const bool late = std::chrono::steady_clock::now() > give_up;
        if (platform::active_window() != 0) {
            // Active, and known to the engine (its window is fully open).
            if (late || WithActiveWindow([](Window&) {}))
                return true;
        } else {
            const std::vector<platform::WindowHandle> windows = platform::top_level_windows();
            for (const platform::WindowHandle window : windows) {
                if (platform::is_window_visible(window) && platform::is_window_enabled(window)) {
                    platform::activate_window(window);
                    return WaitIdle();
                }
            }
            if (late || (windows.empty() && std::chrono::steady_clock::now() > none_grace))
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int ScriptDriver::Run(std::string_view script) {
    std::size_t line_number = 0;
    while (!script.empty()) {
        const std::size_t end = script.find('\n');
        std::string_view line = script.substr(0, end);
        script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
        ++line_number;
        if (const std::size_t hash = line.find('#');
            hash != std::string_view::npos && !(line.substr(0, hash).find("type") == 0))
            line = line.substr(0, hash);
        line = trimmed(line);
        if (line.empty())
            continue;
        if (!WaitIdle() || !activate_when_none_is()) {
            m_err << m_options.name << ":" << line_number << ": the program did not become idle within "
                  << m_options.idle_timeout.count() << " ms\n";
            return 1;
        }
        if (const auto error = execute(line)) {
            m_err << m_options.name << ":" << line_number << ": " << *error << "\n";
            return 1;
        }
    }
    if (!WaitIdle()) {
        m_err << m_options.name << ": the program did not become idle after the last line\n";
        return 1;
    }
    return 0;
}

std::optional<std::string> ScriptDriver::press_keys(std::string_view keys) {
    const auto code = KeyCodeByName(keys);
    if (!code)
        return "unknown key '" + std::string(keys) + "'";
    const uint32_t key = *code & 0xFF;
    std::vector<uint32_t> modifiers;
    if (*code & CtrlKeyBit)
        modifiers.push_back(platform::VkControl);
    if (*code & AltKeyBit)
        modifiers.push_back(platform::VkMenu);
    if (*code & ShiftKeyBit)
        modifiers.push_back(platform::VkShift);
    m_input->press_key(key, modifiers);
    return std::nullopt;
}

std::optional<std::string> ScriptDriver::mouse(std::string_view command, std::string_view arguments) {
    const auto field = integer(next_word(arguments));
    if (!field)
        return "expected a control number";
    std::vector<int64_t> numbers;
    for (std::string_view word = next_word(arguments); !word.empty(); word = next_word(arguments)) {
        const auto number = integer(word);
        if (!number)
            return "expected a number, not '" + std::string(word) + "'";
        numbers.push_back(*number);
    }
    const std::size_t wanted = command == "drag" ? 4 : command == "wheel" ? 1 : numbers.empty() ? 0 : 2;
    if (numbers.size() != wanted)
        return command == "drag"    ? std::string("drag needs FIELD X1 Y1 X2 Y2")
               : command == "wheel" ? std::string("wheel needs FIELD N")
                                    : std::string("expected FIELD or FIELD X Y");
    std::optional<platform::Rect> rect;
    platform::WindowHandle top = 0;
    WithActiveWindow([&](Window& window) {
        rect = field_rect(window, static_cast<int32_t>(*field));
        top = window.handle();
    });
    if (top == 0)
        return "no active window";
    if (!rect)
        return "the window has no control " + std::to_string(*field);
    const auto at = [&](int64_t x, int64_t y) {
        return platform::Point{rect->left + static_cast<int>(x), rect->top + static_cast<int>(y)};
    };
    const platform::Point centre{rect->left + rect->width() / 2, rect->top + rect->height() / 2};
    const platform::Point point =
        numbers.size() >= 2 && command != "drag" ? at(numbers[0], numbers[1]) : centre;
    using platform::MouseButton;
    if (command == "hover") {
        m_input->mouse_move(top, point);
    } else if (command == "press" || command == "release") {
        m_input->mouse_move(top, point);
        m_input->mouse_button(top, point, MouseButton::Left, command == "press");
    } else if (command == "click" || command == "rclick") {
        const MouseButton button = command == "click" ? MouseButton::Left : MouseButton::Right;
        m_input->mouse_move(top, point);
        m_input->mouse_button(top, point, button, true);
        WaitIdle();
        m_input->mouse_button(top, point, button, false);
    } else if (command == "dblclick") {
        m_input->mouse_move(top, point);
        for (int i = 0; i < 2; ++i) {
            m_input->mouse_button(top, point, MouseButton::Left, true);
            m_input->mouse_button(top, point, MouseButton::Left, false);
        }
    } else if (command == "drag") {
        const platform::Point from = at(numbers[0], numbers[1]);
        const platform::Point to = at(numbers[2], numbers[3]);
        // Each step waits for the program, as a hand would: where the
        // moves go depends on the capture the press took.
        m_input->mouse_move(top, from);
        m_input->mouse_button(top, from, MouseButton::Left, true);
        WaitIdle();
        constexpr int Steps = 4;
        for (int i = 1; i <= Steps; ++i) {
            m_input->mouse_move(top,
                                {from.x + (to.x - from.x) * i / Steps, from.y + (to.y - from.y) * i / Steps});
            WaitIdle();
        }
        m_input->mouse_button(top, to, MouseButton::Left, false);
    } else {
        m_input->mouse_move(top, centre);
        m_input->wheel(top, centre, static_cast<int>(numbers[0]) * 120);
    }
    return std::nullopt;
}

std::optional<std::string> ScriptDriver::execute(std::string_view line) {
    std::string_view arguments = line;
    const std::string_view command = next_word(arguments);
    const std::string_view rest = trimmed(arguments);
    if (const auto own = m_commands.find(command); own != m_commands.end())
        return own->second(rest);
    if (command == "echo") {
        m_out << rest << "\n";
        return std::nullopt;
    }
    if (command == "key") {
        if (rest.empty())
            return "key needs a key name";
        return press_keys(rest);
    }
    if (command == "type") {
        // What follows "type " exactly, trailing blanks included.
        std::string_view text = line.substr(std::min(line.size(), std::size_t{5}));
        const auto bytes = platform::utf8_to_windows1252_exact(text);
        if (!bytes)
            return "the text holds characters the Windows character set cannot hold";
        m_input->type_text(*bytes);
        return std::nullopt;
    }
    if (command == "click" || command == "dblclick" || command == "rclick" || command == "drag" ||
        command == "wheel" || command == "press" || command == "release" || command == "hover")
        return mouse(command, rest);
    if (command == "move") {
        const auto x = integer(next_word(arguments));
        const auto y = integer(next_word(arguments));
        if (!x || !y)
            return "move needs X Y";
        if (!WithActiveWindow([&](Window& window) {
                SetProperty(&window, 0, Prop::XPos, 0, std::to_string(*x));
                SetProperty(&window, 0, Prop::YPos, 0, std::to_string(*y));
            }))
            return "no active window";
        return std::nullopt;
    }
    if (command == "get" || command == "set") {
        const auto field = integer(next_word(arguments));
        const std::string_view property_name = next_word(arguments);
        const auto property = PropertyByName(property_name);
        if (!field || !property)
            return command == "get" ? std::string("get needs FIELD PROP [INDEX]")
                                    : std::string("set needs FIELD PROP [INDEX] VALUE");
        int64_t index = 0;
        std::string_view value = trimmed(arguments);
        if (command == "get") {
            if (!value.empty()) {
                const auto given = integer(value);
                if (!given)
                    return "the index must be a number";
                index = *given;
            }
        } else {
            // "set F P INDEX VALUE" when two words follow, else "set F P VALUE".
            std::string_view probe = value;
            const std::string_view first = next_word(probe);
            if (!trimmed(probe).empty() && integer(first)) {
                index = *integer(first);
                value = trimmed(probe);
            }
        }
        std::string text;
        if (command == "set") {
            const auto converted = platform::utf8_to_windows1252_exact(value);
            if (!converted)
                return "the value holds characters the Windows character set cannot hold";
            text = *converted;
        }
        std::string result;
        if (!WithActiveWindow([&](Window& window) {
                if (command == "get")
                    result = GetProperty(&window, static_cast<int32_t>(*field), *property,
                                         static_cast<int32_t>(index));
                else
                    SetProperty(&window, static_cast<int32_t>(*field), *property, static_cast<int32_t>(index),
                                text);
            }))
            return "no active window";
        if (command == "get")
            m_out << platform::windows1252_to_utf8(result) << "\n";
        return std::nullopt;
    }
    if (command == "text") {
        const auto field = integer(rest);
        if (!field)
            return "text needs FIELD";
        std::optional<std::string> shown;
        WithActiveWindow([&](Window& window) {
            if (window.control(static_cast<int32_t>(*field)))
                shown = GetProperty(&window, static_cast<int32_t>(*field), Prop::ScreenText);
        });
        if (!shown)
            return "the window has no control " + std::to_string(*field);
        m_out << platform::windows1252_to_utf8(*shown) << "\n";
        return std::nullopt;
    }
    if (command == "menu") {
        if (rest.empty())
            return "menu needs a PATH such as File|Exit";
        std::optional<std::string> error = "the window has no menu";
        WithActiveWindow([&](Window& window) {
            if (!window.menu_bar())
                return;
            const MenuItem* item = FindMenuItem(window.menu_bar()->items(), std::string(rest));
            if (!item)
                error = "no menu item '" + std::string(rest) + "'";
            else if (!item->selectable())
                error = "the menu item '" + std::string(rest) + "' cannot be chosen";
            else {
                error.reset();
                PostEvent(window, Event::Accepted, item->use);
            }
        });
        return error;
    }
    if (command == "popup") {
        const std::vector<OpenMenu> menus = OpenMenus();
        if (menus.empty())
            return "no popup menu is open";
        bool chosen = false;
        RunOnWindowThread(menus.back().window, [&] { chosen = ChooseInOpenMenu(rest); });
        if (!chosen)
            return "the open menu has no item '" + std::string(rest) + "' to choose";
        return std::nullopt;
    }
    if (command == "rows") {
        const auto field = integer(rest);
        if (!field)
            return "rows needs FIELD";
        std::vector<std::string> lines;
        bool list = false;
        if (!WithActiveWindow([&](Window& window) {
                auto* box = dynamic_cast<ListBox*>(window.control(static_cast<int32_t>(*field)));
                if (!box)
                    return;
                list = true;
                const std::size_t columns = box->layout().columns.size();
                std::string headings;
                bool any_heading = false;
                for (std::size_t c = 0; c < columns; ++c) {
                    const auto& heading = box->layout().columns[c].heading;
                    any_heading = any_heading || heading.has_value();
                    headings += (c ? "|" : "") + heading.value_or("");
                }
                if (any_heading)
                    lines.push_back("#" + headings);
                const int32_t last = std::min(box->record_count(), box->top_row() + box->visible_rows() - 1);
                for (int32_t row = box->top_row(); row <= last; ++row) {
                    std::string line;
                    for (std::size_t c = 0; c < columns; ++c)
                        line += (c ? "|" : "") + box->cell_text(row, static_cast<int32_t>(c + 1));
                    lines.push_back(line);
                }
                lines.push_back("selected " + std::to_string(box->selected_row()) + " " +
                                std::to_string(box->selected_column()));
            }))
            return "no active window";
        if (!list)
            return "control " + std::to_string(*field) + " is not a list";
        for (const std::string& line : lines)
            m_out << platform::windows1252_to_utf8(line) << "\n";
        return std::nullopt;
    }
    if (command == "events") {
        for (const std::string& event : TakeEvents())
            m_out << event << "\n";
        return std::nullopt;
    }
    if (command == "wait") {
        const auto ms = integer(rest);
        if (!ms || *ms < 0)
            return "wait needs a number of milliseconds";
        platform::advance_timer_clock(std::chrono::milliseconds(*ms));
        return std::nullopt;
    }
    if (command == "answer") {
        static const std::pair<std::string_view, platform::MessageBoxButton> Buttons[] = {
            {"Ok", platform::ButtonOk},         {"Cancel", platform::ButtonCancel},
            {"Yes", platform::ButtonYes},       {"No", platform::ButtonNo},
            {"Abort", platform::ButtonAbort},   {"Retry", platform::ButtonRetry},
            {"Ignore", platform::ButtonIgnore},
        };
        for (const auto& [name, button] : Buttons)
            if (EqualsIgnoringAsciiCase(rest, name)) {
                platform::queue_message_box_answer(button);
                return std::nullopt;
            }
        return "unknown button '" + std::string(rest) + "' (Ok, Cancel, Yes, No, Abort, Retry, Ignore)";
    }
    if (command == "shot") {
        if (rest.empty() || rest.find('/') != std::string_view::npos)
            return "shot needs a NAME without '/'";
        const platform::WindowHandle active = platform::active_window();
        if (active == 0)
            return "no active window";
        const std::filesystem::path directory =
            m_options.shots_directory.empty() ? "." : m_options.shots_directory;
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        const std::string path = (directory / (std::string(rest) + ".png")).string();
        if (!platform::write_png(screen_of(active), path))
            return "cannot write " + path;
        return std::nullopt;
    }
    if (command == "close") {
        const platform::WindowHandle active = platform::active_window();
        if (active == 0)
            return "no active window";
        m_input->close(active);
        return std::nullopt;
    }
    return "unknown command '" + std::string(command) + "'";
}

} // namespace morvex
