// The X11 backend's clipboard: the CLIPBOARD and PRIMARY selections.
//
// Setting text takes the selection with a window of the backend's own and
// keeps the text; the event thread answers other clients' requests for it
// as UTF8_STRING, STRING (Latin-1, '?' for what it lacks), TEXT and
// TARGETS (and TIMESTAMP when the time it was taken is known), until
// another client takes the selection. Reading text we own answers at once
// from memory (until the event thread has heard that another client took
// the selection, the text is still ours); otherwise the reader asks the owner for UTF8_STRING (STRING when it
// has none) and waits up to a second for the event thread to receive it. Incremental (INCR) transfers are not
// done: a text too large for one request is refused when asked for, and an owner that answers with INCR gives
// no text.
#pragma once

#include "platform/clipboard.h"
#include "platform/x11_atoms.h"

#include <X11/Xlib.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

namespace morvex::platform {

// What the clipboard needs of the backend it belongs to.
class X11ClipboardHost {
public:
    virtual ~X11ClipboardHost() = default;
    virtual bool usable() const = 0;
    virtual bool on_event_thread() const = 0;
    // The server time of the latest user input, CurrentTime when none yet.
    virtual Time last_input_time() const = 0;
    // Sends what was asked for and makes sure the event thread sees any
    // events Xlib read meanwhile.
    virtual void flush() = 0;
};

class X11Clipboard final : public Clipboard {
public:
    // `window` is the backend's own unmapped window, which owns the
    // selections and receives their data.
    X11Clipboard(Display* display, const X11Atoms& atoms, ::Window window, X11ClipboardHost& host);

    bool set_text(Selection selection, std::string_view text) override;
    std::optional<std::string> text(Selection selection) override;

    // On the event thread: takes the selection events addressed to the
    // clipboard's window; true when the event was one of them.
    bool handle(const XEvent& event);

    // How long a reader waits for the owner's answer.
    static constexpr std::chrono::milliseconds ReplyTimeout{1000};

private:
    struct Owned {
        std::string windows1252;
        unsigned long serial = 0; // of the request that took the selection
        Time time = CurrentTime;  // when it was taken, CurrentTime when not known
    };
    // A conversion the reader waits for.
    struct Pending {
        unsigned long id = 0;
        Atom selection = 0;
        Atom target = 0;
        bool answered = false;
        bool refused = false;
        Atom type = 0;
        std::string data;
    };

    Atom atom_of(Selection selection) const;
    std::optional<Owned>* owned_slot(Atom selection);
    void answer(const XSelectionRequestEvent& request);
    bool put_reply(const XSelectionRequestEvent& request, Atom property, const Owned& owned);
    void receive(const XSelectionEvent& event);
    // Asks the owner for the selection as `target`; the answer, or nullopt
    // when it did not come in time.
    std::optional<Pending> convert(Atom selection, Atom target);

    Display* m_display;
    X11Atoms m_atoms;
    ::Window m_window;
    X11ClipboardHost& m_host;
    std::size_t m_max_property_bytes;

    std::mutex m_mutex; // guards what follows; never held across Xlib calls
    std::condition_variable m_answered;
    std::optional<Owned> m_clipboard;
    std::optional<Owned> m_primary;
    std::optional<Pending> m_pending;
    unsigned long m_next_id = 1;
    std::mutex m_reading; // one reader asks an owner at a time
};

} // namespace morvex::platform
