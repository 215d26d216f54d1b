// The evaluator's tokenizer: operators, based and real numbers, quoted
// texts, picture constants and names. Names are returned as names; the
// parser looks them up.
#include "runtime/ascii_case.h"
#include "runtime/evaluator_internal.h"

#include <cctype>
#include <cstdlib>
#include <limits>

namespace morvex::evaluator {

namespace {

bool is_letter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

Token operator_token(Op op) {
    Token token;
    token.kind = TokenKind::Operator;
    token.op = op;
    return token;
}

Token simple(TokenKind kind) {
    Token token;
    token.kind = kind;
    return token;
}

// The value of `digits` in `base`; false when a digit does not fit the base
// or the value does not fit in 64 bits.
bool digits_value(std::string_view digits, unsigned base, int64_t& value) {
    uint64_t result = 0;
    for (char c : digits) {
        const unsigned digit =
            is_digit(c) ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(c - 'A' + 10);
        if (digit >= base)
            return false;
        if (result > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) - digit) / base)
            return false;
        result = result * base + digit;
    }
    value = static_cast<int64_t>(result);
    return !digits.empty();
}

} // namespace

Token Tokenizer::next() {
    while (m_position < m_text.size() && (m_text[m_position] == ' ' || m_text[m_position] == '\t'))
        ++m_position;
    if (m_position >= m_text.size())
        return simple(TokenKind::End);
    const char c = m_text[m_position];
    const char following = m_position + 1 < m_text.size() ? m_text[m_position + 1] : '\0';
    auto two = [&](Op op) {
        m_position += 2;
        return operator_token(op);
    };
    auto one = [&](Op op) {
        m_position += 1;
        return operator_token(op);
    };
    switch (c) {
    case '+':
        return one(Op::Add);
    case '-':
        return one(Op::Subtract);
    case '*':
        return one(Op::Multiply);
    case '/':
        return one(Op::Divide);
    case '%':
        return one(Op::Modulo);
    case '^':
        return one(Op::Power);
    case '&':
        return one(Op::Concat);
    case ',':
        return one(Op::Comma);
    case ':':
        return one(Op::Colon);
    case '=':
        if (following == '<')
            return two(Op::LessEqual);
        if (following == '>')
            return two(Op::GreaterEqual);
        return one(Op::Equal);
    case '<':
        if (following == '>')
            return two(Op::NotEqual);
        if (following == '=')
            return two(Op::LessEqual);
        return one(Op::Less);
    case '>':
        if (following == '=')
            return two(Op::GreaterEqual);
        return one(Op::Greater);
    case '~':
        if (following == '=')
            return two(Op::NotEqual);
        if (following == '<')
            return two(Op::GreaterEqual);
        if (following == '>')
            return two(Op::LessEqual);
        return one(Op::Not);
    case '(':
        ++m_position;
        return simple(TokenKind::OpenParen);
    case ')':
        ++m_position;
        return simple(TokenKind::CloseParen);
    case '[':
        ++m_position;
        return simple(TokenKind::OpenBracket);
    case ']':
        ++m_position;
        return simple(TokenKind::CloseBracket);
    case '\'':
        return read_text();
    case '@':
        return read_picture();
    default:
        break;
    }
    if (is_digit(c))
        return read_number();
    if (is_letter(c) || c == '_' || c == '?')
        return read_name();
    return simple(TokenKind::Error);
}

Token Tokenizer::read_number() {
    const std::size_t start = m_position;
    std::size_t end = start;
    while (end < m_text.size() && is_digit(m_text[end]))
        ++end;
    // A real: digits, a point, digits, and an optional exponent.
    if (end + 1 < m_text.size() && m_text[end] == '.' && is_digit(m_text[end + 1])) {
        ++end;
        while (end < m_text.size() && is_digit(m_text[end]))
            ++end;
        if (end < m_text.size() && (m_text[end] == 'E' || m_text[end] == 'e')) {
            std::size_t exponent = end + 1;
            if (exponent < m_text.size() && (m_text[exponent] == '+' || m_text[exponent] == '-'))
                ++exponent;
            if (exponent < m_text.size() && is_digit(m_text[exponent])) {
                end = exponent;
                while (end < m_text.size() && is_digit(m_text[end]))
                    ++end;
            }
        }
        Token token;
        token.kind = TokenKind::Real;
        token.real = std::strtod(std::string(m_text.substr(start, end - start)).c_str(), nullptr);
        m_position = end;
        return token;
    }
    while (end < m_text.size() && (is_digit(m_text[end]) || is_letter(m_text[end])))
        ++end;
    m_position = end;
    std::string digits;
    for (std::size_t i = start; i < end; ++i)
        digits += AsciiUpper(m_text[i]);
    Token token;
    token.kind = TokenKind::Integer;
    const char last = digits.back();
    const unsigned base = last == 'H' ? 16 : last == 'O' ? 8 : last == 'B' ? 2 : 0;
    if (base != 0 && digits.size() > 1 &&
        digits_value(std::string_view(digits).substr(0, digits.size() - 1), base, token.integer))
        return token;
    for (char d : digits) {
        if (!is_digit(d))
            return simple(TokenKind::Error);
    }
    if (digits_value(digits, 10, token.integer))
        return token;
    // Too large for an integer: the nearest real number.
    token.kind = TokenKind::Real;
    token.real = std::strtod(digits.c_str(), nullptr);
    return token;
}

Token Tokenizer::read_text() {
    Token token;
    token.kind = TokenKind::Text;
    std::size_t i = m_position + 1;
    for (;;) {
        if (i >= m_text.size())
            return simple(TokenKind::Error); // no closing quote
        if (m_text[i] == '\'') {
            if (i + 1 < m_text.size() && m_text[i + 1] == '\'') {
                token.text += '\'';
                i += 2;
                continue;
            }
            m_position = i + 1;
            return token;
        }
        token.text += m_text[i++];
    }
}

Token Tokenizer::read_picture() {
    const std::size_t start = m_position;
    std::size_t i = start + 1;
    const char kind = i < m_text.size() ? AsciiUpper(m_text[i]) : '\0';
    if (kind == 'P' || kind == 'K') {
        // Runs to the closing letter, which may be followed by B.
        ++i;
        while (i < m_text.size() && AsciiUpper(m_text[i]) != kind)
            ++i;
        if (i < m_text.size())
            ++i;
        if (i < m_text.size() && AsciiUpper(m_text[i]) == 'B')
            ++i;
    } else {
        int depth = 0;
        bool quoted = false;
        for (; i < m_text.size(); ++i) {
            const char c = m_text[i];
            if (kind == 'N' && c == '~') {
                quoted = !quoted;
                continue;
            }
            if (quoted)
                continue;
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (depth == 0)
                    break;
                --depth;
            } else if (depth == 0 && (c == ' ' || c == '\t' || c == ',')) {
                break;
            }
        }
    }
    Token token;
    token.kind = TokenKind::Picture;
    token.text = std::string(m_text.substr(start, i - start));
    m_position = i;
    return token;
}

Token Tokenizer::read_name() {
    std::size_t end = m_position + 1;
    while (end < m_text.size() &&
           (is_letter(m_text[end]) || is_digit(m_text[end]) || m_text[end] == '_' || m_text[end] == ':'))
        ++end;
    if (end < m_text.size() && (m_text[end] == '#' || m_text[end] == '$' || m_text[end] == '"'))
        ++end;
    Token token;
    token.kind = TokenKind::Name;
    token.text = std::string(m_text.substr(m_position, end - m_position));
    m_position = end;
    return token;
}

} // namespace morvex::evaluator
