// The evaluator's inner pieces shared by its source files: name lookup, the
// tokens, the tree nodes and the evaluation entry points.
#pragma once

#include "runtime/evaluator.h"
#include "runtime/picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::evaluator {

// Operator codes of tree nodes (and of operator tokens).
enum class Op : uint8_t {
    None = 0,
    Power = 2,
    Multiply = 3,
    Divide = 4,
    Modulo = 5,
    Negate = 6,
    Add = 7,
    Subtract = 8,
    Concat = 9,
    Equal = 10,
    NotEqual = 11,
    Less = 12,
    Greater = 13,
    LessEqual = 14,
    GreaterEqual = 15,
    Not = 16,
    And = 17,
    Or = 18,
    Xor = 19,
    Comma = 20,
    Colon = 21,
    // Leaves and other nodes.
    IntegerConstant = 32,
    RealConstant,
    TextConstant,
    PictureConstant,
    Variable,
    Function,
};

enum class Builtin : uint8_t {
    ABS,
    ACOS,
    AGE,
    ALL,
    ASIN,
    ATAN,
    BAND,
    BOR,
    BSHIFT,
    BXOR,
    CENTER,
    CHOOSE,
    CHR,
    CLIP,
    CLOCK,
    COS,
    DATE,
    DAY,
    DEFORMAT,
    FORMAT,
    GETINI,
    INLIST,
    INRANGE,
    INSTRING,
    INT,
    LEFT,
    LEN,
    LOG10,
    LOGE,
    LOWER,
    MATCH,
    MEMORY,
    MONTH,
    NULL_,
    NUMERIC,
    RANDOM,
    RIGHT,
    ROUND,
    SIN,
    SQRT,
    SUB,
    TAN,
    TODAY,
    UPPER,
    VAL,
    YEAR,
};

struct BuiltinInfo {
    const char* name;
    Builtin function;
    uint8_t min_args;
    uint8_t max_args;
    ValueClass result;
};

// What a name stands for.
struct NameEntry {
    enum class Kind : uint8_t { None, Variable, Function, WordOperator } kind = Kind::None;
    BoundVariable variable;
    const BuiltinInfo* builtin = nullptr;
    Op word = Op::None;
};

// Looks a name up in the current scope, then among the built-ins and word operators.
NameEntry LookupName(std::string_view name);
// Case-blind comparison of names by the collation tables.
int CompareNames(std::string_view a, std::string_view b);

enum class TokenKind : uint8_t {
    End,
    Error,
    Operator,
    OpenParen,
    CloseParen,
    OpenBracket,
    CloseBracket,
    Integer,
    Real,
    Text,
    Picture,
    Name,
};

struct Token {
    TokenKind kind = TokenKind::End;
    Op op = Op::None;
    int64_t integer = 0;
    double real = 0;
    std::string text; // a text constant's value, a picture's text or a name
};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}
    // Reads the next token; an Error token for text that is not one.
    Token next();

private:
    Token read_number();
    Token read_text();
    Token read_picture();
    Token read_name();
    std::string_view m_text;
    std::size_t m_position = 0;
};

struct Node;

// An arithmetic subtree compiled into steps over a small stack of reals, so
// that evaluating it walks no tree and asks no node its class: constants,
// plain REAL, SREAL and LONG variables and the one-argument mathematical
// functions are steps of their own, and the right operand of a binary step
// may be a constant or a REAL variable read in place. Any other subtree is a
// step that evaluates it as a node. Results are those of the tree.
struct RealStep {
    // A binary step names its right operand: from the stack, the step's
    // constant or the REAL variable at the step's address.
    enum class Code : uint8_t {
        Constant,
        Real,
        SReal,
        Long,
        Node,
        Negate,
        Function,
        Square, // a power of the constant 2
        Add,
        AddConstant,
        AddReal,
        Subtract,
        SubtractConstant,
        SubtractReal,
        Multiply,
        MultiplyConstant,
        MultiplyReal,
        Divide,
        DivideConstant,
        DivideReal,
        Modulo,
        ModuloConstant,
        ModuloReal,
        Power,
        PowerConstant,
        PowerReal,
    };
    Code code = Code::Constant;
    double value = 0;              // a constant, or a constant right operand
    const void* address = nullptr; // a variable, or a REAL right operand
    Node* node = nullptr;
    double (*function)(double) = nullptr;
};

struct RealProgram {
    // The deepest the stack may grow.
    static constexpr int MaxStack = 32;
    std::vector<RealStep> steps;
};

// Gives every arithmetic subtree of the tree its program.
void CompilePrograms(Node& root);
double RunProgram(const RealProgram& program);

struct Node {
    Op op = Op::None;
    ValueClass value_class = ValueClass::Integer;
    Node* left = nullptr;
    Node* right = nullptr;
    int64_t integer = 0;
    double real = 0;
    std::string text; // text or picture constant
    BoundVariable variable;
    // A variable's index expressions: elements and start, and the slice end.
    std::vector<Node*> index;
    Node* slice_end = nullptr;
    bool sliced = false;
    const BuiltinInfo* builtin = nullptr;
    std::vector<Node*> args;
    // Scratch text reused from one evaluation to the next.
    std::string buffer;
    // A picture compiled once, for a picture constant given to FORMAT or DEFORMAT.
    std::unique_ptr<CompiledPicture> picture;
    int depth = 1;
    // False when evaluating the subtree has an effect (it draws a RANDOM number).
    bool pure = true;
    // The compiled form of an arithmetic subtree that is not part of a larger one.
    std::unique_ptr<RealProgram> program;
};

// Depth limit of the tree, so that evaluation never exhausts a thread's stack.
constexpr int MaxTreeDepth = 500;
// Nesting limit of parentheses, brackets and argument lists.
constexpr int MaxNesting = 100;

// Node storage of one compiled expression.
class ExpressionTree {
public:
    Node* add(Op op, ValueClass value_class);
    Node* root = nullptr;

private:
    std::vector<std::unique_ptr<Node>> m_nodes;
};

// Parses text into `tree`; false (error state set) when it does not compile.
bool Parse(std::string_view text, ExpressionTree& tree);

// The four ways of evaluating a node.
int64_t EvalInteger(Node& node);
double EvalReal(Node& node);
std::string_view EvalText(Node& node);
bool EvalTruth(Node& node);

// Built-in functions in their natural class.
int64_t BuiltinInteger(Node& node);
double BuiltinReal(Node& node);
std::string_view BuiltinText(Node& node);

const BuiltinInfo* FindBuiltin(std::string_view name);

// Conversions shared by the evaluation paths.
int64_t RealToInteger(double value);
std::string_view IntegerToText(int64_t value, std::string& buffer);
bool TextIsTrue(std::string_view text);
// Compares two nodes as the comparison operators do: integers, padded texts, else reals.
int CompareNodes(Node& left, Node& right);

} // namespace morvex::evaluator
