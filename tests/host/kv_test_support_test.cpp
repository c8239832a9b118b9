#include "kv_test_support.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kvhost
