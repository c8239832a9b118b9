// The small closed vocabularies of condition expressions: value types, operator
// codes and node kinds. Their numeric codes are part of the diagnostics
// (types print in hexadecimal) and the operator code doubles as precedence.
#pragma once

#include <cstdint>
#include <string_view>

namespace ExpressionParserN {

enum class ExpressionDataType : uint32_t {
    Int8 = 0,
    Int16 = 1,
    Int32 = 2,
    Int64 = 3,
    Uint8 = 4,
    Uint16 = 5,
    Uint32 = 6,
    Uint64 = 7,
    Char = 8,  // no node has it: its code stays taken
    String = 9,
    Bool = 10,
    Double = 11,
    // 12 is not assigned.
    Unknown = 13,
};

// Codes 0 to 7: the types that compare with each other freely.
constexpr bool IsIntegerType(ExpressionDataType type) {
    return static_cast<uint32_t>(type) <= static_cast<uint32_t>(ExpressionDataType::Uint64);
}

// The code is also the precedence: a higher code binds tighter.
enum class OperatorCode : uint32_t {
    OpenParen = 0,
    CloseParen = 1,
    And = 2,
    Or = 3,
    Not = 4,
    Equal = 5,
    NotEqual = 6,
    Less = 7,
    LessEqual = 8,
    Greater = 9,
    GreaterEqual = 10,
    Other = 11,  // "&", "=" or "|" alone
};

enum class NodeKind : uint32_t {
    Operator = 0,
    Variable = 1,
    Literal = 2,
};

// Exact comparison of the whole token; anything not listed is Other.
OperatorCode OperatorCodeOf(std::string_view token);

// Bool for the logical and comparison operators, Unknown for the rest.
ExpressionDataType ResultTypeOf(OperatorCode code);

}  // namespace ExpressionParserN
