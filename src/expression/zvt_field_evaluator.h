// Reads one field of the counter's trace source straight out of each event
// record. The field's value index and host type code are written into this
// evaluator once, when the counter's callback is bound (see
// field_bindings.h); until then it reports itself unbound.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "expression/expression_evaluator.h"

namespace ExpressionParserN {

class ZVTFieldEvaluatorT final : public ExpressionEvaluatorT {
public:
    static constexpr uint32_t kUnboundIndex = 0xFFFFFFFF;
    static constexpr uint32_t kUnboundType = 6;  // one past the host's last type code

    explicit ZVTFieldEvaluatorT(std::string name);

    // Each getter reads as many bytes as its own width at the field's value
    // offset, whatever the field's size (slots are zero-padded by the host).
    bool GetBool(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    std::string GetString(ZVT::EventClass*, const uint8_t*,
                          const ExpressionTreeNodeT&) const override;
    uint64_t GetUint64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint32_t GetUint32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint16_t GetUint16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint8_t GetUint8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int64_t GetInt64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int32_t GetInt32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int16_t GetInt16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int8_t GetInt8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    double GetDouble(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;

    // Integer fields compare as 32-bit values whatever their size.
    ExpressionDataType GetType(const std::string& name) const override;
    // The same without a virtual call (the name plays no part).
    ExpressionDataType ExpressionType() const {
        return fieldType < kTypeOfHostCode.size() ? kTypeOfHostCode[fieldType]
                                                  : ExpressionDataType::Unknown;
    }
    // False, with the "field not found" line on standard output, when unbound.
    bool Validate() override;

    const std::string& FieldName() const { return fieldName; }
    uint32_t ValueIndex() const { return valueIndex; }
    uint32_t FieldType() const { return fieldType; }
    // Where the binding routine stores the value index and the type code.
    uint32_t* ValueIndexDestination() { return &valueIndex; }
    uint32_t* FieldTypeDestination() { return &fieldType; }

    // The value as V, read at the field's offset in `record`. An unbound
    // field (never evaluated once validated) reads as 0 instead of following
    // the host's "no such value" offset out of the record.
    template <typename V>
    V Read(ZVT::EventClass* eventClass, const uint8_t* record) const {
        V value{};
        if (valueIndex == kUnboundIndex || eventClass == nullptr || record == nullptr) return value;
        std::memcpy(&value, record + eventClass->ValueOffset(valueIndex), sizeof value);
        return value;
    }

private:
    // Host field type codes 0 to 5, in order.
    static constexpr std::array<ExpressionDataType, 6> kTypeOfHostCode = {
        ExpressionDataType::Uint32,  // UNSIGNED_INT
        ExpressionDataType::Int32,   // SIGNED_INT
        ExpressionDataType::Bool,    // BOOL
        ExpressionDataType::Int32,   // ENUM
        ExpressionDataType::Double,  // FLOAT
        ExpressionDataType::String,  // STRING
    };

    uint32_t valueIndex = kUnboundIndex;
    std::string fieldName;
    uint32_t fieldType = kUnboundType;
};

}  // namespace ExpressionParserN
