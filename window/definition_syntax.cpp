#include "window/definition_syntax.h"

#include "window/definition_format.h"
#include "window/engine_object.h"
#include "window/position_units.h"

namespace morvex::wdf {

namespace {

// The order of a flag table is the order in which the dumper writes the words.
constexpr SyntaxWord Window1[] = {
    {"hscroll", WinHScroll}, {"vscroll", WinVScroll}, {"resize", WinResize}, {"sized", WinPostSized}};
constexpr SyntaxWord Window2[] = {{"option", WinOptionBit},
                                  {"modal", WinModal},
                                  {"center", WinCentered},
                                  {"tool", WinToolWindow},
                                  {"mdi", WinMdiChild}};
constexpr SyntaxWord Control[] = {
    {"disable", AttrDisabled}, {"skip", AttrSkip},         {"transparent", AttrTransparent},
    {"default", AttrDefault},  {"hide", AttrHidden},       {"immediate", AttrImmediate},
    {"flat", AttrFlat},        {"readonly", AttrReadOnly},
};
constexpr SyntaxWord MenuBar[] = {{"private", MenuPrivate}};
constexpr SyntaxWord MenuItem[] = {
    {"disabled", MenuItemDisabled}, {"checked", MenuItemChecked}, {"checkable", MenuItemCheckable}};

// The justification byte is its index here.
constexpr SyntaxWord Justification[] = {{"left", 0}, {"right", 1}, {"center", 2}, {"decimal", 3}};
constexpr SyntaxWord Unit[] = {{"dialog", static_cast<uint32_t>(PositionUnit::DialogUnits)},
                               {"inch25", static_cast<uint32_t>(PositionUnit::TwentyFifthInch)},
                               {"inch1000", static_cast<uint32_t>(PositionUnit::ThousandthInch)},
                               {"points", static_cast<uint32_t>(PositionUnit::Points)}};
constexpr SyntaxWord DataType[] = {
    {"LONG", LongDataType}, {"STRING", StringDataType}, {"QUEUE", QueueDataType}};
constexpr SyntaxWord ImageKind[] = {{"system", SystemImageKind}, {"resource", ResourceImageKind}};

} // namespace

std::span<const SyntaxWord> WindowFlags1() {
    return Window1;
}
std::span<const SyntaxWord> WindowFlags2() {
    return Window2;
}
std::span<const SyntaxWord> ControlFlags() {
    return Control;
}
std::span<const SyntaxWord> MenuBarFlags() {
    return MenuBar;
}
std::span<const SyntaxWord> MenuItemFlags() {
    return MenuItem;
}
std::span<const SyntaxWord> Justifications() {
    return Justification;
}
std::span<const SyntaxWord> PositionUnits() {
    return Unit;
}
std::span<const SyntaxWord> DataTypes() {
    return DataType;
}
std::span<const SyntaxWord> ImageKinds() {
    return ImageKind;
}

std::optional<uint32_t> ValueOfWord(std::span<const SyntaxWord> table, std::string_view word) {
    for (const SyntaxWord& entry : table)
        if (entry.word == word)
            return entry.value;
    return std::nullopt;
}

std::optional<std::string_view> WordOfValue(std::span<const SyntaxWord> table, uint32_t value) {
    for (const SyntaxWord& entry : table)
        if (entry.value == value)
            return entry.word;
    return std::nullopt;
}

std::string TakeFlagWords(uint32_t& bits, std::span<const SyntaxWord> table) {
    std::string out;
    for (const SyntaxWord& entry : table)
        if (entry.value != 0 && (bits & entry.value) == entry.value) {
            out += " ";
            out += entry.word;
            bits &= ~entry.value;
        }
    return out;
}

std::string WordList(std::span<const SyntaxWord> table, std::string_view other) {
    std::string out;
    const std::size_t count = table.size() + (other.empty() ? 0 : 1);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += i + 1 == count ? " or " : ", ";
        out += i < table.size() ? table[i].word : other;
    }
    return out;
}

} // namespace morvex::wdf
