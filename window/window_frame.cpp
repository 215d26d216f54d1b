// The platform windows of an engine window and what they draw: the frame
// (a top-level window holding the caption bar and border the engine draws),
// the toolbar below the caption and the client area that holds the controls.
#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/definition_services.h"
#include "window/engine_messages.h"
#include "window/image_cache.h"
#include "window/keyboard.h"
#include "window/menu_bar.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/window.h"

#include <algorithm>
#include <mutex>

namespace morvex {

namespace {

constexpr std::string_view FrameClass = "MvxWindow";
constexpr std::string_view ClientClass = "MvxClient";
constexpr int DialogBorder = 3;
constexpr int SizingBorder = 4;
constexpr int CaptionHeight = 18;
constexpr int ToolCaptionHeight = 15;
// Room right of and below the controls of a window that leaves its size open.
constexpr int DefaultSizeMargin = 8;
constexpr int MaxWindowSide = 8192;

// Attribute word 2: a tool window has the small caption.
constexpr uint32_t WinToolWindow = 0x40;
// Attribute word 2: centred on its owner (or the screen) when placed by default.
constexpr uint32_t WinCentered = 0x20;

void register_classes() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::WindowClass frame;
        frame.name = std::string(FrameClass);
        frame.procedure = Window::DispatchFrame;
        platform::register_window_class(frame);
        platform::WindowClass client;
        client.name = std::string(ClientClass);
        client.procedure = Window::DispatchClient;
        client.style = platform::ClassDoubleClicks;
        platform::register_window_class(client);
    });
}

// An icon for the window manager: the image scaled to a square side.
platform::IconImage IconImageOf(const painter::Image& image, int side) {
    platform::IconImage icon;
    icon.width = side;
    icon.height = side;
    icon.pixels.resize(static_cast<std::size_t>(side) * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            icon.pixels[static_cast<std::size_t>(y) * side + x] =
                image.at(x * image.width / side, y * image.height / side);
    return icon;
}

painter::Color mix(painter::Color a, painter::Color b, int numerator, int denominator) {
    const auto channel = [&](uint8_t x, uint8_t y) {
        return static_cast<uint8_t>((x * (denominator - numerator) + y * numerator) /
                                    std::max(1, denominator));
    };
    return {channel(a.red, b.red), channel(a.green, b.green), channel(a.blue, b.blue)};
}

} // namespace

bool Window::has_caption() const {
    return m_definition.caption && !m_definition.caption->empty();
}

int Window::border_width() const {
    return (m_definition.attributes1 & wdf::WinResize) ? SizingBorder : DialogBorder;
}

int Window::caption_height() const {
    if (!has_caption())
        return 0;
    return (m_definition.attributes2 & WinToolWindow) ? ToolCaptionHeight : CaptionHeight;
}

int Window::toolbar_height() const {
    return m_toolbar_definition ? m_toolbar_definition->height : 0;
}

int Window::menu_bar_height() const {
    return m_menu_bar && !m_menu_bar->empty() ? MenuBar::height() : 0;
}

platform::Rect Window::menu_bar_rect() const {
    const int border = border_width();
    return platform::Rect::FromSize(border, border + caption_height(), m_client_size.width,
                                    menu_bar_height());
}

platform::Rect Window::client_rect_in_frame() const {
    const int border = border_width();
    return platform::Rect::FromSize(border, border + caption_height() + menu_bar_height() + toolbar_height(),
                                    m_client_size.width, m_client_size.height);
}

platform::Size Window::frame_size_for_client(platform::Size client) const {
    const int border = border_width();
    return {client.width + 2 * border,
            client.height + 2 * border + caption_height() + menu_bar_height() + toolbar_height()};
}

bool Window::is_menu_use(int32_t use) const {
    return m_menu_bar && use != 0 && m_menu_bar->item_with_use(use);
}

void Window::track_menu_bar(int index, bool keyboard) {
    if (!m_menu_bar || m_handle == 0)
        return;
    const platform::Rect bar = menu_bar_rect();
    const platform::Point origin = platform::map_point(m_handle, 0, {bar.left, bar.top});
    const MenuItem* chosen = m_menu_bar->track(
        index, m_handle, origin, keyboard,
        [](void* context) {
            auto* self = static_cast<Window*>(context);
            if (self->m_handle)
                platform::invalidate(self->m_handle, self->menu_bar_rect());
        },
        this);
    if (chosen && chosen->use != 0)
        PostEvent(*this, Event::Accepted, chosen->use);
}

bool Window::open_menu_bar(int title) {
    if (!m_menu_bar || m_menu_bar->empty())
        return false;
    track_menu_bar(title < 0 ? 0 : title, true);
    return true;
}

