#include "window/window.h"

#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/application_frame.h"
#include "window/control_creators.h"
#include "window/definition_loader.h"
#include "window/definition_services.h"
#include "window/image_cache.h"
#include "window/key_codes.h"
#include "window/menu_bar.h"
#include "window/open_windows.h"
#include "window/painter/font.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/window_registry.h"

#include <algorithm>

namespace morvex {

Window::Window() = default;

Window::~Window() {
    Close();
}

bool Window::TryLoad(std::string_view procedure, std::string_view label) {
    DefinitionLoader& loader = WindowDefinitionLoader();
    const uint32_t offset = loader.TryFindWindowDefinition(procedure, label);
    if (offset == 0)
        return false;
    const DefinitionServices services = DefaultDefinitionServices();
    m_procedure = std::string(procedure);
    m_label = std::string(label);
    m_module = loader.FoundModule();
    m_definition = loader.ReadWindow(offset, services);
    m_metrics = loader.MetricsOf(m_definition, services);
    m_control_definitions = loader.ReadControls(m_definition, m_metrics);
    m_toolbar_definition = loader.ReadToolbar(m_definition, m_metrics);
    loader.ReleaseDefinitionBlock();
    m_loaded = true;
    return true;
}

void Window::LoadDefinition(const WindowDefinition& window, std::vector<ControlDefinition> controls,
                            const UnitMetrics& metrics) {
    m_definition = window;
    m_control_definitions = std::move(controls);
    m_toolbar_definition.reset();
    m_metrics = metrics;
    m_loaded = true;
}

void Window::Load(std::string_view procedure, std::string_view label) {
    if (!TryLoad(procedure, label))
        WindowDefinitionLoader().FindWindowDefinition(procedure, label); // halts with 502
}

void Window::Bind(int32_t control, const BoundVariable& variable) {
    ControlBinding binding;
    binding.variable = variable;
    for (auto& [feq, existing] : m_bindings)
        if (feq == control) {
            existing.variable = variable;
            binding = existing;
        }
    if (std::none_of(m_bindings.begin(), m_bindings.end(), [&](const auto& b) { return b.first == control; }))
        m_bindings.emplace_back(control, binding);
    if (Control* c = this->control(control))
        c->bind(variable);
}

void Window::Bind(int32_t control, Queue& queue) {
    bool found = false;
    for (auto& [feq, existing] : m_bindings)
        if (feq == control) {
            existing.queue = &queue;
            found = true;
        }
    if (!found) {
        ControlBinding binding;
        binding.queue = &queue;
        m_bindings.emplace_back(control, binding);
    }
    if (Control* c = this->control(control))
        c->bind(queue);
}

void Window::Bind(int32_t control, int32_t& value) {
    Bind(control, BoundVariable{FieldType::Long, &value, 4, 0, 1});
}

Control* Window::control(int32_t feq) const {
    if (feq == 0)
        return nullptr;
    for (const auto& control : m_controls)
        if (control->feq() == feq)
            return control.get();
    return nullptr;
}

int32_t Window::CreateControl(uint8_t type) {
    ControlDefinition definition;
    definition.type = type;
    definition.attributes = AttrHidden;
    int32_t feq = 0;
    for (const auto& control : m_controls)
        feq = std::max(feq, control->feq());
    for (const auto& [number, binding] : m_bindings)
        feq = std::max(feq, number);
    definition.feq = feq + 1;
    std::unique_ptr<Control> control = morvex::CreateControl(definition, *this);
    if (!control)
        return 0;
    if (m_client)
        control->create(m_client);
    m_controls.push_back(std::move(control));
    return definition.feq;
}

bool Window::DestroyControl(int32_t feq) {
    const auto it = std::find_if(m_controls.begin(), m_controls.end(),
                                 [feq](const auto& control) { return feq != 0 && control->feq() == feq; });
    if (it == m_controls.end())
        return false;
    (*it)->invalidate();
    (*it)->destroy();
    m_controls.erase(it);
    std::erase_if(m_bindings, [feq](const auto& binding) { return binding.first == feq; });
    return true;
}

Control* Window::focus_control() const {
    const platform::WindowHandle focus = platform::focus_window();
    if (focus == 0)
        return nullptr;
    for (const auto& control : m_controls)
        if (control->handle() == focus)
            return control.get();
    return nullptr;
}

Control* Window::control_at(platform::Point point) const {
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it)
        if ((*it)->feq() > 0 && !(*it)->on_toolbar() && (*it)->effectively_visible() &&
            (*it)->rect().contains(point))
            return it->get();
    return nullptr;
}

