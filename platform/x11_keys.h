// Keyboard translation for the X11 backend: X keysyms to the platform's
// virtual key codes and to the Windows-1252 characters keys type. Pure
// functions over keysym numbers, so they need no X server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvex::platform {

// X's KeySym is an unsigned long; spelled out here so that this header does
// not pull in Xlib.
using KeySymbol = unsigned long;

// The keysyms of one key stroke: the key's first two levels (unshifted and
// shifted) and the keysym the modifiers in force select.
struct KeyStroke {
    KeySymbol unshifted = 0;
    KeySymbol shifted = 0;
    KeySymbol translated = 0;
};

// The virtual key code of a key, 0 when it has none. The unshifted keysym
// names the key; where it names nothing we know (a layout that puts digits
// on the shifted level) the shifted one does. Keypad keys follow Num Lock as
// on Win32 (KP_1 gives VkNumpad0 + 1, KP_End gives VkEnd), so they take the
// translated keysym.
uint32_t virtual_key_of(const KeyStroke& key);

// The Unicode character a keysym types; 0 when it types none (function
// keys, modifiers, dead keys). Return, Tab, BackSpace and Escape type their
// control characters, as on Win32. Beyond Latin-1 and the Unicode keysyms,
// only the legacy keysyms of characters Windows-1252 holds are known.
char32_t unicode_of_keysym(KeySymbol keysym);

// The Windows-1252 byte of a Unicode character; none when the character set
// lacks it (or for NUL).
std::optional<uint8_t> windows1252_of(char32_t character);

// Modifiers that change what a key types.
enum class KeyModifiers : uint8_t { NoModifier = 0, Control = 1, Alt = 2 };
constexpr KeyModifiers operator|(KeyModifiers a, KeyModifiers b) {
    return static_cast<KeyModifiers>(static_cast<uint8_t>(a) | static_cast<uint8_t>(b));
}
constexpr bool has(KeyModifiers set, KeyModifiers flag) {
    return (static_cast<uint8_t>(set) & static_cast<uint8_t>(flag)) != 0;
}

// The Windows-1252 character a key press types, as Win32 makes it: Control
// with a letter or one of [\]^_ gives the control character (Control+Return
// a line feed, Control+BackSpace DEL), Control with anything else nothing.
// Control together with Alt types nothing either.
std::optional<uint8_t> character_of_key(KeySymbol translated, KeyModifiers modifiers);

// The Windows-1252 characters of a key press an input method looked up:
// `text` is the UTF-8 it gave (what the key and any dead keys or compose
// sequence before it make), `keysym` the key's keysym (0 for a composed
// result). Characters Windows-1252 lacks are dropped. Control characters
// are Win32's, not X's: with Control held, or when the text holds no
// printable character, the keysym decides as character_of_key does (so
// Delete types nothing and Control+Return a line feed).
std::string characters_of_lookup(std::string_view text, KeySymbol keysym, KeyModifiers modifiers);

// The other way, for input made through the X server: the keysym of the
// key a virtual key code names (the left one of Shift, Control and Alt, the
// keypad's digits for VkNumpad0..9); 0 when none.
KeySymbol keysym_of_virtual_key(uint32_t virtual_key);
// The keysym that types a Unicode character: Latin-1 and the legacy
// keysyms where they exist, Return, Tab, BackSpace and Escape for their
// control characters, else the Unicode keysym; 0 for other control characters.
KeySymbol keysym_of_character(char32_t character);

} // namespace morvex::platform
