// The incremental target readers: resume after a failed read, the per-call
// length limit, and completion.
#include "os/linux/target_readers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kv_processor.h"

namespace vantric {
namespace {

class TargetReadersTest : public ::testing::Test {
protected:
    TargetReadersTest() : cpu_("cpu", kvhost::ProcessorOptions{true, true}, 1) {
        space_ = cpu_.MemorySpaceId("Guest");
    }
    void WriteBytes(uint64_t address, const std::string& bytes) {
        cpu_.WriteMemory("Guest", address, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }

    kvhost::Processor cpu_;
    uint32_t space_;
};

TEST_F(TargetReadersTest, StringResumesWhereAFailedReadStopped) {
    WriteBytes(0x1000, "hello");  // no terminator yet, then unmapped memory
    TargetStringReader reader(&cpu_.debug(), space_, 0x1000, 100);
    EXPECT_FALSE(reader.Read());
    EXPECT_EQ(reader.bytes(), "hello");
    WriteBytes(0x1005, std::string("world\0", 6));
    EXPECT_TRUE(reader.Read());
    EXPECT_EQ(reader.bytes(), "helloworld");
    WriteBytes(0x1000, "HELLO");
    EXPECT_TRUE(reader.Read());  // complete: nothing is read again
    EXPECT_EQ(reader.bytes(), "helloworld");
}

TEST_F(TargetReadersTest, StringLengthLimitPerCall) {
    struct Case {
        size_t length;
        bool completeAfterFirst;
        size_t heldAfterSecond;
    };
    // maxLength bytes per call; the terminator of a string of exactly
    // maxLength bytes is only seen on the next call.
    const Case cases[] = {{99, true, 99}, {100, false, 100}, {101, false, 101}, {150, false, 101}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        cpu_.WriteText("Guest", 0x2000, std::string(c.length, 'p'));
        TargetStringReader reader(&cpu_.debug(), space_, 0x2000, 100);
        EXPECT_EQ(reader.Read(), c.completeAfterFirst);
        EXPECT_EQ(reader.bytes().size(), std::min<size_t>(c.length, 100));
        EXPECT_TRUE(reader.Read());
        EXPECT_EQ(reader.bytes().size(), c.heldAfterSecond);
    }
}

TEST_F(TargetReadersTest, StringReadFailsWithoutADebugInterfaceOrMemory) {
    TargetStringReader none(nullptr, space_, 0x1000, 100);
    EXPECT_FALSE(none.Read());
    TargetStringReader unmapped(&cpu_.debug(), space_, 0x9000, 100);
    EXPECT_FALSE(unmapped.Read());
    EXPECT_EQ(unmapped.bytes(), "");
    TargetStringReader wrongSpace(&cpu_.debug(), 77, 0x1000, 100);
    WriteBytes(0x1000, std::string("x\0", 2));
    EXPECT_FALSE(wrongSpace.Read());
}

TEST_F(TargetReadersTest, PointerArrayReadsEightByteElementsUntilZero) {
    for (uint64_t i = 0; i < 3; ++i) cpu_.Write64("Guest", 0x3000 + 8 * i, 0x1111 * (i + 1));
    TargetPointerArrayReader reader(&cpu_.debug(), space_, 0x3000, 100);
    EXPECT_FALSE(reader.Read());  // no terminating element yet
    EXPECT_EQ(reader.values(), (std::vector<uint64_t>{0x1111, 0x2222, 0x3333}));
    // A partly mapped element is a failed read too.
    cpu_.WriteMemory("Guest", 0x3018, std::vector<uint8_t>{0, 0, 0, 0});
    EXPECT_FALSE(reader.Read());
    cpu_.Write64("Guest", 0x3018, 0);
    EXPECT_TRUE(reader.Read());
    EXPECT_EQ(reader.values().size(), 3u);

    cpu_.Write64("Guest", 0x4000, 0);
    TargetPointerArrayReader empty(&cpu_.debug(), space_, 0x4000, 100);
    EXPECT_TRUE(empty.Read());
    EXPECT_TRUE(empty.values().empty());
}

}  // namespace
}  // namespace vantric
