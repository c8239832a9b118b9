// Messages of the accessor failures; their texts are read by users in
// configuration error lines, so they are fixed.
#include <string>
#include <utility>

#include "json/json_value.h"

namespace vq {

namespace {

std::string integerTypeName(bool isSigned, uint32_t widthBytes) {
    return std::string(isSigned ? "" : "u") + "int" + std::to_string(widthBytes * 8u);
}

}  // namespace

JSONValue::SerializationException::SerializationException(std::string message)
    : message_(std::make_shared<const std::string>(std::move(message))) {}

const char* JSONValue::SerializationException::what() const noexcept { return message_->c_str(); }

JSONValue::WrongType::WrongType(Type requested, Type actual)
    : SerializationException(std::string("tried to access value of type ") + typeName(actual) + " as " +
                             typeName(requested)) {}

JSONValue::Overflow::Overflow(uint64_t value, bool isSigned, uint32_t widthBytes)
    : SerializationException("Value " + std::to_string(value) + " is too large for " +
                             integerTypeName(isSigned, widthBytes)) {}

JSONValue::Underflow::Underflow(int64_t value, uint32_t widthBytes)
    : SerializationException("Value " + std::to_string(value) + " is too small for " +
                             integerTypeName(false, widthBytes)) {}

JSONValue::OutOfRange::OutOfRange(uint64_t index, uint64_t size)
    : SerializationException("JSON array index out of range (index " + std::to_string(index) +
                             " but array size " + std::to_string(size) + ")") {}

}  // namespace vq
