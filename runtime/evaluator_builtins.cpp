// The evaluator's built-in functions, each computed in its natural value
// class (integer, real or text); the evaluation paths convert from there.
// Text results are written into the function node's own buffer, which keeps
// its capacity from one evaluation to the next.
#include "runtime/char_tables.h"
#include "runtime/date.h"
#include "runtime/evaluator_internal.h"
#include "runtime/ini_access.h"
#include "runtime/number_text.h"
#include "runtime/string_ops.h"
#include "runtime/text_compare.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <unistd.h>

namespace morvex::evaluator {

namespace {

// Lengths asked of ALL, CENTER, LEFT and RIGHT are held to this.
constexpr int64_t MaxResultLength = 65535;

int64_t arg_integer(Node& node, std::size_t i, int64_t missing) {
    return i < node.args.size() ? EvalInteger(*node.args[i]) : missing;
}
double arg_real(Node& node, std::size_t i) {
    return i < node.args.size() ? EvalReal(*node.args[i]) : 0;
}
std::string_view arg_text(Node& node, std::size_t i) {
    return i < node.args.size() ? EvalText(*node.args[i]) : std::string_view{};
}
int32_t clamp32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}
int64_t result_length(Node& node, std::size_t i, std::size_t missing) {
    return std::clamp<int64_t>(arg_integer(node, i, static_cast<int64_t>(missing)), 0, MaxResultLength);
}

// A picture argument: a constant one is compiled once and kept on the node.
const CompiledPicture& picture_argument(Node& node, std::size_t i, CompiledPicture& scratch) {
    Node& argument = *node.args[i];
    if (argument.op == Op::PictureConstant || argument.op == Op::TextConstant) {
        if (!node.picture) {
            node.picture = std::make_unique<CompiledPicture>();
            CompilePicture(*node.picture, argument.text);
        }
        return *node.picture;
    }
    const std::string_view text = EvalText(argument);
    CompilePicture(scratch, text.data(), text.size());
    return scratch;
}

std::string_view format(Node& node) {
    CompiledPicture scratch;
    const CompiledPicture& picture = picture_argument(node, 1, scratch);
    Node& value = *node.args[0];
    char out[MaxPictureWidth + 1];
    std::size_t width = 0;
    switch (value.value_class) {
    case ValueClass::Integer:
        width = FORMAT(EvalInteger(value), picture, out);
        break;
    case ValueClass::Real:
        width = FORMAT(EvalReal(value), picture, out);
        break;
    default:
        width = FORMAT(EvalText(value), picture, out);
        break;
    }
    node.buffer.assign(out, std::min(width, MaxPictureWidth));
    return node.buffer;
}

std::string_view deformat(Node& node) {
    const std::string_view text = arg_text(node, 0);
    if (node.args.size() < 2) {
        // Without a picture: the digits, the first point and a leading minus.
        node.buffer.clear();
        bool point = false;
        for (char c : text) {
            if ((c >= '0' && c <= '9') || (c == '.' && !point))
                node.buffer += c;
            point = point || c == '.';
            if (c == '-' && node.buffer.empty())
                node.buffer += c;
        }
        return node.buffer;
    }
    // The text is copied first: DEFORMAT may read it while the picture's
    // evaluation reuses buffers.
    std::string copy(text);
    CompiledPicture scratch;
    const CompiledPicture& picture = picture_argument(node, 1, scratch);
    node.buffer.assign(DEFORMAT(copy, picture));
    return node.buffer;
}

bool wildcard_match(std::string_view text, std::string_view pattern, bool no_case) {
    auto same = [no_case](char a, char b) {
        if (!no_case)
            return a == b;
        return ToUpperChar(static_cast<uint8_t>(a)) == ToUpperChar(static_cast<uint8_t>(b));
    };
    // Greedy matching with one backtrack point for the last '*'.
    std::size_t t = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], text[t])))) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

int64_t match(Node& node) {
    const std::string text(CLIP(arg_text(node, 0)));
    const std::string_view pattern = CLIP(arg_text(node, 1));
    switch (arg_integer(node, 2, 0)) {
    case 1:
        return wildcard_match(text, pattern, true);
    case 2:
        return CompareStringValues(text, pattern) == 0;
    case 3:
        return CompareStringValuesNoCase(text, pattern) == 0;
    default:
        return wildcard_match(text, pattern, false);
    }
}

std::mt19937_64& random_engine() {
    static std::mt19937_64 engine{std::random_device{}()};
    return engine;
}

