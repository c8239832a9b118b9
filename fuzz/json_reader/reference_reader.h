// The value grammar written out plainly, as a second opinion for the fuzz
// target: it must agree with the reader on the flag, the value and every
// logged message.
//
// The grammar as it reads most naturally recurses: a value is a scalar, or
// '{' members '}', or '[' elements ']', and each member or element is a value
// again. Here that recursion is unrolled by hand into a loop over a heap
// stack of open containers, so any input can be checked (a fuzz helper never
// recurses on its input). Each comment names the step of the recursive form
// it stands for. The reader proper is a state machine of its own; the two
// were written apart.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "json/json_grammar.h"
#include "json/json_reader.h"

namespace vq::testing {

class ReferenceReader {
public:
    // `inputSize` bounds the loop: a few steps per character of the input.
    ReferenceReader(JSONReader& reader, std::size_t inputSize)
        : r_(reader), stepBudget_(16 * (inputSize + 2)) {}

    bool parse(JSONValue& value) {
        ws();
        JSONValue result;
        if (!parseValue(result)) {
            value = JSONValue();
            return false;
        }
        value = std::move(result);
        ws();
        if (!r_.eof()) r_.error("Non-whitespace characters found after object");
        return true;
    }

private:
    // An open '{' or '['.
    struct Open {
        bool object = false;
        JSONValue container;
        std::string key;         // objects: the member being read
        std::size_t commas = 0;  // objects: members after the first, each behind a ','
    };

    // Where the loop goes next.
    enum class Step {
        kValue,        // read a value: scalars, then '{', then '['
        kArray,        // the '[' alternative of a value
        kMember,       // read one "key": value member of the open object
        kMembersFail,  // the members of the open object failed
        kObjectEnd,    // the members of the open object were read
        kArrayEnd,     // the elements of the open array were read
        kDone,         // a value ended: `ok` and `result` say how
    };

    bool next(char c) { return grammar::nextIs(r_, c); }
    void ws() { grammar::skipWhitespace(r_); }

    bool literal(char first, const char* rest) {
        if (!next(first)) return false;
        r_.skip();
        for (; *rest; ++rest) {
            if (!next(*rest)) {
                r_.error("Invalid value");
                return false;
            }
            r_.skip();
        }
        return true;
    }

    bool scalar(JSONValue& value) {
        if (literal('n', "ull")) return (value = JSONValue(), true);
        if (literal('t', "rue")) return (value = JSONValue(true), true);
        if (literal('f', "alse")) return (value = JSONValue(false), true);
        if (grammar::parseNumber(r_, value)) return true;
        std::string text;
        if (grammar::readString(r_, text)) return (value = JSONValue(std::move(text)), true);
        return false;
    }

    bool parseValue(JSONValue& out) {
        std::vector<Open> open;
        bool ok = false;
        JSONValue result;
        Step step = Step::kValue;
        // Every open container consumed its bracket, and each step either
        // consumes input or is one of a few between two that do, so the
        // budget is never reached; reaching it is a mistake here.
        for (std::size_t steps = 0;; ++steps) {
            if (steps == stepBudget_) std::abort();
            switch (step) {
                case Step::kValue:
                    // parseValue: null, true, false, number, string, then '{', then '['.
                    if (scalar(result)) {
                        ok = true;
                        step = Step::kDone;
                        break;
                    }
                    step = Step::kArray;
                    if (!next('{')) break;
                    r_.skip();
                    ws();
                    if (next('}')) {
                        r_.skip();
                        result = JSONValue::makeObject();
                        ok = true;
                        step = Step::kDone;
                        break;
                    }
                    open.push_back({true, JSONValue::makeObject(), {}, 0});
                    step = Step::kMember;
                    break;

                case Step::kArray:
                    // parseValue, after an object that was not there or failed.
                    if (!next('[')) {
                        ok = false;
                        step = Step::kDone;
                        break;
                    }
                    r_.skip();
                    ws();
                    if (next(']')) {
                        r_.skip();
                        result = JSONValue::makeArray();
                        ok = true;
                        step = Step::kDone;
                        break;
                    }
                    open.push_back({false, JSONValue::makeArray(), {}, 0});
                    step = Step::kValue;  // the first element
                    break;

                case Step::kMember: {
                    // readPair: a key, ':', then the value (finished in kDone).
                    Open& top = open.back();
                    top.key.clear();
                    step = Step::kMembersFail;
                    if (!grammar::readString(r_, top.key)) break;
                    ws();
                    if (!next(':')) break;
                    r_.skip();
                    ws();
                    step = Step::kValue;
                    break;
                }

                case Step::kMembersFail:
                    // Each parseMembers level entered after a ',' adds its
                    // message on the way out; then the '[' alternative.
                    for (std::size_t i = 0; i < open.back().commas; ++i) {
                        r_.error("Invalid object, expecting another member after ','");
                    }
                    open.pop_back();
                    step = Step::kArray;
                    break;

                case Step::kObjectEnd:
                    ws();
                    if (next('}')) {
                        r_.skip();
                        result = std::move(open.back().container);
                        open.pop_back();
                        ok = true;
                        step = Step::kDone;
                    } else {
                        open.pop_back();
                        step = Step::kArray;
                    }
                    break;

                case Step::kArrayEnd:
                    ws();
                    ok = next(']');
                    if (ok) {
                        r_.skip();
                        result = std::move(open.back().container);
                    }
                    open.pop_back();
                    step = Step::kDone;  // no alternative after '['
                    break;

                case Step::kDone: {
                    if (open.empty()) {
                        if (ok) out = std::move(result);
                        return ok;
                    }
                    Open& top = open.back();
                    if (top.object) {
                        // readPair's value, then parseMembers' ',' and the next member.
                        if (!ok) {
                            r_.error("Invalid pair");
                            step = Step::kMembersFail;
                            break;
                        }
                        top.container[top.key] = std::move(result);
                        ws();
                        if (next(',')) {
                            r_.skip();
                            ws();
                            ++top.commas;
                            step = Step::kMember;
                        } else {
                            step = Step::kObjectEnd;
                        }
                        break;
                    }
                    // parseElements: a failed first element fails the array;
                    // one after a ',' just ends the elements (trailing comma).
                    if (!ok) {
                        if (top.container.size() == 0) {
                            open.pop_back();
                            step = Step::kDone;
                        } else {
                            step = Step::kArrayEnd;
                        }
                        break;
                    }
                    top.container.append(std::move(result));
                    ws();
                    if (next(',')) {
                        r_.skip();
                        ws();
                        step = Step::kValue;
                    } else {
                        step = Step::kArrayEnd;
                    }
                    break;
                }
            }
        }
    }

    JSONReader& r_;
    const std::size_t stepBudget_;
};

}  // namespace vq::testing
