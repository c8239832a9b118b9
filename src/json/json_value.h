// In-memory form of a JSON document, as read from every configuration file.
//
// Callers navigate a value with checked accessors: a wrong type or an
// out-of-range number throws one of the exception classes below, all derived
// from JSONValue::SerializationException, so a caller can catch the base and
// fall back to a default.
//
// Containers are owned through raw pointers in a one-word payload so that a
// value stays 16 bytes; copying, assignment and destruction walk nested
// containers with a heap work list rather than recursion, so a document nested
// a million levels deep neither overflows the caller's stack when it is copied
// nor when it is destroyed.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace vq {

class JSONValue {
public:
    enum Type : uint32_t {
        TypeString = 0,
        TypeUInt = 1,    // every integer >= 0
        TypeInt = 2,     // only integers < 0
        TypeDouble = 3,  // numbers with a fraction, or outside both integer ranges
        TypeObject = 4,
        TypeArray = 5,
        TypeTrue = 6,
        TypeFalse = 7,
        TypeNull = 8,
    };

    // Members in ascending byte order of their keys (std::string compares as
    // unsigned bytes), whatever order the file had.
    using Object = std::map<std::string, JSONValue, std::less<>>;
    using Array = std::vector<JSONValue>;

    // Base of every accessor failure; what() is the fixed message.
    class SerializationException : public std::exception {
    public:
        explicit SerializationException(std::string message);
        const char* what() const noexcept override;

    private:
        // Shared so that copying an exception never allocates.
        std::shared_ptr<const std::string> message_;
    };

    // "tried to access value of type <actual> as <requested>"
    class WrongType : public SerializationException {
    public:
        WrongType(Type requested, Type actual);
    };

    // "Value <v> is too large for uint32" (width given in bytes).
    class Overflow : public SerializationException {
    public:
        Overflow(uint64_t value, bool isSigned, uint32_t widthBytes);
    };

    // "Value <v> is too small for uint64" (width given in bytes).
    class Underflow : public SerializationException {
    public:
        Underflow(int64_t value, uint32_t widthBytes);
    };

    // "JSON array index out of range (index <i> but array size <n>)"
    class OutOfRange : public SerializationException {
    public:
        OutOfRange(uint64_t index, uint64_t size);
    };

    // Null.
    JSONValue() noexcept = default;
    explicit JSONValue(bool value) noexcept;
    explicit JSONValue(int64_t value) noexcept;
    explicit JSONValue(uint64_t value) noexcept;
    // Other integer types go to the signed or unsigned 64-bit form.
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, int64_t> && !std::same_as<T, uint64_t>)
    explicit JSONValue(T value) noexcept
        : JSONValue(static_cast<std::conditional_t<std::is_signed_v<T>, int64_t, uint64_t>>(value)) {}
    // An integral x is stored as an integer when it fits (-0.0 becomes 0);
    // anything else, including infinities and NaN, stays a double.
    explicit JSONValue(double value) noexcept;
    // Takes over the text; the source is left empty.
    explicit JSONValue(std::string&& text);
    explicit JSONValue(const char* text);

    static JSONValue makeObject();
    static JSONValue makeArray(std::size_t count = 0);  // count null elements

    JSONValue(const JSONValue& other);  // deep copy
    JSONValue(JSONValue&& other) noexcept;
    // Deep-copies the source; the target's old payload is freed afterwards,
    // so assigning a value's own member to it is safe.
    JSONValue& operator=(const JSONValue& other);
    JSONValue& operator=(JSONValue&& other) noexcept;
    ~JSONValue();

    Type type() const noexcept { return type_; }
    static const char* typeName(Type type) noexcept;

    // Checked accessors: the type is checked first (WrongType), then the range.
    const std::string& asString() const;
    std::string& asString();
    uint32_t asUInt32() const;
    uint64_t asUInt64() const;
    bool asBool() const;
    // Beyond what the configuration readers use, for tools and tests: a signed
    // view of either integer tag (Overflow above 2^63-1), and any number as a
    // double (requested type shown as "floating point").
    int64_t asInt64() const;
    double asDouble() const;
    // Object member; an absent key is first inserted with a null value.
    JSONValue& operator[](const std::string& key);
    JSONValue& operator[](const char* key);
    // Object members for iteration, in key order.
    const Object& members() const;
    // Array element count, element access and appending.
    std::size_t size() const;
    const JSONValue& at(uint64_t index) const;
    JSONValue& at(uint64_t index);
    JSONValue& append(JSONValue&& value);

private:
    void checkType(Type requested) const;
    void swap(JSONValue& other) noexcept;
    // Frees the payload, whatever its depth, and leaves the value null.
    void release() noexcept;

    Type type_ = TypeNull;
    union Payload {
        uint64_t u;
        int64_t i;
        double d;
        std::string* string;
        Object* object;
        Array* array;
    } payload_{0};
};

}  // namespace vq
