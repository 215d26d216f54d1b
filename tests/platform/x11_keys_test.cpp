#include "platform/charset.h"
#include "platform/window_messages.h"
#include "platform/x11_keys.h"

#include <gtest/gtest.h>

// clang-format off
#define XK_PUBLISHING
#include <X11/keysym.h>
// clang-format on

namespace morvex::platform {
namespace {

struct VirtualKeyCase {
    const char* label;
    KeyStroke stroke;
    uint32_t virtual_key;
};

class VirtualKeyOf : public ::testing::TestWithParam<VirtualKeyCase> {};

TEST_P(VirtualKeyOf, NamesTheKeyAsWin32Does) {
    EXPECT_EQ(virtual_key_of(GetParam().stroke), GetParam().virtual_key);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, VirtualKeyOf,
    ::testing::Values(
        VirtualKeyCase{"LowerCaseLetter", {XK_q, XK_Q, XK_q}, 'Q'},
        VirtualKeyCase{"ShiftedLetterKeepsItsCode", {XK_z, XK_Z, XK_Z}, 'Z'},
        VirtualKeyCase{"ShiftedDigitIsTheDigit", {XK_7, XK_ampersand, XK_ampersand}, '7'},
        VirtualKeyCase{"DigitOnTheShiftedLevel", {XK_ampersand, XK_1, XK_ampersand}, '1'},
        VirtualKeyCase{"F1", {XK_F1, XK_F1, XK_F1}, VkF1},
        VirtualKeyCase{"F12", {XK_F12, XK_F12, XK_F12}, VkF12},
        VirtualKeyCase{"Left", {XK_Left, XK_Left, XK_Left}, VkLeft},
        VirtualKeyCase{"PageDown", {XK_Next, XK_Next, XK_Next}, VkNext},
        VirtualKeyCase{"Delete", {XK_Delete, XK_Delete, XK_Delete}, VkDelete},
        VirtualKeyCase{"ShiftTabIsTab", {XK_Tab, XK_ISO_Left_Tab, XK_ISO_Left_Tab}, VkTab},
        VirtualKeyCase{"RightControl", {XK_Control_R, XK_Control_R, XK_Control_R}, VkControl},
        VirtualKeyCase{"AltIsMenu", {XK_Alt_L, XK_Meta_L, XK_Alt_L}, VkMenu},
        VirtualKeyCase{"Space", {XK_space, XK_space, XK_space}, VkSpace},
        VirtualKeyCase{"Comma", {XK_comma, XK_less, XK_less}, 0xBC},
        VirtualKeyCase{"KeypadDigitWithNumLock", {XK_KP_End, XK_KP_1, XK_KP_1}, VkNumpad0 + 1},
        VirtualKeyCase{"KeypadWithoutNumLockNavigates", {XK_KP_End, XK_KP_1, XK_KP_End}, VkEnd},
        VirtualKeyCase{"KeypadEnterIsReturn", {XK_KP_Enter, XK_KP_Enter, XK_KP_Enter}, VkReturn},
        VirtualKeyCase{"KeypadDecimal", {XK_KP_Delete, XK_KP_Decimal, XK_KP_Decimal}, VkDecimal},
        VirtualKeyCase{"KeypadDivide", {XK_KP_Divide, XK_KP_Divide, XK_KP_Divide}, VkDivide},
        VirtualKeyCase{"UnknownKey", {XK_Cyrillic_a, XK_Cyrillic_A, XK_Cyrillic_a}, 0},
        VirtualKeyCase{"NoSymbol", {0, 0, 0}, 0}),
    [](const auto& info) { return std::string(info.param.label); });

struct CharacterCase {
    const char* label;
    KeySymbol keysym;
    KeyModifiers modifiers;
    int character; // -1: none
};

class CharacterOfKey : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(CharacterOfKey, TypesTheWindows1252Character) {
    const auto character = character_of_key(GetParam().keysym, GetParam().modifiers);
    if (GetParam().character < 0)
        EXPECT_FALSE(character.has_value()) << int(*character);
    else
        EXPECT_EQ(character, std::optional<uint8_t>(static_cast<uint8_t>(GetParam().character)));
}

constexpr auto Plain = KeyModifiers::NoModifier;
constexpr auto Control = KeyModifiers::Control;
constexpr auto Alt = KeyModifiers::Alt;

INSTANTIATE_TEST_SUITE_P(
    Keys, CharacterOfKey,
    ::testing::Values(CharacterCase{"Letter", XK_a, Plain, 'a'}, CharacterCase{"Capital", XK_A, Plain, 'A'},
                      CharacterCase{"Latin1Letter", XK_eacute, Plain, 0xE9},
                      CharacterCase{"NoBreakSpace", XK_nobreakspace, Plain, 0xA0},
                      CharacterCase{"Euro", XK_EuroSign, Plain, 0x80},
                      CharacterCase{"UnicodeKeysymEuro", 0x10020AC, Plain, 0x80},
                      CharacterCase{"CaronLetter", XK_Scaron, Plain, 0x8A},
                      CharacterCase{"Ellipsis", XK_ellipsis, Plain, 0x85},
                      CharacterCase{"LeftQuote", XK_leftdoublequotemark, Plain, 0x93},
                      CharacterCase{"EmDash", XK_emdash, Plain, 0x97},
                      CharacterCase{"CyrillicIsSkipped", XK_Cyrillic_a, Plain, -1},
                      CharacterCase{"UnicodeOutsideTheSetIsSkipped", 0x1004E2D, Plain, -1},
                      CharacterCase{"QuestionMarkItself", XK_question, Plain, '?'},
                      CharacterCase{"Return", XK_Return, Plain, '\r'},
                      CharacterCase{"KeypadEnter", XK_KP_Enter, Plain, '\r'},
                      CharacterCase{"BackSpace", XK_BackSpace, Plain, 0x08},
                      CharacterCase{"Escape", XK_Escape, Plain, 0x1B},
                      CharacterCase{"ShiftTab", XK_ISO_Left_Tab, Plain, '\t'},
                      CharacterCase{"KeypadDigit", XK_KP_5, Plain, '5'},
                      CharacterCase{"KeypadDecimal", XK_KP_Decimal, Plain, '.'},
                      CharacterCase{"DeleteTypesNothing", XK_Delete, Plain, -1},
                      CharacterCase{"FunctionKeyTypesNothing", XK_F3, Plain, -1},
                      CharacterCase{"ShiftTypesNothing", XK_Shift_L, Plain, -1},
                      CharacterCase{"DeadKeyTypesNothing", XK_dead_acute, Plain, -1},
                      CharacterCase{"ControlLetter", XK_c, Control, 0x03},
                      CharacterCase{"ControlCapital", XK_Z, Control, 0x1A},
                      CharacterCase{"ControlBracket", XK_bracketleft, Control, 0x1B},
                      CharacterCase{"ControlUnderscore", XK_underscore, Control, 0x1F},
                      CharacterCase{"ControlReturnIsLineFeed", XK_Return, Control, '\n'},
                      CharacterCase{"ControlBackSpaceIsDelete", XK_BackSpace, Control, 0x7F},
                      CharacterCase{"ControlDigitTypesNothing", XK_1, Control, -1},
                      CharacterCase{"ControlAtTypesNoNul", XK_at, Control, -1},
                      CharacterCase{"ControlAltTypesNothing", XK_a, Control | Alt, -1},
                      CharacterCase{"AltLetterStillTypes", XK_f, Alt, 'f'}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Windows1252Of, EveryCharacterOfTheSetComesBackToItsByte) {
    // Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D are unassigned and stand for themselves.
    const char32_t high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                               0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    for (int byte = 1; byte < 256; ++byte) {
        const char32_t point = byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : static_cast<char32_t>(byte);
        EXPECT_EQ(windows1252_of(point), std::optional<uint8_t>(static_cast<uint8_t>(byte))) << byte;
    }
    EXPECT_FALSE(windows1252_of(0).has_value());
    EXPECT_FALSE(windows1252_of(0x0100).has_value());
    EXPECT_FALSE(windows1252_of(0xD800).has_value());
    EXPECT_FALSE(windows1252_of(0x1F600).has_value());
}

struct LookupCase {
    const char* label;
    const char* text; // what the input method gave, UTF-8
    KeySymbol keysym;
    KeyModifiers modifiers;
    const char* expected; // Windows-1252
};

class CharactersOfLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(CharactersOfLookup, GiveWin32sCharacters) {
    EXPECT_EQ(characters_of_lookup(GetParam().text, GetParam().keysym, GetParam().modifiers),
              std::string(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, CharactersOfLookup,
    ::testing::Values(LookupCase{"Letter", "a", XK_a, Plain, "a"},
                      LookupCase{"ComposedAcute", "\xc3\xa9", 0, Plain, "\xe9"},
                      LookupCase{"ComposedEuro", "\xe2\x82\xac", 0, Plain, "\x80"},
                      LookupCase{"CommittedString", "Gr\xc3\xbc\xc3\x9f", 0, Plain, "Gr\xfc\xdf"},
                      LookupCase{"OutsideTheSetIsDropped",
                                 "a\xd0\xb0"
                                 "b",
                                 0, Plain, "ab"},
                      LookupCase{"OnlyOutsideTypesNothing", "\xe4\xb8\xad", XK_a, Plain, ""},
                      LookupCase{"ReturnFromTheKeysym", "\r", XK_Return, Plain, "\r"},
                      LookupCase{"DeleteTypesNoDel", "\x7f", XK_Delete, Plain, ""},
                      LookupCase{"EmptyTextFallsBackToTheKeysym", "", XK_EuroSign, Plain, "\x80"},
                      LookupCase{"ControlLetter", "\x03", XK_c, Control, "\x03"},
                      LookupCase{"ControlDigitTypesNothing", "1", XK_1, Control, ""},
                      LookupCase{"ControlReturnIsLineFeed", "\r", XK_Return, Control, "\n"},
                      LookupCase{"AltLetter", "f", XK_f, Alt, "f"},
                      LookupCase{"MalformedBytesAreDropped",
                                 "\xff"
                                 "a",
                                 XK_a, Plain, "a"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(KeysymOfVirtualKey, NamesAKeyThatGivesTheVirtualKeyBack) {
    int named = 0;
    for (uint32_t virtual_key = 1; virtual_key < 0xFF; ++virtual_key) {
        const KeySymbol keysym = keysym_of_virtual_key(virtual_key);
        if (keysym == 0)
            continue;
        ++named;
        EXPECT_EQ(virtual_key_of(KeyStroke{keysym, keysym, keysym}), virtual_key) << std::hex << virtual_key;
    }
    // Letters, digits, F1-F24, the numeric keypad and the usual editing and modifier keys.
    EXPECT_GE(named, 26 + 10 + 24 + 10 + 30);
    EXPECT_EQ(keysym_of_virtual_key(VkMenu), static_cast<KeySymbol>(XK_Alt_L));
    EXPECT_EQ(keysym_of_virtual_key(VkSpace), static_cast<KeySymbol>(XK_space));
    EXPECT_EQ(keysym_of_virtual_key(VkReturn), static_cast<KeySymbol>(XK_Return));
}

TEST(KeysymOfCharacter, TypesEveryCharacterOfTheSet) {
    for (int byte = 1; byte < 256; ++byte) {
        const char32_t point = windows1252_code_point(static_cast<uint8_t>(byte));
        const KeySymbol keysym = keysym_of_character(point);
        const bool control = point < 0x20 || (point >= 0x7F && point < 0xA0);
        if (control && byte != '\r' && byte != '\t' && byte != 0x08 && byte != 0x1B) {
            EXPECT_EQ(keysym, 0u) << byte;
            continue;
        }
        EXPECT_EQ(character_of_key(keysym, Plain), std::optional<uint8_t>(static_cast<uint8_t>(byte)))
            << byte;
    }
    EXPECT_EQ(keysym_of_character(0x20AC), static_cast<KeySymbol>(XK_EuroSign));
    EXPECT_EQ(keysym_of_character(0x4E2D), 0x1004E2Du);
}

} // namespace
} // namespace morvex::platform
