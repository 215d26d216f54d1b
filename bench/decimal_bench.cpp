// Decimal accumulator arithmetic beside Boost's cpp_dec_float and GCC's
// decimal128: add, multiply and divide with operands of 31 significant
// digits (which decimal128's 34 digits hold) and of 60 (which only the
// accumulator and cpp_dec_float_100 hold).
#include "runtime/decimal.h"

#include <benchmark/benchmark.h>
#include <boost/multiprecision/cpp_dec_float.hpp>
#include <decimal/decimal>
#include <string>

namespace {

using boost::multiprecision::cpp_dec_float_100;
using boost::multiprecision::cpp_dec_float_50;
using morvex::DecimalAccumulator;
using morvex::DecimalStack;

// Operand pairs: 31 significant digits each, and 60.
constexpr const char* Short[2] = {"1234567890123456.789012345678901", "98765432109.87654321098765432101"};
constexpr const char* Long[2] = {"123456789012345678901234567890.123456789012345678901234567890",
                                 "98765432109876543210987654321.0987654321098765432109876543211"};

enum class Op { Add, Multiply, Divide };

DecimalAccumulator accumulator(const char* text) {
    DecimalStack stack;
    stack.push_text(text);
    return stack.take();
}

template <Op op>
void accumulators(benchmark::State& state, const char* const* operands) {
    const DecimalAccumulator a = accumulator(operands[0]);
    const DecimalAccumulator b = accumulator(operands[1]);
    DecimalAccumulator result;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&a);
        benchmark::DoNotOptimize(&b);
        if constexpr (op == Op::Add)
            morvex::decimal_detail::add(a, b, false, result);
        else if constexpr (op == Op::Multiply)
            morvex::decimal_detail::multiply(a, b, result);
        else
            morvex::decimal_detail::divide(a, b, result);
        benchmark::DoNotOptimize(result);
    }
}

// The same through the stack, as program code uses it: push both, operate,
// take the result off.
template <Op op>
void stack_operations(benchmark::State& state, const char* const* operands) {
    const DecimalAccumulator a = accumulator(operands[0]);
    const DecimalAccumulator b = accumulator(operands[1]);
    DecimalStack stack;
    for (auto _ : state) {
        stack.push(a);
        stack.push(b);
        if constexpr (op == Op::Add)
            stack.add();
        else if constexpr (op == Op::Multiply)
            stack.multiply();
        else
            stack.divide();
        benchmark::DoNotOptimize(stack.top());
        stack.pop();
    }
}

// The operation on two ready operands of any number type.
template <Op op, typename Number>
void operate(benchmark::State& state, const Number& a, const Number& b) {
    Number result;
    for (auto _ : state) {
        benchmark::DoNotOptimize(&a);
        benchmark::DoNotOptimize(&b);
        if constexpr (op == Op::Add)
            result = a + b;
        else if constexpr (op == Op::Multiply)
            result = a * b;
        else
            result = a / b;
        benchmark::DoNotOptimize(&result);
    }
}

template <typename Number, Op op>
void boost_numbers(benchmark::State& state, const char* const* operands) {
    operate<op>(state, Number(operands[0]), Number(operands[1]));
}

// decimal128 has no text constructor: the digits as an integer, scaled.
std::decimal::decimal128 decimal128_of(const char* text) {
    std::string digits;
    int places = 0;
    bool after_point = false;
    for (const char* p = text; *p; ++p) {
        if (*p == '.')
            after_point = true;
        else {
            digits += *p;
            places += after_point;
        }
    }
    std::decimal::decimal128 value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    for (int i = 0; i < places; ++i)
        value /= 10;
    return value;
}

template <Op op>
void decimal128s(benchmark::State& state, const char* const* operands) {
    operate<op>(state, decimal128_of(operands[0]), decimal128_of(operands[1]));
}

// Registered by name so that each row reads "operation/implementation".
const bool registered = [] {
    struct Row {
        const char* name;
        void (*function)(benchmark::State&, const char* const*);
        const char* const* operands;
    };
    const Row rows[] = {
        {"add_31/accumulator", accumulators<Op::Add>, Short},
        {"add_31/stack", stack_operations<Op::Add>, Short},
        {"add_31/decimal128", decimal128s<Op::Add>, Short},
        {"add_31/cpp_dec_float_50", boost_numbers<cpp_dec_float_50, Op::Add>, Short},
        {"add_31/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Add>, Short},
        {"multiply_31/accumulator", accumulators<Op::Multiply>, Short},
        {"multiply_31/stack", stack_operations<Op::Multiply>, Short},
        {"multiply_31/decimal128", decimal128s<Op::Multiply>, Short},
        {"multiply_31/cpp_dec_float_50", boost_numbers<cpp_dec_float_50, Op::Multiply>, Short},
        {"multiply_31/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Multiply>, Short},
        {"divide_31/accumulator", accumulators<Op::Divide>, Short},
        {"divide_31/stack", stack_operations<Op::Divide>, Short},
        {"divide_31/decimal128", decimal128s<Op::Divide>, Short},
        {"divide_31/cpp_dec_float_50", boost_numbers<cpp_dec_float_50, Op::Divide>, Short},
        {"divide_31/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Divide>, Short},
        {"add_60/accumulator", accumulators<Op::Add>, Long},
        {"add_60/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Add>, Long},
        {"multiply_60/accumulator", accumulators<Op::Multiply>, Long},
        {"multiply_60/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Multiply>, Long},
        {"divide_60/accumulator", accumulators<Op::Divide>, Long},
        {"divide_60/cpp_dec_float_100", boost_numbers<cpp_dec_float_100, Op::Divide>, Long},
    };
    for (const Row& row : rows)
        benchmark::RegisterBenchmark(row.name, row.function, row.operands);
    return true;
}();

} // namespace
