// The clipboard a backend offers: the X11 backend's CLIPBOARD and PRIMARY
// selections, or a clipboard kept in the process (headless). Text is
// Windows-1252 on this side; a backend converts it at its edge.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace morvex::platform {

// CLIPBOARD is what cut, copy and paste use; PRIMARY is X's selection of the
// moment (selected text, pasted with the middle button).
enum class Selection { Clipboard, Primary };

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Offers the text on the selection; false when the selection could not
    // be taken (no display any more).
    virtual bool set_text(Selection selection, std::string_view text) = 0;
    // The selection's text; nullopt when no one offers text on it or its
    // owner did not answer in time. Characters Windows-1252 lacks become '?'.
    virtual std::optional<std::string> text(Selection selection) = 0;
};

// A clipboard that lives in the process: what was set is what is read.
class InProcessClipboard final : public Clipboard {
public:
    bool set_text(Selection selection, std::string_view text) override;
    std::optional<std::string> text(Selection selection) override;

private:
    std::mutex m_mutex;
    std::optional<std::string> m_texts[2];
};

} // namespace morvex::platform
