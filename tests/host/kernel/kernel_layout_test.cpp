// The offsets text the plug-in's Linux driver parses: for a real kernel
// build, and the 32-bit form with its 26th value after a blank. (What the
// image lays out at those offsets is read back by the driver's own tests.)
#include "kernel_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace kvhost {
namespace {

TEST(KernelLayoutTest, OffsetsTextTheDriverParses) {
    EXPECT_EQ(KernelLayout::Debian510CloudArm64().Text(true),
              "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16");
    // As kernel-layout reads them from that build's BTF.
    const KernelLayout debian61 = KernelLayout::Debian61CloudArm64();
    EXPECT_EQ(debian61.Text(true), "24,1280,0,1208,1352,1356,1912,16,816,16,8,0,32,24,8,0,8,112,104,0,0,0,0,0,0");
    EXPECT_EQ(debian61.MapleText(), "0,8,8,128,248,8,80,240");
    const std::string text = KernelLayout::Synthetic32().Text(false);
    EXPECT_EQ(text.substr(text.rfind(',', text.size() - 2)), ",8 12,");
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 25);
}

}  // namespace
}  // namespace kvhost
