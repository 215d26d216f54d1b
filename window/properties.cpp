#include "window/properties.h"

#include "platform/windows.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "window/accept.h"
#include "window/window.h"

namespace morvex {

namespace {

constexpr uint32_t EngineProperties = 0x7000;
constexpr uint32_t IndexedProperties = 0x7D00;

struct Request {
    uint32_t number;
    int32_t index; // 0-based for indexed requests, -1 otherwise
};

Request decode(uint32_t number, int32_t index) {
    if (index == 0 || number < EngineProperties)
        return {number, -1};
    if (number >= IndexedProperties)
        return {number, index - 1};
    return {number + static_cast<uint32_t>(index - 1), -1};
}

EngineObject* object_of(Window* target, int32_t control) {
    Window* window = target ? target : CurrentWindow();
    if (window == nullptr || !window->IsOpen())
        FatalError(ErrWindowNotOpen, {});
    if (control == 0)
        return window;
    return window->control(control);
}

std::string get(EngineObject* object, const Request& request) {
    if (object == nullptr)
        return {};
    std::optional<std::string> value;
    if (request.index >= 0)
        value = object->get_indexed_property(request.number, request.index);
    else if (request.number < EngineProperties)
        value = object->get_low_property(request.number);
    else
        value = object->get_property(request.number);
    return value.value_or(std::string());
}

Window* engine_wide(int32_t target) {
    if (target == FocusWindowTarget)
        return WindowOfHandle(platform::active_window());
    return nullptr;
}

} // namespace

std::string GetProperty(Window* target, int32_t control, uint32_t number, int32_t index) {
    return get(object_of(target, control), decode(number, index));
}

void SetProperty(Window* target, int32_t control, uint32_t number, int32_t index, std::string_view value) {
    EngineObject* object = object_of(target, control);
    if (object == nullptr)
        return;
    const Request request = decode(number, index);
    object->set_property(request.number, request.index, value);
}

std::string GetProperty(int32_t target, int32_t control, uint32_t number, int32_t index) {
    if (target == SystemTarget) {
        // The system object answers the engine's own state.
        switch (number) {
        case 0x7A09: // the calling thread's number
            return std::to_string(CurrentWindow() ? CurrentWindow()->thread_slot() + 1 : 0);
        case 0x7C91: // the key code of the last key
            return std::to_string(KEYCODE());
        default:
            return {};
        }
    }
    if (Window* window = engine_wide(target))
        return GetProperty(window, control, number, index);
    return {};
}

void SetProperty(int32_t target, int32_t control, uint32_t number, int32_t index, std::string_view value) {
    if (Window* window = engine_wide(target))
        SetProperty(window, control, number, index, value);
}

} // namespace morvex
