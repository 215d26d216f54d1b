#include "platform/x11_input_method.h"

#include <X11/Xutil.h>
#include <clocale>
#include <string>

namespace morvex::platform {

namespace {

// The input method XMODIFIERS names (an IM server), falling back to Xlib's
// own when that one is not running.
XIM open_in_current_locale(Display* display) {
    if (!XSupportsLocale())
        return nullptr;
    if (XSetLocaleModifiers("")) {
        if (XIM im = XOpenIM(display, nullptr, nullptr, nullptr))
            return im;
    }
    if (!XSetLocaleModifiers("@im=none"))
        return nullptr;
    return XOpenIM(display, nullptr, nullptr, nullptr);
}

// Styles where the input method draws any preedit and status itself (or
// has none): our windows draw only what they are given.
XIMStyle usable_style(XIM im) {
    XIMStyles* styles = nullptr;
    if (XGetIMValues(im, XNQueryInputStyle, &styles, nullptr) != nullptr || !styles)
        return 0;
    XIMStyle chosen = 0;
    for (const XIMStyle wanted :
         {XIMStyle(XIMPreeditNothing | XIMStatusNothing), XIMStyle(XIMPreeditNone | XIMStatusNone)}) {
        for (unsigned short i = 0; i < styles->count_styles && chosen == 0; ++i) {
            if (styles->supported_styles[i] == wanted)
                chosen = wanted;
        }
    }
    XFree(styles);
    return chosen;
}

} // namespace

std::unique_ptr<X11InputMethod> X11InputMethod::open(Display* display) {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string previous = current ? current : "C";
    XIM im = nullptr;
    if (std::setlocale(LC_CTYPE, ""))
        im = open_in_current_locale(display);
    if (!im && std::setlocale(LC_CTYPE, "C"))
        im = open_in_current_locale(display);
    std::setlocale(LC_CTYPE, previous.c_str());
    if (!im)
        return nullptr;
    const XIMStyle style = usable_style(im);
    if (style == 0) {
        XCloseIM(im);
        return nullptr;
    }
    std::unique_ptr<X11InputMethod> method(new X11InputMethod(im, style));
    // An input method server that goes away takes its contexts along;
    // keys are then looked up without it.
    XIMCallback on_destroy{reinterpret_cast<XPointer>(method.get()), &X11InputMethod::destroyed};
    XSetIMValues(im, XNDestroyCallback, &on_destroy, nullptr);
    return method;
}

X11InputMethod::~X11InputMethod() {
    if (!m_im)
        return;
    for (const auto& [window, context] : m_contexts)
        XDestroyIC(context);
    XCloseIM(m_im);
}

void X11InputMethod::destroyed(XIM, XPointer self, XPointer) {
    auto* method = reinterpret_cast<X11InputMethod*>(self);
    method->m_im = nullptr;
    method->m_contexts.clear();
}

long X11InputMethod::add_window(::Window window) {
    if (!m_im)
        return 0;
    XIC context =
        XCreateIC(m_im, XNInputStyle, m_style, XNClientWindow, window, XNFocusWindow, window, nullptr);
    if (!context)
        return 0;
    m_contexts[window] = context;
    long events = 0;
    if (XGetICValues(context, XNFilterEvents, &events, nullptr) != nullptr)
        events = 0;
    return events;
}

void X11InputMethod::remove_window(::Window window) {
    const auto found = m_contexts.find(window);
    if (found == m_contexts.end())
        return;
    XDestroyIC(found->second);
    m_contexts.erase(found);
}

void X11InputMethod::set_focus(::Window window, bool focused) {
    const auto found = m_contexts.find(window);
    if (found == m_contexts.end())
        return;
    if (focused)
        XSetICFocus(found->second);
    else
        XUnsetICFocus(found->second);
}

std::optional<std::string> X11InputMethod::lookup(XKeyEvent& event) {
    const auto found = m_contexts.find(event.window);
    if (found == m_contexts.end())
        return std::nullopt;
    std::string text(32, '\0');
    KeySym keysym = NoSymbol;
    Status status = 0;
    int length = Xutf8LookupString(found->second, &event, text.data(), static_cast<int>(text.size()), &keysym,
                                   &status);
    if (status == XBufferOverflow) {
        // A long committed string: asking again with room for it gives it.
        text.resize(static_cast<std::size_t>(length));
        length = Xutf8LookupString(found->second, &event, text.data(), static_cast<int>(text.size()), &keysym,
                                   &status);
    }
    const bool chars = status == XLookupChars || status == XLookupBoth;
    text.resize(chars && length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

} // namespace morvex::platform
