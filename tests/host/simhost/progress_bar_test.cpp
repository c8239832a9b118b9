#include "progress_bar.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace simhost {
namespace {

TEST(ProgressBarFormat, BarShareCountAndRate) {
    EXPECT_EQ(ProgressBar::Format(0, 100, 1.0, 10), "[..........]   0%  0 instructions  0/s");
    EXPECT_EQ(ProgressBar::Format(52000000, 100000000, 2.0, 10),
              "[#####.....]  52%  52.0M instructions  26.0M/s");
    EXPECT_EQ(ProgressBar::Format(3000, 1000, 0.5, 4), "[####] 100%  3.0k instructions  6.0k/s");
    EXPECT_EQ(ProgressBar::Format(2500000000, 0, 0.0, 2), "[##] 100%  2.5G instructions  0/s");
}

TEST(ProgressBar, SilentWhenDisabledOrWithinTheFirstSecond) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        ProgressBar off(100, out, false);
        off.Update(50);
        ProgressBar on(100, out, true);
        on.Update(50);  // well within the first second
    }
    EXPECT_EQ(std::ftell(out), 0);
    std::fclose(out);
}

}  // namespace
}  // namespace simhost
