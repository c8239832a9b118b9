// The synthetic kernel image: what it lays out in target memory must be what
// a reader following the layout's offsets finds, including a valid
// red-black tree of memory areas.
#include "kernel_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kvhost {
namespace {

// Reads target memory the way the driver does: words of the core's width.
class TargetReader {
public:
    explicit TargetReader(KernelImage& image) : image_(image) {}

    uint64_t Bytes(uint64_t address, size_t size) {
        uint8_t bytes[8] = {};
        const uint64_t got = image_.cpu().Memory(image_.space()).Read(address, std::span(bytes, size));
        EXPECT_EQ(got, size) << "unmapped read at " << std::hex << address;
        uint64_t value = 0;
        for (size_t i = size; i-- > 0;) value = value << 8 | bytes[i];
        return value;
    }
    uint64_t Word(uint64_t address) { return Bytes(address, image_.wordSize()); }
    uint32_t U32(uint64_t address) { return static_cast<uint32_t>(Bytes(address, 4)); }
    std::string Text(uint64_t address, size_t max = 256) {
        std::string text;
        for (size_t i = 0; i < max; ++i) {
            const char c = static_cast<char>(Bytes(address + i, 1));
            if (c == 0) break;
            text += c;
        }
        return text;
    }
    // The path of a dentry, walked up to the self-parented root.
    std::string Path(uint64_t dentry) {
        const KernelLayout& l = image_.layout();
        std::string path;
        for (int guard = 0; guard < 64; ++guard) {
            const std::string name = Text(Word(dentry + l.dentryDName + l.qstrName));
            const uint64_t parent = Word(dentry + l.dentryDParent);
            if (parent == dentry) return path.empty() ? name : path;
            path = "/" + name + path;
            dentry = parent;
        }
        ADD_FAILURE() << "no root";
        return path;
    }

private:
    KernelImage& image_;
};

struct TreeCheck {
    std::vector<uint64_t> starts;  // in order
    int blackHeight = 0;
    std::string error;
};

// Walks the tree from the memory descriptor's root and checks the
// red-black rules from the parent-and-colour words.
void CheckSubtree(TargetReader& r, const KernelLayout& l, uint64_t node, uint64_t parent,
                  bool parentRed, int blacks, TreeCheck& out) {
    if (node == 0) {
        if (out.blackHeight == 0) out.blackHeight = blacks;
        if (blacks != out.blackHeight) out.error = "unequal black heights";
        return;
    }
    const uint64_t parentColour = r.Word(node);
    const bool red = (parentColour & 1) == 0;
    if ((parentColour & ~uint64_t{3}) != parent) out.error = "wrong parent pointer";
    if (red && parentRed) out.error = "red node with a red parent";
    if (parent == 0 && red) out.error = "red root";
    const uint64_t area = node - l.vmaRb;
    CheckSubtree(r, l, r.Word(node + l.rbLeft), node, red, blacks + (red ? 0 : 1), out);
    out.starts.push_back(r.Word(area + l.vmaStart));
    CheckSubtree(r, l, r.Word(node + l.rbRight), node, red, blacks + (red ? 0 : 1), out);
}

struct Case {
    const char* name;
    bool is64;
    KernelLayout layout;
};

class KernelImageTest : public ::testing::TestWithParam<Case> {
protected:
    KernelImageTest()
        : cpu_("cpu0", ProcessorOptions{GetParam().is64, true}, 1),
          image_(cpu_, GetParam().layout),
          reader_(image_) {}

