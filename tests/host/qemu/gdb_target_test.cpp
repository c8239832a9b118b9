// The protocol client against exchanges recorded from QEMU 7.2's gdbstub
// (qemu-system-aarch64 -M virt -cpu cortex-a57 -smp 2), trimmed where a
// document is long, and against the failures a stub can produce.
#include "gdb_target.h"

#include <gtest/gtest.h>

#include "fake_gdbstub.h"

namespace qemuhost {
namespace {

using testing::FakeGdbstub;
using testing::StubStep;

const char kSupported[] = "PacketSize=1000;qXfer:features:read+;vContSupported+;multiprocess+";
const char kTargetXml[] =
    "l<?xml version=\"1.0\"?><!DOCTYPE target SYSTEM \"gdb-target.dtd\"><target><architecture>aarch64"
    "</architecture><xi:include href=\"aarch64-core.xml\"/><xi:include href=\"aarch64-fpu.xml\"/>"
    "<xi:include href=\"system-registers.xml\"/></target>";

std::string CoreXml() {
    std::string xml = "<feature name=\"org.gnu.gdb.aarch64.core\">\n";
    for (int i = 0; i <= 30; ++i) xml += "  <reg name=\"x" + std::to_string(i) + "\" bitsize=\"64\"/>\n";
    xml += "  <reg name=\"sp\" bitsize=\"64\" type=\"data_ptr\"/>\n\n  <reg name=\"pc\" bitsize=\"64\" "
           "type=\"code_ptr\"/>\n  <reg name=\"cpsr\" bitsize=\"32\"/>\n</feature>\n";
    return xml;
}

std::string FpuXml() {
    std::string xml = "<feature name=\"org.gnu.gdb.aarch64.fpu\"><reg name=\"v0\" bitsize=\"128\" type=\"aarch64v\" regnum=\"34\"/>";
    for (int i = 1; i <= 31; ++i) xml += "<reg name=\"v" + std::to_string(i) + "\" bitsize=\"128\" type=\"aarch64v\" />";
    return xml + "<reg name=\"fpsr\" bitsize=\"32\"/><reg name=\"fpcr\" bitsize=\"32\"/></feature>";
}

const char kSystemXml[] =
    "l<?xml version=\"1.0\"?><!DOCTYPE target SYSTEM \"gdb-target.dtd\"><feature name=\"org.qemu.gdb.arm.sys.regs\">"
    "<reg name=\"ID_MMFR5\" bitsize=\"64\" regnum=\"68\" group=\"cp_regs\"/>"
    "<reg name=\"SCTLR\" bitsize=\"64\" regnum=\"74\" group=\"cp_regs\"/>"
    "<reg name=\"VBAR\" bitsize=\"64\" regnum=\"104\" group=\"cp_regs\"/>"
    "<reg name=\"TTBR0_EL1\" bitsize=\"64\" regnum=\"146\" group=\"cp_regs\"/>"
    "<reg name=\"TCR_EL1\" bitsize=\"64\" regnum=\"149\" group=\"cp_regs\"/>"
    "<reg name=\"TTBR1_EL1\" bitsize=\"64\" regnum=\"150\" group=\"cp_regs\"/>"
    "<reg name=\"ESR_EL1\" bitsize=\"64\" regnum=\"188\" group=\"cp_regs\"/></feature>";

// Chunk requests of 0xff0 bytes: the packet size 0x1000 less 16.
std::vector<StubStep> DescriptionSteps() {
    const std::string core = CoreXml();
    const std::string fpu = FpuXml();
    const size_t half = fpu.size() / 2;
    char second[64];
    std::snprintf(second, sizeof second, "qXfer:features:read:aarch64-fpu.xml:%zx,ff0", half);
    return {
        {"qSupported:xmlRegisters=aarch64;vContSupported+", kSupported},
        {"qXfer:features:read:target.xml:0,ff0", kTargetXml},
        {"qXfer:features:read:aarch64-core.xml:0,ff0", "l" + core},
        {"qXfer:features:read:aarch64-fpu.xml:0,ff0", "m" + fpu.substr(0, half)},
        {second, "l" + fpu.substr(half)},
        {"qXfer:features:read:system-registers.xml:0,ff0", kSystemXml},
    };
}

TEST(GdbTarget, ReadsTheDescriptionAcrossDocumentsAndChunks) {
    FakeGdbstub stub(DescriptionSteps());
    GdbRemote remote(stub, 200);
    GdbTarget target(remote);
    ASSERT_TRUE(remote.Handshake()) << remote.error();
    EXPECT_EQ(remote.packetSize(), 4096u);
    EXPECT_TRUE(remote.acknowledging());  // QEMU 7.2 does not offer QStartNoAckMode
    TargetDescription description;
    ASSERT_TRUE(target.LoadTargetDescription(description)) << target.error();
    EXPECT_TRUE(stub.done());
    // Numbers as gdb counts them: the core 0-33, v0 named 34, fpsr after v31.
    const std::pair<const char*, uint32_t> expected[] = {
        {"x0", 0}, {"X30", 30}, {"sp", 31}, {"pc", 32}, {"cpsr", 33}, {"v1", 35}, {"fpsr", 66},
        {"fpcr", 67}, {"ID_MMFR5", 68}, {"TTBR0_EL1", 146}, {"tcr_el1", 149}, {"ESR_EL1", 188}};
    for (const auto& [name, number] : expected) {
        const RegisterDescription* reg = description.Find(name);
        ASSERT_NE(reg, nullptr) << name;
        EXPECT_EQ(reg->number, number) << name;
    }
    EXPECT_EQ(description.FindAny({"SCTLR_EL1", "SCTLR"})->number, 74u);
    EXPECT_EQ(description.Find("cpsr")->bits, 32u);
    EXPECT_EQ(description.Find("VBAR_EL1"), nullptr);
    // Every reply was acknowledged.
    EXPECT_EQ(stub.clientAcks(), 6u);
}

TEST(GdbTarget, MalformedDescriptionsAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {"<reg bitsize=\"64\"/>", "a <reg> without a name"},
        {"<reg name=\"x0\"/>", "register x0 without a usable bitsize"},
        {"<reg name=\"x0\" bitsize=\"64\" regnum=\"-1\"/>", "register x0 with regnum '-1'"},
        {"<reg name=\"x0\" bitsize=\"64\"", "an element that does not end"},
    };
    for (const auto& [xml, message] : cases) {
        TargetDescription description;
        std::string error;
        EXPECT_FALSE(description.AddFeature(xml, error)) << xml;
        EXPECT_EQ(error, message);
    }
}

TEST(GdbTarget, ThreadsRegistersAndMemory) {
    std::string page;
    for (int i = 0; i < 3000; ++i) page += "5a";
    FakeGdbstub stub({
        {"qfThreadInfo", "m01"},  // recorded: one vCPU per answer
        {"qsThreadInfo", "m02"},
        {"qsThreadInfo", "l"},
        {"Hg1", "OK"},
        {"p20", "f050bb080080ffff"},
        {"p21", "c5030040"},
        {"Hg2", "OK"},
        {"g", std::string(31 * 16, '0') + "00e0584100000000" + "f050bb080080ffff" + "c5000080"},
        {"m40000000,7fc", page.substr(0, 2 * 0x7fc)},
        {"m400007fc,3bc", page.substr(0, 2 * 0x3bc)},
        {"m0,4", "E14"},
    });
    GdbRemote remote(stub, 200);
    GdbTarget target(remote);
    const auto threads = target.Threads();
    ASSERT_TRUE(threads);
    EXPECT_EQ(*threads, (std::vector<uint32_t>{1, 2}));
    ASSERT_TRUE(target.SelectThread(1));
    EXPECT_EQ(LittleEndianHexValue(HexBytes(*target.ReadRegister(32))), 0xffff800008bb50f0ull);
    ASSERT_TRUE(target.SelectThread(1));  // already selected: nothing sent
    EXPECT_EQ(LittleEndianHexValue(HexBytes(*target.ReadRegister(33))), 0x400003c5u);
    ASSERT_TRUE(target.SelectThread(2));
    const auto core = target.ReadCoreRegisters();
    ASSERT_TRUE(core);
    ASSERT_EQ(core->size(), 31 * 8 + 8 + 8 + 4u);
    EXPECT_EQ((*core)[31 * 8 + 8], 0xf0);
    std::vector<uint8_t> bytes(3000);
    ASSERT_TRUE(target.ReadMemory(0x40000000, bytes));
    EXPECT_EQ(bytes.front(), 0x5a);
    EXPECT_EQ(bytes.back(), 0x5a);
    uint8_t word[4];
    EXPECT_FALSE(target.ReadMemory(0, word));
    EXPECT_EQ(target.error(), "the gdbstub answered 'm0,4' with 'E14'");
    EXPECT_TRUE(stub.done()) << (stub.unexpected().empty() ? "" : stub.unexpected().front());
}

TEST(GdbTarget, BreakpointsResumeStepAndStopReplies) {
    FakeGdbstub stub({
        {"Qqemu.PhyMemMode:1", "OK"},
        {"Z0,ffff800008bb50f0,4", "OK"},
        {"vCont;c", "", false, true},
        {"", "T05thread:02;"},
        {"z0,ffff800008bb50f0,4", "OK"},
        {"vCont;s:2", "", false, true},
        {"", "T05thread:p01.02;"},
    });
    GdbRemote remote(stub, 200);
    GdbTarget target(remote);
    ASSERT_TRUE(target.SetPhysicalMemoryMode(true));
    ASSERT_TRUE(target.InsertBreakpoint(0xffff800008bb50f0ull));
    ASSERT_TRUE(target.Continue());
    std::string reply;
    ASSERT_EQ(remote.WaitPacket(reply, 200), GdbRemote::Wait::kPacket);
    const auto stop = StopReply::Parse(reply);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->thread, 2u);
    EXPECT_EQ(stop->signal, StopReply::kTrap);
    ASSERT_TRUE(target.RemoveBreakpoint(0xffff800008bb50f0ull));
    const auto stepped = target.Step(2, 200);
    ASSERT_TRUE(stepped) << target.error();
    EXPECT_EQ(stepped->thread, 2u);
    EXPECT_TRUE(stub.done());
}

