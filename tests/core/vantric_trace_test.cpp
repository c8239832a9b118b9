// The instance's life through the host contract: parameters, configuration,
// connecting a simulation, tracing and release, read back from the capture.
#include "core/vantric_trace.h"
#include "util/vantric_exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kv_test_support.h"
#include "kvhost.h"
#include "rcf/capture_reader.h"

namespace {

namespace fs = std::filesystem;

ZVT::v0::ParameterValue Text(uint32_t id, const std::string& text) {
    ZVT::v0::ParameterValue value;
    std::memset(static_cast<void*>(&value), 0, sizeof value);
    value.id = id;
    std::strncpy(value.textValue, text.c_str(), sizeof value.textValue - 1);
    return value;
}

ZVT::v0::ParameterValue Integer(uint32_t id, int64_t number) {
    ZVT::v0::ParameterValue value = Text(id, "");
    value.integerValue = number;
    return value;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

TEST(VantricTraceNames, CaptureNameNormalisation) {
    kvhost::StreamCapture console;
    using vantric::VantricTrace;
    EXPECT_EQ(VantricTrace::NormaliseCaptureName("kelvane.rcf"), "kelvane.rcf/");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName("run1"), "run1.rcf/");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName(".rcf"), ".rcf.rcf/");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName("a.rcf"), "a.rcf/");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName(""), ".rcf/");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName("run\\1"), "run\\1.rcf/");
    EXPECT_EQ(console.err(), "");
    EXPECT_EQ(VantricTrace::NormaliseCaptureName("a/b"), "out.rcf/");
    EXPECT_EQ(console.err(),
              "ERROR (Vantric Trace Init) rcf-capture is not a valid directory name. Reverting to out.rcf\n");
}

class VantricTraceTest : public testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("TALVEN_HOME");
        WriteFile(dir.path() / "subsystem.json", R"({"operating-system": "rtos", "sampling-frequency": 100})");
        WriteFile(dir.path() / "config.json",
                  "[{\"Subsystem_name\": \"cluster0.*\", \"Subsystem_config_file\": \"" +
                      (dir.path() / "subsystem.json").string() + "\"}]");
    }

    std::vector<ZVT::v0::ParameterValue> Parameters() {
        return {Text(0, dir.path().string()), Text(7, (dir.path() / "config.json").string())};
    }

    kvhost::TempDirectory dir;
};

TEST_F(VantricTraceTest, ParametersAndPaths) {
    kvhost::StreamCapture console;
    auto parameters = Parameters();
    parameters.push_back(Text(2, "run1"));
    parameters.push_back(Integer(1, 257));  // only the low 8 bits: host time
    parameters.push_back(Integer(42, 1));   // unknown ids are ignored
    auto* trace = new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
    EXPECT_EQ(trace->outputDirectory(), dir.path().string() + "/run1.rcf/");
    EXPECT_EQ(trace->timeSource().timeBase(), 1u);
    EXPECT_STREQ(trace->InstanceName(), "vt");
    EXPECT_TRUE(trace->counterDefaultsPath().empty());
    EXPECT_EQ(console.out(), "\nReading talven_home");
    // Kernel type 3 is announced while the agent is built.
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n");
    trace->ReleaseInstance();
}

TEST_F(VantricTraceTest, DefaultsWithoutOutputDirectoryAndTalvenHome) {
    kvhost::StreamCapture console;
    ::setenv("TALVEN_HOME", "/opt/talven", 1);
    const std::vector<ZVT::v0::ParameterValue> parameters = {
        Text(7, (dir.path() / "config.json").string()), Integer(1, 3)};
    auto* trace = new vantric::VantricTrace("vt", 2, parameters.data());
    // No "output-directory" and no "rcf-capture": the bare separator remains.
    EXPECT_EQ(trace->outputDirectory(), "/");
    EXPECT_EQ(trace->timeSource().timeBase(), 0u);  // 3 leaves simulated time
    EXPECT_EQ(trace->counterDefaultsPath(),
              "/opt/talven/plugins/config/VantricTrace/VantricTrace_counter_defaults.json");
    trace->ReleaseInstance();
    ::unsetenv("TALVEN_HOME");
}

