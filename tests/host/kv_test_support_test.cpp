#include "kv_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

namespace kvhost {
namespace {

TEST(StreamCaptureTest, CapturesBothStreamsAndRestoresThem) {
    std::streambuf* before = std::cerr.rdbuf();
    {
        StreamCapture capture;
        std::cout << "out line\n";
        std::cerr << "ERROR (Vantric) x" << std::endl;
        EXPECT_EQ(capture.out(), "out line\n");
        EXPECT_EQ(capture.err(), "ERROR (Vantric) x\n");
        capture.Clear();
        EXPECT_EQ(capture.err(), "");
    }
    EXPECT_EQ(std::cerr.rdbuf(), before);
}

TEST(TempDirectoryTest, RemovedWithItsContents) {
    std::filesystem::path kept;
    {
        TempDirectory scratch;
        kept = scratch.path();
        ASSERT_TRUE(std::filesystem::is_directory(kept));
        std::filesystem::create_directory(kept / "sub");
        std::ofstream(kept / "sub" / "file") << "x";
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace
}  // namespace kvhost
