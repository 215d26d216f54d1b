// The evaluator's names: the built-in functions and word operators, the
// per-scope table of bound variables, BIND, and the scope stack, which the
// thread switcher swaps with the running thread.
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator_internal.h"
#include "runtime/fatal_error.h"
#include "runtime/string_stack.h"
#include "runtime/text_compare.h"
#include "runtime/threads.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace morvex {

using evaluator::Builtin;
using evaluator::BuiltinInfo;
using evaluator::NameEntry;
using evaluator::Op;

namespace {

constexpr ValueClass I = ValueClass::Integer;
constexpr ValueClass R = ValueClass::Real;
constexpr ValueClass T = ValueClass::Text;

constexpr BuiltinInfo Builtins[] = {
    {"ABS", Builtin::ABS, 1, 1, R},           {"ACOS", Builtin::ACOS, 1, 1, R},
    {"AGE", Builtin::AGE, 1, 2, T},           {"ALL", Builtin::ALL, 1, 2, T},
    {"ASIN", Builtin::ASIN, 1, 1, R},         {"ATAN", Builtin::ATAN, 1, 1, R},
    {"BAND", Builtin::BAND, 2, 2, I},         {"BOR", Builtin::BOR, 2, 2, I},
    {"BSHIFT", Builtin::BSHIFT, 2, 2, I},     {"BXOR", Builtin::BXOR, 2, 2, I},
    {"CENTER", Builtin::CENTER, 1, 2, T},     {"CHOOSE", Builtin::CHOOSE, 2, 25, T},
    {"CHR", Builtin::CHR, 1, 1, T},           {"CLIP", Builtin::CLIP, 1, 1, T},
    {"CLOCK", Builtin::CLOCK, 0, 0, I},       {"COS", Builtin::COS, 1, 1, R},
    {"DATE", Builtin::DATE, 3, 3, I},         {"DAY", Builtin::DAY, 1, 1, I},
    {"DEFORMAT", Builtin::DEFORMAT, 1, 2, T}, {"FORMAT", Builtin::FORMAT, 2, 2, T},
    {"GETINI", Builtin::GETINI, 2, 4, T},     {"INLIST", Builtin::INLIST, 2, 25, I},
    {"INRANGE", Builtin::INRANGE, 3, 3, I},   {"INSTRING", Builtin::INSTRING, 2, 4, I},
    {"INT", Builtin::INT, 1, 1, I},           {"LEFT", Builtin::LEFT, 1, 2, T},
    {"LEN", Builtin::LEN, 1, 1, I},           {"LOG10", Builtin::LOG10, 1, 1, R},
    {"LOGE", Builtin::LOGE, 1, 1, R},         {"LOWER", Builtin::LOWER, 1, 1, T},
    {"MATCH", Builtin::MATCH, 2, 3, I},       {"MEMORY", Builtin::MEMORY, 0, 1, I},
    {"MONTH", Builtin::MONTH, 1, 1, I},       {"NULL", Builtin::NULL_, 1, 1, I},
    {"NUMERIC", Builtin::NUMERIC, 1, 1, I},   {"RANDOM", Builtin::RANDOM, 2, 2, I},
    {"RIGHT", Builtin::RIGHT, 1, 2, T},       {"ROUND", Builtin::ROUND, 1, 2, R},
    {"SIN", Builtin::SIN, 1, 1, R},           {"SQRT", Builtin::SQRT, 1, 1, R},
    {"SUB", Builtin::SUB, 2, 3, T},           {"TAN", Builtin::TAN, 1, 1, R},
    {"TODAY", Builtin::TODAY, 0, 0, I},       {"UPPER", Builtin::UPPER, 1, 1, T},
    {"VAL", Builtin::VAL, 1, 1, I},           {"YEAR", Builtin::YEAR, 1, 1, I},
};

struct WordOperator {
    const char* name;
    Op op;
};
constexpr WordOperator WordOperators[] = {
    {"AND", Op::And}, {"NOT", Op::Not}, {"OR", Op::Or}, {"XOR", Op::Xor}};

struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return evaluator::CompareNames(a, b) < 0;
    }
};

// One scope's bound variables. Lookups fall through to the built-ins, so a
// variable bound under a built-in's name takes its place in that scope.
using NameTable = std::map<std::string, BoundVariable, NameLess>;

struct SavedScope {
    std::shared_ptr<NameTable> table;
    int32_t flag = 0;
};
using ScopeStack = std::vector<SavedScope>;

// The running thread's scope (made on first use) and saved scopes.
std::shared_ptr<NameTable> g_current;
ScopeStack g_stack;

void register_thread_hooks() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    SetThreadStateHooks(
        ThreadStateKind::BindingScope,
        {[]() -> std::shared_ptr<void> { return std::move(g_current); },
         [](std::shared_ptr<void> state) { g_current = std::static_pointer_cast<NameTable>(state); },
         []() { g_current.reset(); }});
    SetThreadStateHooks(ThreadStateKind::ScopeStack,
                        {[]() -> std::shared_ptr<void> {
                             if (g_stack.empty())
                                 return nullptr;
                             auto saved = std::make_shared<ScopeStack>(std::move(g_stack));
                             g_stack.clear();
                             return saved;
                         },
                         [](std::shared_ptr<void> state) {
                             g_stack.clear();
                             if (state)
                                 g_stack = std::move(*std::static_pointer_cast<ScopeStack>(state));
                         },
                         []() { g_stack.clear(); }});
}

