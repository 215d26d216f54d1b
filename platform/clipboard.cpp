// The clipboard kept in the process.
#include "platform/clipboard.h"

namespace morvex::platform {

bool InProcessClipboard::set_text(Selection selection, std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_texts[static_cast<int>(selection)] = std::string(text);
    return true;
}

std::optional<std::string> InProcessClipboard::text(Selection selection) {
    std::lock_guard lock(m_mutex);
    return m_texts[static_cast<int>(selection)];
}

} // namespace morvex::platform
