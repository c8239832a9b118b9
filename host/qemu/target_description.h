// The registers of a target as its gdbstub describes them in
// qXfer:features:read documents: target.xml names feature documents with
// xi:include, each lists <reg name=.. bitsize=.. [regnum=..]/>. A register
// without regnum takes the number after the previous one, across documents
// in include order, as gdb numbers them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qemuhost {

struct RegisterDescription {
    std::string name;     // as the document spells it
    uint32_t number = 0;  // the number 'p' takes
    uint32_t bits = 0;
};

class TargetDescription {
public:
    static constexpr size_t kMaxRegisters = 8192;

    // Adds the registers of one document; false with `error` set for a
    // malformed <reg> element.
    bool AddFeature(std::string_view xml, std::string& error);
    // The documents a target.xml includes, in order.
    static std::vector<std::string> Includes(std::string_view xml);

    // Case does not matter: the core document says "x0", QEMU's system
    // register document "TTBR0_EL1". Null when absent.
    const RegisterDescription* Find(std::string_view name) const;
    // The first of several names that is present (QEMU 7 calls SCTLR_EL1 "SCTLR").
    const RegisterDescription* FindAny(std::initializer_list<std::string_view> names) const;
    const std::vector<RegisterDescription>& registers() const { return registers_; }

private:
    std::vector<RegisterDescription> registers_;
    uint32_t next_ = 0;
};

}  // namespace qemuhost