NameTable& current_table() {
    register_thread_hooks();
    if (!g_current)
        g_current = std::make_shared<NameTable>();
    return *g_current;
}

bool is_name_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

} // namespace

namespace evaluator {

int CompareNames(std::string_view a, std::string_view b) {
    // One past the longer name, so that a name that ends first orders before.
    return CompareTextNoCase(a, b, std::max(a.size(), b.size()) + 1);
}

const BuiltinInfo* FindBuiltin(std::string_view name) {
    // A plain scan: compiling is rare next to evaluating, and the order of
    // names under a replaced collation table is not known in advance.
    for (const BuiltinInfo& info : Builtins) {
        if (CompareNames(info.name, name) == 0)
            return &info;
    }
    return nullptr;
}

NameEntry LookupName(std::string_view name) {
    NameEntry entry;
    const NameTable& table = current_table();
    if (auto found = table.find(std::string(name)); found != table.end()) {
        entry.kind = NameEntry::Kind::Variable;
        entry.variable = found->second;
        return entry;
    }
    for (const WordOperator& word : WordOperators) {
        if (CompareNames(word.name, name) == 0) {
            entry.kind = NameEntry::Kind::WordOperator;
            entry.word = word.op;
            return entry;
        }
    }
    if (const BuiltinInfo* builtin = FindBuiltin(name)) {
        entry.kind = NameEntry::Kind::Function;
        entry.builtin = builtin;
    }
    return entry;
}

} // namespace evaluator

bool IsBindableType(FieldType type) {
    switch (type) {
    case FieldType::Byte:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Long:
    case FieldType::ULong:
    case FieldType::SReal:
    case FieldType::Real:
    case FieldType::Decimal:
    case FieldType::PDecimal:
    case FieldType::String:
    case FieldType::CString:
    case FieldType::PString:
        return true;
    default:
        return false;
    }
}

bool BIND(std::string_view name, const BoundVariable& variable) {
    name = name.substr(0, MaxBoundNameLength);
    std::size_t length = 0;
    while (length < name.size() && is_name_character(name[length]))
        ++length;
    if (length < name.size() && length > 0 &&
        (name[length] == '#' || name[length] == '$' || name[length] == '"'))
        ++length;
    name = name.substr(0, length);
    if (name.empty() || !IsBindableType(variable.type) || variable.address == nullptr)
        return false;
    BoundVariable entry = variable;
    const uint32_t natural = NaturalSize(variable.type);
    if (natural != 0)
        entry.size = natural;
    if (entry.size == 0 || entry.dimension == 0)
        return false;
    try {
        current_table().insert_or_assign(std::string(name), entry);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return false;
    }
    return true;
}

bool StackBIND(const BoundVariable& variable) {
    return BIND(Strings().take(), variable);
}

bool BIND(std::string_view name, int32_t& variable) {
    return BIND(name, {FieldType::Long, &variable, 4});
}
bool BIND(std::string_view name, int16_t& variable) {
    return BIND(name, {FieldType::Short, &variable, 2});
}
bool BIND(std::string_view name, uint16_t& variable) {
    return BIND(name, {FieldType::UShort, &variable, 2});
}
bool BIND(std::string_view name, uint8_t& variable) {
    return BIND(name, {FieldType::Byte, &variable, 1});
}
bool BIND(std::string_view name, uint32_t& variable) {
    return BIND(name, {FieldType::ULong, &variable, 4});
}
bool BIND(std::string_view name, float& variable) {
    return BIND(name, {FieldType::SReal, &variable, 4});
}
bool BIND(std::string_view name, double& variable) {
    return BIND(name, {FieldType::Real, &variable, 8});
}
bool BIND(std::string_view name, DateStorage& variable) {
    return BIND(name, {FieldType::Date, variable.bytes.data(), 4});
}
bool BIND(std::string_view name, TimeStorage& variable) {
    return BIND(name, {FieldType::Time, variable.bytes.data(), 4});
}

// A scope that cannot be saved would leave every later POPSCOPE one off, so
// running out of memory here ends the program.
void PUSHSCOPE(int32_t flag) {
    register_thread_hooks();
    try {
        g_stack.reserve(g_stack.size() + 1);
    } catch (const std::bad_alloc&) {
        FatalError(ErrInsufficientMemory, "PUSHSCOPE");
    }
    g_stack.push_back(SavedScope{std::move(g_current), flag});
    g_current.reset();
}

void POPSCOPE() {
    register_thread_hooks();
    if (g_stack.empty())
        FatalError(ErrMismatchedScope, "Mismatched POPSCOPE");
    g_current = std::move(g_stack.back().table);
    g_stack.pop_back();
}

void ClearScope() {
    register_thread_hooks();
    g_current.reset();
}

std::size_t ScopeDepth() {
    return g_stack.size();
}

} // namespace morvex