void Window::Display(int32_t first, int32_t last) {
    for (const auto& control : m_controls)
        if ((first == 0 && last == 0) || (control->feq() >= first && control->feq() <= std::max(first, last)))
            control->display();
}

void Window::Update(int32_t first, int32_t last) {
    for (const auto& control : m_controls)
        if ((first == 0 && last == 0) || (control->feq() >= first && control->feq() <= std::max(first, last)))
            control->update();
}

void Window::RegisterHandler(uint16_t event, int32_t control, EventHandler handler) {
    m_handlers.push_back({event, control, std::move(handler)});
}

void Window::UnregisterHandlers(uint16_t event, int32_t control) {
    std::erase_if(m_handlers,
                  [&](const RegisteredHandler& h) { return h.event == event && h.control == control; });
}

void Window::Alert(uint32_t key_code) {
    if (!alerted(key_code))
        m_alerts.push_back(key_code & KeyCodeMask);
}

bool Window::alerted(uint32_t key_code) const {
    return std::find(m_alerts.begin(), m_alerts.end(), key_code & KeyCodeMask) != m_alerts.end();
}

int32_t Window::to_pixels_x(int32_t units) const {
    return ToPixelsX(units, m_definition.unit(), m_metrics);
}
int32_t Window::to_pixels_y(int32_t units) const {
    return ToPixelsY(units, m_definition.unit(), m_metrics);
}

int32_t Window::to_units_x(int32_t pixels) const {
    // The inverse conversion: units = pixels × (unit scale) with rounding.
    const UnitMetrics& m = m_metrics;
    switch (m_definition.unit()) {
    case PositionUnit::DialogUnits:
        return MulDiv(pixels, 8, std::max(1, 2 * m.average_char_width));
    case PositionUnit::TwentyFifthInch:
        return MulDiv(pixels, 25, std::max(1, m.pixels_per_inch));
    case PositionUnit::ThousandthInch:
        return MulDiv(pixels, 1000, std::max(1, m.pixels_per_inch));
    case PositionUnit::Points:
        return m.pixels_per_inch == 0 ? pixels : MulDiv(pixels, 72, m.pixels_per_inch);
    }
    return pixels;
}

int32_t Window::to_units_y(int32_t pixels) const {
    const UnitMetrics& m = m_metrics;
    if (m_definition.unit() == PositionUnit::DialogUnits)
        return MulDiv(pixels, 8, std::max(1, m.char_height));
    return to_units_x(pixels);
}

std::shared_ptr<painter::Font> Window::font() const {
    return FontOfDefinition(m_font ? &*m_font : nullptr);
}

painter::Color Window::background() const {
    if (m_colours.colour != wdf::DefaultColour)
        if (const auto colour = painter::resolve_colorref(m_colours.colour))
            return *colour;
    // A frame's client area is the workspace its children stand on.
    return painter::system_color(m_kind == Kind::ApplicationFrame ? painter::SystemColor::AppWorkspace
                                                                  : painter::SystemColor::ButtonFace);
}

void Window::focus(Control* control) {
    if (control && control->can_take_focus())
        control->focus();
}

Control* Window::next_focusable(Control* from, bool backwards) const {
    std::vector<Control*> order;
    for (const auto& control : m_controls)
        if (control->can_take_focus() || control.get() == from)
            order.push_back(control.get());
    if (order.empty())
        return nullptr;
    auto at = std::find(order.begin(), order.end(), from);
    std::size_t index =
        at == order.end() ? (backwards ? 0 : order.size() - 1) : static_cast<std::size_t>(at - order.begin());
    for (std::size_t step = 0; step < order.size(); ++step) {
        index = backwards ? (index + order.size() - 1) % order.size() : (index + 1) % order.size();
        if (order[index] != from && order[index]->can_take_focus())
            return order[index];
    }
    return nullptr;
}

