// The words of the window-definition text format that stand for numbers: the
// named bits of the attribute words, of control, menu bar and menu item
// attributes, the justifications, the position units and the variable data
// types. The compiler (definition_compiler) reads words through these tables
// and the dumper (definition_dumper) writes them from the same tables, so the
// two directions cannot drift apart; docs/window-definitions.md lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace morvex::wdf {

struct SyntaxWord {
    std::string_view word;
    uint32_t value;
};

// Flag tables: each word names one bit (or bits) of a word in the block.
// Window attribute word 1, without the position unit bits.
std::span<const SyntaxWord> WindowFlags1();
// Window attribute word 2.
std::span<const SyntaxWord> WindowFlags2();
// The common control attribute word (the engine's ObjectAttribute bits).
std::span<const SyntaxWord> ControlFlags();
std::span<const SyntaxWord> MenuBarFlags();
std::span<const SyntaxWord> MenuItemFlags();

// Value tables: each word names one whole value.
// The justification byte of a control's tail.
std::span<const SyntaxWord> Justifications();
// The position unit bits of window attribute word 1.
std::span<const SyntaxWord> PositionUnits();
// The data type byte of a variable descriptor.
std::span<const SyntaxWord> DataTypes();
// The kind byte of a numeric image reference (the id follows the word).
std::span<const SyntaxWord> ImageKinds();

// The value a word names in `table`, or nothing.
std::optional<uint32_t> ValueOfWord(std::span<const SyntaxWord> table, std::string_view word);
// The word that names `value` in `table`, or nothing.
std::optional<std::string_view> WordOfValue(std::span<const SyntaxWord> table, uint32_t value);
// The words of the bits set in `bits`, in table order, each after a blank;
// the bits they name are taken out of `bits`, which keeps what no word names.
std::string TakeFlagWords(uint32_t& bits, std::span<const SyntaxWord> table);
// The table's words for a message ("left, right, center or decimal"), with
// `other` as the last alternative when given ("LONG, STRING, QUEUE or a number").
std::string WordList(std::span<const SyntaxWord> table, std::string_view other = {});

} // namespace morvex::wdf
