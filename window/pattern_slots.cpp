#include "window/pattern_slots.h"

#include "runtime/char_tables.h"

namespace morvex {

namespace {

PatternSlots::Kind kind_of(TokenCode code) {
    switch (code) {
    case TokenCode::Digit:
    case TokenCode::BlankDigit:
        return PatternSlots::Kind::Digit;
    case TokenCode::KeyInAt:
        return PatternSlots::Kind::Letter;
    case TokenCode::KeyInCaret:
        return PatternSlots::Kind::UpperLetter;
    case TokenCode::KeyInUnderscore:
        return PatternSlots::Kind::LowerLetter;
    case TokenCode::KeyInQuestion:
    case TokenCode::KeyInBar:
        return PatternSlots::Kind::Any;
    default:
        return PatternSlots::Kind::Literal;
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Letters by the runtime's character tables, so that the locale's accented
// letters count.
bool is_letter(uint8_t c) {
    return (Chars().char_class[c] & (CharUpper | CharLower)) != 0;
}

} // namespace

std::optional<PatternSlots> PatternSlots::Of(const CompiledPicture& picture) {
    if (!picture.valid() || (picture.kind() != PictureKind::Pattern && picture.kind() != PictureKind::KeyIn))
        return std::nullopt;
    PatternSlots slots;
    for (uint32_t i = 0; i < picture.token_count() && i < MaxPictureTokens; ++i) {
        slots.m_kinds.push_back(kind_of(picture.tokens[i].code));
        slots.m_literals.push_back(picture.tokens[i].character);
    }
    return slots;
}

std::optional<std::size_t> PatternSlots::next_slot(std::size_t from) const {
    for (std::size_t at = from; at < m_kinds.size(); ++at)
        if (m_kinds[at] != Kind::Literal)
            return at;
    return std::nullopt;
}

std::optional<std::size_t> PatternSlots::previous_slot(std::size_t before) const {
    for (std::size_t at = std::min(before, m_kinds.size()); at-- > 0;)
        if (m_kinds[at] != Kind::Literal)
            return at;
    return std::nullopt;
}

std::optional<char> PatternSlots::accept(std::size_t position, char character) const {
    const auto c = static_cast<uint8_t>(character);
    switch (kind(position)) {
    case Kind::Literal:
        return std::nullopt;
    case Kind::Digit:
        return is_digit(character) ? std::optional(character) : std::nullopt;
    case Kind::Letter:
        return is_letter(c) ? std::optional(character) : std::nullopt;
    case Kind::UpperLetter:
        return is_letter(c) ? std::optional(static_cast<char>(ToUpperChar(c))) : std::nullopt;
    case Kind::LowerLetter:
        return is_letter(c) ? std::optional(static_cast<char>(ToLowerChar(c))) : std::nullopt;
    case Kind::Any:
        return character;
    }
    return std::nullopt;
}

bool PatternSlots::filled_correctly(std::string_view text) const {
    for (std::size_t at = 0; at < m_kinds.size() && at < text.size(); ++at)
        if (m_kinds[at] != Kind::Literal && text[at] != ' ' && accept(at, text[at]) != text[at])
            return false;
    return true;
}

std::string PatternSlots::lay_out(std::string_view value) const {
    std::string text;
    std::size_t next = 0;
    for (std::size_t at = 0; at < m_kinds.size(); ++at) {
        if (m_kinds[at] == Kind::Literal)
            text.push_back(m_literals[at]);
        else
            text.push_back(next < value.size() ? value[next++] : ' ');
    }
    return text;
}

} // namespace morvex
