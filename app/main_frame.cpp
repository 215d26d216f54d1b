#include "app/main_frame.h"

#include "app/calendar_procedure.h"
#include "app/demo_page.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/application_frame.h"

namespace tavemon {

namespace {

// 20 August 2001: where "Part of a Window" always opens its calendar.
constexpr int32_t PartOfWindowPrime = 73284;

class MainFrame : public morvex::WindowController {
public:
    MainFrame() : WindowController(m_frame) { m_frame.Load("tavemon$taven001", "P1$APPFRAME"); }

    int Init() override {
        if (const int level = OpenProcedure("Main", &m_toolbar))
            return level;
        FIRSTFIELD = 1;
        // The demonstration page opens by itself: the first event is its button.
        morvex::PostEvent(m_frame, morvex::Event::Accepted, DateLookupButton);
        SetAlerts();
        return morvex::Level::Benign;
    }

    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        CloseProcedure();
        return morvex::Level::Benign;
    }

    int TakeAccepted() override {
        const int result = WindowController::TakeAccepted();
        switch (morvex::ACCEPTED()) {
        case DateLookupButton:
            morvex::START(aWindow, DemoPageStack); // nothing happens when no thread can be started
            break;
        case StandaloneCalendarButton:
            LookupDateSunday();
            break;
        case PartOfAWindowButton:
            PartOfWindow({.prime = PartOfWindowPrime});
            break;
        default:
            break;
        }
        return result;
    }

private:
    morvex::ApplicationFrame m_frame;
    morvex::ToolbarManager m_toolbar;
};

} // namespace

void Main() {
    MainFrame frame;
    morvex::GlobalResponse = frame.Run();
}

} // namespace tavemon
