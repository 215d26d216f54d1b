#include "window/tool_tip.h"

#include "platform/input.h"
#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "window/control.h"
#include "window/definition_services.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"

#include <algorithm>
#include <mutex>

namespace morvex {

namespace {

constexpr std::string_view TipClass = "MvxToolTip";
constexpr uintptr_t ShowTimer = 1;
// The text's distance from the border, and the tip's below the pointer
// (clear of the arrow cursor).
constexpr int PaddingX = 4;
constexpr int PaddingY = 2;
constexpr int BelowPointer = 20;

struct TipState {
    platform::WindowHandle popup = 0;
    platform::WindowHandle control = 0; // the control under the pointer
    platform::Point pointer;            // screen coordinates
    bool shown = false;
    bool suppressed = false; // pressed on: no tip until the pointer leaves
};

thread_local TipState t_tip;

std::string tip_text(Control& control) {
    return control.get_property(Prop::Tip).value_or(std::string());
}

painter::TextFormat tip_format() {
    painter::TextFormat format;
    format.clip = false;
    return format;
}

void paint_tip(platform::WindowHandle window) {
    platform::PaintSession session(window);
    if (!session.valid())
        return;
    painter::Painter painter(*session.pixels(), session.origin(), session.clip());
    const platform::Rect rect = platform::window_rect(window);
    const platform::Rect all = platform::Rect::FromSize(0, 0, rect.width(), rect.height());
    painter.fill_rect(all, painter::system_color(painter::SystemColor::InfoBackground));
    painter.draw_rect(all, painter::system_color(painter::SystemColor::WindowFrame));
    if (const auto font = FontOfDefinition(nullptr))
        painter.draw_text(platform::Rect{PaddingX, PaddingY, all.right - PaddingX, all.bottom},
                          platform::window_text(window), *font,
                          painter::system_color(painter::SystemColor::InfoText), tip_format());
}

intptr_t tip_procedure(void*, const platform::Message& message) {
    switch (message.number) {
    case platform::MsgPaint:
        paint_tip(message.window);
        return 0;
    case platform::MsgTimer: {
        platform::kill_timer(message.window, ShowTimer);
        TipState& tip = t_tip;
        if (tip.shown || tip.suppressed || tip.control == 0 || !platform::is_window_visible(tip.control))
            return 0;
        auto* control = static_cast<Control*>(platform::window_user_data(tip.control));
        const std::string text = control ? tip_text(*control) : std::string();
        const auto font = FontOfDefinition(nullptr);
        if (text.empty() || !font)
            return 0;
        const platform::Rect bounds = painter::text_bounds(
            painter::layout_text(platform::Rect{0, 0, 4096, 4096}, text, *font, tip_format()), *font);
        platform::set_window_text(message.window, text);
        platform::move_window(message.window,
                              platform::Rect::FromSize(tip.pointer.x, tip.pointer.y + BelowPointer,
                                                       bounds.width() + 2 * PaddingX,
                                                       bounds.height() + 2 * PaddingY + 1));
        platform::show_window(message.window, true);
        tip.shown = true;
        return 0;
    }
    case platform::MsgDestroy:
        if (t_tip.popup == message.window) {
            t_tip.popup = 0;
            t_tip.shown = false;
        }
        return 0;
    default:
        return platform::default_window_procedure(message);
    }
}

// The popup, owned by the control's top-level window (so that it goes when
// that window closes), created hidden on first use.
platform::WindowHandle popup_for(platform::WindowHandle control) {
    static std::once_flag registered;
    std::call_once(registered, [] {
        platform::WindowClass window_class;
        window_class.name = std::string(TipClass);
        window_class.procedure = tip_procedure;
        platform::register_window_class(window_class);
    });
    TipState& tip = t_tip;
    const platform::WindowHandle owner = platform::top_level_of(control);
    if (tip.popup != 0 && platform::owner_window(tip.popup) != owner) {
        platform::destroy_window(tip.popup);
        tip.popup = 0;
    }
    if (tip.popup == 0) {
        platform::CreateWindowParams params;
        params.class_name = std::string(TipClass);
        params.owner = owner;
        params.rect = platform::Rect::FromSize(0, 0, 1, 1);
        tip.popup = platform::create_window(params);
    }
    return tip.popup;
}

void hide() {
    TipState& tip = t_tip;
    if (tip.popup == 0)
        return;
    platform::kill_timer(tip.popup, ShowTimer);
    if (tip.shown)
        platform::show_window(tip.popup, false);
    tip.shown = false;
}

} // namespace

void ObserveForToolTip(Control& control, const platform::Message& message) {
    TipState& tip = t_tip;
    switch (message.number) {
    case platform::MsgMouseMove: {
        if (message.window != tip.control) {
            hide();
            tip.control = message.window;
            tip.suppressed = false;
            platform::track_mouse_leave(message.window);
        }
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        tip.pointer = platform::map_point(message.window, 0, point);
        const bool dragging = (message.wparam & (platform::MouseLeftButton | platform::MouseRightButton |
                                                 platform::MouseMiddleButton)) != 0;
        // The pointer must rest: each move starts the wait again.
        if (!tip.shown && !tip.suppressed && !dragging && !tip_text(control).empty())
            if (const platform::WindowHandle popup = popup_for(message.window))
                platform::set_timer(popup, ShowTimer, ToolTipDelay);
        break;
    }
    case platform::MsgMouseLeave:
    case platform::MsgDestroy:
        if (message.window == tip.control) {
            hide();
            tip.control = 0;
            tip.suppressed = false;
        }
        break;
    case platform::MsgLButtonDown:
    case platform::MsgRButtonDown:
    case platform::MsgMButtonDown:
    case platform::MsgLButtonDoubleClick:
    case platform::MsgMouseWheel:
        hide();
        if (message.window == tip.control)
            tip.suppressed = true;
        break;
    case platform::MsgKeyDown:
    case platform::MsgSysKeyDown:
        hide();
        break;
    default:
        break;
    }
}

bool ToolTipShownFor(const Control& control) {
    return t_tip.shown && control.handle() != 0 && t_tip.control == control.handle();
}

} // namespace morvex
