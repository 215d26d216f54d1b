// The evaluator's grammar: recursive descent over the tokens, lowest
// precedence first, every binary level associating to the left. Value
// classes are fixed as the nodes are built.
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator_internal.h"

#include <new>

namespace morvex::evaluator {

Node* ExpressionTree::add(Op op, ValueClass value_class) {
    m_nodes.push_back(std::make_unique<Node>());
    Node* node = m_nodes.back().get();
    node->op = op;
    node->value_class = value_class;
    return node;
}

namespace {

class Parser {
public:
    Parser(std::string_view text, ExpressionTree& tree) : m_tokens(text), m_tree(tree) {}

    bool parse() {
        advance();
        Node* root = expression();
        if (!root || m_failed)
            return fail();
        if (m_token.kind != TokenKind::End)
            return fail();
        m_tree.root = root;
        CompilePrograms(*root);
        return true;
    }

private:
    void advance() {
        m_token = m_tokens.next();
        if (m_token.kind != TokenKind::Name)
            return;
        NameEntry entry = LookupName(m_token.text);
        switch (entry.kind) {
        case NameEntry::Kind::WordOperator:
            m_token.kind = TokenKind::Operator;
            m_token.op = entry.word;
            break;
        case NameEntry::Kind::None:
            if (!m_failed) {
                SetError(ErrNoBind);
                AppendErrorText(" (" + m_token.text + ")");
                m_unknown_name = true;
            }
            m_failed = true;
            m_token.kind = TokenKind::Error;
            break;
        default:
            m_entry = entry;
            break;
        }
    }

    bool fail() {
        if (!m_unknown_name)
            SetError(ErrInvalidExpression);
        return false;
    }

    bool at(Op op) const { return m_token.kind == TokenKind::Operator && m_token.op == op; }

    // Guards the recursion: deeper nesting than the limit does not compile.
    // The whole text is the outermost expression; each parenthesis, bracket
    // or argument list inside it is one level of nesting.
    struct Depth {
        explicit Depth(Parser& parser) : m_parser(parser) {
            if (++m_parser.m_depth - 1 > MaxNesting)
                m_parser.m_failed = true;
        }
        ~Depth() { --m_parser.m_depth; }
        Parser& m_parser;
    };

    // Records a finished node's depth; a tree deeper than the limit does not compile.
    Node* finish(Node* node) {
        int deepest = 0;
        node->pure = !(node->builtin && node->builtin->function == Builtin::RANDOM);
        auto see = [&](const Node* child) {
            if (child && child->depth > deepest)
                deepest = child->depth;
            if (child && !child->pure)
                node->pure = false;
        };
        see(node->left);
        see(node->right);
        see(node->slice_end);
        for (const Node* child : node->args)
            see(child);
        for (const Node* child : node->index)
            see(child);
        node->depth = deepest + 1;
        if (node->depth > MaxTreeDepth) {
            m_failed = true;
            return nullptr;
        }
        return node;
    }

    Node* binary(Op op, ValueClass value_class, Node* left, Node* right) {
        if (!left || !right)
            return nullptr;
        Node* node = m_tree.add(op, value_class);
        node->left = left;
        node->right = right;
        return fold(finish(node));
    }

    static bool is_number(const Node* node) {
        return node && (node->op == Op::IntegerConstant || node->op == Op::RealConstant);
    }

    // Arithmetic on numeric constants is done once, here: the node becomes
    // the real constant it always evaluates to.
    static Node* fold(Node* node) {
        if (!node || node->op < Op::Power || node->op > Op::Subtract || !is_number(node->left) ||
            (node->op != Op::Negate && !is_number(node->right)))
            return node;
        node->real = EvalReal(*node);
        node->op = Op::RealConstant;
        node->left = node->right = nullptr;
        node->depth = 1;
        return node;
    }

    // Level 1: OR and XOR.
    Node* expression() {
        Depth depth(*this);
        if (m_failed)
            return nullptr;
        Node* left = conjunction();
        while (left && (at(Op::Or) || at(Op::Xor))) {
            const Op op = m_token.op;
            advance();
            left = binary(op, ValueClass::Integer, left, conjunction());
        }
        return left;
    }

    // Level 2: AND.
    Node* conjunction() {
        Node* left = negation();
        while (left && at(Op::And)) {
            advance();
            left = binary(Op::And, ValueClass::Integer, left, negation());
        }
        return left;
    }

    // Level 3: NOT, any number of times.
    Node* negation() {
        int count = 0;
        while (at(Op::Not)) {
            ++count;
            advance();
        }
        Node* operand = comparison();
        if (!operand || count % 2 == 0)
            return operand;
        Node* node = m_tree.add(Op::Not, ValueClass::Integer);
        node->left = operand;
        return finish(node);
    }

    // Level 4: comparisons.
    Node* comparison() {
        Node* left = concatenation();
        while (left && m_token.kind == TokenKind::Operator && m_token.op >= Op::Equal &&
               m_token.op <= Op::GreaterEqual) {
            const Op op = m_token.op;
            advance();
            left = binary(op, ValueClass::Integer, left, concatenation());
        }
        return left;
    }

