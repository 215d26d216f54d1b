// The character slots of a pattern (@P) or key-in (@K) picture as an entry
// edits them: one slot a position of the formatted text. Typing fills the
// slots and steps over the literals; leaving the field checks that every
// slot holds what it takes.
//
// Slots: "#" and "<" a digit; in key-in pictures "@" a letter, "^" an
// upper-case letter (a lower-case one is raised), "_" a lower-case letter
// (an upper-case one is lowered), "?" and "|" any character. Everything
// else is a literal the user does not type.
#pragma once

#include "runtime/picture.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class PatternSlots {
public:
    enum class Kind { Literal, Digit, Letter, UpperLetter, LowerLetter, Any };

    // The slots of a pattern or key-in picture; nothing for other pictures.
    static std::optional<PatternSlots> Of(const CompiledPicture& picture);

    std::size_t size() const { return m_kinds.size(); }
    Kind kind(std::size_t position) const {
        return position < m_kinds.size() ? m_kinds[position] : Kind::Literal;
    }
    // The first slot at or after `from`, the last one before `before`.
    std::optional<std::size_t> next_slot(std::size_t from) const;
    std::optional<std::size_t> previous_slot(std::size_t before) const;
    // The character as the slot at `position` stores it (case changed for the
    // letter slots), or nothing when the slot does not take it.
    std::optional<char> accept(std::size_t position, char character) const;
    // Whether every slot of `text` holds what it takes; a blank slot is
    // empty, which every slot allows.
    bool filled_correctly(std::string_view text) const;
    // The picture's literals with the value's characters in the slots, in
    // order (a key-in value holds only what was typed into the slots).
    std::string lay_out(std::string_view value) const;

private:
    std::vector<Kind> m_kinds;
    std::string m_literals; // the picture's character at each position
};

} // namespace morvex
