#include "expression/expression_evaluator.h"

namespace ExpressionParserN {

bool ExpressionEvaluatorT::GetBool(ZVT::EventClass*, const uint8_t*,
                                   const ExpressionTreeNodeT&) const {
    return false;
}

std::string ExpressionEvaluatorT::GetString(ZVT::EventClass*, const uint8_t*,
                                            const ExpressionTreeNodeT&) const {
    return text;
}

uint64_t ExpressionEvaluatorT::GetUint64(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return 0;
}

uint32_t ExpressionEvaluatorT::GetUint32(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return 0;
}

uint16_t ExpressionEvaluatorT::GetUint16(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return 0;
}

uint8_t ExpressionEvaluatorT::GetUint8(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return 0;
}

int64_t ExpressionEvaluatorT::GetInt64(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return 0;
}

int32_t ExpressionEvaluatorT::GetInt32(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return 0;
}

int16_t ExpressionEvaluatorT::GetInt16(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return 0;
}

int8_t ExpressionEvaluatorT::GetInt8(ZVT::EventClass*, const uint8_t*,
                                     const ExpressionTreeNodeT&) const {
    return 0;
}

double ExpressionEvaluatorT::GetDouble(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return 0.0;
}

ExpressionDataType ExpressionEvaluatorT::GetType(const std::string&) const {
    return ExpressionDataType::Unknown;
}

bool ExpressionEvaluatorT::Validate() {
    return true;
}

}  // namespace ExpressionParserN