Control* Window::default_button() const {
    for (const auto& control : m_controls)
        if (control->type() == wdf::ButtonControl && control->has_attribute(AttrDefault) &&
            control->effectively_visible() && control->effectively_enabled())
            return control.get();
    return nullptr;
}

void Window::build_controls() {
    m_controls.clear();
    int32_t tab = 0;
    int64_t tab_left = 0;
    for (const ControlDefinition& definition : m_control_definitions) {
        std::unique_ptr<Control> control = morvex::CreateControl(definition, *this);
        if (!control)
            continue;
        if (definition.type == wdf::TabControl) {
            tab = definition.feq;
            tab_left = definition.number(wdf::Field::TabCount);
        } else if (tab != 0 && tab_left > 0) {
            control->set_tab_owner(tab);
            --tab_left;
        }
        m_controls.push_back(std::move(control));
    }
    if (m_toolbar_definition) {
        if (auto bar = morvex::CreateControl(m_toolbar_definition->record, *this))
            m_controls.push_back(std::move(bar));
        for (const ControlDefinition& definition : m_toolbar_definition->controls)
            if (auto control = morvex::CreateControl(definition, *this)) {
                control->set_on_toolbar();
                m_controls.push_back(std::move(control));
            }
    }
    for (auto& [feq, binding] : m_bindings)
        if (Control* c = control(feq)) {
            if (binding.queue)
                c->bind(*binding.queue);
            if (binding.has_variable())
                c->bind(binding.variable);
        }
}

void Window::post_open_events() {
    PostEvent(*this, Event::OpenWindow);
    if (m_definition.posts_sized())
        PostEvent(*this, Event::Sized);
}

void Window::Open(Window* owner) {
    InitializeWindowEngine();
    MarkWindowOpen(this); // halts with 535 when open already
    if (!m_loaded) {
        MarkWindowClosed(this);
        FatalError(ErrUnableToOpenWindow, {});
    }
    if (owner == nullptr)
        owner = CurrentWindow();
    m_owner = owner && owner->IsOpen() ? owner : nullptr;
    if (m_kind != Kind::ApplicationFrame && (m_definition.attributes2 & WinMdiChild)) {
        // An MDI child lives in the frame's client area and belongs to the frame.
        ApplicationFrame* frame = ApplicationFrame::Active();
        if (frame == nullptr || frame->accept_state().closing != 0) {
            MarkWindowClosed(this);
            FatalError(ErrMdiWithoutApplication, {});
        }
        if (SystemModalCount() > 0) {
            MarkWindowClosed(this);
            FatalError(ErrMdiSystemModal, {});
        }
        if (frame->platform_thread() == platform::current_thread()) {
            MarkWindowClosed(this);
            FatalError(ErrMdiOnApplicationThread, {});
        }
        m_kind = Kind::MdiChild;
        m_owner = frame;
    }
    m_thread_slot = CurrentThreadSlot();
    m_platform_thread = platform::current_thread();
    m_accept = AcceptState{};
    m_accept.timer_interval = m_definition.timer;
    m_text = m_definition.caption.value_or("");
    m_font = m_definition.font;
    m_colours = m_definition.colours.value_or(ColourDefinition{});
    m_attributes = 0;
    m_icon = ProgramImages().LoadIcon(m_definition.icon, 0);
    m_wallpaper = m_definition.wallpaper ? ProgramImages().LoadPicture(*m_definition.wallpaper, m_module) : 0;
    m_modal = m_definition.modal() || SystemModalCount() > 0;

    if (m_definition.menu)
        m_menu_bar = std::make_unique<MenuBar>(MenuFromDefinition(m_definition.menu->items));
    m_handle = create_platform_window(m_owner);
    if (m_handle == 0) {
        MarkWindowClosed(this);
        FatalError(m_kind == Kind::MdiChild           ? ErrUnableToOpenMdiWindow
                   : m_kind == Kind::ApplicationFrame ? ErrUnableToOpenApplication
                                                      : ErrUnableToOpenWindow,
                   {});
    }
    RegisterOpenWindow(*this);
    if (m_modal)
        ChangeSystemModalCount(+1);
    if (m_owner) {
        m_owner->m_owned.push_back(this);
        // A window opened on its owner's thread runs its own accept loop
        // inside the owner's: the owner takes no input until it closes.
        if (m_owner->platform_thread() == m_platform_thread &&
            platform::is_window_enabled(m_owner->handle())) {
            platform::enable_window(m_owner->handle(), false);
            m_owner_disabled = true;
        }
    }
    post_open_events();
    build_controls();
    for (const auto& control : m_controls) {
        if (control->type() == wdf::ToolbarControl) {
            control->set_rect(platform::Rect::FromSize(0, 0, m_client_size.width, toolbar_height()));
            control->create(m_handle);
            m_toolbar = control->handle();
        } else {
            control->create(control->on_toolbar() && m_toolbar ? m_toolbar : m_client);
        }
    }
    layout_frame();
    m_opening = false;
    if (m_accept.timer_interval != 0)
        platform::set_timer(m_handle, 1, std::chrono::milliseconds(m_accept.timer_interval * 10));
    platform::show_window(m_handle, true);
    if (m_kind == Kind::MdiChild) {
        ApplicationFrame::Active()->activate_child(this);
        platform::activate_window(platform::top_level_of(m_handle));
    } else {
        platform::activate_window(m_handle);
    }
    if (Control* first = next_focusable(nullptr, false))
        first->focus();
}

