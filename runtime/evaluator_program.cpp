// Arithmetic subtrees compiled into real-valued steps (see RealProgram in
// evaluator_internal.h) and the loop that runs them. Each step does what
// evaluating its node does, in the same order, so results and effects are
// those of the tree.
#include "runtime/evaluator_internal.h"

#include <cmath>
#include <cstring>
#include <math.h>

namespace morvex::evaluator {

namespace {

using Code = RealStep::Code;

template <typename T>
T load(const void* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

// Operations with no finite result give 0.
double finite(double value) {
    return std::isfinite(value) ? value : 0;
}

bool is_arithmetic(Op op) {
    return op >= Op::Power && op <= Op::Subtract;
}

bool is_constant(const Node& node) {
    return node.op == Op::IntegerConstant || node.op == Op::RealConstant;
}

double constant_value(const Node& node) {
    return node.op == Op::IntegerConstant ? static_cast<double>(node.integer) : node.real;
}

// A variable read whole: no element, character index or slice.
bool is_plain_variable(const Node& node) {
    return node.op == Op::Variable && node.variable.dimension <= 1 && node.index.empty() && !node.sliced;
}

bool is_real_variable(const Node& node) {
    return is_plain_variable(node) && node.value_class == ValueClass::Real &&
           node.variable.type == FieldType::Real;
}

// The one-argument functions of real class, as their evaluation computes them.
using MathFunction = double (*)(double);
MathFunction math_function(const Node& node) {
    if (node.op != Op::Function || node.value_class != ValueClass::Real || node.args.size() != 1)
        return nullptr;
    switch (node.builtin->function) {
    case Builtin::ABS:
        return ::fabs;
    case Builtin::ACOS:
        return ::acos;
    case Builtin::ASIN:
        return ::asin;
    case Builtin::ATAN:
        return ::atan;
    case Builtin::COS:
        return ::cos;
    case Builtin::SIN:
        return ::sin;
    case Builtin::TAN:
        return ::tan;
    case Builtin::SQRT:
        return ::sqrt;
    case Builtin::LOG10:
        return ::log10;
    case Builtin::LOGE:
        return ::log;
    default:
        return nullptr;
    }
}

// The step of a binary operator taking its right operand from the stack;
// the constant and REAL forms follow it.
Code binary_code(Op op) {
    switch (op) {
    case Op::Add:
        return Code::Add;
    case Op::Subtract:
        return Code::Subtract;
    case Op::Multiply:
        return Code::Multiply;
    case Op::Divide:
        return Code::Divide;
    case Op::Modulo:
        return Code::Modulo;
    default:
        return Code::Power;
    }
}

Code with_operand(Code code, int form) {
    return static_cast<Code>(static_cast<int>(code) + form);
}

class Builder {
public:
    // Appends the steps that push the node's real value.
    void emit(Node& node) {
        if (is_arithmetic(node.op)) {
            emit(*node.left);
            if (node.op == Op::Negate) {
                add(RealStep{Code::Negate});
                return;
            }
            RealStep step{binary_code(node.op)};
            const Node& right = *node.right;
            if (node.op == Op::Power && is_constant(right) && constant_value(right) == 2) {
                step.code = Code::Square;
            } else if (is_constant(right)) {
                step.code = with_operand(step.code, 1);
                step.value = constant_value(right);
            } else if (is_real_variable(right)) {
                step.code = with_operand(step.code, 2);
                step.address = right.variable.address;
            } else {
                emit(*node.right);
                --m_depth;
            }
            add(step);
            return;
        }
        if (const MathFunction function = math_function(node)) {
            emit(*node.args.front());
            RealStep step{Code::Function};
            step.function = function;
            add(step);
            return;
        }
        RealStep step{Code::Node};
        if (is_constant(node)) {
            step.code = Code::Constant;
            step.value = constant_value(node);
        } else if (is_real_variable(node)) {
            step.code = Code::Real;
        } else if (is_plain_variable(node) && node.value_class == ValueClass::Real &&
                   node.variable.type == FieldType::SReal) {
            step.code = Code::SReal;
        } else if (is_plain_variable(node) && node.value_class == ValueClass::Integer &&
                   node.variable.type == FieldType::Long) {
            step.code = Code::Long;
        } else {
            step.node = &node;
            CompilePrograms(node);
        }
        step.address = node.variable.address;
        add(step);
        ++m_depth;
        m_deepest = std::max(m_deepest, m_depth);
    }

    std::unique_ptr<RealProgram> program() {
        if (m_deepest > RealProgram::MaxStack)
            return nullptr;
        auto made = std::make_unique<RealProgram>();
        made->steps = std::move(m_steps);
        return made;
    }

private:
    void add(const RealStep& step) { m_steps.push_back(step); }

    std::vector<RealStep> m_steps;
    int m_depth = 0;
    int m_deepest = 0;
};

double apply(Op op, double left, double right) {
    switch (op) {
    case Op::Add:
        return finite(left + right);
    case Op::Subtract:
        return finite(left - right);
    case Op::Multiply:
        return finite(left * right);
    case Op::Divide:
        return finite(left / right);
    case Op::Modulo:
        return finite(std::fmod(left, right));
    default:
        return finite(right == 2 ? left * left : std::pow(left, right));
    }
}

// A binary step with its right operand taken from where its form says.
template <Op operation, int form>
void binary(const RealStep& step, double*& top) {
    double right;
    if constexpr (form == 0)
        right = *top--;
    else if constexpr (form == 1)
        right = step.value;
    else
        right = load<double>(step.address);
    *top = apply(operation, *top, right);
}

} // namespace

void CompilePrograms(Node& root) {
    if (is_arithmetic(root.op)) {
        Builder builder;
        builder.emit(root);
        root.program = builder.program();
        return;
    }
    for (Node* child : {root.left, root.right, root.slice_end}) {
        if (child)
            CompilePrograms(*child);
    }
    for (Node* child : root.args)
        CompilePrograms(*child);
    for (Node* child : root.index)
        CompilePrograms(*child);
}

double RunProgram(const RealProgram& program) {
    double stack[RealProgram::MaxStack + 1];
    stack[0] = 0; // below the first value: never read by a well-formed program
    double* top = stack;
    for (const RealStep& step : program.steps) {
        switch (step.code) {
        case Code::Constant:
            *++top = step.value;
            break;
        case Code::Real:
            *++top = load<double>(step.address);
            break;
        case Code::SReal:
            *++top = load<float>(step.address);
            break;
        case Code::Long:
            *++top = load<int32_t>(step.address);
            break;
        case Code::Node: {
            const double value = EvalReal(*step.node);
            *++top = value;
            break;
        }
        case Code::Negate:
            *top = -*top;
            break;
        case Code::Function:
            *top = finite(step.function(*top));
            break;
        case Code::Square:
            *top = finite(*top * *top);
            break;
        case Code::Add:
            binary<Op::Add, 0>(step, top);
            break;
        case Code::AddConstant:
            binary<Op::Add, 1>(step, top);
            break;
        case Code::AddReal:
            binary<Op::Add, 2>(step, top);
            break;
        case Code::Subtract:
            binary<Op::Subtract, 0>(step, top);
            break;
        case Code::SubtractConstant:
            binary<Op::Subtract, 1>(step, top);
            break;
        case Code::SubtractReal:
            binary<Op::Subtract, 2>(step, top);
            break;
        case Code::Multiply:
            binary<Op::Multiply, 0>(step, top);
            break;
        case Code::MultiplyConstant:
            binary<Op::Multiply, 1>(step, top);
            break;
        case Code::MultiplyReal:
            binary<Op::Multiply, 2>(step, top);
            break;
        case Code::Divide:
            binary<Op::Divide, 0>(step, top);
            break;
        case Code::DivideConstant:
            binary<Op::Divide, 1>(step, top);
            break;
        case Code::DivideReal:
            binary<Op::Divide, 2>(step, top);
            break;
        case Code::Modulo:
            binary<Op::Modulo, 0>(step, top);
            break;
        case Code::ModuloConstant:
            binary<Op::Modulo, 1>(step, top);
            break;
        case Code::ModuloReal:
            binary<Op::Modulo, 2>(step, top);
            break;
        case Code::Power:
            binary<Op::Power, 0>(step, top);
            break;
        case Code::PowerConstant:
            binary<Op::Power, 1>(step, top);
            break;
        case Code::PowerReal:
            binary<Op::Power, 2>(step, top);
            break;
        }
    }
    return *top;
}

} // namespace morvex::evaluator
