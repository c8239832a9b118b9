#include "expression/literal_evaluators.h"

namespace ExpressionParserN {

// Narrower getters return the low bits of `value`; the casts to signed types
// are modular (well defined since C++20).
bool IntegerLiteralEvaluator::GetBool(ZVT::EventClass*, const uint8_t*,
                                      const ExpressionTreeNodeT&) const {
    return value != 0;
}
uint64_t IntegerLiteralEvaluator::GetUint64(ZVT::EventClass*, const uint8_t*,
                                            const ExpressionTreeNodeT&) const {
    return value;
}
uint32_t IntegerLiteralEvaluator::GetUint32(ZVT::EventClass*, const uint8_t*,
                                            const ExpressionTreeNodeT&) const {
    return static_cast<uint32_t>(value);
}
uint16_t IntegerLiteralEvaluator::GetUint16(ZVT::EventClass*, const uint8_t*,
                                            const ExpressionTreeNodeT&) const {
    return static_cast<uint16_t>(value);
}
uint8_t IntegerLiteralEvaluator::GetUint8(ZVT::EventClass*, const uint8_t*,
                                          const ExpressionTreeNodeT&) const {
    return static_cast<uint8_t>(value);
}
int64_t IntegerLiteralEvaluator::GetInt64(ZVT::EventClass*, const uint8_t*,
                                          const ExpressionTreeNodeT&) const {
    return static_cast<int64_t>(value);
}
int32_t IntegerLiteralEvaluator::GetInt32(ZVT::EventClass*, const uint8_t*,
                                          const ExpressionTreeNodeT&) const {
    return static_cast<int32_t>(value);
}
int16_t IntegerLiteralEvaluator::GetInt16(ZVT::EventClass*, const uint8_t*,
                                          const ExpressionTreeNodeT&) const {
    return static_cast<int16_t>(value);
}
int8_t IntegerLiteralEvaluator::GetInt8(ZVT::EventClass*, const uint8_t*,
                                        const ExpressionTreeNodeT&) const {
    return static_cast<int8_t>(value);
}

bool BoolLiteralEvaluator::GetBool(ZVT::EventClass*, const uint8_t*,
                                   const ExpressionTreeNodeT&) const {
    return value != 0;
}
uint64_t BoolLiteralEvaluator::GetUint64(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return value;
}
uint32_t BoolLiteralEvaluator::GetUint32(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return value;
}
uint16_t BoolLiteralEvaluator::GetUint16(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return value;
}
uint8_t BoolLiteralEvaluator::GetUint8(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return value;
}
int64_t BoolLiteralEvaluator::GetInt64(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return value;
}
int32_t BoolLiteralEvaluator::GetInt32(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return value;
}
int16_t BoolLiteralEvaluator::GetInt16(ZVT::EventClass*, const uint8_t*,
                                       const ExpressionTreeNodeT&) const {
    return value;
}
int8_t BoolLiteralEvaluator::GetInt8(ZVT::EventClass*, const uint8_t*,
                                     const ExpressionTreeNodeT&) const {
    return static_cast<int8_t>(value);
}

double DoubleLiteralEvaluator::GetDouble(ZVT::EventClass*, const uint8_t*,
                                         const ExpressionTreeNodeT&) const {
    return value;
}

std::string StringLiteralEvaluator::GetString(ZVT::EventClass*, const uint8_t*,
                                              const ExpressionTreeNodeT&) const {
    return value;
}

}  // namespace ExpressionParserN
