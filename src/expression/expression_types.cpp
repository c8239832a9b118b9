#include "expression/expression_types.h"

namespace ExpressionParserN {

OperatorCode OperatorCodeOf(std::string_view token) {
    struct Entry {
        std::string_view token;
        OperatorCode code;
    };
    static constexpr Entry kOperators[] = {
        {"(", OperatorCode::OpenParen},     {")", OperatorCode::CloseParen},
        {"&&", OperatorCode::And},          {"||", OperatorCode::Or},
        {"!", OperatorCode::Not},           {"==", OperatorCode::Equal},
        {"!=", OperatorCode::NotEqual},     {"<", OperatorCode::Less},
        {"<=", OperatorCode::LessEqual},    {">", OperatorCode::Greater},
        {">=", OperatorCode::GreaterEqual},
    };
    for (const Entry& entry : kOperators) {
        if (entry.token == token) return entry.code;
    }
    return OperatorCode::Other;
}

ExpressionDataType ResultTypeOf(OperatorCode code) {
    const auto value = static_cast<uint32_t>(code);
    return value >= static_cast<uint32_t>(OperatorCode::And) &&
                   value <= static_cast<uint32_t>(OperatorCode::GreaterEqual)
               ? ExpressionDataType::Bool
               : ExpressionDataType::Unknown;
}

}  // namespace ExpressionParserN