    // Level 5: &.
    Node* concatenation() {
        Node* left = sum();
        while (left && at(Op::Concat)) {
            advance();
            left = binary(Op::Concat, ValueClass::Text, left, sum());
        }
        return left;
    }

    // Level 6: + and -.
    Node* sum() {
        Node* left = product();
        while (left && (at(Op::Add) || at(Op::Subtract))) {
            const Op op = m_token.op;
            advance();
            left = binary(op, ValueClass::Real, left, product());
        }
        return left;
    }

    // Level 7: *, / and %.
    Node* product() {
        Node* left = power();
        while (left && (at(Op::Multiply) || at(Op::Divide) || at(Op::Modulo))) {
            const Op op = m_token.op;
            advance();
            left = binary(op, ValueClass::Real, left, power());
        }
        return left;
    }

    // Level 8: ^.
    Node* power() {
        Node* left = sign();
        while (left && at(Op::Power)) {
            advance();
            left = binary(Op::Power, ValueClass::Real, left, sign());
        }
        return left;
    }

    // Level 9: unary + and -, any number.
    Node* sign() {
        int minus = 0;
        while (at(Op::Add) || at(Op::Subtract)) {
            minus += at(Op::Subtract) ? 1 : 0;
            advance();
        }
        Node* operand = primary();
        if (!operand || minus % 2 == 0)
            return operand;
        Node* node = m_tree.add(Op::Negate, ValueClass::Real);
        node->left = operand;
        return fold(finish(node));
    }

    // Level 10: constants, parentheses, function calls and variables.
    Node* primary() {
        Node* node = nullptr;
        switch (m_token.kind) {
        case TokenKind::Integer:
            node = m_tree.add(Op::IntegerConstant, ValueClass::Integer);
            node->integer = m_token.integer;
            advance();
            return node;
        case TokenKind::Real:
            node = m_tree.add(Op::RealConstant, ValueClass::Real);
            node->real = m_token.real;
            advance();
            return node;
        case TokenKind::Text:
            node = m_tree.add(Op::TextConstant, ValueClass::Text);
            node->text = std::move(m_token.text);
            advance();
            return node;
        case TokenKind::Picture:
            node = m_tree.add(Op::PictureConstant, ValueClass::Picture);
            node->text = std::move(m_token.text);
            advance();
            return node;
        case TokenKind::OpenParen:
            advance();
            node = expression();
            if (!node || m_token.kind != TokenKind::CloseParen)
                return nullptr;
            advance();
            return node;
        case TokenKind::Name:
            return m_entry.kind == NameEntry::Kind::Function ? function() : variable();
        default:
            return nullptr;
        }
    }

    Node* function() {
        const BuiltinInfo* builtin = m_entry.builtin;
        Node* node = m_tree.add(Op::Function, builtin->result);
        node->builtin = builtin;
        advance();
        if (m_token.kind != TokenKind::OpenParen)
            return nullptr;
        advance();
        if (m_token.kind != TokenKind::CloseParen) {
            for (;;) {
                Node* argument = expression();
                if (!argument)
                    return nullptr;
                node->args.push_back(argument);
                if (!at(Op::Comma))
                    break;
                advance();
            }
        }
        if (m_token.kind != TokenKind::CloseParen || node->args.size() < builtin->min_args ||
            node->args.size() > builtin->max_args)
            return nullptr;
        advance();
        return finish(node);
    }

    Node* variable() {
        const BoundVariable bound = m_entry.variable;
        const bool text = IsTextType(bound.type);
        const bool real = bound.type == FieldType::SReal || bound.type == FieldType::Real ||
                          bound.type == FieldType::Decimal || bound.type == FieldType::PDecimal;
        Node* node = m_tree.add(Op::Variable, text   ? ValueClass::Text
                                              : real ? ValueClass::Real
                                                     : ValueClass::Integer);
        node->variable = bound;
        advance();
        if (m_token.kind != TokenKind::OpenBracket)
            return node;
        advance();
        if (!index_list(node->index))
            return nullptr;
        if (at(Op::Colon)) {
            advance();
            std::vector<Node*> ends;
            if (!index_list(ends))
                return nullptr;
            node->sliced = true;
            node->slice_end = ends.back();
        }
        if (m_token.kind != TokenKind::CloseBracket)
            return nullptr;
        advance();
        // Characters picked out of a variable are text, whatever its type.
        const std::size_t element_indexes = bound.dimension > 1 ? 1 : 0;
        if (node->sliced || node->index.size() > element_indexes)
            node->value_class = ValueClass::Text;
        return finish(node);
    }

    bool index_list(std::vector<Node*>& list) {
        for (;;) {
            Node* item = expression();
            if (!item)
                return false;
            list.push_back(item);
            if (!at(Op::Comma))
                return true;
            advance();
        }
    }

    Tokenizer m_tokens;
    ExpressionTree& m_tree;
    Token m_token;
    NameEntry m_entry;
    int m_depth = 0;
    bool m_failed = false;
    bool m_unknown_name = false;
};

} // namespace

bool Parse(std::string_view text, ExpressionTree& tree) {
    try {
        return Parser(text, tree).parse();
    } catch (const std::bad_alloc&) {
        SetError(ErrInvalidExpression);
        return false;
    }
}

} // namespace morvex::evaluator
