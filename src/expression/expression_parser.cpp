#include "expression/expression_parser.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <locale>
#include <sstream>

#include "expression/literal_evaluators.h"
#include "expression/op_evaluator.h"
#include "expression/zvt_field_variable_node.h"

namespace ExpressionParserN {

namespace {

constexpr std::string_view kOperatorStart = "!&()<=>|";
constexpr std::string_view kOperatorSecond = "&|=";
constexpr std::string_view kTwoCharacterOperators[] = {"&&", "||", "!=", "==", "<=", ">="};

std::istringstream ClassicStream(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    return in;
}

// Formatted extraction: leading blanks skipped, stops at the first character
// that cannot continue the value; fails on nothing readable or out of range.
template <typename V>
bool ReadValue(const std::string& token, V& value) {
    std::istringstream in = ClassicStream(token);
    in >> value;
    return !in.fail();
}

OperatorCode OpOf(const ExpressionTreeNodeT& node) {
    return static_cast<const ExpressionTreeOperatorNodeT&>(node).Op();
}

std::string WithoutBackslashes(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::copy_if(text.begin(), text.end(), std::back_inserter(result),
                 [](char c) { return c != '\\'; });
    return result;
}

std::unique_ptr<ExpressionEvaluatorT> MakeLiteralEvaluator(ExpressionDataType type,
                                                           const std::string& token) {
    switch (type) {
        case ExpressionDataType::Int8: {
            int32_t v;  // read at 32 bits, kept as its low 8 bits
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Int8LiteralEvaluator>(static_cast<int8_t>(v));
        }
        case ExpressionDataType::Int16: {
            int16_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Int16LiteralEvaluator>(v);
        }
        case ExpressionDataType::Int32: {
            int32_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Int32LiteralEvaluator>(v);
        }
        case ExpressionDataType::Int64: {
            int64_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Int64LiteralEvaluator>(v);
        }
        case ExpressionDataType::Uint8: {
            uint32_t v;  // read at 32 bits, kept as its low 8 bits
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Uint8LiteralEvaluator>(static_cast<uint8_t>(v));
        }
        case ExpressionDataType::Uint16: {
            uint16_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Uint16LiteralEvaluator>(v);
        }
        case ExpressionDataType::Uint32: {
            uint32_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Uint32LiteralEvaluator>(v);
        }
        case ExpressionDataType::Uint64: {
            uint64_t v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<Uint64LiteralEvaluator>(v);
        }
        case ExpressionDataType::String: {
            std::string value = WithoutBackslashes(token);
            if (!value.empty() && value.front() == '"') value.erase(0, 1);
            if (!value.empty() && value.back() == '"') value.pop_back();
            return std::make_unique<StringLiteralEvaluator>(std::move(value));
        }
        case ExpressionDataType::Bool:
            return std::make_unique<BoolLiteralEvaluator>(token == "true");
        case ExpressionDataType::Double: {
            double v;
            if (!ReadValue(token, v)) return nullptr;
            return std::make_unique<DoubleLiteralEvaluator>(v);
        }
        default: return nullptr;  // Char, 12 and Unknown are never a literal's type
    }
}

}  // namespace

ExpressionParserT::ExpressionParserT(VariableDBT& variableDB) : variables(variableDB) {
    // Every operator node shares this evaluator; make it exist before any.
    (void)OpEvaluatorT::Instance();
}

ExpressionTreeT ExpressionParserT::Parse(std::string_view text) {
    nestedTooDeeply = false;
    if (text.empty()) return {};
    // A fresh store per parse: the tree owns exactly its own evaluators, and
    // a failed parse releases them together with its nodes.
    auto treeStore = std::make_shared<EvaluatorStoreT>();
    std::unique_ptr<ExpressionTreeNodeT> root =
        BuildTree(ToPostfix(Tokenize(WithoutBackslashes(text), *treeStore)));
    if (!root) return {};
    return ExpressionTreeT(std::move(treeStore), std::move(root));
}

bool ExpressionParserT::IsOperatorToken(std::string_view word) {
    if (word.empty() || word.size() > 2) return false;
    if (kOperatorStart.find(word[0]) == std::string_view::npos) return false;
    if (word.size() == 1) return true;
    if (kOperatorSecond.find(word[1]) == std::string_view::npos) return false;
    return std::find(std::begin(kTwoCharacterOperators), std::end(kTwoCharacterOperators), word) !=
           std::end(kTwoCharacterOperators);
}

ExpressionParserT::NodeList ExpressionParserT::Tokenize(std::string_view text,
                                                        EvaluatorStoreT& into) {
    NodeList nodes;
    std::istringstream in = ClassicStream(std::string(text));
    std::string word;
    while (in >> word) {
        std::unique_ptr<ExpressionTreeNodeT> node;
        if (IsOperatorToken(word)) {
            node = std::make_unique<ExpressionTreeOperatorNodeT>(word);
        } else {
            const ExpressionDataType type = DetermineLiteralType(word);
            node = type == ExpressionDataType::Unknown ? CreateVariableNode(word, into)
                                                       : CreateLiteralNode(type, word, into);
        }
        if (!node) return {};
        nodes.push_back(std::move(node));
    }
    return nodes;
}

ExpressionDataType ExpressionParserT::DetermineLiteralType(const std::string& token) {
    if (token.size() > 1 && token.front() == '"' && token.back() == '"') {
        return ExpressionDataType::String;
    }
    if (token == "true" || token == "false") return ExpressionDataType::Bool;
    double value;
    if (!ReadValue(token, value)) return ExpressionDataType::Unknown;
    // Whole numbers within the signed 64-bit range take the narrowest
    // integer type; the range test keeps the conversion defined.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (value >= -kTwoTo63 && value < kTwoTo63 &&
        static_cast<double>(static_cast<int64_t>(value)) == value) {
        const auto whole = static_cast<int64_t>(value);
        if (whole >= 0) {
            if (whole <= 0xFF) return ExpressionDataType::Uint8;
            if (whole <= 0xFFFF) return ExpressionDataType::Uint16;
            if (whole <= 0xFFFFFFFFLL) return ExpressionDataType::Uint32;
            return ExpressionDataType::Uint64;
        }
        if (whole >= INT8_MIN) return ExpressionDataType::Int8;
        if (whole >= INT16_MIN) return ExpressionDataType::Int16;
        if (whole >= INT32_MIN) return ExpressionDataType::Int32;
        return ExpressionDataType::Int64;
    }
    return ExpressionDataType::Double;
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionParserT::CreateLiteralNode(ExpressionDataType type,
                                                                          const std::string& token,
                                                                          EvaluatorStoreT& into) {
    std::unique_ptr<ExpressionEvaluatorT> evaluator = MakeLiteralEvaluator(type, token);
    if (!evaluator) return nullptr;
    return std::make_unique<ExpressionTreeLiteralNodeT>(type, into.Adopt(std::move(evaluator)),
                                                        token);
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionParserT::CreateVariableNode(const std::string& token,
                                                                           EvaluatorStoreT& into) {
    std::unique_ptr<ExpressionEvaluatorT> evaluator = variables.CreateEvaluator(token);
    if (!evaluator) return nullptr;  // a database that knows no variables
    return std::make_unique<ExpressionTreeZVTFieldVariableNodeT>(token,
                                                                 into.Adopt(std::move(evaluator)));
}

ExpressionParserT::NodeList ExpressionParserT::ToPostfix(NodeList tokens) {
    NodeList output;
    NodeList stack;
    for (std::unique_ptr<ExpressionTreeNodeT>& node : tokens) {
        if (node->Kind() != NodeKind::Operator) {
            output.push_back(std::move(node));
            continue;
        }
        const OperatorCode op = OpOf(*node);
        if (op == OperatorCode::OpenParen) {
            stack.push_back(std::move(node));
        } else if (op == OperatorCode::CloseParen) {
            bool matched = false;
            while (!stack.empty()) {
                std::unique_ptr<ExpressionTreeNodeT> top = std::move(stack.back());
                stack.pop_back();
                if (OpOf(*top) == OperatorCode::OpenParen) {
                    matched = true;  // both parentheses are dropped here
                    break;
                }
                output.push_back(std::move(top));
            }
            if (!matched) return {};
        } else {
            // Left-associative: equal precedence pops too; "(" (0) stops it.
            while (!stack.empty() && OpOf(*stack.back()) >= op) {
                output.push_back(std::move(stack.back()));
                stack.pop_back();
            }
            stack.push_back(std::move(node));
        }
    }
    while (!stack.empty()) {
        output.push_back(std::move(stack.back()));
        stack.pop_back();
    }
    return output;
}

std::unique_ptr<ExpressionTreeNodeT> ExpressionParserT::BuildTree(NodeList postfix) {
    NodeList stack;
    std::vector<size_t> depths;  // the levels of each subtree on `stack`
    for (std::unique_ptr<ExpressionTreeNodeT>& node : postfix) {
        if (node->Kind() != NodeKind::Operator) {
            stack.push_back(std::move(node));
            depths.push_back(1);
            continue;
        }
        auto& opNode = static_cast<ExpressionTreeOperatorNodeT&>(*node);
        // A dangling "(" and the unknown operators take two operands too.
        const size_t operands = opNode.Op() == OperatorCode::Not ? 1 : 2;
        if (stack.size() < operands) return nullptr;
        size_t depth = 0;
        for (size_t i = depths.size() - operands; i < depths.size(); ++i) {
            depth = std::max(depth, depths[i] + 1);
        }
        if (depth > kMaxDepth) {
            nestedTooDeeply = true;
            return nullptr;
        }
        depths.resize(depths.size() - operands);
        depths.push_back(depth);
        if (operands == 1) {
            std::unique_ptr<ExpressionTreeNodeT> operand = std::move(stack.back());
            stack.pop_back();
            opNode.SetOperands(std::move(operand), nullptr);
            opNode.SetType(ExpressionDataType::Bool);
        } else {
            std::unique_ptr<ExpressionTreeNodeT> right = std::move(stack.back());
            stack.pop_back();
            std::unique_ptr<ExpressionTreeNodeT> left = std::move(stack.back());
            stack.pop_back();
            opNode.SetOperands(std::move(left), std::move(right));
            opNode.SetType(ResultTypeOf(opNode.Op()));
        }
        stack.push_back(std::move(node));
    }
    // Nodes below the top are discarded with `stack`.
    if (stack.empty()) return nullptr;
    return std::move(stack.back());
}

}  // namespace ExpressionParserN
