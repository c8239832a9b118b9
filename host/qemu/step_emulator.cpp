#include "step_emulator.h"

namespace qemuhost {
namespace {

constexpr uint32_t kHintMask = 0xfffff01f;
constexpr uint32_t kHint = 0xd503201f;
constexpr uint32_t kBranchMask = 0xfc000000;
constexpr uint32_t kBranch = 0x14000000;

bool PointerAuthenticationHint(uint32_t number) {
    switch (number) {
    case 7:   // XPACLRI
    case 8:   // PACIA1716
    case 10:  // PACIB1716
    case 12:  // AUTIA1716
    case 14:  // AUTIB1716
        return true;
    default:
        return number >= 24 && number <= 31;  // PACIAZ .. AUTIBSP
    }
}

}  // namespace

std::optional<uint64_t> StepEmulator::NextPc(uint32_t instruction, uint64_t pc, bool pointerAuthentication) {
    if ((instruction & kHintMask) == kHint) {
        const uint32_t number = (instruction >> 5) & 0x7f;
        const bool bti = number >= 32 && number <= 38 && number % 2 == 0;
        if (number == 0 || bti) return pc + 4;  // NOP; BTI only checks where control came from
        if (PointerAuthenticationHint(number) && !pointerAuthentication) return pc + 4;
        return std::nullopt;
    }
    if ((instruction & kBranchMask) == kBranch) {
        // imm26, in instructions, sign-extended.
        const int64_t offset = static_cast<int64_t>(static_cast<int32_t>(instruction << 6) >> 6) * 4;
        return pc + static_cast<uint64_t>(offset);
    }
    return std::nullopt;
}

bool StepEmulator::HasPointerAuthentication(uint64_t isar1, uint64_t isar2) {
    const uint64_t apa = (isar1 >> 4) & 0xf;
    const uint64_t api = (isar1 >> 8) & 0xf;
    const uint64_t apa3 = (isar2 >> 12) & 0xf;
    return apa != 0 || api != 0 || apa3 != 0;
}

}  // namespace qemuhost
