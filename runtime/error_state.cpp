// The error state itself: set from the message table, cleared by the many
// runtime operations that clear it on entry.
#include "runtime/error_state.h"

#include "platform/os_error.h"
#include "runtime/error_numbers.h"
#include "runtime/message_table.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace morvex {

namespace {

constexpr std::size_t UsedTextLength = ErrorTextSize - 1;

struct ErrorState {
    int32_t number = 0;
    char text[ErrorTextSize];
    int32_t os_error = 0;
    char extra[ErrorExtraTextSize];
    // Number 0 and both texts blank: most runtime operations clear the state
    // on entry, and this spares them the blanking.
    bool clear = true;

    ErrorState() {
        std::memset(text, ' ', sizeof text);
        std::memset(extra, ' ', sizeof extra);
    }
};

ErrorState g_state;

std::string_view clipped(const char* text, std::size_t size) {
    while (size > 0 && text[size - 1] == ' ')
        --size;
    return {text, size};
}

// Blank-pads `source` into a fixed field, cutting it to `limit` characters.
void copy_padded(char* field, std::size_t field_size, std::string_view source, std::size_t limit) {
    std::memset(field, ' ', field_size);
    if (std::size_t length = std::min(source.size(), limit); length > 0)
        std::memcpy(field, source.data(), length);
}

} // namespace

void SetError(int32_t number, std::string_view extra) {
    g_state.os_error = platform::last_os_error();
    if (number == 0)
        number = OsErrorNumber(g_state.os_error);

    std::string message = MessageText(number);
    std::string_view shown = message;
    shown.remove_prefix(std::min(shown.find_first_not_of(' '), shown.size()));

    g_state.number = number;
    copy_padded(g_state.text, ErrorTextSize, shown, UsedTextLength);
    copy_padded(g_state.extra, ErrorExtraTextSize, extra, ErrorExtraTextSize);
    g_state.clear = false;
}

void AppendErrorText(std::string_view text) {
    std::size_t used = clipped(g_state.text, ErrorTextSize).size();
    std::size_t room = UsedTextLength - std::min(used, UsedTextLength);
    if (std::size_t length = std::min(text.size(), room); length > 0) {
        std::memcpy(g_state.text + used, text.data(), length);
        g_state.clear = false;
    }
}

void ClearError() {
    if (g_state.clear)
        return;
    g_state.clear = true;
    g_state.number = 0;
    std::memset(g_state.text, ' ', ErrorTextSize);
    std::memset(g_state.extra, ' ', ErrorExtraTextSize);
}

int32_t ErrorCode() {
    return g_state.number;
}

std::string_view ErrorText() {
    return clipped(g_state.text, ErrorTextSize);
}

int32_t OsErrorCode() {
    return g_state.os_error;
}

std::string_view ErrorExtraText() {
    return clipped(g_state.extra, ErrorExtraTextSize);
}

} // namespace morvex