platform::Size Window::initial_client_size() const {
    int width = m_definition.width == DefaultPosition ? 0 : to_pixels_x(m_definition.width);
    int height = m_definition.height == DefaultPosition ? 0 : to_pixels_y(m_definition.height);
    if (m_definition.width == DefaultPosition || m_definition.height == DefaultPosition) {
        int right = 0, bottom = 0;
        for (const ControlDefinition& control : m_control_definitions) {
            right = std::max(right, control.x + control.width);
            bottom = std::max(bottom, control.y + control.height);
        }
        if (m_definition.width == DefaultPosition)
            width = right > 0 ? right + DefaultSizeMargin : platform::DefaultWindowSize.width;
        if (m_definition.height == DefaultPosition)
            height = bottom > 0 ? bottom + DefaultSizeMargin : platform::DefaultWindowSize.height;
    }
    if (m_toolbar_definition)
        width = std::max(width, m_toolbar_definition->width);
    return {std::clamp(width, 1, MaxWindowSide), std::clamp(height, 1, MaxWindowSide)};
}

platform::WindowHandle Window::create_platform_window(Window* owner) {
    register_classes();
    m_opening = true;
    m_client_size = initial_client_size();
    const platform::Size outer = frame_size_for_client(m_client_size);
    platform::CreateWindowParams params;
    params.class_name = std::string(FrameClass);
    params.text = m_text;
    params.owner = owner && m_kind != Kind::MdiChild ? owner->handle() : 0;
    params.user_data = this;
    const bool default_position = m_definition.x == DefaultPosition || m_definition.y == DefaultPosition;
    platform::Point at{0, 0};
    if (m_kind == Kind::MdiChild) {
        // Inside the frame's client area: where the definition says, else
        // cascading from its top-left corner.
        params.parent = owner->client_handle();
        if (default_position) {
            const int step = 22 * static_cast<int>(owner->owned().size() % 8);
            at = {step, step};
        } else {
            at = {to_pixels_x(m_definition.x), to_pixels_y(m_definition.y)};
        }
    } else if (!default_position) {
        at = {std::clamp(to_pixels_x(m_definition.x), -MaxWindowSide, MaxWindowSide),
              std::clamp(to_pixels_y(m_definition.y), -MaxWindowSide, MaxWindowSide)};
    } else if (owner || (m_definition.attributes2 & WinCentered)) {
        // Centred on the owner, or placed by the platform without one.
        if (owner) {
            const platform::Rect o = platform::window_rect(owner->handle());
            at = {o.left + (o.width() - outer.width) / 2, o.top + (o.height() - outer.height) / 2};
        } else {
            params.default_position = true;
        }
    } else {
        params.default_position = true;
    }
    params.rect = platform::Rect::FromSize(at.x, at.y, outer.width, outer.height);
    // A window with an owner is its dialog (kept above it, not in task lists).
    if ((owner || m_modal) && m_kind != Kind::MdiChild)
        params.style |= platform::StyleDialog;
    const platform::WindowHandle frame = platform::create_window(params);
    if (frame == 0)
        return 0;
    if (const painter::Image* icon = ProgramImages().Get(m_icon))
        platform::set_window_icon(frame, {IconImageOf(*icon, 16), IconImageOf(*icon, 32)});
    platform::CreateWindowParams client;
    client.class_name = std::string(ClientClass);
    client.parent = frame;
    client.rect = platform::Rect::FromSize(0, 0, m_client_size.width, m_client_size.height);
    client.style = platform::StyleVisible;
    client.user_data = this;
    m_client = platform::create_window(client);
    if (m_client == 0) {
        platform::destroy_window(frame);
        return 0;
    }
    m_handle = frame;
    layout_frame();
    return frame;
}

void Window::layout_frame() {
    if (m_client)
        platform::move_window(m_client, client_rect_in_frame());
    if (m_toolbar) {
        const int border = border_width();
        platform::move_window(m_toolbar,
                              platform::Rect::FromSize(border, border + caption_height() + menu_bar_height(),
                                                       m_client_size.width, toolbar_height()));
    }
}

bool Window::is_shown_active() const {
    if (m_handle == 0)
        return false;
    if (m_kind == Kind::MdiChild) {
        const ApplicationFrame* frame = ApplicationFrame::Active();
        return frame && frame->active_child() == this && platform::active_window() == frame->handle();
    }
    return platform::active_window() == m_handle;
}

void Window::show_cursor(platform::MouseCursor shape) {
    if (shape == m_cursor_shape || m_handle == 0)
        return;
    m_cursor_shape = shape;
    platform::set_window_cursor(m_handle, shape);
}

platform::Rect Window::close_box_rect() const {
    const int border = border_width();
    const int height = caption_height() - 4;
    const int width = height + 2;
    const int right = border + m_client_size.width - 2;
    return platform::Rect::FromSize(right - width, border + 2, width, height);
}

