// Locators: how a browse finds a record by what the user types. Each sort
// order may have one; it works on the order's free element (the first key
// component the range does not hold). TakeKey and TakeAccepted say whether
// the free element changed; the browse then positions the view there.
//
// - step: one character; the first record whose free element starts at or
//   after it; the same character again moves one row down;
// - entry: the text of an entry control, taken when the entry is accepted;
// - incremental: the characters typed so far (Backspace takes one back),
//   shown in an optional control;
// - filtered: as incremental, and the result keeps only the records whose
//   free element begins with the typed text.
#pragma once

#include "runtime/evaluator.h"

#include <cstdint>
#include <string>

namespace morvex {

class BrowseManager;

class BrowseLocator {
public:
    virtual ~BrowseLocator() = default;

    // The method table, in slot order.
    virtual void Kill() {}
    // After a reload: the locator takes the value it now shows.
    virtual void Set() {}
    // Forgets what was typed (the browse scrolled or changed order).
    virtual void Reset() {}
    virtual void SetAlerts() {}
    // The locator's entry control was accepted; true when the free element changed.
    virtual bool TakeAccepted() { return false; }
    // A typed character (0: a key that is not a character, in KEYCODE()).
    virtual bool TakeKey(char typed) = 0;
    virtual void UpdateWindow() {}

    void Init(BrowseManager& browse, const BoundVariable& free_element, bool no_case, int32_t control = 0);

    BrowseManager* VIEWMANAGER = nullptr;
    int32_t CONTROL = 0;
    BoundVariable FREEELEMENT;
    uint8_t NOCASE = 0;
};

class StepLocator : public BrowseLocator {
public:
    bool TakeKey(char typed) override;
};

class EntryLocator : public BrowseLocator {
public:
    void Set() override;
    bool TakeAccepted() override;
    bool TakeKey(char) override { return false; }

    std::string SHADOW; // the entry's text last taken
};

class IncrementalLocator : public BrowseLocator {
public:
    void Reset() override;
    void SetAlerts() override;
    bool TakeKey(char typed) override;
    void UpdateWindow() override;

    std::string SHADOW; // the characters typed so far

protected:
    // The free element takes the typed text; true when it changed.
    virtual bool take_text();
};

class FilteredLocator : public IncrementalLocator {
public:
    // The named filter that holds the typed prefix.
    static constexpr std::string_view FilterId = "8 - Locator";

protected:
    bool take_text() override;
};

} // namespace morvex