    Processor cpu_;
    KernelImage image_;
    TargetReader reader_;
};

TEST_P(KernelImageTest, AreasFormARedBlackTreeAndASortedList) {
    const KernelLayout& l = image_.layout();
    const uint64_t task = image_.AddProcess(100, "app", "/usr/bin/app");
    std::vector<uint64_t> starts;
    for (uint64_t i = 0; i < 40; ++i) starts.push_back(0x10000 + i * 0x3000);
    std::shuffle(starts.begin(), starts.end(), std::mt19937(7));
    // Ascending runs make the tree rotate; the shuffled rest mixes cases.
    std::sort(starts.begin(), starts.begin() + 15);
    for (uint64_t start : starts) {
        if (start % 0x6000 == 0) {
            image_.MapAnonymous(task, start, start + 0x2000);
        } else {
            image_.MapFile(task, start, start + 0x2000, "/usr/lib/libc.so", start >> 12);
        }
    }
    const uint64_t mm = image_.MmOf(task);
    const uint64_t root = reader_.Word(mm + l.mmRb + l.rbRootNode);
    ASSERT_NE(root, 0u);
    TreeCheck check;
    CheckSubtree(reader_, l, root, 0, false, 0, check);
    EXPECT_EQ(check.error, "");
    std::vector<uint64_t> sorted = starts;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(check.starts, sorted);
    // A depth bound that a degenerate list would break.
    EXPECT_LE(check.blackHeight, 6);

    // The area list follows ascending addresses from the lowest area.
    std::vector<uint64_t> listed;
    uint64_t area = image_.AreasOf(task).nodes()[image_.AreasOf(task).InOrder().front()].area;
    for (; area != 0; area = reader_.Word(area + l.vmaNext)) {
        listed.push_back(reader_.Word(area + l.vmaStart));
        EXPECT_EQ(reader_.Word(area + l.vmaEnd), listed.back() + 0x2000);
        const uint64_t file = reader_.Word(area + l.vmaFile);
        if (listed.back() % 0x6000 == 0) {
            EXPECT_EQ(file, 0u);
        } else {
            EXPECT_EQ(reader_.Path(reader_.Word(file + l.fileFPath + l.pathDentry)),
                      "/usr/lib/libc.so");
            EXPECT_EQ(reader_.Word(area + l.vmaPgoff), listed.back() >> 12);
        }
    }
    EXPECT_EQ(listed, sorted);
}

TEST_P(KernelImageTest, OverlappingOrEmptyAreasAreRefused) {
    const uint64_t task = image_.AddProcess(7, "x", "");
    image_.MapAnonymous(task, 0x4000, 0x8000);
    EXPECT_THROW(image_.MapAnonymous(task, 0x7000, 0x9000), std::invalid_argument);
    EXPECT_THROW(image_.MapAnonymous(task, 0x3000, 0x4001), std::invalid_argument);
    EXPECT_THROW(image_.MapAnonymous(task, 0x9000, 0x9000), std::invalid_argument);
    image_.MapAnonymous(task, 0x8000, 0x9000);  // touching is fine
    const uint64_t kthread = image_.AddKernelThread(2, "kthreadd");
    EXPECT_THROW(image_.MapAnonymous(kthread, 0x1000, 0x2000), std::invalid_argument);
}

TEST_P(KernelImageTest, TasksCarryIdsNamesAndTheirProcessImage) {
    const KernelLayout& l = image_.layout();
    const uint64_t leader = image_.AddProcess(300, "a-very-long-command-name", "/usr/bin/ls");
    const uint64_t thread = image_.AddThread(leader, 301, "worker");
    const uint64_t kthread = image_.AddKernelThread(12, "kworker/0:1");
    image_.SetTaskState(thread, 2, 1);

    EXPECT_EQ(reader_.U32(leader + l.taskPid), 300u);
    EXPECT_EQ(reader_.U32(leader + l.taskTgid), 300u);
    EXPECT_EQ(reader_.U32(thread + l.taskPid), 301u);
    EXPECT_EQ(reader_.U32(thread + l.taskTgid), 300u);
    EXPECT_EQ(reader_.Text(leader + l.taskComm), "a-very-long-com");  // 15 + NUL
    EXPECT_EQ(reader_.Text(kthread + l.taskComm), "kworker/0:1");
    EXPECT_EQ(reader_.Word(thread + l.taskState), 2u);
    EXPECT_EQ(reader_.Word(thread + l.taskIoWait), 1u);
    EXPECT_EQ(reader_.Word(leader + l.taskState), 0u);

    const uint64_t mm = reader_.Word(leader + l.taskMm);
    EXPECT_EQ(mm, image_.MmOf(leader));
    EXPECT_EQ(reader_.Word(thread + l.taskMm), mm);
    EXPECT_EQ(reader_.Word(kthread + l.taskMm), 0u);
    const uint64_t exe = reader_.Word(mm + l.mmExeFile);
    EXPECT_EQ(reader_.Path(reader_.Word(exe + l.fileFPath + l.pathDentry)), "/usr/bin/ls");

    if (!image_.is64()) {
        const uint64_t info = image_.ThreadInfoOf(thread);
        EXPECT_EQ(info % KernelImage::kKernelStackSize, 0u);
        EXPECT_EQ(reader_.U32(info + l.threadInfoTask), thread);
    } else {
        EXPECT_EQ(image_.ThreadInfoOf(thread), 0u);
    }
}

TEST_P(KernelImageTest, DentriesShareParentsAndTheRootIsItsOwnParent) {
    const KernelLayout& l = image_.layout();
    const uint64_t ls = image_.Dentry("/usr/bin/ls");
    const uint64_t cat = image_.Dentry("/usr/bin/cat");
    const uint64_t bin = image_.Dentry("/usr/bin");
    EXPECT_EQ(reader_.Word(ls + l.dentryDParent), bin);
    EXPECT_EQ(reader_.Word(cat + l.dentryDParent), bin);
    const uint64_t root = image_.Dentry("/");
    EXPECT_EQ(reader_.Word(root + l.dentryDParent), root);
    EXPECT_EQ(reader_.Text(reader_.Word(root + l.dentryDName + l.qstrName)), "/");
    EXPECT_EQ(image_.Dentry("//usr//bin/"), bin);
    EXPECT_THROW(image_.Dentry("usr"), std::invalid_argument);

    const uint64_t lonely = image_.NewDentry("", 0);
    EXPECT_EQ(reader_.Word(lonely + l.dentryDParent), lonely);
    EXPECT_EQ(reader_.Text(reader_.Word(lonely + l.dentryDName + l.qstrName)), "");
}

TEST_P(KernelImageTest, FrameRecordsChainReturnAddressesToAZeroRecord) {
    const uint64_t top = image_.NewUserStack();
    const std::vector<uint64_t> returns = {0x1111, 0x2222, 0x3333};
    const auto regs = image_.WriteFrameRecords(top, returns);
    EXPECT_LT(regs.sp, regs.fp);
    EXPECT_LT(regs.fp, regs.sp + 500);
    EXPECT_LT(regs.fp, top);
    uint64_t frame = regs.fp;
    std::vector<uint64_t> seen;
    const uint64_t w = image_.wordSize();
    while (reader_.Word(frame) != 0 && reader_.Word(frame + w) != 0) {
        seen.push_back(reader_.Word(frame + w));
        frame = reader_.Word(frame);
    }
    EXPECT_EQ(seen, returns);
    EXPECT_NE(image_.NewUserStack(), top);
}

TEST_P(KernelImageTest, RegistersAtTheWatchedKernelFunctions) {
    const uint64_t a = image_.AddProcess(1, "init", "/sbin/init");
    const uint64_t b = image_.AddProcess(2, "sh", "/bin/sh");
    image_.EnterSwitchTo(a, b);
    image_.EnterSyscall(56, {1, 2, 3, 4, 5, 6});
    if (image_.is64()) {
        EXPECT_EQ(cpu_.GetRegister("X0"), 1u);  // the syscall overwrote X0
        EXPECT_EQ(cpu_.GetRegister("X1"), 2u);
        EXPECT_EQ(cpu_.GetRegister("X8"), 56u);
        image_.EnterSwitchTo(a, b);
        EXPECT_EQ(cpu_.GetRegister("X0"), a);
        EXPECT_EQ(cpu_.GetRegister("X1"), b);
    } else {
        EXPECT_EQ(cpu_.GetRegister("R7"), 56u);
        image_.EnterSwitchTo(a, b);
        EXPECT_EQ(cpu_.GetRegister("R0"), a);
        EXPECT_EQ(cpu_.GetRegister("R4"),
                  image_.ThreadInfoOf(b) + image_.layout().switchThreadInfoBias);
        image_.EnterSwitchTo(a, 0);
        EXPECT_EQ(cpu_.GetRegister("R4"), image_.layout().switchThreadInfoBias);
        image_.SetRunning(b);
        EXPECT_EQ(cpu_.GetRegister("R13_svc") & ~uint64_t{8191}, image_.ThreadInfoOf(b));
    }
    image_.EnterReleaseTask(b);
    EXPECT_EQ(cpu_.GetRegister(image_.is64() ? "X0" : "R0"), b);
}

TEST_P(KernelImageTest, UserStringsAndPointerArrays) {
    const uint64_t s = image_.UserString("/bin/ls");
    const std::vector<uint64_t> pointers = {s, image_.UserString("-l")};
    const uint64_t array = image_.UserPointerArray(pointers);
    EXPECT_EQ(reader_.Text(s), "/bin/ls");
    EXPECT_EQ(reader_.Bytes(array, 8), pointers[0]);
    EXPECT_EQ(reader_.Bytes(array + 8, 8), pointers[1]);
    EXPECT_EQ(reader_.Bytes(array + 16, 8), 0u);
    EXPECT_FALSE(cpu_.Memory(image_.space()).IsMapped(image_.UnmappedUserAddress()));
}

INSTANTIATE_TEST_SUITE_P(Layouts, KernelImageTest,
                         ::testing::Values(Case{"Synthetic64", true, KernelLayout::Synthetic64()},
                                           Case{"Synthetic32", false, KernelLayout::Synthetic32()},
                                           Case{"Debian510", true,
                                                KernelLayout::Debian510CloudArm64()}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KernelImageCoresTest, OneKernelSharedByEveryCore) {
    Processor cpu0("cpu0", ProcessorOptions{true, true}, 1);
    Processor cpu1("cpu1", ProcessorOptions{true, true}, 2);
    KernelImage image({&cpu0, &cpu1}, KernelLayout::Synthetic64());
    const uint64_t task = image.AddProcess(5, "init", "/sbin/init");
    image.MapAnonymous(task, 0x1000, 0x2000);
    image.NewUserStack();
    for (Processor* cpu : {&cpu0, &cpu1}) {
        EXPECT_TRUE(cpu->Memory("Guest").IsMapped(task + image.layout().taskComm));
        EXPECT_TRUE(cpu->Memory("Guest").IsMapped(image.MmOf(task)));
    }
    image.EnterSwitchTo(0, task, 1);
    EXPECT_EQ(cpu1.GetRegister("X1"), task);
    EXPECT_EQ(cpu0.GetRegister("X1"), 0u);
    EXPECT_THROW(image.EnterReleaseTask(task, 2), std::out_of_range);

    Processor narrow("cpu2", ProcessorOptions{false, true}, 3);
    EXPECT_THROW(KernelImage({&cpu0, &narrow}, KernelLayout::Synthetic64()), std::invalid_argument);
    EXPECT_THROW(KernelImage(std::vector<Processor*>{}, KernelLayout::Synthetic64()),
                 std::invalid_argument);
}

TEST(KernelLayoutTest, OffsetsTextsOfBothLayouts) {
    EXPECT_EQ(KernelLayout::Debian510CloudArm64().Text(true),
              "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16");
    KernelLayout l = KernelLayout::Synthetic32();
    const std::string text = l.Text(false);
    EXPECT_EQ(text.substr(text.rfind(',', text.size() - 2)), ",8 12,");
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 25);
}

TEST(KernelLayoutTest, SystemMapIsSortedWithTypesAndWidths) {
    Processor cpu64("cpu0", ProcessorOptions{true, true}, 1);
    KernelImage image(cpu64, KernelLayout::Synthetic64());
    image.SetSymbol("__switch_to", 0xFFFF800010019420ull);
    image.SetSymbol("zz_first", 0x10, 'T');
    const std::string map = image.SystemMap();
    EXPECT_EQ(map.substr(0, 28), "0000000000000010 T zz_first\n");
    EXPECT_NE(map.find("ffff800010019420 T __switch_to\n"), std::string::npos);
    EXPECT_NE(map.find("ffff8000100938b0 T release_task\n"), std::string::npos);
    EXPECT_NE(map.find(" D init_task\n"), std::string::npos);
    EXPECT_LT(map.find(" __switch_to\n"), map.find(" release_task\n"));
    image.RemoveSymbol("release_task");
    EXPECT_EQ(image.SystemMap().find(" release_task\n"), std::string::npos);
    EXPECT_EQ(image.releaseTaskAddress(), 0u);

    Processor cpu32("cpu1", ProcessorOptions{false, true}, 2);
    KernelImage image32(cpu32, KernelLayout::Synthetic32());
    EXPECT_NE(image32.SystemMap().find("c0108a40 T __switch_to\n"), std::string::npos);
    const std::string json = image32.SettingsJson("C:\\maps\\System.map", {14, false, 0, 0});
    EXPECT_NE(json.find("\"system-map-file\": \"C:\\\\maps\\\\System.map\""), std::string::npos);
    EXPECT_NE(json.find("\"linux-offsets-32\": \"" + image32.OffsetsText() + "\""),
              std::string::npos);
    EXPECT_NE(json.find("\"trace-linux-syscalls\": false"), std::string::npos);
    EXPECT_NE(json.find("\"pageshift\": 14"), std::string::npos);
}

}  // namespace
}  // namespace kvhost
