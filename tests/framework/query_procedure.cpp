// The query dialog under a script: a procedure of the test program that
// asks a query manager over Customer's fields as many times as its request
// says and logs each answer with the filter it leaves, then the saved
// queries and the popup's items.
#include "framework/error_reporter.h"
#include "framework/ini_manager.h"
#include "framework/popup_manager.h"
#include "framework/query_manager.h"
#include "framework/window_controller.h"

#include <functional>
#include <string>

namespace morvex {

uint8_t RunQueryDialogs(const std::function<void(const std::string&)>& note) {
    const int asks = GlobalRequest == 0 ? 1 : GlobalRequest;
    GlobalRequest = 0;
    IniManager ini;
    ini.Init("query.ini");
    QueryManager query;
    query.Init(*GlobalErrors, &ini, "Customer");
    query.AddField("UPPER(CUS:NAME)", "&Name", "S20");
    query.AddField("CUS:SUBURB", "&Suburb", "S20");
    query.AddField("CUS:CUSID", "Customer &id", "n-7");
    query.AddField("CUS:STARTDATE", "S&tart date", "d6");
    query.SetSavedQueries(true);
    uint8_t answer = 0;
    for (int i = 0; i < asks; ++i) {
        answer = query.Ask(1);
        note("Ask " + std::to_string(answer) + ": " + query.GetFilter());
    }
    PopupManager popup;
    popup.Init();
    query.SetPopupItems(popup, 1);
    note("popup " + popup.MenuText());
    popup.Kill();
    query.Kill();
    ini.Kill();
    return answer;
}

} // namespace morvex
