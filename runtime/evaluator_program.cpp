// Arithmetic subtrees compiled into real-valued steps (see RealProgram in
// evaluator_internal.h) and the loop that runs them. Each step does what
// evaluating its node does, in the same order, so results and effects are
// those of the tree.
#include "runtime/evaluator_internal.h"

#include <cmath>
#include <cstring>

namespace morvex::evaluator {

namespace {

using Code = RealStep::Code;
using Operand = RealStep::Operand;

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
        return [](double x) { return std::fabs(x); };
    case Builtin::ACOS:
        return [](double x) { return std::acos(x); };
    case Builtin::ASIN:
        return [](double x) { return std::asin(x); };
    case Builtin::ATAN:
        return [](double x) { return std::atan(x); };
    case Builtin::COS:
        return [](double x) { return std::cos(x); };
    case Builtin::SIN:
        return [](double x) { return std::sin(x); };
    case Builtin::TAN:
        return [](double x) { return std::tan(x); };
    case Builtin::SQRT:
        return [](double x) { return std::sqrt(x); };
    case Builtin::LOG10:
        return [](double x) { return std::log10(x); };
    case Builtin::LOGE:
        return [](double x) { return std::log(x); };
    default:
        return nullptr;
    }
}

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
            if (is_constant(right)) {
                step.operand = Operand::Constant;
                step.value = constant_value(right);
            } else if (is_real_variable(right)) {
                step.operand = Operand::Real;
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

double apply(Code code, double left, double right) {
    switch (code) {
    case Code::Add:
        return finite(left + right);
    case Code::Subtract:
        return finite(left - right);
    case Code::Multiply:
        return finite(left * right);
    case Code::Divide:
        return finite(left / right);
    case Code::Modulo:
        return finite(std::fmod(left, right));
    default:
        return finite(right == 2 ? left * left : std::pow(left, right));
    }
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
        default: {
            double right;
            switch (step.operand) {
            case Operand::Stack:
                right = *top--;
                break;
            case Operand::Constant:
                right = step.value;
                break;
            default:
                right = load<double>(step.address);
                break;
            }
            *top = apply(step.code, *top, right);
            break;
        }
        }
    }
    return *top;
}

} // namespace morvex::evaluator
