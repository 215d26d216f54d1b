#include "platform/x11_clipboard.h"

#include "platform/charset.h"
#include "platform/x11_error_trap.h"

#include <X11/Xatom.h>
#include <vector>

namespace morvex::platform {

namespace {

// Latin-1 (STRING) to Windows-1252: the same bytes but for the C1 controls,
// which Windows-1252 uses for characters of its own.
std::string windows1252_of_latin1(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            c = '?';
    }
    return result;
}

std::string latin1_of_windows1252(std::string_view text) {
    return windows1252_of_latin1(text);
}

bool is_latin1(std::string_view windows1252) {
    for (char c : windows1252) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            return false;
    }
    return true;
}

// A property value to answer a request with.
struct Reply {
    Atom type = 0;
    int format = 8;
    std::string bytes;       // format 8
    std::vector<long> items; // format 32, one C long each as Xlib passes them
    std::size_t size() const { return format == 8 ? bytes.size() : items.size() * 4; }
};

} // namespace

X11Clipboard::X11Clipboard(Display* display, const X11Atoms& atoms, ::Window window, X11ClipboardHost& host)
    : m_display(display), m_atoms(atoms), m_window(window), m_host(host) {
    const long units =
        XExtendedMaxRequestSize(display) > 0 ? XExtendedMaxRequestSize(display) : XMaxRequestSize(display);
    // Room for the ChangeProperty request's own fields.
    m_max_property_bytes = static_cast<std::size_t>(units) * 4 - 64;
}

Atom X11Clipboard::atom_of(Selection selection) const {
    return selection == Selection::Clipboard ? m_atoms.clipboard : XA_PRIMARY;
}

std::optional<X11Clipboard::Owned>* X11Clipboard::owned_slot(Atom selection) {
    if (selection == m_atoms.clipboard)
        return &m_clipboard;
    if (selection == XA_PRIMARY)
        return &m_primary;
    return nullptr;
}

bool X11Clipboard::set_text(Selection selection, std::string_view text) {
    if (!m_host.usable())
        return false;
    const Atom atom = atom_of(selection);
    const Time input_time = m_host.last_input_time();
    unsigned long serial = 0;
    // The time of the user's latest input, as the conventions ask; when
    // another client took the selection after it, the server ignores that
    // and the server's present time does.
    for (const Time time : {input_time, Time(CurrentTime)}) {
        XLockDisplay(m_display);
        serial = NextRequest(m_display);
        {
            std::lock_guard lock(m_mutex);
            *owned_slot(atom) = Owned{std::string(text), serial, time};
        }
        XSetSelectionOwner(m_display, atom, m_window, time);
        XUnlockDisplay(m_display);
        if (XGetSelectionOwner(m_display, atom) == m_window) {
            m_host.flush();
            return true;
        }
        if (time == CurrentTime)
            break;
    }
    {
        std::lock_guard lock(m_mutex);
        if (auto& owned = *owned_slot(atom); owned && owned->serial == serial)
            owned.reset();
    }
    m_host.flush();
    return false;
}

std::optional<std::string> X11Clipboard::text(Selection selection) {
    if (!m_host.usable())
        return std::nullopt;
    const Atom atom = atom_of(selection);
    {
        std::lock_guard lock(m_mutex);
        if (const auto& owned = *owned_slot(atom))
            return owned->windows1252;
    }
    // The answer arrives on the event thread, which must not wait for itself.
    if (m_host.on_event_thread())
        return std::nullopt;
    std::lock_guard reading(m_reading);
    for (const Atom target : {m_atoms.utf8_string, Atom(XA_STRING)}) {
        const std::optional<Pending> reply = convert(atom, target);
        if (!reply)
            return std::nullopt;
        if (reply->refused)
            continue;
        if (reply->type == XA_STRING)
            return windows1252_of_latin1(reply->data);
        return utf8_to_windows1252(reply->data);
    }
    return std::nullopt;
}

std::optional<X11Clipboard::Pending> X11Clipboard::convert(Atom selection, Atom target) {
    unsigned long id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = m_next_id++;
        m_pending = Pending{};
        m_pending->id = id;
        m_pending->selection = selection;
        m_pending->target = target;
    }
    XConvertSelection(m_display, selection, target, m_atoms.selection_data, m_window, CurrentTime);
    m_host.flush();
    std::unique_lock lock(m_mutex);
    const bool answered = m_answered.wait_for(
        lock, ReplyTimeout, [&] { return !m_host.usable() || (m_pending && m_pending->answered); });
    std::optional<Pending> result = answered && m_pending && m_pending->answered ? m_pending : std::nullopt;
    m_pending.reset();
    return result;
}

