// The customers beside a calendar: a browse of the Customer file in its
// window's list, limited to the records whose start date is the calendar's
// selected date. The browse follows the calendar on its own: after each
// event the window's controller asks it whether the selected date moved.
#pragma once

#include "files/view/view_driver.h"
#include "framework/browse_locators.h"
#include "framework/browse_manager.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace morvex {
class Queue;
class WindowController;
} // namespace morvex

namespace tavemon {

class CustomerBrowse {
public:
    CustomerBrowse();
    ~CustomerBrowse();

    // Opens Customer for use and sets the browse up on `list` of the
    // controller's window. False when the program has no Customer file.
    bool Open(morvex::WindowController& controller, int32_t list);
    // The sort order by start date and name, held to `selected_date`, with
    // a step locator on the name (after the calendar has its date).
    void Limit(int32_t& selected_date);
    // Closes Customer when Open opened it (after the controller's Kill).
    void Close();

    morvex::BrowseManager& browse() { return m_browse; }

private:
    std::vector<uint8_t> m_row;
    std::unique_ptr<morvex::Queue> m_queue;
    std::unique_ptr<morvex::ViewFile> m_view;
    morvex::BrowseManager m_browse;
    morvex::StepLocator m_locator;
    bool m_opened = false; // Open opened Customer
};

} // namespace tavemon
