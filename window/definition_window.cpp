#include "window/definition_window.h"

#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "window/control_preview.h"
#include "window/image_cache.h"
#include "window/open_windows.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>
#include <mutex>

namespace morvex {

namespace {

// Space right and below the controls of a window whose size is left to us.
constexpr int DefaultSizeMargin = 8;
constexpr int MaxWindowSide = 8192;

void register_class_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::WindowClass window_class;
        window_class.name = DefinitionWindowClass;
        window_class.procedure = DefinitionWindow::Dispatch;
        platform::register_window_class(window_class);
    });
}

} // namespace

DefinitionWindow::~DefinitionWindow() {
    Close();
}

bool DefinitionWindow::IsOpen() const {
    return IsWindowOpen(this);
}

platform::Rect DefinitionWindow::initial_rect(const UnitMetrics& metrics, bool& default_position,
                                              bool& default_size) const {
    const PositionUnit unit = m_window.unit();
    default_position = m_window.x == DefaultPosition || m_window.y == DefaultPosition;
    const int x = default_position ? 0 : ToPixelsX(m_window.x, unit, metrics);
    const int y = default_position ? 0 : ToPixelsY(m_window.y, unit, metrics);
    int width = m_window.width == DefaultPosition ? 0 : ToPixelsX(m_window.width, unit, metrics);
    int height = m_window.height == DefaultPosition ? 0 : ToPixelsY(m_window.height, unit, metrics);
    default_size = false;
    if (m_window.width == DefaultPosition || m_window.height == DefaultPosition) {
        // Large enough for the controls, or the platform's default without any.
        int right = 0, bottom = 0;
        const std::shared_ptr<painter::Font> font =
            FontOfDefinition(m_window.font ? &*m_window.font : nullptr);
        for (const ControlDefinition& control : m_controls) {
            if (!font)
                break;
            const platform::Rect r = ControlPreviewRect(control, *font);
            right = std::max(right, r.right);
            bottom = std::max(bottom, r.bottom);
        }
        if (right == 0 && bottom == 0) {
            default_size = true;
        } else {
            if (m_window.width == DefaultPosition)
                width = right + DefaultSizeMargin;
            if (m_window.height == DefaultPosition)
                height = bottom + DefaultSizeMargin;
        }
    }
    // A record cannot ask for a frame buffer larger than any image we draw,
    // nor for a position whose far edge overflows.
    const auto coordinate = [](int value) { return std::clamp(value, -MaxWindowSide, MaxWindowSide); };
    const auto side = [](int value) { return std::clamp(value, 1, MaxWindowSide); };
    return platform::Rect::FromSize(coordinate(x), coordinate(y), side(width), side(height));
}

bool DefinitionWindow::Open(std::string_view procedure, std::string_view label,
                            const DefinitionServices& services) {
    MarkWindowOpen(this);
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.TryFindWindowDefinition(procedure, label);
    if (offset == 0) {
        MarkWindowClosed(this);
        return false;
    }
    m_module = loader.FoundModule();
    m_window = loader.ReadWindow(offset, services);
    const UnitMetrics metrics = loader.MetricsOf(m_window, services);
    m_controls = loader.ReadControls(m_window, metrics);
    m_icon = loader.LoadIcon(m_window.icon, 0, services);
    m_wallpaper = m_window.wallpaper ? ProgramImages().LoadPicture(*m_window.wallpaper, m_module) : 0;
    loader.ReleaseDefinitionBlock();

    register_class_once();
    platform::CreateWindowParams params;
    params.class_name = DefinitionWindowClass;
    params.text = m_window.caption.value_or("");
    params.style = platform::StyleVisible;
    params.rect = initial_rect(metrics, params.default_position, params.default_size);
    params.user_data = this;
    m_handle = platform::create_window(params);
    if (m_handle == 0) {
        MarkWindowClosed(this);
        return false;
    }
    return true;
}

void DefinitionWindow::Close() {
    if (m_handle != 0)
        platform::destroy_window(m_handle); // MsgDestroy marks it closed
}

intptr_t DefinitionWindow::Dispatch(void* user_data, const platform::Message& message) {
    auto* self = static_cast<DefinitionWindow*>(user_data);
    if (self == nullptr)
        return platform::default_window_procedure(message);
    switch (message.number) {
    case platform::MsgPaint: {
        platform::PaintSession session(message.window);
        if (session.valid()) {
            painter::Painter painter(*session.pixels(), session.origin(), session.clip());
            self->Paint(painter);
        }
        return 0;
    }
    case platform::MsgDestroy:
        self->m_handle = 0;
        MarkWindowClosed(self);
        return 0;
    default:
        return platform::default_window_procedure(message);
    }
}

void DefinitionWindow::Paint(painter::Painter& painter) const {
    const platform::Rect client = platform::Rect::FromSize(0, 0, platform::window_rect(m_handle).width(),
                                                           platform::window_rect(m_handle).height());
    painter::Color background = painter::system_color(painter::SystemColor::ButtonFace);
    if (m_window.colours)
        if (const auto colour = painter::resolve_colorref(m_window.colours->colour))
            background = *colour;
    painter.fill_rect(client, background);
    if (const painter::Image* wallpaper = ProgramImages().Get(m_wallpaper))
        painter.draw_image_tiled(*wallpaper, client);
    const FontDefinition* window_font = m_window.font ? &*m_window.font : nullptr;
    for (const ControlDefinition& control : m_controls)
        PaintControlPreview(painter, control, window_font, m_module, background);
}

} // namespace morvex