void Window::paint_frame(painter::Painter& painter) {
    using painter::SystemColor;
    const platform::Size outer = frame_size_for_client(m_client_size);
    const platform::Rect all = platform::Rect::FromSize(0, 0, outer.width, outer.height);
    painter.fill_rect(all, painter::system_color(SystemColor::ButtonFace));
    painter.draw_border(all, painter::Border::RaisedDouble);
    if (m_menu_bar && !m_menu_bar->empty())
        m_menu_bar->paint(painter, menu_bar_rect());
    if (!has_caption())
        return;
    const int border = border_width();
    const platform::Rect bar =
        platform::Rect::FromSize(border, border, m_client_size.width, caption_height() - 1);
    const bool active = is_shown_active();
    // The caption shades from the caption colour to a lighter one.
    const painter::Color from =
        active ? painter::Color::from_rgb(0x0A246A) : painter::Color::from_rgb(0x808080);
    const painter::Color to =
        active ? painter::Color::from_rgb(0xA6CAF0) : painter::Color::from_rgb(0xC0C0C0);
    for (int x = 0; x < bar.width(); ++x)
        painter.draw_vline(bar.left + x, bar.top, bar.height(),
                           mix(from, to, x, std::max(1, bar.width() - 1)));
    int text_left = bar.left + 3;
    if (const painter::Image* icon = ProgramImages().Get(m_icon)) {
        const int side = bar.height() - 2;
        painter.draw_image_stretched(*icon, platform::Rect::FromSize(bar.left + 2, bar.top + 1, side, side));
        text_left += side + 2;
    }
    painter::FontRequest request;
    request.typeface = std::string(SystemFontTypeface);
    request.point_size = SystemFontPointSize;
    request.weight = 700;
    if (const auto font = painter::Font::get(request)) {
        const platform::Rect box = close_box_rect();
        painter::TextFormat format;
        format.single_line = true;
        format.vertical = painter::VerticalAlign::Center;
        const platform::Rect text_area{text_left, bar.top, box.left - 2, bar.bottom};
        painter.draw_text(text_area, m_text, *font,
                          active ? painter::system_color(SystemColor::CaptionText)
                                 : painter::system_color(SystemColor::InactiveCaptionText),
                          format);
    }
    // The close box: a small raised button with a cross.
    const platform::Rect box = close_box_rect();
    painter.fill_rect(box, painter::system_color(SystemColor::ButtonFace));
    painter.draw_border(box, m_close_pressed && m_close_hot ? painter::Border::SunkenDouble
                                                            : painter::Border::RaisedDouble);
    const int shift = m_close_pressed && m_close_hot ? 1 : 0;
    const int size = std::min(box.width(), box.height()) - 8;
    const int cx = box.left + (box.width() - size) / 2 + shift - 1;
    const int cy = box.top + (box.height() - size) / 2 + shift;
    const painter::Color ink = painter::system_color(SystemColor::ButtonText);
    for (int d = 0; d < 2; ++d) {
        painter.draw_line({cx + d, cy}, {cx + size - 1 + d, cy + size - 1}, ink);
        painter.draw_line({cx + d, cy + size - 1}, {cx + size - 1 + d, cy}, ink);
    }
}

void Window::paint_client(painter::Painter& painter, const platform::Rect& area) {
    painter.fill_rect(area, background());
    const platform::Rect client = platform::Rect::FromSize(0, 0, m_client_size.width, m_client_size.height);
    if (const painter::Image* wallpaper = ProgramImages().Get(m_wallpaper))
        painter.clipped_to(area).draw_image_tiled(*wallpaper, client);
    // Controls without a platform window of their own are drawn here, beneath the others.
    for (const auto& control : m_controls) {
        if (control->handle() != 0 || control->on_toolbar() || !control->effectively_visible())
            continue;
        const platform::Rect r = control->rect();
        if (r.intersect(area).empty())
            continue;
        painter::Painter sub = painter.clipped_to(area).sub_painter(r);
        control->paint(sub);
    }
}

intptr_t Window::DispatchFrame(void* user_data, const platform::Message& message) {
    auto* self = static_cast<Window*>(user_data);
    if (self == nullptr)
        return platform::default_window_procedure(message);
    return self->frame_message(message);
}

intptr_t Window::DispatchClient(void* user_data, const platform::Message& message) {
    auto* self = static_cast<Window*>(user_data);
    if (self == nullptr)
        return platform::default_window_procedure(message);
    return self->client_message(message);
}

