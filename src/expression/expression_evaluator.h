// Produces the value of one expression node for one trace event. Every node
// refers to an evaluator; literals answer from a stored value, field variables
// from the event record and operators through the shared OpEvaluatorT. The
// getters are typed so that a comparison reads each operand at one width
// without converting through a common representation.
#pragma once

#include <cstdint>
#include <string>

#include "boundary/host_abi.h"
#include "expression/expression_types.h"

namespace ExpressionParserN {

class ExpressionTreeNodeT;

// The evaluator classes whose getters OpEvaluatorT may read without a
// virtual call: their getters are final, so the inline read is the same.
enum class EvaluatorForm : uint8_t {
    Other,
    Field,           // ZVTFieldEvaluatorT
    IntegerLiteral,  // the eight integer literal evaluators
};

class ExpressionEvaluatorT {
public:
    ExpressionEvaluatorT() = default;
    ExpressionEvaluatorT(const ExpressionEvaluatorT&) = delete;
    ExpressionEvaluatorT& operator=(const ExpressionEvaluatorT&) = delete;

    // The event class and record are those the host handed to the trace
    // callback; `node` is the node being evaluated.
    virtual bool GetBool(ZVT::EventClass* eventClass, const uint8_t* record,
                         const ExpressionTreeNodeT& node) const;
    virtual std::string GetString(ZVT::EventClass* eventClass, const uint8_t* record,
                                  const ExpressionTreeNodeT& node) const;
    virtual uint64_t GetUint64(ZVT::EventClass* eventClass, const uint8_t* record,
                               const ExpressionTreeNodeT& node) const;
    virtual uint32_t GetUint32(ZVT::EventClass* eventClass, const uint8_t* record,
                               const ExpressionTreeNodeT& node) const;
    virtual uint16_t GetUint16(ZVT::EventClass* eventClass, const uint8_t* record,
                               const ExpressionTreeNodeT& node) const;
    virtual uint8_t GetUint8(ZVT::EventClass* eventClass, const uint8_t* record,
                             const ExpressionTreeNodeT& node) const;
    virtual int64_t GetInt64(ZVT::EventClass* eventClass, const uint8_t* record,
                             const ExpressionTreeNodeT& node) const;
    virtual int32_t GetInt32(ZVT::EventClass* eventClass, const uint8_t* record,
                             const ExpressionTreeNodeT& node) const;
    virtual int16_t GetInt16(ZVT::EventClass* eventClass, const uint8_t* record,
                             const ExpressionTreeNodeT& node) const;
    virtual int8_t GetInt8(ZVT::EventClass* eventClass, const uint8_t* record,
                           const ExpressionTreeNodeT& node) const;
    virtual double GetDouble(ZVT::EventClass* eventClass, const uint8_t* record,
                             const ExpressionTreeNodeT& node) const;
    virtual ~ExpressionEvaluatorT() = default;

    // `name` is the variable's name; only field evaluators look at it.
    virtual ExpressionDataType GetType(const std::string& name) const;
    virtual bool Validate();

    EvaluatorForm Form() const { return form; }

protected:
    explicit ExpressionEvaluatorT(EvaluatorForm evaluatorForm) : form(evaluatorForm) {}

    std::string text;  // empty in every evaluator the system creates

private:
    const EvaluatorForm form = EvaluatorForm::Other;
};

}  // namespace ExpressionParserN