int64_t memory(Node& node) {
    const long pages = sysconf(arg_integer(node, 0, 0) == 1 ? _SC_PHYS_PAGES : _SC_AVPHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0)
        return 0;
    return std::min<int64_t>(static_cast<int64_t>(pages) / 1024 * page_size, INT32_MAX);
}

std::string_view justify(Node& node, Builtin which) {
    const std::string_view text = arg_text(node, 0);
    const int64_t length = result_length(node, 1, text.size());
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    const std::string_view core =
        first == std::string_view::npos ? std::string_view{} : text.substr(first, last - first + 1);
    const auto width = static_cast<std::size_t>(length);
    std::string& out = node.buffer;
    out.assign(width, ' ');
    if (which == Builtin::LEFT) {
        out.replace(0, std::min(width, core.size()), core.substr(0, width));
    } else if (which == Builtin::RIGHT) {
        const std::string_view kept = core.size() > width ? core.substr(core.size() - width) : core;
        out.replace(width - kept.size(), kept.size(), kept);
    } else {
        const std::string_view kept = core.substr(0, width);
        out.replace((width - kept.size()) / 2, kept.size(), kept);
    }
    return out;
}

std::string_view all(Node& node) {
    const std::string_view text = arg_text(node, 0);
    const auto width = static_cast<std::size_t>(result_length(node, 1, 255));
    std::string& out = node.buffer;
    out.clear();
    if (text.empty()) {
        out.assign(width, ' ');
        return out;
    }
    while (out.size() < width)
        out.append(text.substr(0, width - out.size()));
    return out;
}

double round_to(double value, double step) {
    step = std::fabs(step);
    if (step == 0)
        return value;
    // Steps such as 0.01 divide exactly by their reciprocal, which avoids
    // the binary error of multiplying by the step.
    const double reciprocal = 1 / step;
    if (step < 1 && std::fabs(reciprocal - std::round(reciprocal)) < 1e-9)
        return std::round(value * std::round(reciprocal)) / std::round(reciprocal);
    return std::round(value / step) * step;
}

uint32_t low32(int64_t value) {
    return static_cast<uint32_t>(value);
}
int64_t as_long(uint32_t bits) {
    return static_cast<int32_t>(bits);
}

} // namespace

int64_t BuiltinInteger(Node& node) {
    switch (node.builtin->function) {
    case Builtin::BAND:
        return as_long(low32(arg_integer(node, 0, 0)) & low32(arg_integer(node, 1, 0)));
    case Builtin::BOR:
        return as_long(low32(arg_integer(node, 0, 0)) | low32(arg_integer(node, 1, 0)));
    case Builtin::BXOR:
        return as_long(low32(arg_integer(node, 0, 0)) ^ low32(arg_integer(node, 1, 0)));
    case Builtin::BSHIFT: {
        const uint32_t bits = low32(arg_integer(node, 0, 0));
        const int64_t count = arg_integer(node, 1, 0);
        if (count >= 32 || count <= -32)
            return 0;
        return as_long(count >= 0 ? bits << count : bits >> -count);
    }
    case Builtin::CLOCK:
        return CLOCK();
    case Builtin::TODAY:
        return TODAY();
    case Builtin::DATE:
        return DATE(clamp32(arg_integer(node, 0, 0)), clamp32(arg_integer(node, 1, 0)),
                    clamp32(arg_integer(node, 2, 0)));
    case Builtin::DAY:
        return DAY(clamp32(arg_integer(node, 0, 0)));
    case Builtin::MONTH:
        return MONTH(clamp32(arg_integer(node, 0, 0)));
    case Builtin::YEAR:
        return YEAR(clamp32(arg_integer(node, 0, 0)));
    case Builtin::INLIST: {
        const std::string value(arg_text(node, 0));
        for (std::size_t i = 1; i < node.args.size(); ++i) {
            if (CompareStringValues(value, EvalText(*node.args[i])) == 0)
                return static_cast<int64_t>(i);
        }
        return 0;
    }
    case Builtin::INRANGE:
        return CompareNodes(*node.args[0], *node.args[1]) >= 0 &&
               CompareNodes(*node.args[0], *node.args[2]) <= 0;
    case Builtin::INSTRING: {
        // A constant sought text stays where it is while the text is worked
        // out; any other is copied first, in case that reuses its storage.
        if (node.args[0]->op == Op::TextConstant) {
            const std::string_view text = arg_text(node, 1);
            return INSTRING(node.args[0]->text, text, clamp32(arg_integer(node, 2, 1)),
                            clamp32(arg_integer(node, 3, 1)));
        }
        const std::string sought(arg_text(node, 0));
        const std::string_view text = arg_text(node, 1);
        return INSTRING(sought, text, clamp32(arg_integer(node, 2, 1)), clamp32(arg_integer(node, 3, 1)));
    }
    case Builtin::INT:
        return RealToInteger(arg_real(node, 0));
    case Builtin::LEN:
        return static_cast<int64_t>(arg_text(node, 0).size());
    case Builtin::MATCH:
        return match(node);
    case Builtin::MEMORY:
        return memory(node);
    case Builtin::NULL_:
        return 0; // no value of this runtime is null
    case Builtin::NUMERIC:
        return IsNumberText(arg_text(node, 0));
    case Builtin::RANDOM: {
        int64_t low = arg_integer(node, 0, 0);
        int64_t high = arg_integer(node, 1, 0);
        if (low > high)
            std::swap(low, high);
        return std::uniform_int_distribution<int64_t>(low, high)(random_engine());
    }
    case Builtin::VAL: {
        const std::string_view text = arg_text(node, 0);
        return text.empty() ? 0 : static_cast<uint8_t>(text[0]);
    }
    default:
        return 0;
    }
}

