// The toolbar target of a browse: the frame toolbar's navigation buttons
// become scroll events of the browse's list box, Locate becomes its query,
// and Insert, Change, Delete, Select and Help press the browse's own buttons.
#pragma once

#include "framework/toolbar_manager.h"

namespace morvex {

class BrowseManager;

class BrowseToolbarTarget : public ToolbarTarget {
public:
    void DisplayButtons() override;
    void TakeToolbar() override;
    bool TryTakeToolbar() override;
    void TakeEvent(int32_t* navigation_request, WindowController& controller) override;

    int32_t HELPBUTTON = 0;
    int32_t INSERTBUTTON = 0;
    int32_t CHANGEBUTTON = 0;
    int32_t DELETEBUTTON = 0;
    int32_t SELECTBUTTON = 0;
    BrowseManager* BROWSE = nullptr;
};

} // namespace morvex
