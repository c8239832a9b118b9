// The incremental target readers: resume after a failed read, the per-call
// length limit, and completion.
#include "os/linux/target_readers.h"

#include <gtest/gtest.h>

#include "kv_processor.h"

namespace vantric {
namespace {

TEST(TargetReadersTest, ReadsResumeWhereAFailedReadStopped) {
    kvhost::Processor cpu("cpu", kvhost::ProcessorOptions{true, true}, 1);
    const uint32_t space = cpu.MemorySpaceId("Guest");
    cpu.WriteText("Guest", 0x1000, std::string(100, 'p'));  // exactly the per-call limit
    TargetStringReader text(&cpu.debug(), space, 0x1000, 100);
    EXPECT_FALSE(text.Read());
    EXPECT_EQ(text.bytes().size(), 100u);
    EXPECT_TRUE(text.Read());  // the terminator is only seen on the next call
    EXPECT_EQ(text.bytes().size(), 100u);
    EXPECT_FALSE(TargetStringReader(nullptr, space, 0x1000, 100).Read());

    for (uint64_t i = 0; i < 3; ++i) cpu.Write64("Guest", 0x3000 + 8 * i, 0x1111 * (i + 1));
    TargetPointerArrayReader array(&cpu.debug(), space, 0x3000, 100);
    EXPECT_FALSE(array.Read());  // no terminating element yet
    cpu.Write64("Guest", 0x3018, 0);
    EXPECT_TRUE(array.Read());
    EXPECT_EQ(array.values(), (std::vector<uint64_t>{0x1111, 0x2222, 0x3333}));
}

}  // namespace
}  // namespace vantric
