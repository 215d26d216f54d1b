// A sheet driven through a real accept loop: the procedure sees
// EVENT:TabChanging while the old tab is still selected and its controls
// still shown, and EVENT:NewSelection once the new one is; the variable
// bound to the sheet chooses the first tab and follows every turn.
#include "platform/input_injection.h"
#include "platform/window_messages.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/definition_services.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

ControlDefinition control(uint8_t type, int32_t feq, const platform::Rect& rect,
                          std::vector<std::pair<wdf::Field, int64_t>> numbers = {}) {
    ControlDefinition c;
    c.type = type;
    c.feq = feq;
    c.x = rect.left;
    c.y = rect.top;
    c.width = rect.width();
    c.height = rect.height();
    c.numbers = std::move(numbers);
    return c;
}

struct Seen {
    uint16_t event;
    std::string selection;
    std::string first_page_visible;
};

TEST(Sheet, TheProcedureSeesTheOldTabAtTabChangingAndTheNewAtNewSelection) {
    InitializeThreads();
    WindowDefinition definition;
    definition.caption = "Sheet";
    definition.timer = 100; // a second: ends the loop should the events never come
    ControlDefinition first_tab = control(wdf::TabControl, 2, {}, {{wdf::Field::TabCount, 1}});
    first_tab.text = "First";
    ControlDefinition second_tab = control(wdf::TabControl, 4, {}, {{wdf::Field::TabCount, 1}});
    second_tab.text = "Second";
    ControlDefinition first_button = control(wdf::ButtonControl, 3, platform::Rect::FromSize(20, 40, 60, 20));
    first_button.text = "One";
    ControlDefinition second_button =
        control(wdf::ButtonControl, 5, platform::Rect::FromSize(20, 40, 60, 20));
    second_button.text = "Two";
    Window window;
    window.LoadDefinition(definition,
                          {control(wdf::SheetControl, 1, platform::Rect::FromSize(8, 8, 200, 120)), first_tab,
                           first_button, second_tab, second_button},
                          UnitMetricsOf(nullptr));
    int32_t tab = 2;
    window.Bind(1, tab);
    window.Open();
    EXPECT_EQ(GetProperty(&window, 1, Prop::Selection), "2");
    EXPECT_EQ(GetProperty(&window, 5, Prop::Visible), "1");

    // Shift+Ctrl+Tab back to the first tab, waiting in the queue for the loop.
    platform::press_key(platform::VkTab, {platform::VkControl, platform::VkShift});
    std::vector<Seen> seen;
    ACCEPT(window, [&] {
        const uint16_t event = EVENT();
        if (event == Event::TabChanging || event == Event::NewSelection)
            seen.push_back(
                {event, GetProperty(&window, 1, Prop::Selection), GetProperty(&window, 3, Prop::Visible)});
        return event == Event::NewSelection || event == Event::Timer ? LoopOutcome::Left
                                                                     : LoopOutcome::Completed;
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].event, Event::TabChanging);
    EXPECT_EQ(seen[0].selection, "2");
    EXPECT_EQ(seen[0].first_page_visible, "0");
    EXPECT_EQ(seen[1].event, Event::NewSelection);
    EXPECT_EQ(seen[1].selection, "1");
    EXPECT_EQ(seen[1].first_page_visible, "1");
    EXPECT_EQ(tab, 1);
    window.Close();
}

} // namespace
} // namespace morvex
