// The processor debug interface as the plug-in's target-access helpers use
// it: register listing in pages, register values and feature chunks, memory
// spaces, memory reads at the edge of mapped memory, target information.
#include "kv_processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kvhost {
namespace {

// Every register description, fetched `page` at a time.
std::vector<plexa::SQOVIRegisterInfo> ListAll(plexa::SQOVI2& debug, uint32_t page) {
    std::vector<plexa::SQOVIRegisterInfo> all;
    std::vector<plexa::SQOVIRegisterInfo> batch(page);
    for (uint32_t start = 0;; start += page) {
        uint32_t got = 99;
        EXPECT_EQ(debug.ListRegisters(plexa::kAllRegisterGroups, start, page, &got, batch.data()),
                  0u);
        if (got == 0) break;
        EXPECT_LE(got, page);
        all.insert(all.end(), batch.begin(), batch.begin() + got);
    }
    return all;
}

std::vector<std::string> Expected(bool is64) {
    std::vector<std::string> names;
    if (is64) {
        for (int i = 0; i <= 30; ++i) names.push_back("X" + std::to_string(i));
        names.insert(names.end(), {"SP", "PC", "CPSR", "SP_EL1", "MIDR_EL1", "PC_MEMSPACE"});
    } else {
        for (int i = 0; i <= 15; ++i) names.push_back("R" + std::to_string(i));
        names.insert(names.end(), {"R13_svc", "CPSR", "CPUID", "PC_MEMSPACE"});
    }
    return names;
}

TEST(RegisterTest, FixedOrderWhateverThePageSizeAndNumbersAreNotPositions) {
    for (bool is64 : {true, false}) {
        Processor core("cpu", ProcessorOptions{is64, true}, 1);
        for (uint32_t page : {1u, 4u, 16u, 64u}) {
            std::vector<std::string> names;
            for (const auto& info : ListAll(core.debug(), page)) names.emplace_back(info.name);
            EXPECT_EQ(names, Expected(is64)) << page;
        }
        uint32_t got = 7;
        plexa::SQOVIRegisterInfo info{};
        EXPECT_EQ(core.debug().ListRegisters(plexa::kAllRegisterGroups, 1000, 1, &got, &info), 0u);
        EXPECT_EQ(got, 0u);
        const auto infos = ListAll(core.debug(), 16);
        const std::string name = is64 ? "X29" : "R11";
        core.SetRegister(name, 0x1234);
        for (size_t i = 0; i < infos.size(); ++i) {
            EXPECT_NE(infos[i].number, i);
            if (infos[i].name != name) continue;
            plexa::SQOVIRegisterValue value{};
            value.number = infos[i].number;
            ASSERT_EQ(core.debug().ReadRegisters(1, &value, &got, false), 0u);
            EXPECT_EQ(got, 1u);
            EXPECT_EQ(value.bytes[0] | value.bytes[1] << 8 | value.bytes[2] << 16, 0x1234);
        }
    }
}

std::string ReadFeatures(Processor& core, int* chunks) {
    plexa::SQOVITargetFeatures features{};
    EXPECT_EQ(core.debug().GetTargetFeatures(&features), 0u);
    std::string text;
    for (uint32_t chunk = 0;; ++chunk) {
        plexa::SQOVIRegisterValue value{};
        value.number = features.extendedFeaturesRegisterNumber;
        value.chunkIndex = chunk;
        uint32_t got = 0;
        EXPECT_EQ(core.debug().ReadRegisters(1, &value, &got, false), 0u);
        const char* bytes = reinterpret_cast<const char*>(value.bytes);
        const size_t length = strnlen(bytes, 16);
        text.append(bytes, length);
        if (length < 16) {
            *chunks = static_cast<int>(chunk) + 1;
            return text;
        }
    }
}

TEST(FeaturesTest, TextInSixteenByteChunks) {
    Processor core("cpu", ProcessorOptions{}, 1);
    int chunks = 0;
    const std::string text = ReadFeatures(core, &chunks);
    EXPECT_NE(text.find("PC_MEMSPACE_REGNUM=" + std::to_string(core.RegisterNumber("PC_MEMSPACE"))),
              std::string::npos);
    EXPECT_EQ(text, core.extendedFeatures());

    core.SetExtendedFeatures("PC_MEMSPACE_R=12");  // exactly 16 characters
    EXPECT_EQ(ReadFeatures(core, &chunks), "PC_MEMSPACE_R=12");
    EXPECT_EQ(chunks, 2);  // the NUL needs the second chunk

    core.SetHasFeaturesRegister(false);
    plexa::SQOVITargetFeatures features{};
    ASSERT_EQ(core.debug().GetTargetFeatures(&features), 0u);
    EXPECT_EQ(features.extendedFeaturesRegisterNumber, 0xFFFFFFFFu);
    EXPECT_EQ(features.pcRegisterNumber, core.RegisterNumber("PC"));
}

TEST(MemoryTest, SpacesByPlatformWidthAreSeparate) {
    for (bool is64 : {true, false}) {
        Processor core("cpu", ProcessorOptions{is64, true}, 1);
        plexa::SQOVIMemorySpaceInfo spaces[4]{};
        uint32_t got = 0;
        ASSERT_EQ(core.debug().ListMemorySpaces(0, 4, &got, spaces), 0u);
        ASSERT_EQ(got, 2u);
        const char* other = is64 ? "Guest" : "NS";
        EXPECT_STREQ(spaces[0].name, "Secure");
        EXPECT_STREQ(spaces[1].name, other);
        EXPECT_EQ(spaces[1].bitsPerUnit, 8u);
        EXPECT_EQ(spaces[1].id, core.MemorySpaceId(other));
        EXPECT_EQ(core.GetRegister("PC_MEMSPACE"), core.MemorySpaceId(is64 ? "Guest" : "Secure"));
        ASSERT_EQ(core.debug().ListMemorySpaces(2, 4, &got, spaces), 0u);
        EXPECT_EQ(got, 0u);

        core.Write32("Secure", 0x80, 0xCAFEF00D);
        core.WriteText(other, 0x80, "ab");
        uint32_t word = 0;
        auto* data = reinterpret_cast<uint8_t*>(&word);
        ASSERT_EQ(core.debug().ReadMemory({core.MemorySpaceId("Secure"), 0, 0x80}, 1, 4, data, &got,
                                          false),
                  0u);
        EXPECT_EQ(word, 0xCAFEF00Du);
        // "ab\0" is only three bytes.
        EXPECT_EQ(
            core.debug().ReadMemory({core.MemorySpaceId(other), 0, 0x80}, 1, 4, data, &got, false),
            1u);
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(core.debug().ReadMemory({77, 0, 0x80}, 1, 4, data, &got, false),
                  plexa::kStatusInvalidArgument);
    }
    Processor narrow("cpu", ProcessorOptions{false, true}, 1);
    EXPECT_THROW(narrow.Write64("Secure", 0xFFFFFFFC, 1), std::invalid_argument);  // ends at 4 GiB
}

// Mapped: 0x1000..0x100B (12 bytes: 00 01 02 ... 0B).
TEST(MemoryTest, ReadsStopAtTheFirstUnmappedByte) {
    const struct {
        uint64_t address;
        uint32_t units, unitSize;
        bool partial;
        uint32_t status, unitsRead;
    } cases[] = {{0x1000, 1, 8, false, 0, 1}, {0x1004, 2, 4, false, 0, 2},
                 {0x1008, 1, 8, false, 1, 0}, {0x1004, 3, 4, false, 1, 2},
                 {0x1004, 3, 4, true, 0, 2},  {0x0FFF, 1, 1, true, 1, 0},
                 {0x100B, 2, 1, true, 0, 1},  {0x2000, 1, 4, false, 1, 0}};
    for (const auto& c : cases) {
        Processor core("cpu", ProcessorOptions{}, 1);
        std::vector<uint8_t> bytes(12);
        for (uint8_t i = 0; i < 12; ++i) bytes[i] = i;
        core.WriteMemory("Guest", 0x1000, bytes);
        core.SetPartialMemoryReads(c.partial);
        std::vector<uint8_t> data(64, 0xEE);
        uint32_t got = 99;
        const plexa::SQOVIAddress at{core.MemorySpaceId("Guest"), 0, c.address};
        EXPECT_EQ(core.debug().ReadMemory(at, c.units, c.unitSize, data.data(), &got, false),
                  c.status)
            << c.address;
        EXPECT_EQ(got, c.unitsRead) << c.address;
        for (uint32_t i = 0; i < c.unitsRead * c.unitSize; ++i)
            EXPECT_EQ(data[i], c.address - 0x1000 + i);
    }
}

TEST(TargetTest, InfoTimeAndInjectedFailures) {
    Processor core("cluster0.cpu1", ProcessorOptions{}, 3);
    plexa::SQOVITargetInfo info{};
    ASSERT_EQ(core.debug().GetTargetInfo(&info), 0u);
    EXPECT_EQ(info.id, 3u);
    EXPECT_STREQ(info.instancePath, "cluster0.cpu1");
    core.SetCurrentTime(123456);
    uint64_t now = 0;
    ASSERT_EQ(core.debug().CurrentTime(&now), 0u);
    EXPECT_EQ(now, 123456u);
    core.SetFailing(DebugOperation::GetTargetInfo, true);
    EXPECT_EQ(core.debug().GetTargetInfo(&info), plexa::kStatusFailure);
    core.SetFailing(DebugOperation::ReadFeatureRegister, true);
    plexa::SQOVIRegisterValue values[2]{};
    values[0].number = core.RegisterNumber("SP");
    values[1].number = Processor::kFeaturesRegisterNumber;
    uint32_t got = 0;
    EXPECT_EQ(core.debug().ReadRegisters(2, values, &got, false), plexa::kStatusFailure);
    EXPECT_EQ(got, 1u);
}

}  // namespace
}  // namespace kvhost