TEST(GdbTarget, StopRepliesParse) {
    struct Case {
        const char* text;
        bool stop;
        StopReply::Kind kind;
        int signal;
        uint32_t thread;
    };
    using K = StopReply::Kind;
    const Case cases[] = {
        {"T05thread:01;", true, K::kStopped, 5, 1},
        {"T02thread:02;", true, K::kStopped, 2, 2},
        {"T05swbreak:;thread:p1.1f;core:0;", true, K::kStopped, 5, 31},
        {"S05", true, K::kStopped, 5, 0},
        {"W00", true, K::kExited, 0, 0},
        {"X09", true, K::kTerminated, 9, 0},
        {"OK", false, K::kStopped, 0, 0},
        {"E14", false, K::kStopped, 0, 0},
        {"T05thread:;", false, K::kStopped, 0, 0},
        {"T5", false, K::kStopped, 0, 0},
    };
    for (const Case& c : cases) {
        const auto stop = StopReply::Parse(c.text);
        ASSERT_EQ(stop.has_value(), c.stop) << c.text;
        if (!stop) continue;
        EXPECT_EQ(stop->kind, c.kind) << c.text;
        EXPECT_EQ(stop->signal, c.signal) << c.text;
        EXPECT_EQ(stop->thread, c.thread) << c.text;
    }
}

