#include "vcpu_debug.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qemuhost {
namespace {

template <size_t N>
void CopyText(char (&destination)[N], std::string_view text) {
    std::memset(destination, 0, N);
    std::memcpy(destination, text.data(), std::min(text.size(), N - 1));
}

struct Space {
    uint32_t id;
    const char* name;
    const char* description;
};
constexpr Space kSpaces[] = {
    {VcpuDebug::kGuestSpace, "Guest", "Virtual addresses through this vCPU's translation tables"},
    {VcpuDebug::kPhysicalSpace, "Physical", "Guest physical addresses"},
};

}  // namespace

VcpuDebug::VcpuDebug(VcpuAccess& access, const VcpuRegisters& registers, uint32_t thread,
                     uint32_t index, std::string name)
    : access_(access), registers_(registers), thread_(thread), index_(index), name_(std::move(name)) {
    features_ = "HOST_MODEL=QEMU:PC_MEMSPACE_REGNUM=" + std::to_string(VcpuRegisters::kPcMemorySpace);
}

plexa::CAInterface* VcpuDebug::LookupInterface(const char* name, uint32_t minimumRevision,
                                               uint32_t* actualRevision) {
    if (name == nullptr || std::strcmp(name, host_names::kDebugInterface) != 0 || minimumRevision > 0) {
        return nullptr;
    }
    if (actualRevision != nullptr) *actualRevision = 0;
    return this;
}

uint32_t VcpuDebug::GetTargetFeatures(plexa::SQOVITargetFeatures* features) {
    if (features == nullptr) return plexa::kStatusNullArgument;
    std::memset(features, 0, sizeof *features);
    CopyText(features->targetName, "QEMU-AArch64");
    CopyText(features->targetVersion, "gdbstub");
    features->registerGroupCount = 2;
    features->memorySpaceCount = std::size(kSpaces);
    features->pcRegisterNumber = registers_.Number("PC").value_or(0xFFFFFFFFu);
    features->extendedFeaturesRegisterNumber = VcpuRegisters::kFeatures;
    features->handlesBreakpoints = 0;
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::GetTargetInfo(plexa::SQOVITargetInfo* info) {
    if (info == nullptr) return plexa::kStatusNullArgument;
    std::memset(info, 0, sizeof *info);
    info->id = index_ + 1;
    CopyText(info->targetName, "QEMU-AArch64");
    CopyText(info->vendor, "QEMU");
    CopyText(info->version, "gdbstub");
    CopyText(info->description, "A vCPU of qemu-system-aarch64, read through its gdbstub");
    CopyText(info->type, "Core");
    info->processorCount = 1;
    info->executionStateCount = 1;
    CopyText(info->instancePath, name_);
    info->hasSimulatedTime = 0;
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::CurrentTime(uint64_t* nanoseconds) {
    if (nanoseconds == nullptr) return plexa::kStatusNullArgument;
    *nanoseconds = access_.NowNanoseconds();
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::ListRegisters(uint32_t groupId, uint32_t startIndex, uint32_t desiredCount,
                                  uint32_t* actualCount, plexa::SQOVIRegisterInfo* registers) {
    if (actualCount == nullptr || (registers == nullptr && desiredCount > 0)) return plexa::kStatusNullArgument;
    *actualCount = 0;
    if (groupId != plexa::kAllRegisterGroups && groupId > 1) return plexa::kStatusInvalidArgument;
    uint32_t position = 0;
    for (const ExposedRegister& reg : registers_.registers()) {
        if (*actualCount == desiredCount) break;
        if (groupId != plexa::kAllRegisterGroups && reg.group != groupId) continue;
        if (position++ < startIndex) continue;
        plexa::SQOVIRegisterInfo& out = registers[(*actualCount)++];
        std::memset(&out, 0, sizeof out);
        out.number = reg.number;
        out.groupId = reg.group;
        out.bitsWide = reg.bits;
        CopyText(out.name, reg.name);
        CopyText(out.description, reg.group == 0 ? "Core register" : "System register");
    }
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::ReadRegisters(uint32_t count, plexa::SQOVIRegisterValue* registers,
                                  uint32_t* actualCount, bool) {
    if (actualCount == nullptr || (registers == nullptr && count > 0)) return plexa::kStatusNullArgument;
    *actualCount = 0;
    for (uint32_t i = 0; i < count; ++i) {
        plexa::SQOVIRegisterValue& value = registers[i];
        value.isUndefined = 0;
        std::memset(value.reserved, 0, sizeof value.reserved);
        std::memset(value.bytes, 0, sizeof value.bytes);
        if (value.number == VcpuRegisters::kFeatures) {
            // The text and its NUL, 16 bytes a chunk.
            const size_t begin = static_cast<size_t>(value.chunkIndex) * 16;
            if (begin < features_.size()) {
                std::memcpy(value.bytes, features_.data() + begin, std::min<size_t>(16, features_.size() - begin));
            }
        } else if (value.number == VcpuRegisters::kPcMemorySpace) {
            if (value.chunkIndex != 0) return plexa::kStatusInvalidArgument;
            value.bytes[0] = kGuestSpace;
        } else {
            if (registers_.Find(value.number) == nullptr || value.chunkIndex != 0) {
                return plexa::kStatusInvalidArgument;
            }
            std::array<uint8_t, 16> bytes{};
            if (!access_.ReadRegister(thread_, value.number, bytes)) return plexa::kStatusFailure;
            std::memcpy(value.bytes, bytes.data(), sizeof value.bytes);
        }
        ++*actualCount;
    }
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::ListMemorySpaces(uint32_t startIndex, uint32_t desiredCount, uint32_t* actualCount,
                                     plexa::SQOVIMemorySpaceInfo* spaces) {
    if (actualCount == nullptr || (spaces == nullptr && desiredCount > 0)) return plexa::kStatusNullArgument;
    *actualCount = 0;
    for (size_t i = startIndex; i < std::size(kSpaces) && *actualCount < desiredCount; ++i) {
        plexa::SQOVIMemorySpaceInfo& out = spaces[(*actualCount)++];
        std::memset(&out, 0, sizeof out);
        out.id = kSpaces[i].id;
        out.bitsPerUnit = 8;
        out.minAddress = 0;
        out.maxAddress = ~uint64_t{0};
        CopyText(out.name, kSpaces[i].name);
        CopyText(out.description, kSpaces[i].description);
    }
    return plexa::kStatusOk;
}

uint32_t VcpuDebug::ReadMemory(plexa::SQOVIAddress start, uint32_t unitCount, uint32_t unitSizeInBytes,
                               uint8_t* data, uint32_t* actualUnitCount, bool) {
    if (actualUnitCount == nullptr || (data == nullptr && unitCount > 0)) return plexa::kStatusNullArgument;
    *actualUnitCount = 0;
    if (unitSizeInBytes == 0 || (start.memorySpace != kGuestSpace && start.memorySpace != kPhysicalSpace)) {
        return plexa::kStatusInvalidArgument;
    }
    const uint64_t bytes = uint64_t{unitCount} * unitSizeInBytes;
    if (bytes > (uint64_t{1} << 24)) return plexa::kStatusInvalidArgument;  // far above any structure read
    const std::span<uint8_t> out(data, static_cast<size_t>(bytes));
    const size_t read = start.memorySpace == kGuestSpace ? access_.ReadVirtual(thread_, start.address, out)
                                                          : access_.ReadPhysical(start.address, out);
    *actualUnitCount = static_cast<uint32_t>(read / unitSizeInBytes);
    return *actualUnitCount == unitCount ? plexa::kStatusOk : plexa::kStatusFailure;
}

}  // namespace qemuhost
