#include "kv_field.h"

#include <utility>

namespace kvhost {

namespace {

FieldSpec MakeSpec(std::string name, uint32_t type, uint32_t size, std::string description) {
    FieldSpec fieldSpec;
    fieldSpec.name = std::move(name);
    fieldSpec.type = type;
    fieldSpec.size = size;
    fieldSpec.description = std::move(description);
    return fieldSpec;
}

}  // namespace

FieldSpec Unsigned(std::string name, uint32_t size, std::string description) {
    return MakeSpec(std::move(name), ZVT::UNSIGNED_INT, size, std::move(description));
}

FieldSpec Signed(std::string name, uint32_t size, std::string description) {
    return MakeSpec(std::move(name), ZVT::SIGNED_INT, size, std::move(description));
}

FieldSpec Boolean(std::string name, std::string description) {
    return MakeSpec(std::move(name), ZVT::BOOL, 1, std::move(description));
}

FieldSpec Enum(std::string name, uint32_t size, std::vector<EnumEntry> constants,
               std::string description) {
    FieldSpec fieldSpec = MakeSpec(std::move(name), ZVT::ENUM, size, std::move(description));
    fieldSpec.constants = std::move(constants);
    return fieldSpec;
}

FieldSpec Float(std::string name, std::string description) {
    return MakeSpec(std::move(name), ZVT::FLOAT, 8, std::move(description));
}

FieldSpec Text(std::string name, std::string description) {
    return MakeSpec(std::move(name), ZVT::STRING, 8, std::move(description));
}

FieldSpec LocalTime() {
    return Signed("LOCAL_TIME", 8, "Event time as an offset in scheduler ticks");
}

Field::Field(uint32_t index, FieldSpec fieldSpec) : index_(index), fieldSpec_(std::move(fieldSpec)) {
    constants_.reserve(fieldSpec_.constants.size());
    for (const EnumEntry& entry : fieldSpec_.constants) {
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