TEST(GdbRemote, AcknowledgementRulesAndFailures) {
    {  // A refused packet is sent again.
        FakeGdbstub stub({{"g", "-", true, false, true}, {"g", "00"}});
        GdbRemote remote(stub, 200);
        EXPECT_EQ(remote.Request("g"), "00");
        EXPECT_EQ(stub.written(), "$g#67$g#67+");
    }
    {  // A reply with a bad checksum is asked for again with '-'.
        FakeGdbstub stub(std::vector<StubStep>{{"?", "$T05thread:01;#00", true}});
        GdbRemote remote(stub, 50);
        EXPECT_FALSE(remote.Request("?"));
        EXPECT_EQ(stub.written(), "$?#3f-");
    }
    {  // Without acknowledgements once the stub agrees.
        FakeGdbstub stub({{"qSupported:xmlRegisters=aarch64;vContSupported+", "PacketSize=4000;QStartNoAckMode+"},
                          {"QStartNoAckMode", "OK"},
                          {"?", "T05thread:01;"}});
        GdbRemote remote(stub, 200);
        ASSERT_TRUE(remote.Handshake());
        EXPECT_FALSE(remote.acknowledging());
        EXPECT_EQ(remote.packetSize(), 0x4000u);
        EXPECT_EQ(remote.Request("?"), "T05thread:01;");
        EXPECT_EQ(stub.clientAcks(), 2u);  // the two replies before the switch
    }
    {  // No reply in time.
        FakeGdbstub stub(std::vector<StubStep>{{"g", "", false, true}});
        GdbRemote remote(stub, 30);
        EXPECT_FALSE(remote.Request("g"));
        EXPECT_EQ(remote.error(), "no reply to 'g' from the gdbstub within 0 s");
    }
    {  // The stub goes away; the connection stays failed.
        FakeGdbstub stub(std::vector<StubStep>{{"?", "T05thread:01;"}});
        stub.CloseWhenDone();
        GdbRemote remote(stub, 200);
        EXPECT_TRUE(remote.Request("?"));
        std::string reply;
        EXPECT_EQ(remote.WaitPacket(reply, 50), GdbRemote::Wait::kFailed);
        EXPECT_TRUE(remote.failed());
        EXPECT_EQ(remote.error(), "the fake gdbstub closed the connection");
        EXPECT_FALSE(remote.Send("vCont;c"));
    }
}

}  // namespace
}  // namespace qemuhost