TEST_F(VantricTraceTest, FaceLookupsAndVisitOrder) {
    kvhost::StreamCapture console;
    auto parameters = Parameters();
    auto* trace = new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
    auto* face = static_cast<VantricTraceInterface*>(trace);
    // Every face answers for every name of the instance.
    EXPECT_EQ(face->LookupInterface("PluginInstance0", 0, nullptr),
              static_cast<ZVT::v0::PluginInstance*>(trace));
    EXPECT_EQ(trace->LookupInterface("VantricTraceInterface", 0, nullptr),
              static_cast<plexa::CAInterface*>(face));
    struct Names : plexa::InterfaceVisitor {
        std::string all;
        void Visit(const char* name, uint32_t revision) override {
            all += std::string(name) + ":" + std::to_string(revision) + " ";
        }
    } names;
    auto* registry = static_cast<plexa::CAInterfaceRegistryIF*>(
        trace->LookupInterface("plexa.CAInterfaceRegistry", 0, nullptr));
    registry->VisitInterfaces(&names);
    EXPECT_EQ(names.all,
              "PluginInstance0:0 VantricTraceInterface:0 plexa.CAInterface:0 plexa.CAInterfaceRegistry:0 ");
    trace->ReleaseInstance();
}

TEST_F(VantricTraceTest, ConfigurationFailuresArePrintedAndThrown) {
    kvhost::StreamCapture console;
    const std::vector<ZVT::v0::ParameterValue> none = {Text(0, dir.path().string())};
    EXPECT_THROW(vantric::VantricTrace("vt", 1, none.data()), vantric::VantricExceptionT);
    EXPECT_EQ(console.err(), "ERROR (Vantric) Config json missing\n");

    console.Clear();
    WriteFile(dir.path() / "bad.json", "[{\"Subsystem_name\": \"a\", \"Subsystem_config_file\": \"" +
                                           (dir.path() / "subsystem.json").string() +
                                           "\"}, {\"Subsystem_name\": \"b\"}]");
    const std::vector<ZVT::v0::ParameterValue> bad = {Text(7, (dir.path() / "bad.json").string())};
    EXPECT_THROW(vantric::VantricTrace("vt", 1, bad.data()), vantric::VantricExceptionT);
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n"
                             "ERROR (Vantric) Error while parsing " +
                                 (dir.path() / "bad.json").string() +
                                 " : Invalid Subsystem_config_file in entry #2\n");

    console.Clear();
    const std::vector<ZVT::v0::ParameterValue> missing = {Text(7, "/nonexistent/config.json")};
    EXPECT_THROW(vantric::VantricTrace("vt", 1, missing.data()), vantric::VantricExceptionT);
    EXPECT_EQ(console.err(), "ERROR (Vantric) Cannot create JSON stream for /nonexistent/config.json\n");
}

TEST_F(VantricTraceTest, OperatingSystemWarningKeepsGoing) {
    kvhost::StreamCapture console;
    WriteFile(dir.path() / "noos.json", R"({"sampling-frequency": 1})");
    WriteFile(dir.path() / "config.json",
              "[{\"Subsystem_name\": \"x\", \"Subsystem_config_file\": \"" +
                  (dir.path() / "noos.json").string() + "\"}]");
    auto parameters = Parameters();
    auto* trace = new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
    EXPECT_EQ(console.err(), "WARN (Vantric) Unable to read valid 'operating-system' value from " +
                                 (dir.path() / "noos.json").string() +
                                 " : tried to access value of type null as string\n");
    EXPECT_TRUE(trace->agents().agents().empty());
    trace->ReleaseInstance();
}

