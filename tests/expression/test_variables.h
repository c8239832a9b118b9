// Variables with fixed values for tests that need operands the literal
// syntax cannot write (NaN) or that must observe which operands are read.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "expression/expression_evaluator.h"
#include "expression/variable_db.h"

// A Bool variable that counts how often it is read.
class CountingBoolEvaluator : public ExpressionParserN::ExpressionEvaluatorT {
public:
    explicit CountingBoolEvaluator(bool value, int* reads) : value(value), reads(reads) {}
    bool GetBool(ZVT::EventClass*, const uint8_t*,
                 const ExpressionParserN::ExpressionTreeNodeT&) const override {
        ++*reads;
        return value;
    }
    ExpressionParserN::ExpressionDataType GetType(const std::string&) const override {
        return ExpressionParserN::ExpressionDataType::Bool;
    }

private:
    bool value;
    int* reads;
};

class FixedDoubleEvaluator : public ExpressionParserN::ExpressionEvaluatorT {
public:
    explicit FixedDoubleEvaluator(double value) : value(value) {}
    double GetDouble(ZVT::EventClass*, const uint8_t*,
                     const ExpressionParserN::ExpressionTreeNodeT&) const override {
        return value;
    }
    ExpressionParserN::ExpressionDataType GetType(const std::string&) const override {
        return ExpressionParserN::ExpressionDataType::Double;
    }

private:
    double value;
};

// Names "yes" and "no" are counting Bool variables, "d" is a Double holding
// `doubleValue`; every other name is unknown to it.
class TestVariableDB : public ExpressionParserN::VariableDBT {
public:
    std::unique_ptr<ExpressionParserN::ExpressionEvaluatorT> CreateEvaluator(
        const std::string& name) override {
        if (name == "yes") return std::make_unique<CountingBoolEvaluator>(true, &reads[name]);
        if (name == "no") return std::make_unique<CountingBoolEvaluator>(false, &reads[name]);
        if (name == "d") return std::make_unique<FixedDoubleEvaluator>(doubleValue);
        return nullptr;
    }

    double doubleValue = 0.0;
    std::map<std::string, int> reads;
};
