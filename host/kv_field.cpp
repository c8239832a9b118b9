#include "kv_field.h"

#include <utility>

namespace kvhost {

namespace {

FieldShape ShapeOf(std::string name, uint32_t type, uint32_t size, std::string description) {
    FieldShape shape;
    shape.name = std::move(name);
    shape.type = type;
    shape.size = size;
    shape.description = std::move(description);
    return shape;
}

}  // namespace

FieldShape Unsigned(std::string name, uint32_t size, std::string description) {
    return ShapeOf(std::move(name), ZVT::UNSIGNED_INT, size, std::move(description));
}

FieldShape Signed(std::string name, uint32_t size, std::string description) {
    return ShapeOf(std::move(name), ZVT::SIGNED_INT, size, std::move(description));
}

FieldShape Boolean(std::string name, std::string description) {
    return ShapeOf(std::move(name), ZVT::BOOL, 1, std::move(description));
}

FieldShape Enum(std::string name, uint32_t size, std::vector<EnumEntry> constants,
               std::string description) {
    FieldShape shape = ShapeOf(std::move(name), ZVT::ENUM, size, std::move(description));
    shape.constants = std::move(constants);
    return shape;
}

FieldShape Float(std::string name, std::string description) {
    return ShapeOf(std::move(name), ZVT::FLOAT, 8, std::move(description));
}

FieldShape Text(std::string name, std::string description) {
    return ShapeOf(std::move(name), ZVT::STRING, 8, std::move(description));
}

FieldShape LocalTime() {
    return Signed("LOCAL_TIME", 8, "Event time as an offset in scheduler ticks");
}

Field::Field(uint32_t index, FieldShape shape) : index_(index), shape_(std::move(shape)) {
    constants_.reserve(shape_.constants.size());
    for (const EnumEntry& entry : shape_.constants) {
        constants_.push_back(ZVT::EnumConstant{entry.value, entry.name.c_str()});
    }
}

plexa::CAInterface* Field::LookupInterface(const char*, uint32_t, uint32_t*) {
    return nullptr;  // a field answers no interface names
}

ZVT::EnumConstant Field::EnumConstantAt(uint32_t index) {
    if (index >= constants_.size()) return ZVT::EnumConstant{0, ""};
    return constants_[index];
}

uint32_t Field::slotSize() const {
    uint32_t bytes = valueSize();
    if (bytes < 8) bytes = 8;  // FLOAT and STRING values take 8 bytes whatever Size() says
    return (bytes + 7u) & ~7u;
}

}  // namespace kvhost