TEST_F(VantricTraceTest, DiscoveryModeReadsNothingAndEndsTheSimulation) {
    kvhost::StreamCapture console;
    const std::vector<ZVT::v0::ParameterValue> parameters = {Integer(8, 1), Text(0, "out")};
    auto* trace = new vantric::VantricTrace("vt", 2, parameters.data());
    EXPECT_EQ(trace->outputDirectory(), "out");  // left as the parameter gave it
    kvhost::Simulation simulation;
    EXPECT_EQ(trace->ConnectSimulation(&simulation), 0u);
    EXPECT_TRUE(simulation.simulationEnded());
    EXPECT_EQ(console.out(), "\nReading talven_home\ndefault counter cfg : \n"
                             "Vantric : Listing unsuccessful. Terminating...\n");
    EXPECT_EQ(console.err(), "ERROR (Vantric) Check if the environment variable TALVEN_HOME is setup\n");
    EXPECT_EQ(trace->ConnectSimulation(nullptr), 3u);
    trace->ReleaseInstance();  // does nothing in discovery mode
    delete trace;
}

}  // namespace

namespace {

// A two-core system with a memory component, traced by a subsystem of an
// unsupported kernel type (no OS awareness: samples carry the pc alone).
class ConnectTest : public VantricTraceTest {
protected:
    void SetUp() override {
        VantricTraceTest::SetUp();
        // High enough to follow PERIODIC events.
        WriteFile(dir.path() / "subsystem.json", R"({"operating-system": "rtos", "sampling-frequency": 100000})");
        WriteFile(dir.path() / "counters.json",
                  R"([{"Component": "", "ZVTSrcName": "READ", "Title": "Memory", "CounterName": "Reads", "Display": "accumulate"}])");
    }

    vantric::VantricTrace* Create(std::vector<ZVT::v0::ParameterValue> extra = {}) {
        auto parameters = Parameters();
        parameters.push_back(Text(2, "cap"));
        parameters.push_back(Text(4, (dir.path() / "counters.json").string()));
        parameters.insert(parameters.end(), extra.begin(), extra.end());
        return new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
    }

    vantric::rcf::Capture Read() {
        vantric::rcf::Capture capture;
        EXPECT_TRUE(vantric::rcf::ReadCapture((dir.path() / "cap.rcf").string(), capture));
        return capture;
    }

    kvhost::StreamCapture console;
};

using vantric::rcf::RecordsOf;

TEST_F(ConnectTest, TwoCoresAndAMemoryComponent) {
    kvhost::Simulation simulation;
    simulation.SetTickSeconds(1e-9);
    kvhost::Processor& cpu0 = simulation.AddProcessor("cluster0.cpu0", true);
    kvhost::TraceComponent& memory = simulation.AddTraceComponent("memory");
    memory.AddSource("READ", "reads", {kvhost::Unsigned("ADDR", 8)});
    kvhost::Processor& cpu1 = simulation.AddProcessor("cluster0.cpu1", false);

    vantric::VantricTrace* trace = Create();
    EXPECT_EQ(trace->ConnectSimulation(&simulation), 0u);
    EXPECT_EQ(trace->periodicSourceCount(), 2u);
    EXPECT_EQ(simulation.registry().Find("VantricTrace"),
              static_cast<plexa::CAInterface*>(static_cast<VantricTraceInterface*>(trace)));

    // Sampling every 100000 instructions from the configuration.
    simulation.SetTicks(500);
    cpu0.EmitPeriodic(99999, 0x1000);   // below the interval: nothing
    cpu0.EmitPeriodic(150000, 0x1004);  // sample and counter value 150000
    simulation.SetTicks(600);
    cpu1.EmitPeriodic(100000, 0x2000);
    memory.Source("READ").Emit({{"ADDR", uint64_t{1}}});
    cpu0.EmitRunState(1, 4);  // standby: idle state 0
    cpu0.EmitRunState(4, 1);  // running again: -1
    trace->ReleaseInstance();

    const vantric::rcf::Capture capture = Read();
    const auto cores = RecordsOf<vantric::rcf::CoreNameRecord>(capture);
    ASSERT_EQ(cores.size(), 2u);
    EXPECT_EQ(cores[0].name, "cluster0");  // the text before ".cpu"
    EXPECT_EQ(cores[0].cpuId, 3080u);
    EXPECT_EQ(cores[1].core, 1u);

    const auto samples = RecordsOf<vantric::rcf::SampleRecord>(capture);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].time, 500u);
    ASSERT_EQ(samples[0].frames.size(), 1u);
    EXPECT_EQ(samples[0].frames[0].address, 0x1004u);

    const auto values = RecordsOf<vantric::rcf::CounterValueRecord>(capture);
    // Keys: 0 the user counter, 1 the instruction count.
    std::vector<std::tuple<uint32_t, uint32_t, uint64_t>> seen;
    for (const auto& v : values) seen.emplace_back(v.core, v.key, v.value);
    EXPECT_EQ(seen, (std::vector<std::tuple<uint32_t, uint32_t, uint64_t>>{
                        {0, 4, 150000}, {1, 4, 100000}, {0, 3, 1}}));

    const auto idles = RecordsOf<vantric::rcf::IdleRecord>(capture);
    ASSERT_EQ(idles.size(), 2u);
    EXPECT_EQ(idles[0].state, 0);
    EXPECT_EQ(idles[1].state, -1);
    ASSERT_TRUE(capture.cores.has_value());
    EXPECT_EQ(*capture.cores, 2u);
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n"
                             "ERROR (Trace Register sim) OS driver instantiation failed\n");
}