void Window::Close() {
    if (m_handle == 0)
        return;
    const platform::WindowHandle handle = m_handle;
    for (Window* owned : std::vector<Window*>(m_owned))
        owned->Close();
    for (const auto& control : m_controls)
        control->destroy();
    platform::kill_timer(handle, 1);
    m_handle = 0;
    m_client = 0;
    m_toolbar = 0;
    platform::set_window_user_data(handle, nullptr);
    platform::destroy_window(handle);
    m_controls.clear();
    if (m_modal)
        ChangeSystemModalCount(-1);
    if (m_owner) {
        std::erase(m_owner->m_owned, this);
        if (m_owner_disabled && m_owner->IsOpen()) {
            platform::enable_window(m_owner->handle(), true);
            platform::activate_window(m_owner->handle());
        }
        if (m_kind == Kind::MdiChild)
            if (ApplicationFrame* frame = ApplicationFrame::Active(); frame == m_owner)
                frame->child_closed(this);
    }
    if (m_kind == Kind::MdiChild)
        m_kind = Kind::Plain;
    m_owner_disabled = false;
    m_owner = nullptr;
    UnregisterOpenWindow(*this);
    m_accept.queue.clear();
    if (m_kind == Kind::ApplicationFrame)
        static_cast<ApplicationFrame*>(this)->frame_closed();
    MarkWindowClosed(this);
}

void Window::set_text(std::string_view text) {
    m_text = std::string(text);
    if (m_handle)
        platform::set_window_text(m_handle, m_text);
}

void Window::attributes_changed(uint32_t changed) {
    if (m_handle == 0)
        return;
    if (changed & AttrHidden)
        platform::show_window(m_handle, !has_attribute(AttrHidden));
    if (changed & AttrDisabled)
        platform::enable_window(m_handle, !has_attribute(AttrDisabled));
}

void Window::appearance_changed() {
    if (m_handle) {
        platform::invalidate(m_handle);
        invalidate_client();
    }
}

void Window::invalidate_client(std::optional<platform::Rect> rect) {
    if (m_client)
        platform::invalidate(m_client, rect);
}

int32_t Window::pixel_geometry(int which) const {
    if (m_handle == 0) {
        const int32_t value = which == 0   ? m_definition.x
                              : which == 1 ? m_definition.y
                              : which == 2 ? m_definition.width
                                           : m_definition.height;
        if (value == DefaultPosition)
            return 0;
        return which % 2 == 0 ? to_pixels_x(value) : to_pixels_y(value);
    }
    const platform::Rect outer = platform::window_rect(m_handle);
    const platform::Rect client = client_rect_in_frame();
    switch (which) {
    case 0:
        return outer.left;
    case 1:
        return outer.top;
    case 2:
        return client.width();
    default:
        return client.height();
    }
}

