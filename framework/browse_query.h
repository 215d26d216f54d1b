// What a browse asks of its query-by-example manager, and the link that
// puts a QueryManager behind it. The browse sees only the interface, so a
// procedure can give it any dialog of its own.
#pragma once

#include "framework/popup_manager.h"

#include <cstdint>
#include <string>

namespace morvex {

class BrowseQuery {
public:
    virtual ~BrowseQuery() = default;
    // The dialog; non-zero when the user set a new query.
    virtual uint8_t Ask(uint8_t request) = 0;
    // The filter text of the query.
    virtual std::string GetFilter() = 0;
    // The saved query chosen in the popup; 1 when the browse should take it.
    virtual uint8_t TakeSavedQuery(PopupManager& popup) = 0;
    virtual void SetPopupItems(PopupManager& popup, int32_t query_button) = 0;
    // Whether saved queries are offered in the popup.
    virtual bool SavedQueries() const = 0;
    // The Query button was pressed: no saved query is chosen.
    virtual void ClearChosenItem() = 0;
    virtual void Kill() = 0;
};

// A QueryManager behind the interface (a template, so that the manager is
// only needed where a link is made).
template <typename Manager>
class QueryLink : public BrowseQuery {
public:
    explicit QueryLink(Manager& manager) : m_manager(manager) {}
    uint8_t Ask(uint8_t request) override { return m_manager.Ask(request); }
    std::string GetFilter() override { return m_manager.GetFilter(); }
    uint8_t TakeSavedQuery(PopupManager& popup) override { return m_manager.TakeSavedQuery(popup); }
    void SetPopupItems(PopupManager& popup, int32_t query_button) override {
        m_manager.SetPopupItems(popup, query_button);
    }
    bool SavedQueries() const override { return m_manager.SAVEDQUERIES != 0; }
    void ClearChosenItem() override { m_manager.CHOSENITEM.clear(); }
    void Kill() override { m_manager.Kill(); }

private:
    Manager& m_manager;
};

} // namespace morvex
