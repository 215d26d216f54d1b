#include "files/qvd/qvd_corruption.h"

#include "platform/message_box.h"
#include "runtime/fatal_error.h"
#include "runtime/message_table.h"

#include <atomic>
#include <utility>

namespace morvex::qvd {

namespace {
thread_local int t_return_scopes = 0;
std::atomic<bool> g_diagnostics{false};
constexpr int CorruptionMessage = 4101;
} // namespace

std::string CorruptionText(int32_t code) {
    std::string text = MessageText(CorruptionMessage);
    if (text.starts_with("Unknown Error Posted")) // the table has no such message
        text = "Possible data corruption in file";
    return text + " (" + std::to_string(code) + ")";
}

void SetQvdDiagnostics(bool on) {
    g_diagnostics = on;
}

void QvdCorruption(int32_t code) {
    if (t_return_scopes > 0)
        throw CorruptionSignal{code};
    if (g_diagnostics)
        platform::show_message_box(platform::MessageBoxRequest{
            "Quorvane File Driver Error", std::to_string(code), platform::MessageBoxIcon::Stop,
            platform::MessageBoxButtons::Ok, platform::ButtonOk});
    FatalError(0, CorruptionText(code));
}

CorruptionAsReturn::CorruptionAsReturn() {
    ++t_return_scopes;
}
CorruptionAsReturn::~CorruptionAsReturn() {
    --t_return_scopes;
}

bool CorruptionReturnsEnabled() {
    return t_return_scopes > 0;
}

namespace {
thread_local int32_t t_returned_corruption = 0;
}

int32_t TakeReturnedCorruption() {
    return std::exchange(t_returned_corruption, 0);
}

void NoteReturnedCorruption(int32_t code) {
    t_returned_corruption = code;
}

} // namespace morvex::qvd
