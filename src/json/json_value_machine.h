// The value grammar, run as a state machine over a heap stack of open
// containers so that nesting depth costs heap, not machine stack.
//
// It behaves as the recursive reading it replaces: a value tries null, true,
// false, number, string, object, array in turn; an object that fails after
// its '{' falls through to the array alternative at the current position; a
// member after a comma that fails adds one "Invalid object..." message per
// comma of the chain (each level of the recursive reading reported it); an
// element that fails after a comma just ends the list before the ']' is
// required.
#pragma once

#include <deque>
#include <string>
#include <utility>

#include "json/json_grammar.h"

namespace vq::grammar {

template <typename R>
class ValueMachine {
public:
    explicit ValueMachine(R& reader) : reader_(reader) {}

    bool run(JSONValue& value) {
        for (;;) {
            bool finished = begin();
            while (finished) {
                if (open_.empty()) {
                    if (ok_) value = std::move(result_);
                    return ok_;
                }
                finished = resume();
            }
        }
    }

private:
    // A container whose '{' or '[' has been read, waiting for its next child.
    struct Open {
        JSONValue container;
        std::string key;      // object: key of the member being read
        uint64_t commas = 0;  // object: commas read in this member chain
    };

    // The steps below return true when the value at the current level is
    // finished (ok_ and result_ hold the outcome), false when a container was
    // opened and its next child value must begin at the current position.

    bool finish(bool ok) {
        ok_ = ok;
        return true;
    }

    bool finish(JSONValue value) {
        result_ = std::move(value);
        return finish(true);
    }

    bool literal(char first, const char* rest) {
        if (!nextIs(reader_, first)) return false;
        reader_.skip();
        for (; *rest != '\0'; ++rest) {
            if (!nextIs(reader_, *rest)) {
                reader_.error("Invalid value");
                return false;
            }
            reader_.skip();
        }
        return true;
    }

    bool begin() {
        if (literal('n', "ull")) return finish(JSONValue());
        if (literal('t', "rue")) return finish(JSONValue(true));
        if (literal('f', "alse")) return finish(JSONValue(false));
        if (parseNumber(reader_, result_)) return finish(true);
        std::string text;
        if (readString(reader_, text)) return finish(JSONValue(std::move(text)));
        if (nextIs(reader_, '{')) {
            reader_.skip();
            skipWhitespace(reader_);
            if (nextIs(reader_, '}')) {
                reader_.skip();
                return finish(JSONValue::makeObject());
            }
            open_.push_back(Open{JSONValue::makeObject(), {}, 0});
            if (readPairHead(reader_, open_.back().key)) return false;
            return membersFailed();
        }
        return beginArray();
    }

    bool beginArray() {
        if (!nextIs(reader_, '[')) return finish(false);
        reader_.skip();
        skipWhitespace(reader_);
        if (nextIs(reader_, ']')) {
            reader_.skip();
            return finish(JSONValue::makeArray());
        }
        open_.push_back(Open{JSONValue::makeArray(), {}, 0});
        return false;
    }

    // The innermost container receives the child value just finished.
    bool resume() {
        return open_.back().container.type() == JSONValue::TypeObject ? resumeObject() : resumeArray();
    }

    bool resumeObject() {
        Open& top = open_.back();
        if (!ok_) {
            reader_.error("Invalid pair");
            return membersFailed();
        }
        top.container[top.key] = std::move(result_);
        skipWhitespace(reader_);
        if (nextIs(reader_, ',')) {
            reader_.skip();
            skipWhitespace(reader_);
            ++top.commas;
            top.key.clear();
            if (readPairHead(reader_, top.key)) return false;
            return membersFailed();
        }
        skipWhitespace(reader_);
        if (nextIs(reader_, '}')) {
            reader_.skip();
            JSONValue object = std::move(top.container);
            open_.pop_back();
            return finish(std::move(object));
        }
        return objectFailed();
    }

    bool membersFailed() {
        for (uint64_t i = open_.back().commas; i > 0; --i) {
            reader_.error("Invalid object, expecting another member after ','");
        }
        return objectFailed();
    }

    // The object alternative is abandoned; the array alternative gets its
    // chance at the current position.
    bool objectFailed() {
        open_.pop_back();
        return beginArray();
    }

    bool resumeArray() {
        Open& top = open_.back();
        if (ok_) {
            top.container.append(std::move(result_));
            skipWhitespace(reader_);
            if (nextIs(reader_, ',')) {
                reader_.skip();
                skipWhitespace(reader_);
                return false;
            }
        } else if (top.container.size() == 0) {
            // Not even a first element: the array alternative fails.
            open_.pop_back();
            return finish(false);
        }
        // After a comma with no element behind it the list just ends.
        skipWhitespace(reader_);
        if (nextIs(reader_, ']')) {
            reader_.skip();
            JSONValue array = std::move(top.container);
            open_.pop_back();
            return finish(std::move(array));
        }
        open_.pop_back();
        return finish(false);
    }

    R& reader_;
    std::deque<Open> open_;  // a deque: deep nesting never relocates the open levels
    bool ok_ = false;
    JSONValue result_;
};

// One value of any kind at the current position (no leading whitespace).
template <typename R>
bool parseValue(R& reader, JSONValue& value) {
    return ValueMachine<R>(reader).run(value);
}

}  // namespace vq::grammar
