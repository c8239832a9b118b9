// The processor debug interface as the plug-in's target access sees it: the
// features text in 16-byte chunks, and the host's deliberate failures: reads
// that stop at unmapped memory, a missing features register, and an
// injected failure of every operation.
#include "kv_processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace kvhost {
namespace {

TEST(FeaturesTest, SixteenByteChunksAndAMissingRegister) {
    Processor core("cpu", ProcessorOptions{}, 1);
    EXPECT_NE(core.extendedFeatures().find("PC_MEMSPACE_REGNUM=" + std::to_string(core.RegisterNumber("PC_MEMSPACE"))),
              std::string::npos);
    core.SetExtendedFeatures("PC_MEMSPACE_R=12");  // sixteen characters: the NUL needs a second chunk
    plexa::SQOVITargetFeatures features{};
    ASSERT_EQ(core.debug().GetTargetFeatures(&features), 0u);
    plexa::SQOVIRegisterValue chunks[2]{};
    chunks[0].number = chunks[1].number = features.extendedFeaturesRegisterNumber;
    chunks[1].chunkIndex = 1;
    uint32_t got = 0;
    ASSERT_EQ(core.debug().ReadRegisters(2, chunks, &got, false), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunks[0].bytes), 16), "PC_MEMSPACE_R=12");
    EXPECT_EQ(chunks[1].bytes[0], 0u);
    core.SetHasFeaturesRegister(false);
    ASSERT_EQ(core.debug().GetTargetFeatures(&features), 0u);
    EXPECT_EQ(features.extendedFeaturesRegisterNumber, 0xFFFFFFFFu);
    EXPECT_EQ(features.pcRegisterNumber, core.RegisterNumber("PC"));
}

// Mapped: 0x1000..0x100B (12 bytes: 00 01 02 ... 0B).
TEST(MemoryTest, ReadsStopAtTheFirstUnmappedByte) {
    const struct {
        uint64_t address;
        uint32_t units, unitSize;
        bool partial;
        uint32_t status, unitsRead;
    } cases[] = {{0x1000, 1, 8, false, 0, 1}, {0x1004, 2, 4, false, 0, 2}, {0x1008, 1, 8, false, 1, 0},
                 {0x1004, 3, 4, false, 1, 2}, {0x1004, 3, 4, true, 0, 2},  {0x0FFF, 1, 1, true, 1, 0},
                 {0x100B, 2, 1, true, 0, 1},  {0x2000, 1, 4, false, 1, 0}};
    for (const auto& c : cases) {
        Processor core("cpu", ProcessorOptions{}, 1);
        core.WriteMemory("Guest", 0x1000, std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        core.SetPartialMemoryReads(c.partial);
        std::vector<uint8_t> data(64, 0xEE);
        uint32_t got = 99;
        const plexa::SQOVIAddress at{core.MemorySpaceId("Guest"), 0, c.address};
        EXPECT_EQ(core.debug().ReadMemory(at, c.units, c.unitSize, data.data(), &got, false), c.status) << c.address;
        EXPECT_EQ(got, c.unitsRead) << c.address;
        for (uint32_t i = 0; i < c.unitsRead * c.unitSize; ++i) EXPECT_EQ(data[i], c.address - 0x1000 + i);
    }
}

TEST(InjectedFailureTest, EachOperationFailsOnlyWhenToldTo) {
    Processor core("cluster0.cpu1", ProcessorOptions{}, 3);
    plexa::SQOVI2& d = core.debug();
    plexa::SQOVIRegisterValue values[2]{};
    values[0].number = core.RegisterNumber("SP");
    values[1].number = Processor::kFeaturesRegisterNumber;
    uint32_t got = 0;
    using Op = DebugOperation;
    const std::pair<DebugOperation, std::function<uint32_t()>> cases[] = {
        {Op::GetTargetFeatures, [&] { plexa::SQOVITargetFeatures f{}; return d.GetTargetFeatures(&f); }},
        {Op::GetTargetInfo, [&] { plexa::SQOVITargetInfo i{}; return d.GetTargetInfo(&i); }},
        {Op::CurrentTime, [&] { uint64_t now = 0; return d.CurrentTime(&now); }},
        {Op::ListRegisters, [&] { plexa::SQOVIRegisterInfo r[1]{}; return d.ListRegisters(plexa::kAllRegisterGroups, 0, 1, &got, r); }},
        {Op::ReadRegisters, [&] { return d.ReadRegisters(1, values, &got, false); }},
        {Op::ReadFeatureRegister, [&] { return d.ReadRegisters(2, values, &got, false); }},
        {Op::ListMemorySpaces, [&] { plexa::SQOVIMemorySpaceInfo s[1]{}; return d.ListMemorySpaces(0, 1, &got, s); }},
        {Op::ReadMemory, [&] { uint8_t b = 0; return d.ReadMemory({core.MemorySpaceId("Guest"), 0, 0}, 1, 1, &b, &got, false); }},
    };
    core.WriteMemory("Guest", 0, std::vector<uint8_t>{7});
    core.SetRegister("SP", 0x123456);
    for (const auto& [operation, call] : cases) {
        ASSERT_EQ(call(), plexa::kStatusOk) << static_cast<int>(operation);
        core.SetFailing(operation, true);
        EXPECT_EQ(call(), plexa::kStatusFailure) << static_cast<int>(operation);
        core.SetFailing(operation, false);
    }
    EXPECT_EQ(values[0].bytes[0] | values[0].bytes[1] << 8 | values[0].bytes[2] << 16, 0x123456);
    core.SetFailing(DebugOperation::ReadFeatureRegister, true);
    EXPECT_EQ(d.ReadRegisters(2, values, &got, false), plexa::kStatusFailure);
    EXPECT_EQ(got, 1u);  // the register before the features register was read
}

}  // namespace
}  // namespace kvhost
