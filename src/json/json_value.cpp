#include "json/json_value.h"

#include <cmath>
#include <string_view>
#include <utility>

namespace vq {

namespace {

bool isContainer(JSONValue::Type type) {
    return type == JSONValue::TypeObject || type == JSONValue::TypeArray;
}

// A fresh, empty container of the same kind as the source; its children are
// filled in later from the copy's work list.
JSONValue emptyLike(const JSONValue& source) {
    return source.type() == JSONValue::TypeObject ? JSONValue::makeObject() : JSONValue::makeArray();
}

}  // namespace

JSONValue::JSONValue(bool value) noexcept : type_(value ? TypeTrue : TypeFalse) {}

JSONValue::JSONValue(int64_t value) noexcept : type_(value < 0 ? TypeInt : TypeUInt) {
    payload_.i = value;
}

JSONValue::JSONValue(uint64_t value) noexcept : type_(TypeUInt) { payload_.u = value; }

JSONValue::JSONValue(double value) noexcept {
    // 2^64 and -2^63 are exact doubles, so the bounds compare without rounding.
    constexpr double kTwoTo64 = 18446744073709551616.0;
    constexpr double kMinusTwoTo63 = -9223372036854775808.0;
    if (std::trunc(value) == value) {  // false for NaN
        if (value >= 0.0 && value < kTwoTo64) {  // -0.0 >= 0.0 holds
            type_ = TypeUInt;
            payload_.u = static_cast<uint64_t>(value);
            return;
        }
        if (value < 0.0 && value >= kMinusTwoTo63) {
            type_ = TypeInt;
            payload_.i = static_cast<int64_t>(value);
            return;
        }
    }
    type_ = TypeDouble;
    payload_.d = value;
}

JSONValue::JSONValue(std::string&& text) : type_(TypeString) {
    payload_.string = new std::string();
    payload_.string->swap(text);
}

JSONValue::JSONValue(const char* text) : type_(TypeString) {
    payload_.string = text != nullptr ? new std::string(text) : new std::string();
}

JSONValue JSONValue::makeObject() {
    JSONValue value;
    value.payload_.object = new Object();
    value.type_ = TypeObject;
    return value;
}

JSONValue JSONValue::makeArray(std::size_t count) {
    JSONValue value;
    value.payload_.array = new Array(count);
    value.type_ = TypeArray;
    return value;
}

JSONValue::JSONValue(const JSONValue& other) {
    if (other.type_ == TypeString) {
        payload_.string = new std::string(*other.payload_.string);
        type_ = TypeString;
        return;
    }
    if (!isContainer(other.type_)) {
        type_ = other.type_;
        payload_ = other.payload_;
        return;
    }
    // Containers are copied level by level from a work list: each task fills
    // one target container whose nested containers are created empty and
    // queued. Targets never move once created (the array is reserved up front,
    // map nodes are stable), so the queued pointers stay valid.
    struct Task {
        const JSONValue* source;
        JSONValue* target;
    };
    JSONValue root = emptyLike(other);
    std::vector<Task> tasks{{&other, &root}};
    while (!tasks.empty()) {
        const Task task = tasks.back();
        tasks.pop_back();
        if (task.source->type_ == TypeArray) {
            const Array& from = *task.source->payload_.array;
            Array& to = *task.target->payload_.array;
            to.reserve(from.size());
            for (const JSONValue& child : from) {
                if (isContainer(child.type_)) {
                    to.push_back(emptyLike(child));
                    tasks.push_back({&child, &to.back()});
                } else {
                    to.push_back(child);
                }
            }
        } else {
            const Object& from = *task.source->payload_.object;
            Object& to = *task.target->payload_.object;
            for (const auto& [key, child] : from) {
                auto slot = to.emplace_hint(to.end(), key, JSONValue());
                if (isContainer(child.type_)) {
                    slot->second = emptyLike(child);
                    tasks.push_back({&child, &slot->second});
                } else {
                    slot->second = child;
                }
            }
        }
    }
    swap(root);
}

JSONValue::JSONValue(JSONValue&& other) noexcept : type_(other.type_), payload_(other.payload_) {
    other.type_ = TypeNull;
    other.payload_.u = 0;
}

JSONValue& JSONValue::operator=(const JSONValue& other) {
    // Copy before freeing (the source may live inside this value); a copy that
    // runs out of memory leaves the target null.
    try {
        JSONValue copy(other);
        swap(copy);
    } catch (...) {
        release();
        throw;
    }
    return *this;
}

JSONValue& JSONValue::operator=(JSONValue&& other) noexcept {
    if (this != &other) {
        JSONValue taken(std::move(other));
        swap(taken);
    }
    return *this;
}

JSONValue::~JSONValue() { release(); }

void JSONValue::swap(JSONValue& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(payload_, other.payload_);
}

void JSONValue::release() noexcept {
    const Type type = type_;
    const Payload payload = payload_;
    type_ = TypeNull;
    payload_.u = 0;
    if (type == TypeString) {
        delete payload.string;
        return;
    }
    if (!isContainer(type)) return;

    // Nested non-empty containers are moved out to a flat list before their
    // parent is freed, so every destructor that runs sees at most one level.
    // Should the list itself fail to grow, that child is freed in place by
    // ordinary recursion instead.
    std::vector<JSONValue> pending;
    auto detach = [&pending](JSONValue& child) {
        const bool nested = (child.type_ == TypeArray && !child.payload_.array->empty()) ||
                            (child.type_ == TypeObject && !child.payload_.object->empty());
        if (!nested) return;
        try {
            pending.push_back(std::move(child));
        } catch (...) {
        }
    };
    auto detachChildren = [&detach](Type kind, Payload held) {
        if (kind == TypeArray) {
            for (JSONValue& child : *held.array) detach(child);
        } else {
            for (auto& member : *held.object) detach(member.second);
        }
    };
    detachChildren(type, payload);
    if (type == TypeArray) {
        delete payload.array;
    } else {
        delete payload.object;
    }
    while (!pending.empty()) {
        JSONValue next = std::move(pending.back());
        pending.pop_back();
        detachChildren(next.type_, next.payload_);
    }
}

const char* JSONValue::typeName(Type type) noexcept {
    switch (type) {
        case TypeString: return "string";
        case TypeUInt: return "integer";
        case TypeInt: return "integer";
        case TypeDouble: return "floating point";
        case TypeObject: return "object";
        case TypeArray: return "array";
        case TypeTrue: return "true";
        case TypeFalse: return "false";
        case TypeNull: return "null";
    }
    return "invalid";
}

void JSONValue::checkType(Type requested) const {
    if (type_ != requested) throw WrongType(requested, type_);
}

const std::string& JSONValue::asString() const {
    checkType(TypeString);
    return *payload_.string;
}

std::string& JSONValue::asString() {
    checkType(TypeString);
    return *payload_.string;
}

uint32_t JSONValue::asUInt32() const {
    if (type_ == TypeInt) throw Underflow(payload_.i, 4);
    checkType(TypeUInt);
    if (payload_.u > 0xFFFFFFFFu) throw Overflow(payload_.u, false, 4);
    return static_cast<uint32_t>(payload_.u);
}

uint64_t JSONValue::asUInt64() const {
    if (type_ == TypeInt) throw Underflow(payload_.i, 8);
    checkType(TypeUInt);
    return payload_.u;
}

bool JSONValue::asBool() const {
    if (type_ == TypeTrue) return true;
    if (type_ == TypeFalse) return false;
    throw WrongType(TypeTrue, type_);
}

int64_t JSONValue::asInt64() const {
    if (type_ == TypeInt) return payload_.i;
    if (type_ != TypeUInt) throw WrongType(TypeInt, type_);
    if (payload_.u > static_cast<uint64_t>(INT64_MAX)) throw Overflow(payload_.u, true, 8);
    return payload_.i;
}

double JSONValue::asDouble() const {
    switch (type_) {
        case TypeDouble: return payload_.d;
        case TypeUInt: return static_cast<double>(payload_.u);
        case TypeInt: return static_cast<double>(payload_.i);
        default: throw WrongType(TypeDouble, type_);
    }
}

JSONValue& JSONValue::operator[](const std::string& key) {
    checkType(TypeObject);
    return payload_.object->try_emplace(key).first->second;
}

JSONValue& JSONValue::operator[](const char* key) {
    checkType(TypeObject);
    Object& members = *payload_.object;
    const std::string_view wanted = key != nullptr ? std::string_view(key) : std::string_view();
    auto slot = members.lower_bound(wanted);
    if (slot == members.end() || slot->first != wanted) {
        slot = members.emplace_hint(slot, std::string(wanted), JSONValue());
    }
    return slot->second;
}

const JSONValue::Object& JSONValue::members() const {
    checkType(TypeObject);
    return *payload_.object;
}

std::size_t JSONValue::size() const {
    checkType(TypeArray);
    return payload_.array->size();
}

const JSONValue& JSONValue::at(uint64_t index) const {
    checkType(TypeArray);
    const Array& elements = *payload_.array;
    if (index >= elements.size()) throw OutOfRange(index, elements.size());
    return elements[index];
}

JSONValue& JSONValue::at(uint64_t index) {
    return const_cast<JSONValue&>(std::as_const(*this).at(index));
}

JSONValue& JSONValue::append(JSONValue&& value) {
    checkType(TypeArray);
    payload_.array->push_back(std::move(value));
    return payload_.array->back();
}

}  // namespace vq
