#include "platform/x11_keys.h"

#include "platform/charset.h"
#include "platform/window_messages.h"

#include <span>
#include <string>

// clang-format off
// The publishing group holds the quotation marks, dashes and daggers.
#define XK_PUBLISHING
#include <X11/keysym.h>
// clang-format on

namespace morvex::platform {

namespace {

// Virtual key codes window_messages.h does not name.
enum ExtraVirtualKey : uint32_t {
    VkClear = 0x0C,
    VkPrint = 0x2C,
    VkLeftWindows = 0x5B,
    VkRightWindows = 0x5C,
    VkApplications = 0x5D,
    VkSeparator = 0x6C,
    VkNumLock = 0x90,
    VkScroll = 0x91,
    VkOemSemicolon = 0xBA,
    VkOemPlus = 0xBB,
    VkOemComma = 0xBC,
    VkOemMinus = 0xBD,
    VkOemPeriod = 0xBE,
    VkOemSlash = 0xBF,
    VkOemBackquote = 0xC0,
    VkOemOpenBracket = 0xDB,
    VkOemBackslash = 0xDC,
    VkOemCloseBracket = 0xDD,
    VkOemQuote = 0xDE,
};

struct KeyCode {
    KeySymbol keysym;
    uint32_t virtual_key;
};

constexpr KeyCode FunctionKeys[] = {
    {XK_BackSpace, VkBack},
    {XK_Tab, VkTab},
    {XK_ISO_Left_Tab, VkTab},
    {XK_Return, VkReturn},
    {XK_Pause, VkPause},
    {XK_Scroll_Lock, VkScroll},
    {XK_Escape, VkEscape},
    {XK_Delete, VkDelete},
    {XK_Home, VkHome},
    {XK_Left, VkLeft},
    {XK_Up, VkUp},
    {XK_Right, VkRight},
    {XK_Down, VkDown},
    {XK_Prior, VkPrior},
    {XK_Next, VkNext},
    {XK_End, VkEnd},
    {XK_Print, VkPrint},
    {XK_Insert, VkInsert},
    {XK_Menu, VkApplications},
    {XK_Num_Lock, VkNumLock},
    {XK_Shift_L, VkShift},
    {XK_Shift_R, VkShift},
    {XK_Control_L, VkControl},
    {XK_Control_R, VkControl},
    {XK_Caps_Lock, VkCapital},
    {XK_Alt_L, VkMenu},
    {XK_Alt_R, VkMenu},
    {XK_Meta_L, VkMenu},
    {XK_Meta_R, VkMenu},
    {XK_Super_L, VkLeftWindows},
    {XK_Super_R, VkRightWindows},
    // The keypad; its digits only arrive with Num Lock on.
    {XK_KP_Space, VkSpace},
    {XK_KP_Tab, VkTab},
    {XK_KP_Enter, VkReturn},
    {XK_KP_Home, VkHome},
    {XK_KP_Left, VkLeft},
    {XK_KP_Up, VkUp},
    {XK_KP_Right, VkRight},
    {XK_KP_Down, VkDown},
    {XK_KP_Prior, VkPrior},
    {XK_KP_Next, VkNext},
    {XK_KP_End, VkEnd},
    {XK_KP_Begin, VkClear},
    {XK_KP_Insert, VkInsert},
    {XK_KP_Delete, VkDelete},
    {XK_KP_Multiply, VkMultiply},
    {XK_KP_Add, VkAdd},
    {XK_KP_Separator, VkSeparator},
    {XK_KP_Subtract, VkSubtract},
    {XK_KP_Decimal, VkDecimal},
    {XK_KP_Divide, VkDivide},
};

constexpr KeyCode PunctuationKeys[] = {
    {XK_space, VkSpace},
    {XK_semicolon, VkOemSemicolon},
    {XK_equal, VkOemPlus},
    {XK_comma, VkOemComma},
    {XK_minus, VkOemMinus},
    {XK_period, VkOemPeriod},
    {XK_slash, VkOemSlash},
    {XK_grave, VkOemBackquote},
    {XK_bracketleft, VkOemOpenBracket},
    {XK_backslash, VkOemBackslash},
    {XK_bracketright, VkOemCloseBracket},
    {XK_apostrophe, VkOemQuote},
};

bool is_keypad(KeySymbol keysym) {
    return keysym >= XK_KP_Space && keysym <= XK_KP_Equal;
}

uint32_t lookup(const auto& table, KeySymbol keysym) {
    for (const KeyCode& entry : table) {
        if (entry.keysym == keysym)
            return entry.virtual_key;
    }
    return 0;
}

uint32_t virtual_key_of_keysym(KeySymbol keysym) {
    if (keysym >= XK_a && keysym <= XK_z)
        return static_cast<uint32_t>(keysym - XK_a + 'A');
    if ((keysym >= XK_A && keysym <= XK_Z) || (keysym >= XK_0 && keysym <= XK_9))
        return static_cast<uint32_t>(keysym);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<uint32_t>(VkNumpad0 + (keysym - XK_KP_0));
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return static_cast<uint32_t>(VkF1 + (keysym - XK_F1));
    if (const uint32_t code = lookup(FunctionKeys, keysym))
        return code;
    return lookup(PunctuationKeys, keysym);
}

// Legacy keysyms of the characters Windows-1252 holds above Latin-1's range.
struct KeysymCharacter {
    KeySymbol keysym;
    char32_t character;
};
constexpr KeysymCharacter LegacyCharacters[] = {
    {XK_EuroSign, 0x20AC},
    {XK_singlelowquotemark, 0x201A},
    {XK_doublelowquotemark, 0x201E},
    {XK_ellipsis, 0x2026},
    {XK_dagger, 0x2020},
    {XK_doubledagger, 0x2021},
    {XK_permille, 0x2030},
    {XK_Scaron, 0x0160},
    {XK_scaron, 0x0161},
    {XK_OE, 0x0152},
    {XK_oe, 0x0153},
    {XK_Zcaron, 0x017D},
    {XK_zcaron, 0x017E},
    {XK_Ydiaeresis, 0x0178},
    {XK_leftsinglequotemark, 0x2018},
    {XK_rightsinglequotemark, 0x2019},
    {XK_leftdoublequotemark, 0x201C},
    {XK_rightdoublequotemark, 0x201D},
    {XK_enfilledcircbullet, 0x2022},
    {XK_endash, 0x2013},
    {XK_emdash, 0x2014},
    {XK_trademark, 0x2122},
    // Keypad keys that type.
    {XK_KP_Space, ' '},
    {XK_KP_Tab, '\t'},
    {XK_KP_Enter, '\r'},
    {XK_KP_Equal, '='},
    {XK_KP_Multiply, '*'},
    {XK_KP_Add, '+'},
    {XK_KP_Separator, ','},
    {XK_KP_Subtract, '-'},
    {XK_KP_Decimal, '.'},
    {XK_KP_Divide, '/'},
    // Keys that type control characters on Win32.
    {XK_BackSpace, 0x08},
    {XK_Tab, '\t'},
    {XK_ISO_Left_Tab, '\t'},
    {XK_Return, '\r'},
    {XK_Escape, 0x1B},
};

constexpr KeySymbol UnicodeKeysymBase = 0x01000000;

} // namespace

uint32_t virtual_key_of(const KeyStroke& key) {
    if (is_keypad(key.unshifted) && is_keypad(key.translated))
        return virtual_key_of_keysym(key.translated);
    if (const uint32_t code = virtual_key_of_keysym(key.unshifted))
        return code;
    return virtual_key_of_keysym(key.shifted);
}

char32_t unicode_of_keysym(KeySymbol keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<char32_t>(keysym);
    if (keysym > UnicodeKeysymBase && keysym <= UnicodeKeysymBase + 0x10FFFF)
        return static_cast<char32_t>(keysym - UnicodeKeysymBase);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<char32_t>('0' + (keysym - XK_KP_0));
    for (const KeysymCharacter& entry : LegacyCharacters) {
        if (entry.keysym == keysym)
            return entry.character;
    }
    return 0;
}

std::optional<uint8_t> windows1252_of(char32_t character) {
    if (character == 0 || character > 0xFFFF || (character >= 0xD800 && character < 0xE000))
        return std::nullopt;
    if (character == '?')
        return '?';
    const std::string converted = utf16_to_windows1252(std::u16string(1, static_cast<char16_t>(character)));
    if (converted.size() != 1 || converted[0] == '?')
        return std::nullopt;
    return static_cast<uint8_t>(converted[0]);
}

std::optional<uint8_t> character_of_key(KeySymbol translated, KeyModifiers modifiers) {
    const char32_t character = unicode_of_keysym(translated);
    if (!has(modifiers, KeyModifiers::Control))
        return windows1252_of(character);
    if (has(modifiers, KeyModifiers::Alt))
        return std::nullopt;
    if (translated == XK_Return || translated == XK_KP_Enter)
        return '\n';
    if (translated == XK_BackSpace)
        return 0x7F;
    const bool letter = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
    const bool bracket_or_caret = character >= '[' && character <= '_';
    if (letter || bracket_or_caret)
        return static_cast<uint8_t>(character & 0x1F);
    return std::nullopt;
}

std::string characters_of_lookup(std::string_view text, KeySymbol keysym, KeyModifiers modifiers) {
    std::string characters;
    if (!has(modifiers, KeyModifiers::Control) || keysym == 0) {
        bool printable = false;
        for (char32_t point : utf8_code_points(text)) {
            if (point < 0x20 || (point >= 0x7F && point < 0xA0))
                continue;
            printable = true;
            if (const auto byte = windows1252_of(point))
                characters += static_cast<char>(*byte);
        }
        if (printable || keysym == 0)
            return characters;
    }
    if (const auto byte = character_of_key(keysym, modifiers))
        characters += static_cast<char>(*byte);
    return characters;
}

KeySymbol keysym_of_virtual_key(uint32_t virtual_key) {
    if (virtual_key >= 'A' && virtual_key <= 'Z')
        return XK_a + (virtual_key - 'A');
    if (virtual_key >= '0' && virtual_key <= '9')
        return virtual_key;
    if (virtual_key >= VkNumpad0 && virtual_key <= VkNumpad0 + 9)
        return XK_KP_0 + (virtual_key - VkNumpad0);
    if (virtual_key >= VkF1 && virtual_key <= VkF1 + 23)
        return XK_F1 + (virtual_key - VkF1);
    // The first keysym of a code in the tables is its usual key.
    for (const std::span<const KeyCode> table :
         {std::span<const KeyCode>(FunctionKeys), std::span<const KeyCode>(PunctuationKeys)}) {
        for (const KeyCode& entry : table) {
            if (entry.virtual_key == virtual_key && !is_keypad(entry.keysym))
                return entry.keysym;
        }
    }
    for (const KeyCode& entry : FunctionKeys) {
        if (entry.virtual_key == virtual_key)
            return entry.keysym;
    }
    return 0;
}

KeySymbol keysym_of_character(char32_t character) {
    switch (character) {
    case '\r':
        return XK_Return;
    case '\t':
        return XK_Tab;
    case 0x08:
        return XK_BackSpace;
    case 0x1B:
        return XK_Escape;
    default:
        break;
    }
    if ((character >= 0x20 && character <= 0x7E) || (character >= 0xA0 && character <= 0xFF))
        return character;
    if (character < 0x20 || (character >= 0x7F && character < 0xA0) || character > 0x10FFFF)
        return 0;
    for (const KeysymCharacter& entry : LegacyCharacters) {
        if (entry.character == character && !is_keypad(entry.keysym))
            return entry.keysym;
    }
    return UnicodeKeysymBase + character;
}

} // namespace morvex::platform
