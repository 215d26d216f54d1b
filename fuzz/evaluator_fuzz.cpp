// Fuzzes the evaluator: the input is expression text. Whatever compiles is
// evaluated in all four ways against bound variables of several field
// types; an integer-class or real-class result must agree with its truth.
#include "runtime/date.h"
#include "runtime/evaluator.h"
#include "runtime/fixed_text.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

using namespace morvex;

#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)

struct Variables {
    int32_t long_value = 73284;
    int16_t short_value = -7;
    uint8_t byte_value = 200;
    uint32_t ulong_value = 4000000000u;
    double real_value = 2.5;
    float sreal_value = -0.125f;
    DateStorage date_value = LongToDate(73284);
    TimeStorage time_value = LongToTime(360001);
    FixedText<12> name{"Miller"};
    char cstring_value[8] = "abc";
    uint8_t pstring_value[6] = {9, 'x', 'y', 'z', 'w', 'v'};
    uint8_t decimal_value[4] = {0x10, 0x12, 0x34, 0x56};
    uint8_t pdecimal_value[3] = {0x99, 0x99, 0x9D};
    int32_t array[3] = {1, 2, 3};

    void bind() {
        BIND("L", long_value);
        BIND("S", short_value);
        BIND("B", byte_value);
        BIND("UL", ulong_value);
        BIND("R", real_value);
        BIND("SR", sreal_value);
        BIND("D", date_value);
        BIND("T", time_value);
        BIND("CUS:NAME", name);
        BIND("CS", BoundVariable{FieldType::CString, cstring_value, sizeof cstring_value});
        BIND("PS", BoundVariable{FieldType::PString, pstring_value, sizeof pstring_value});
        BIND("DEC", BoundVariable{FieldType::Decimal, decimal_value, sizeof decimal_value, 3});
        BIND("PDEC", BoundVariable{FieldType::PDecimal, pdecimal_value, sizeof pdecimal_value, 5});
        BIND("ARR", BoundVariable{FieldType::Long, array, 4, 0, 3});
    }
};

bool contains_no_case(std::string_view text, std::string_view word) {
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size() && std::toupper(static_cast<unsigned char>(text[i + k])) == word[k])
            ++k;
        if (k == word.size())
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static Variables* variables = [] {
        auto* made = new Variables;
        made->bind();
        return made;
    }();
    (void)variables;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // GETINI would read whatever file the text names (a device among them).
    if (contains_no_case(text, "GETINI"))
        return 0;
    std::unique_ptr<Expression> expression = Expression::Compile(text);
    if (!expression)
        return 0;
    const int64_t integer = expression->as_integer();
    const double real = expression->as_real();
    const std::string copy(expression->as_text());
    const bool truth = expression->as_truth();
    const bool varies = contains_no_case(text, "RANDOM") || contains_no_case(text, "CLOCK") ||
                        contains_no_case(text, "MEMORY");
    if (!varies) {
        if (expression->value_class() == ValueClass::Integer)
            CHECK(truth == (integer != 0));
        if (expression->value_class() == ValueClass::Real)
            CHECK(truth == (real != 0));
        CHECK(std::string(expression->as_text()) == copy);
    }
    return 0;
}