TEST_F(ConnectTest, UnmatchedProcessorTakesNoCoreNumber) {
    kvhost::Simulation simulation;
    simulation.AddProcessor("other.cpu0", true);
    simulation.AddProcessor("cluster0.cpu0", true);
    vantric::VantricTrace* trace = Create();
    EXPECT_EQ(trace->ConnectSimulation(&simulation), 0u);
    trace->ReleaseInstance();
    const vantric::rcf::Capture capture = Read();
    const auto cores = RecordsOf<vantric::rcf::CoreNameRecord>(capture);
    ASSERT_EQ(cores.size(), 1u);
    EXPECT_EQ(cores[0].core, 0u);
    EXPECT_EQ(cores[0].name, "cluster0");
    EXPECT_EQ(*capture.cores, 2u);  // opened for both processors
}

TEST_F(ConnectTest, StartUpFailures) {
    {
        kvhost::Simulation noCores;
        noCores.AddTraceComponent("memory");
        vantric::VantricTrace* trace = Create();
        console.Clear();
        EXPECT_EQ(trace->ConnectSimulation(&noCores), 1u);
        EXPECT_EQ(console.err(), "ERROR (Vantric init failed) No trace sources detected\n");
        trace->ReleaseInstance();
    }
    {
        kvhost::Simulation noScheduler(kvhost::SimulationOptions{.scheduler = false});
        noScheduler.AddProcessor("cluster0.cpu0", true);
        vantric::VantricTrace* trace = Create();
        console.Clear();
        EXPECT_EQ(trace->ConnectSimulation(&noScheduler), 1u);
        EXPECT_EQ(console.err(), "ERROR (Trace Register sim) OS driver instantiation failed\n"
                                 "ERROR (Vantric init failed) Unable to get scheduler interface for "
                                 "getCurrentSimulationTime()\n");
        trace->ReleaseInstance();
    }
    {
        kvhost::Simulation noRegistry(kvhost::SimulationOptions{.componentRegistry = false});
        vantric::VantricTrace* trace = Create({Text(2, "never")});
        console.Clear();
        EXPECT_EQ(trace->ConnectSimulation(&noRegistry), 1u);
        EXPECT_EQ(console.err(), "ERROR (Vantric init failed) Couldn't find component registry\n");
        EXPECT_EQ(trace->ConnectSimulation(nullptr), 3u);
        trace->ReleaseInstance();  // nothing was opened: no description files
        EXPECT_FALSE(fs::exists(dir.path() / "never.rcf"));
    }
}

}  // namespace