bool X11Clipboard::handle(const XEvent& event) {
    switch (event.type) {
    case SelectionRequest:
        if (event.xselectionrequest.owner != m_window)
            return false;
        answer(event.xselectionrequest);
        return true;
    case SelectionClear: {
        if (event.xselectionclear.window != m_window)
            return false;
        std::lock_guard lock(m_mutex);
        // A clear that the server made before we took the selection again
        // is about the earlier ownership.
        auto* owned = owned_slot(event.xselectionclear.selection);
        if (owned && *owned && event.xselectionclear.serial >= (*owned)->serial)
            owned->reset();
        return true;
    }
    case SelectionNotify:
        if (event.xselection.requestor != m_window)
            return false;
        receive(event.xselection);
        return true;
    default:
        return false;
    }
}

void X11Clipboard::answer(const XSelectionRequestEvent& request) {
    std::optional<Owned> owned;
    {
        std::lock_guard lock(m_mutex);
        if (auto* slot = owned_slot(request.selection); slot && *slot)
            owned = **slot;
    }
    XSelectionEvent notify{};
    notify.type = SelectionNotify;
    notify.display = m_display;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = None;
    notify.time = request.time;
    // Obsolete clients name no property: the target is the property then.
    const Atom property = request.property != None ? request.property : request.target;
    // A request from before we took the selection is not ours to answer.
    const bool ours =
        owned && (request.time == CurrentTime || owned->time == CurrentTime || request.time >= owned->time);
    x11_request_error(m_display, [&] {
        if (ours && put_reply(request, property, *owned))
            notify.property = property;
        XEvent event{};
        event.xselection = notify;
        XSendEvent(m_display, request.requestor, False, NoEventMask, &event);
    });
}

bool X11Clipboard::put_reply(const XSelectionRequestEvent& request, Atom property, const Owned& owned) {
    Reply reply;
    const Atom target = request.target;
    if (target == m_atoms.targets) {
        reply.type = XA_ATOM;
        reply.format = 32;
        reply.items = {static_cast<long>(m_atoms.targets), static_cast<long>(m_atoms.utf8_string),
                       static_cast<long>(XA_STRING), static_cast<long>(m_atoms.text)};
        if (owned.time != CurrentTime)
            reply.items.push_back(static_cast<long>(m_atoms.timestamp));
    } else if (target == m_atoms.utf8_string || (target == m_atoms.text && !is_latin1(owned.windows1252))) {
        reply.type = m_atoms.utf8_string;
        reply.bytes = windows1252_to_utf8(owned.windows1252);
    } else if (target == XA_STRING || target == m_atoms.text) {
        reply.type = XA_STRING;
        reply.bytes = latin1_of_windows1252(owned.windows1252);
    } else if (target == m_atoms.timestamp && owned.time != CurrentTime) {
        reply.type = XA_INTEGER;
        reply.format = 32;
        reply.items = {static_cast<long>(owned.time)};
    } else {
        return false; // MULTIPLE and other targets are refused
    }
    // Texts beyond one request would need an INCR transfer, which we do not offer.
    if (reply.size() > m_max_property_bytes)
        return false;
    const unsigned char* data = reply.format == 8
                                    ? reinterpret_cast<const unsigned char*>(reply.bytes.data())
                                    : reinterpret_cast<const unsigned char*>(reply.items.data());
    const int count = static_cast<int>(reply.format == 8 ? reply.bytes.size() : reply.items.size());
    XChangeProperty(m_display, request.requestor, property, reply.type, reply.format, PropModeReplace, data,
                    count);
    return true;
}

void X11Clipboard::receive(const XSelectionEvent& event) {
    std::optional<Pending> pending;
    {
        std::lock_guard lock(m_mutex);
        if (m_pending && !m_pending->answered)
            pending = m_pending;
    }
    if (!pending || event.selection != pending->selection || event.target != pending->target) {
        // The late answer of a reader that gave up waiting.
        if (event.property != None)
            XDeleteProperty(m_display, m_window, event.property);
        return;
    }
    Pending result = *pending;
    result.answered = true;
    result.refused = event.property == None;
    if (!result.refused) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const int status = XGetWindowProperty(m_display, m_window, event.property, 0, 0x1FFFFFFF, True,
                                              AnyPropertyType, &type, &format, &items, &after, &data);
        if (status == Success && data && format == 8 && type != m_atoms.incr) {
            result.type = type;
            result.data.assign(reinterpret_cast<const char*>(data), items);
        } else {
            result.refused = true;
        }
        if (data)
            XFree(data);
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_pending && m_pending->id == result.id)
            m_pending = std::move(result);
    }
    m_answered.notify_all();
}

} // namespace morvex::platform
