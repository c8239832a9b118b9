// Evaluators of literal nodes: each answers from a value fixed by the parser.
// The eight integer classes behave alike whatever their width (the integer
// rule): a comparison reads them at the width of its left operand, so the
// literal 300 read as 8 bits is 44.
#pragma once

#include <cstdint>
#include <string>

#include "expression/expression_evaluator.h"

namespace ExpressionParserN {

// The shared behaviour of the integer literals; `value` holds the literal
// sign-extended (Int*) or zero-extended (Uint*) to 64 bits.
class IntegerLiteralEvaluator : public ExpressionEvaluatorT {
public:
    bool GetBool(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    uint64_t GetUint64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    uint32_t GetUint32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    uint16_t GetUint16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    uint8_t GetUint8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    int64_t GetInt64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    int32_t GetInt32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    int16_t GetInt16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;
    int8_t GetInt8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const final;

    uint64_t Value() const { return value; }

protected:
    explicit IntegerLiteralEvaluator(uint64_t bits)
        : ExpressionEvaluatorT(EvaluatorForm::IntegerLiteral), value(bits) {}

private:
    const uint64_t value;
};

class Int8LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Int8LiteralEvaluator(int8_t v)
        : IntegerLiteralEvaluator(static_cast<uint64_t>(int64_t{v})) {}
};

class Int16LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Int16LiteralEvaluator(int16_t v)
        : IntegerLiteralEvaluator(static_cast<uint64_t>(int64_t{v})) {}
};

class Int32LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Int32LiteralEvaluator(int32_t v)
        : IntegerLiteralEvaluator(static_cast<uint64_t>(int64_t{v})) {}
};

class Int64LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Int64LiteralEvaluator(int64_t v) : IntegerLiteralEvaluator(static_cast<uint64_t>(v)) {}
};

class Uint8LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Uint8LiteralEvaluator(uint8_t v) : IntegerLiteralEvaluator(v) {}
};

class Uint16LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Uint16LiteralEvaluator(uint16_t v) : IntegerLiteralEvaluator(v) {}
};

class Uint32LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Uint32LiteralEvaluator(uint32_t v) : IntegerLiteralEvaluator(v) {}
};

class Uint64LiteralEvaluator final : public IntegerLiteralEvaluator {
public:
    explicit Uint64LiteralEvaluator(uint64_t v) : IntegerLiteralEvaluator(v) {}
};

class BoolLiteralEvaluator final : public ExpressionEvaluatorT {
public:
    explicit BoolLiteralEvaluator(bool v) : value(v ? 1 : 0) {}

    bool GetBool(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint64_t GetUint64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint32_t GetUint32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint16_t GetUint16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    uint8_t GetUint8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int64_t GetInt64(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int32_t GetInt32(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int16_t GetInt16(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;
    int8_t GetInt8(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;

private:
    const uint8_t value;  // 0 or 1
};

class DoubleLiteralEvaluator final : public ExpressionEvaluatorT {
public:
    explicit DoubleLiteralEvaluator(double v) : value(v) {}

    double GetDouble(ZVT::EventClass*, const uint8_t*, const ExpressionTreeNodeT&) const override;

private:
    const double value;
};

class StringLiteralEvaluator final : public ExpressionEvaluatorT {
public:
    explicit StringLiteralEvaluator(std::string v) : value(std::move(v)) {}

    std::string GetString(ZVT::EventClass*, const uint8_t*,
                          const ExpressionTreeNodeT&) const override;

private:
    const std::string value;  // without quotes and backslashes
};

}  // namespace ExpressionParserN
