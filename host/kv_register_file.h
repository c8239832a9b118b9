// The registers of a simulated core as its debug interface lists them: a
// fixed order, numbers that differ from list positions (so a caller that
// confuses the two reads the wrong register), groups, and up to 128-bit values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvhost {

struct Register {
    uint32_t number = 0;
    uint32_t groupId = 0;
    uint32_t bitsWide = 64;
    std::string name;
    std::string description;
    std::array<uint8_t, 16> value{};  // little-endian, bits 0 to 127
};

class RegisterFile {
public:
    static constexpr uint32_t kFirstNumber = 0x40;
    static constexpr uint32_t kNoRegister = 0xFFFFFFFFu;

    // Appends a register numbered kFirstNumber + its list position.
    uint32_t Add(std::string name, std::string description, uint32_t groupId, uint32_t bitsWide);

    size_t size() const { return registers_.size(); }
    const Register& at(size_t position) const { return registers_.at(position); }
    uint32_t NumberOf(std::string_view name) const;  // kNoRegister when absent
    Register* ByNumber(uint32_t number);
    Register* ByName(std::string_view name);

    // Stores `value` masked to the register's width (registers up to 64 bits).
    static void Store(Register& reg, uint64_t value);
    static uint64_t Load(const Register& reg);

private:
    std::vector<Register> registers_;
};

}  // namespace kvhost
