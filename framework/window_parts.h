// What a window controller asks of the parts of its window that other
// managers own: the browses (BrowseManager), the file-drop lists, the resize
// manager and the translator of window texts. Each manager derives from the
// interface here, so the controller routes events and resets without
// knowing how the parts are built.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

class Window;

class WindowBrowse {
public:
    virtual ~WindowBrowse() = default;
    // The browse's event handler, for every event of the window.
    virtual void TakeEvent() = 0;
    // Asked after every event: true when the page must be rebuilt.
    virtual bool NeedRefresh() = 0;
    virtual void ResetSort(bool force) = 0;
    // The window's fields take the selected row's values.
    virtual void UpdateWindow() = 0;
    // The view record takes the selected row's values.
    virtual void UpdateViewRecord() = 0;
    virtual void SetAlerts() = 0;
    virtual void Kill() = 0;

    // Set when the procedure was called to select a record.
    uint8_t SELECTING = 0;
};

class FileDropList {
public:
    virtual ~FileDropList() = default;
    virtual void TakeEvent() = 0;
    virtual void ResetQueue(bool force) = 0;
    virtual void Kill() = 0;
};

class ResizeManager {
public:
    virtual ~ResizeManager() = default;
    virtual void Kill() = 0;
};

class WindowTranslator {
public:
    virtual ~WindowTranslator() = default;
    // Translates the texts of the window's controls.
    virtual void TranslateWindow(Window& window) = 0;
    virtual std::string TranslateString(std::string_view text) = 0;
};

} // namespace morvex