intptr_t Window::frame_message(const platform::Message& message) {
    if (const auto handled = HandleEngineMessage(*this, message))
        return *handled;
    switch (message.number) {
    case platform::MsgPaint: {
        platform::PaintSession session(message.window);
        if (session.valid()) {
            painter::Painter painter(*session.pixels(), session.origin(), session.clip());
            paint_frame(painter);
        }
        return 0;
    }
    case platform::MsgClose:
        PostEvent(*this, Event::CloseWindow);
        return 0;
    case platform::MsgActivate:
        if (has_caption())
            platform::invalidate(m_handle,
                                 platform::Rect::FromSize(0, 0, frame_size_for_client(m_client_size).width,
                                                          border_width() + caption_height()));
        return 0;
    case platform::MsgSetFocus: {
        // The frame itself never keeps the focus: it goes to the control that
        // had it last, else to the first one that takes it.
        Control* target = control(m_accept.focus_feq);
        if (!target || !target->can_take_focus())
            target = next_focusable(nullptr, false);
        if (target)
            target->focus();
        return 0;
    }
    case platform::MsgMove:
        if (!m_opening && !m_dragging)
            PostEvent(*this, Event::Moved);
        return 0;
    case platform::MsgSize:
        if (!m_opening) {
            const platform::Rect outer = platform::window_rect(m_handle);
            const platform::Size frame = frame_size_for_client({0, 0});
            m_client_size = {std::max(1, outer.width() - frame.width),
                             std::max(1, outer.height() - frame.height)};
            layout_frame();
            PostEvent(*this, Event::Sized);
        }
        return 0;
    case platform::MsgLButtonDown: {
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        if (m_kind == Kind::MdiChild)
            if (ApplicationFrame* frame = ApplicationFrame::Active())
                frame->activate_child(this);
        if (menu_bar_rect().contains(point)) {
            const platform::Rect bar = menu_bar_rect();
            const int title = m_menu_bar->title_at({point.x, point.y});
            if (title >= 0)
                track_menu_bar(title, false);
            (void)bar;
            return 0;
        }
        if (!has_caption())
            return 0;
        if (close_box_rect().contains(point)) {
            m_close_pressed = m_close_hot = true;
            platform::set_capture(m_handle);
            platform::invalidate(m_handle, close_box_rect());
        } else if (point.y < border_width() + caption_height()) {
            m_dragging = true;
            m_drag_offset = point;
            platform::set_capture(m_handle);
        }
        return 0;
    }
    case platform::MsgMouseMove: {
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        show_cursor(platform::MouseCursor::Arrow);
        if (m_dragging) {
            const platform::Rect outer = platform::window_rect(m_handle);
            platform::move_window(m_handle,
                                  outer.offset(point.x - m_drag_offset.x, point.y - m_drag_offset.y));
        } else if (m_close_pressed) {
            const bool hot = close_box_rect().contains(point);
            if (hot != m_close_hot) {
                m_close_hot = hot;
                platform::invalidate(m_handle, close_box_rect());
            }
        }
        return 0;
    }
    case platform::MsgLButtonUp:
    case platform::MsgCaptureChanged:
        if (m_dragging) {
            m_dragging = false;
            platform::release_capture();
            PostEvent(*this, Event::Moved);
        } else if (m_close_pressed) {
            const bool close = m_close_hot && message.number == platform::MsgLButtonUp;
            m_close_pressed = m_close_hot = false;
            platform::release_capture();
            platform::invalidate(m_handle, close_box_rect());
            if (close)
                PostEvent(*this, Event::CloseWindow);
        }
        return 0;
    case platform::MsgDestroy:
        if (m_handle == message.window) {
            // Destroyed from outside (its owner closed): forget the handles.
            for (const auto& c : m_controls)
                c->destroy();
            m_handle = 0;
            m_client = 0;
            m_toolbar = 0;
        }
        return 0;
    default:
        if (HandleWindowKey(*this, nullptr, message))
            return 0;
        return platform::default_window_procedure(message);
    }
}

intptr_t Window::client_message(const platform::Message& message) {
    switch (message.number) {
    case platform::MsgMouseMove: {
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        const Control* drawn = control_at(point);
        show_cursor(drawn && drawn->handle() == 0 ? drawn->cursor_shape() : platform::MouseCursor::Arrow);
        return 0;
    }
    case platform::MsgPaint: {
        platform::PaintSession session(message.window);
        if (session.valid()) {
            painter::Painter painter(*session.pixels(), session.origin(), session.clip());
            paint_client(painter, session.invalid());
        }
        return 0;
    }
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick:
    case platform::MsgRButtonDown: {
        const platform::Point point{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        if (Control* drawn = control_at(point); drawn && drawn->handle() == 0) {
            intptr_t result = 0;
            drawn->handle_message(message, result);
        }
        return 0;
    }
    default:
        if (HandleWindowKey(*this, nullptr, message))
            return 0;
        return platform::default_window_procedure(message);
    }
}

} // namespace morvex
