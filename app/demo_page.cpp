#include "app/demo_page.h"

#include "app/calendar_procedure.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "runtime/date.h"
#include "window/accept.h"
#include "window/window.h"

namespace tavemon {

namespace {

// The page's buttons and entries.
enum Control : int32_t {
    ADateEntry = 11,
    ReferenceButton = 12,
    AnotherDateEntry = 14,
    ResultButton = 15,
    PrimeDateEntry = 19,
    PrimeButton = 20,
    XEntry = 21,
    YEntry = 22,
    PositionButton = 23,
    Calendar1Button = 28,
    Calendar2Button = 29,
    Calendar3Button = 30,
    PartOfWindowButton = 32,
    MondayButton = 36,
    SundayButton = 37,
    RememberedButton = 38,
};

class DemoPage : public morvex::WindowController {
public:
    DemoPage() : WindowController(m_window) {
        m_window.Load("tavemon$taven004", "P1$WINDOW");
        m_window.Bind(ADateEntry, aDate);
        m_window.Bind(AnotherDateEntry, AnotherDate);
        m_window.Bind(PrimeDateEntry, PrimeDate);
        m_window.Bind(XEntry, X);
        m_window.Bind(YEntry, Y);
    }

    int Init() override {
        if (const int level = OpenProcedure("aWindow", &m_toolbar))
            return level;
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
        const int32_t button = morvex::ACCEPTED();
        if (!calls(button))
            return result;
        Update();
        switch (button) {
        case ReferenceButton:
            LookupDate({.date = &aDate});
            break;
        case ResultButton:
            AnotherDate = LookupDate();
            break;
        case PrimeButton:
            LookupDate({.prime = PrimeDate});
            break;
        case PositionButton:
            LookupDate({.x = X, .y = Y});
            break;
        case Calendar1Button:
            Calendar1();
            break;
        case Calendar2Button:
            Calendar2();
            break;
        case Calendar3Button:
            Calendar3();
            break;
        case PartOfWindowButton:
            PartOfWindow({.prime = morvex::DATE(8, 10, 2001)});
            break;
        case SundayButton:
            LookupDateSunday();
            break;
        default: // "Monday's" and the remembered position
            LookupDate();
            break;
        }
        Reset(false);
        return result;
    }

private:
    static bool calls(int32_t button) {
        switch (button) {
        case ReferenceButton:
        case ResultButton:
        case PrimeButton:
        case PositionButton:
        case Calendar1Button:
        case Calendar2Button:
        case Calendar3Button:
        case PartOfWindowButton:
        case MondayButton:
        case SundayButton:
        case RememberedButton:
            return true;
        default:
            return false;
        }
    }

    morvex::Window m_window;
    morvex::ToolbarManager m_toolbar;
    int32_t aDate = 0;
    int32_t AnotherDate = 0;
    int32_t PrimeDate = 73649; // 20 August 2002
    int32_t X = 1;
    int32_t Y = 100;
};

} // namespace

void aWindow() {
    DemoPage page;
    morvex::GlobalResponse = page.Run();
}

} // namespace tavemon
