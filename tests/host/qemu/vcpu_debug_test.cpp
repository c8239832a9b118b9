// The debug interface of a vCPU component as the plug-in uses it, over a
// fake guest: register lists and reads by number, the feature text, memory
// through the vCPU's translation and physical memory.
#include "vcpu_debug.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "vcpu_component.h"

namespace qemuhost {
namespace {

class FakeGuest final : public VcpuAccess {
public:
    std::map<std::pair<uint32_t, uint32_t>, uint64_t> registers;  // (thread, gdb number)
    bool ReadRegister(uint32_t thread, uint32_t number, std::array<uint8_t, 16>& value) override {
        value.fill(0);
        const auto it = registers.find({thread, number});
        if (it == registers.end()) return false;
        for (int i = 0; i < 8; ++i) value[static_cast<size_t>(i)] = static_cast<uint8_t>(it->second >> (8 * i));
        return true;
    }
    // Virtual memory of thread 2 is readable below 0x1010, bytes = low address byte.
    size_t ReadVirtual(uint32_t thread, uint64_t address, std::span<uint8_t> out) override {
        size_t n = 0;
        for (; n < out.size() && thread == 2 && address + n < 0x1010; ++n) out[n] = static_cast<uint8_t>(address + n);
        return n;
    }
    size_t ReadPhysical(uint64_t, std::span<uint8_t> out) override {
        std::fill(out.begin(), out.end(), 0xAB);
        return out.size();
    }
    uint64_t NowNanoseconds() override { return 1234; }
};

TargetDescription Description() {
    std::string xml;
    for (int i = 0; i <= 30; ++i) xml += "<reg name=\"x" + std::to_string(i) + "\" bitsize=\"64\"/>";
    xml += "<reg name=\"sp\" bitsize=\"64\"/><reg name=\"pc\" bitsize=\"64\"/><reg name=\"cpsr\" bitsize=\"32\"/>"
           "<reg name=\"SCTLR\" bitsize=\"64\" regnum=\"74\"/><reg name=\"VBAR\" bitsize=\"64\" regnum=\"104\"/>";
    TargetDescription description;
    std::string error;
    EXPECT_TRUE(description.AddFeature(xml, error)) << error;
    return description;
}

TEST(VcpuDebug, RegistersFeaturesAndMemoryAsThePluginReadsThem) {
    FakeGuest guest;
    const TargetDescription description = Description();
    VcpuRegisters registers;
    std::string missing;
    ASSERT_TRUE(registers.Choose(description, missing));
    EXPECT_FALSE(registers.Choose(TargetDescription(), missing));
    EXPECT_EQ(missing, "X0");
    ASSERT_TRUE(registers.Choose(description, missing));
    VcpuComponent vcpu("cluster0.cpu1", 2, 1, guest, registers);
    auto* debug = static_cast<plexa::SQOVI2*>(vcpu.LookupInterface(host_names::kDebugInterface, 0, nullptr));
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(vcpu.LookupInterface(host_names::kDebugInterface, 1, nullptr), nullptr);

    // Every register by name, in a batch smaller than the list.
    std::map<std::string, uint32_t> numbers;
    plexa::SQOVIRegisterInfo infos[5];
    for (uint32_t start = 0;; start += 5) {
        uint32_t count = 0;
        ASSERT_EQ(debug->ListRegisters(plexa::kAllRegisterGroups, start, 5, &count, infos), plexa::kStatusOk);
        if (count == 0) break;
        for (uint32_t i = 0; i < count; ++i) numbers[infos[i].name] = infos[i].number;
    }
    EXPECT_EQ(numbers.size(), 34u + 3u);  // core, SCTLR_EL1, VBAR_EL1, PC_MEMSPACE
    EXPECT_EQ(numbers.at("PC"), 32u);
    EXPECT_EQ(numbers.at("SCTLR_EL1"), 74u);
    EXPECT_EQ(numbers.count("TTBR0_EL1"), 0u);  // not described, not listed

    guest.registers[{2, 32}] = 0xffff800008bb50f0ull;
    plexa::SQOVIRegisterValue values[2] = {};
    values[0].number = numbers.at("PC");
    values[1].number = numbers.at("PC_MEMSPACE");
    uint32_t read = 0;
    ASSERT_EQ(debug->ReadRegisters(2, values, &read, false), plexa::kStatusOk);
    EXPECT_EQ(read, 2u);
    uint64_t pc = 0;
    std::memcpy(&pc, values[0].bytes, 8);
    EXPECT_EQ(pc, 0xffff800008bb50f0ull);
    EXPECT_EQ(values[1].bytes[0], VcpuDebug::kGuestSpace);
    values[0].number = numbers.at("X3");  // the guest cannot read it
    EXPECT_EQ(debug->ReadRegisters(1, values, &read, false), plexa::kStatusFailure);
    values[0].number = 999;
    EXPECT_EQ(debug->ReadRegisters(1, values, &read, false), plexa::kStatusInvalidArgument);

    // The feature text, 16 bytes a chunk, names the PC_MEMSPACE register.
    plexa::SQOVITargetFeatures features;
    ASSERT_EQ(debug->GetTargetFeatures(&features), plexa::kStatusOk);
    std::string text;
    for (uint32_t chunk = 0; chunk < 8; ++chunk) {
        plexa::SQOVIRegisterValue value{};
        value.number = features.extendedFeaturesRegisterNumber;
        value.chunkIndex = chunk;
        ASSERT_EQ(debug->ReadRegisters(1, &value, &read, false), plexa::kStatusOk);
        text.append(reinterpret_cast<const char*>(value.bytes), strnlen(reinterpret_cast<const char*>(value.bytes), 16));
    }
    EXPECT_EQ(text, "HOST_MODEL=QEMU:PC_MEMSPACE_REGNUM=" + std::to_string(numbers.at("PC_MEMSPACE")));

    // Memory: whole units only, partial reads fail with the count.
    uint8_t bytes[16] = {};
    uint32_t units = 0;
    EXPECT_EQ(debug->ReadMemory({VcpuDebug::kGuestSpace, 0, 0x1000}, 4, 4, bytes, &units, false), plexa::kStatusOk);
    EXPECT_EQ(units, 4u);
    EXPECT_EQ(bytes[5], 0x05);
    EXPECT_EQ(debug->ReadMemory({VcpuDebug::kGuestSpace, 0, 0x1008}, 4, 4, bytes, &units, false),
              plexa::kStatusFailure);
    EXPECT_EQ(units, 2u);
    EXPECT_EQ(debug->ReadMemory({VcpuDebug::kPhysicalSpace, 0, 0x40000000}, 1, 8, bytes, &units, false),
              plexa::kStatusOk);
    EXPECT_EQ(bytes[7], 0xAB);
    EXPECT_EQ(debug->ReadMemory({7, 0, 0}, 1, 8, bytes, &units, false), plexa::kStatusInvalidArgument);
    uint64_t now = 0;
    ASSERT_EQ(debug->CurrentTime(&now), plexa::kStatusOk);
    EXPECT_EQ(now, 1234u);
}

TEST(VcpuComponent, OffersTheSourcesThePluginSubscribes) {
    FakeGuest guest;
    VcpuRegisters registers;
    std::string missing;
    ASSERT_TRUE(registers.Choose(Description(), missing));
    VcpuComponent vcpu("cluster0.cpu0", 1, 0, guest, registers);
    for (const char* source : {"PERIODIC", "SYSCALL", "RUN_STATE", "MODE_CHANGE", "BRA_DIR", "SYSREG_WRITE64",
                               "EXCEPTION", "CP15_WRITE"}) {
        EXPECT_NE(vcpu.FindTraceSource(source), nullptr) << source;
    }
    // Mode and run state reach the plug-in only when they change.
    vcpu.EmitModeIfChanged(0x05);
    vcpu.EmitModeIfChanged(0x05);
    vcpu.EmitModeIfChanged(0x00);
    vcpu.EmitRunStateIfChanged(VcpuComponent::kRunning);
    vcpu.EmitRunStateIfChanged(VcpuComponent::kRunning);
    EXPECT_EQ(vcpu.events(), 3u);
}

}  // namespace
}  // namespace qemuhost
