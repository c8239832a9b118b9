#include "expression/zvt_field_evaluator.h"

#include <bit>
#include <iostream>

namespace ExpressionParserN {

// Event records are little-endian; a plain copy reads them on this target.
static_assert(std::endian::native == std::endian::little);

ZVTFieldEvaluatorT::ZVTFieldEvaluatorT(std::string name)
    : ExpressionEvaluatorT(EvaluatorForm::Field), fieldName(std::move(name)) {}

bool ZVTFieldEvaluatorT::GetBool(ZVT::EventClass* eventClass, const uint8_t* record,
                                 const ExpressionTreeNodeT&) const {
    return Read<uint8_t>(eventClass, record) != 0;
}

// A STRING value is a pointer to text that lives during the callback.
std::string ZVTFieldEvaluatorT::GetString(ZVT::EventClass* eventClass, const uint8_t* record,
                                          const ExpressionTreeNodeT&) const {
    const char* value = Read<const char*>(eventClass, record);
    return value ? std::string(value) : std::string();
}

uint64_t ZVTFieldEvaluatorT::GetUint64(ZVT::EventClass* eventClass, const uint8_t* record,
                                       const ExpressionTreeNodeT&) const {
    return Read<uint64_t>(eventClass, record);
}

uint32_t ZVTFieldEvaluatorT::GetUint32(ZVT::EventClass* eventClass, const uint8_t* record,
                                       const ExpressionTreeNodeT&) const {
    return Read<uint32_t>(eventClass, record);
}

uint16_t ZVTFieldEvaluatorT::GetUint16(ZVT::EventClass* eventClass, const uint8_t* record,
                                       const ExpressionTreeNodeT&) const {
    return Read<uint16_t>(eventClass, record);
}

uint8_t ZVTFieldEvaluatorT::GetUint8(ZVT::EventClass* eventClass, const uint8_t* record,
                                     const ExpressionTreeNodeT&) const {
    return Read<uint8_t>(eventClass, record);
}

int64_t ZVTFieldEvaluatorT::GetInt64(ZVT::EventClass* eventClass, const uint8_t* record,
                                     const ExpressionTreeNodeT&) const {
    return Read<int64_t>(eventClass, record);
}

int32_t ZVTFieldEvaluatorT::GetInt32(ZVT::EventClass* eventClass, const uint8_t* record,
                                     const ExpressionTreeNodeT&) const {
    return Read<int32_t>(eventClass, record);
}

int16_t ZVTFieldEvaluatorT::GetInt16(ZVT::EventClass* eventClass, const uint8_t* record,
                                     const ExpressionTreeNodeT&) const {
    return Read<int16_t>(eventClass, record);
}

int8_t ZVTFieldEvaluatorT::GetInt8(ZVT::EventClass* eventClass, const uint8_t* record,
                                   const ExpressionTreeNodeT&) const {
    return Read<int8_t>(eventClass, record);
}

double ZVTFieldEvaluatorT::GetDouble(ZVT::EventClass* eventClass, const uint8_t* record,
                                     const ExpressionTreeNodeT&) const {
    return Read<double>(eventClass, record);
}

ExpressionDataType ZVTFieldEvaluatorT::GetType(const std::string&) const {
    return ExpressionType();
}

bool ZVTFieldEvaluatorT::Validate() {
    if (valueIndex != kUnboundIndex) return true;
    std::cout << ("Condition: " + fieldName + " field not found.\n") << std::flush;
    return false;
}

}  // namespace ExpressionParserN