void Window::set_pixel_geometry(int which, int32_t pixels) {
    if (m_handle == 0)
        return;
    const platform::Rect outer = platform::window_rect(m_handle);
    const platform::Rect client = client_rect_in_frame();
    platform::Size size{client.width(), client.height()};
    platform::Point at{outer.left, outer.top};
    switch (which) {
    case 0:
        at.x = pixels;
        break;
    case 1:
        at.y = pixels;
        break;
    case 2:
        size.width = std::max(1, pixels);
        break;
    default:
        size.height = std::max(1, pixels);
        break;
    }
    const platform::Size outer_size = frame_size_for_client(size);
    platform::move_window(m_handle,
                          platform::Rect::FromSize(at.x, at.y, outer_size.width, outer_size.height));
    layout_frame();
}

std::optional<std::string> Window::get_property(uint32_t number) {
    switch (number) {
    case Prop::Thread:
        return std::to_string(m_thread_slot + 1);
    case Prop::ClientWidth:
        return std::to_string(to_units_x(client_rect_in_frame().width()));
    case Prop::ClientHeight:
        return std::to_string(to_units_y(client_rect_in_frame().height()));
    case Prop::Timer:
        return std::to_string(m_accept.timer_interval);
    case Prop::Modal:
        return FlagText(m_modal);
    case Prop::Mdi:
        return FlagText(m_kind == Kind::MdiChild);
    case Prop::SystemMenu:
        return FlagText(has_caption());
    case Prop::Active:
        return FlagText(m_handle != 0 && platform::active_window() == m_handle);
    case Prop::FocusControl: {
        const Control* focus = focus_control();
        return std::to_string(focus ? focus->feq() : 0);
    }
    case Prop::SelectedControl:
        return std::to_string(m_accept.selected_feq);
    case Prop::FirstControl:
        return std::to_string(m_controls.empty() ? 0 : m_controls.front()->feq());
    case Prop::LastControl: {
        int32_t last = 0;
        for (const auto& control : m_controls)
            if (control->feq() > 0 && !control->on_toolbar())
                last = control->feq();
        return std::to_string(last);
    }
    case Prop::Handle:
        return std::to_string(m_handle);
    case Prop::ClientHandle:
        return std::to_string(m_client);
    case Prop::AcceptAll:
        return FlagText(m_accept.accept_all);
    case Prop::ClosingState:
        return std::to_string(m_accept.closing);
    case Prop::Icon:
        return m_icon_name;
    case Prop::Wallpaper:
        return m_definition.wallpaper.value_or("");
    case Prop::Color:
        return std::to_string(static_cast<int32_t>(m_colours.colour));
    default:
        return EngineObject::get_property(number);
    }
}

std::optional<std::string> Window::get_indexed_property(uint32_t number, int32_t index) {
    if (number == Prop::Alert)
        return index >= 0 && static_cast<std::size_t>(index) < m_alerts.size()
                   ? std::to_string(m_alerts[static_cast<std::size_t>(index)])
                   : std::string("0");
    return EngineObject::get_indexed_property(number, index);
}

bool Window::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::Timer:
        m_accept.timer_interval = static_cast<uint32_t>(std::max<int64_t>(0, NumberValue(value)));
        if (m_handle) {
            if (m_accept.timer_interval)
                platform::set_timer(m_handle, 1, std::chrono::milliseconds(m_accept.timer_interval * 10));
            else
                platform::kill_timer(m_handle, 1);
        }
        return true;
    case Prop::AcceptAll:
        m_accept.accept_all = FlagValue(value);
        m_accept.next_to_accept = 0;
        return true;
    case Prop::Alert:
        if (index >= 0) {
            const auto key = static_cast<uint32_t>(NumberValue(value)) & KeyCodeMask;
            if (key == 0)
                m_alerts.erase(std::remove(m_alerts.begin(), m_alerts.end(), key), m_alerts.end());
            else
                Alert(key);
        }
        return true;
    case Prop::Icon:
        m_icon_name = std::string(value);
        m_icon = ProgramImages().LoadIcon(ImageReferenceOfName(m_icon_name, ImageUse::Icon, m_module), 0);
        appearance_changed();
        return true;
    case Prop::Wallpaper:
        m_definition.wallpaper = std::string(value);
        m_wallpaper = value.empty() ? 0 : ProgramImages().LoadPicture(value, m_module);
        appearance_changed();
        return true;
    case Prop::Color:
        m_colours.colour = static_cast<uint32_t>(NumberValue(value));
        appearance_changed();
        return true;
    default:
        return EngineObject::set_property(number, index, value);
    }
}

} // namespace morvex
