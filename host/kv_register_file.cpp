#include "kv_register_file.h"

#include <cstring>
#include <utility>

namespace kvhost {

uint32_t RegisterFile::Add(std::string name, std::string description, uint32_t groupId,
                           uint32_t bitsWide) {
    Register reg;
    reg.number = kFirstNumber + static_cast<uint32_t>(registers_.size());
    reg.groupId = groupId;
    reg.bitsWide = bitsWide;
    reg.name = std::move(name);
    reg.description = std::move(description);
    registers_.push_back(std::move(reg));
    return registers_.back().number;
}

uint32_t RegisterFile::NumberOf(std::string_view name) const {
    for (const Register& reg : registers_) {
        if (reg.name == name) return reg.number;
    }
    return kNoRegister;
}

Register* RegisterFile::ByNumber(uint32_t number) {
    if (number < kFirstNumber || number - kFirstNumber >= registers_.size()) return nullptr;
    return &registers_[number - kFirstNumber];
}

Register* RegisterFile::ByName(std::string_view name) {
    for (Register& reg : registers_) {
        if (reg.name == name) return &reg;
    }
    return nullptr;
}

void RegisterFile::Store(Register& reg, uint64_t value) {
    if (reg.bitsWide < 64) value &= (uint64_t{1} << reg.bitsWide) - 1;
    reg.value.fill(0);
    std::memcpy(reg.value.data(), &value, sizeof value);
}

uint64_t RegisterFile::Load(const Register& reg) {
    uint64_t value = 0;
    std::memcpy(&value, reg.value.data(), sizeof value);
    return value;
}

}  // namespace kvhost
