#include "framework/browse_toolbar.h"

#include "framework/browse_manager.h"
#include "framework/window_controller.h"
#include "window/accept.h"
#include "window/events.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

namespace morvex {

namespace {

// Whether a button of the browse's window exists and is not disabled.
bool usable(Window& window, int32_t button) {
    return button != 0 && window.control(button) && GetProperty(&window, button, Prop::Disable) != "1";
}

void enable(Window& window, int32_t button, bool on) {
    if (window.control(button))
        SetProperty(&window, button, Prop::Disable, on ? "0" : "1");
}

} // namespace

void BrowseToolbarTarget::DisplayButtons() {
    if (!BROWSE || !BROWSE->controller())
        return;
    Window& window = BROWSE->controller()->window();
    enable(window, ToolbarHistory, false);
    for (int32_t button = ToolbarBottom; button <= ToolbarLocate; ++button)
        enable(window, button, true);
    enable(window, ToolbarSelect, usable(window, SELECTBUTTON));
    enable(window, ToolbarDelete, usable(window, DELETEBUTTON));
    enable(window, ToolbarChange, usable(window, CHANGEBUTTON));
    enable(window, ToolbarInsert, usable(window, INSERTBUTTON));
    enable(window, ToolbarHelp, usable(window, HELPBUTTON));
}

void BrowseToolbarTarget::TakeToolbar() {
    if (BROWSE && BROWSE->controller())
        SetToolbarTips(BROWSE->controller()->window());
    DisplayButtons();
}

bool BrowseToolbarTarget::TryTakeToolbar() {
    if (!BROWSE || !BROWSE->controller() ||
        GetProperty(&BROWSE->controller()->window(), CONTROL, Prop::Visible) != "1")
        return false;
    TakeToolbar();
    return true;
}

void BrowseToolbarTarget::TakeEvent(int32_t*, WindowController& controller) {
    Window& window = controller.window();
    auto scroll = [&](uint16_t event) { PostEvent(window, event, CONTROL); };
    switch (ACCEPTED()) {
    case ToolbarSelect:
        controller.Update();
        controller.RESPONSE = RequestCompleted;
        PostEvent(window, Event::CloseWindow);
        break;
    case ToolbarBottom:
        scroll(Event::ScrollBottom);
        break;
    case ToolbarTop:
        scroll(Event::ScrollTop);
        break;
    case ToolbarPageDown:
        scroll(Event::PageDown);
        break;
    case ToolbarPageUp:
        scroll(Event::PageUp);
        break;
    case ToolbarDown:
        scroll(Event::ScrollDown);
        break;
    case ToolbarUp:
        scroll(Event::ScrollUp);
        break;
    case ToolbarLocate:
        scroll(Event::Locate);
        break;
    case ToolbarInsert:
        if (INSERTBUTTON)
            PostEvent(window, Event::Accepted, INSERTBUTTON);
        break;
    case ToolbarChange:
        if (CHANGEBUTTON)
            PostEvent(window, Event::Accepted, CHANGEBUTTON);
        break;
    case ToolbarDelete:
        if (DELETEBUTTON)
            PostEvent(window, Event::Accepted, DELETEBUTTON);
        break;
    case ToolbarHelp:
        if (HELPBUTTON)
            PostEvent(window, Event::Accepted, HELPBUTTON);
        break;
    default:
        break;
    }
}

} // namespace morvex