double BuiltinReal(Node& node) {
    const double x = arg_real(node, 0);
    double result = 0;
    switch (node.builtin->function) {
    case Builtin::ABS:
        result = std::fabs(x);
        break;
    case Builtin::ACOS:
        result = std::acos(x);
        break;
    case Builtin::ASIN:
        result = std::asin(x);
        break;
    case Builtin::ATAN:
        result = std::atan(x);
        break;
    case Builtin::COS:
        result = std::cos(x);
        break;
    case Builtin::SIN:
        result = std::sin(x);
        break;
    case Builtin::TAN:
        result = std::tan(x);
        break;
    case Builtin::SQRT:
        result = std::sqrt(x);
        break;
    case Builtin::LOG10:
        result = std::log10(x);
        break;
    case Builtin::LOGE:
        result = std::log(x);
        break;
    case Builtin::ROUND:
        result = round_to(x, node.args.size() > 1 ? arg_real(node, 1) : 1.0);
        break;
    default:
        break;
    }
    // An argument outside a function's domain gives 0.
    return std::isfinite(result) ? result : 0;
}

std::string_view BuiltinText(Node& node) {
    std::string& out = node.buffer;
    switch (node.builtin->function) {
    case Builtin::AGE:
        out = AGE(clamp32(arg_integer(node, 0, 0)), clamp32(arg_integer(node, 1, -1)));
        return out;
    case Builtin::ALL:
        return all(node);
    case Builtin::CENTER:
    case Builtin::LEFT:
    case Builtin::RIGHT:
        return justify(node, node.builtin->function);
    case Builtin::CHOOSE: {
        const int64_t choice = arg_integer(node, 0, 0);
        const std::size_t values = node.args.size() - 1;
        const std::size_t picked =
            choice >= 1 && choice <= static_cast<int64_t>(values) ? static_cast<std::size_t>(choice) : values;
        return EvalText(*node.args[picked]);
    }
    case Builtin::CHR:
        out.assign(1, static_cast<char>(arg_integer(node, 0, 0) & 0xFF));
        return out;
    case Builtin::CLIP:
        return CLIP(arg_text(node, 0));
    case Builtin::DEFORMAT:
        return deformat(node);
    case Builtin::FORMAT:
        return format(node);
    case Builtin::GETINI: {
        const std::string section(arg_text(node, 0));
        const std::string entry(arg_text(node, 1));
        const std::string fallback(arg_text(node, 2));
        const std::string_view file = arg_text(node, 3);
        out = GETINI(section, entry, fallback, file);
        return out;
    }
    case Builtin::LOWER:
    case Builtin::UPPER: {
        const std::string_view text = arg_text(node, 0);
        out.resize(text.size());
        const CharTables& tables = Chars();
        const uint8_t wanted = node.builtin->function == Builtin::UPPER ? CharLower : CharUpper;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<uint8_t>(text[i]);
            const uint8_t partner = tables.case_partner[c];
            out[i] = static_cast<char>((tables.char_class[c] & wanted) && partner ? partner : c);
        }
        return out;
    }
    case Builtin::SUB: {
        const std::string_view text = arg_text(node, 0);
        return SUB(text, clamp32(arg_integer(node, 1, 1)), clamp32(arg_integer(node, 2, INT32_MAX)));
    }
    default:
        return {};
    }
}

} // namespace morvex::evaluator
