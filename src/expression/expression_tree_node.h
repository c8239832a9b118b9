// The nodes of a condition tree. A node knows its kind, its value type, its
// token text and the evaluator that produces its value; the typed getters let
// the counter callback ask the root for a Bool without knowing its shape.
//
// Ownership: a node owns its children (operator nodes) but never its
// evaluator. Evaluators are owned by the EvaluatorStoreT of the parse that
// made them (see expression_tree.h); Clone() shares the source's evaluators.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "boundary/host_abi.h"
#include "expression/expression_types.h"

namespace ExpressionParserN {

class ExpressionEvaluatorT;

// Kind Operator is used by ExpressionTreeOperatorNodeT alone; OpEvaluatorT
// relies on it to reach an operator node's operands.
class ExpressionTreeNodeT {
public:
    ExpressionTreeNodeT& operator=(const ExpressionTreeNodeT&) = delete;

    virtual std::string ToString() const;
    virtual ExpressionDataType GetType() const;
    // Final: evaluation reads a child's evaluator on every event, and the
    // compiler can then do so without a virtual call.
    virtual ExpressionEvaluatorT* GetEvaluator() const final { return evaluator; }
    virtual bool Validate() const;
    virtual std::unique_ptr<ExpressionTreeNodeT> Clone() const;
    // Appends the variable nodes of this subtree, left operand first.
    virtual void CollectVariables(std::vector<ExpressionTreeNodeT*>& list);
    virtual ExpressionEvaluatorT* GetVariableEvaluator() const;

    // Each typed getter answers only when GetType() is its own type, and
    // otherwise returns false, an empty text, 0 or 0.0. Final, as the type
    // test is the same for every node: the counter callback's call on the
    // root then needs no virtual dispatch.
    virtual bool GetBool(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual std::string GetString(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual uint64_t GetUint64(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual uint32_t GetUint32(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual uint16_t GetUint16(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual uint8_t GetUint8(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual int64_t GetInt64(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual int32_t GetInt32(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual int16_t GetInt16(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual int8_t GetInt8(ZVT::EventClass* eventClass, const uint8_t* record) const final;
    virtual double GetDouble(ZVT::EventClass* eventClass, const uint8_t* record) const final;

    virtual ~ExpressionTreeNodeT();

    NodeKind Kind() const { return kind; }
    const std::string& Text() const { return text; }
    void SetType(ExpressionDataType newType) { type = newType; }

protected:
    ExpressionTreeNodeT(NodeKind kind, ExpressionDataType type, ExpressionEvaluatorT* evaluator,
                        std::string text);
    ExpressionTreeNodeT(const ExpressionTreeNodeT&) = default;

    NodeKind kind;
    ExpressionDataType type;
    ExpressionEvaluatorT* evaluator;  // borrowed
    std::string text;
};

// "&&", "||", "!", the comparisons, and the grouping or unknown operator
// tokens that only appear in malformed texts. Evaluated by OpEvaluatorT.
class ExpressionTreeOperatorNodeT final : public ExpressionTreeNodeT {
public:
    explicit ExpressionTreeOperatorNodeT(std::string token);

    std::string ToString() const override;
    bool Validate() const override;
    std::unique_ptr<ExpressionTreeNodeT> Clone() const override;
    void CollectVariables(std::vector<ExpressionTreeNodeT*>& list) override;

    OperatorCode Op() const { return op; }
    const ExpressionTreeNodeT* Left() const { return left.get(); }
    const ExpressionTreeNodeT* Right() const { return right.get(); }
    void SetOperands(std::unique_ptr<ExpressionTreeNodeT> newLeft,
                     std::unique_ptr<ExpressionTreeNodeT> newRight);

private:
    ExpressionTreeOperatorNodeT(const ExpressionTreeOperatorNodeT& other);

    OperatorCode op;
    std::unique_ptr<ExpressionTreeNodeT> left;
    std::unique_ptr<ExpressionTreeNodeT> right;  // absent for "!"
};

// A literal keeps its token as written, quotes included.
class ExpressionTreeLiteralNodeT final : public ExpressionTreeNodeT {
public:
    ExpressionTreeLiteralNodeT(ExpressionDataType type, ExpressionEvaluatorT* evaluator,
                               std::string token);

    std::unique_ptr<ExpressionTreeNodeT> Clone() const override;

private:
    ExpressionTreeLiteralNodeT(const ExpressionTreeLiteralNodeT&) = default;
};

}  // namespace ExpressionParserN
