// The instance's life through the host contract: parameters, configuration,
// connecting a simulation, tracing and release, read back from the capture.
#include "core/vantric_trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "kv_test_support.h"
#include "kvhost.h"
#include "support/test_support.h"
#include "util/guarded_call.h"
#include "util/vantric_exception.h"

namespace {

using vantric::testing::RecordsOf;
using Parameters = std::vector<ZVT::v0::ParameterValue>;

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

TEST(VantricTraceNames, CaptureNameNormalisation) {
    kvhost::StreamCapture console;
    const std::pair<const char*, const char*> cases[] = {
        {"kelvane.rcf", "kelvane.rcf/"}, {"run1", "run1.rcf/"}, {".rcf", ".rcf.rcf/"},
        {"a.rcf", "a.rcf/"},             {"", ".rcf/"},         {"run\\1", "run\\1.rcf/"}};
    for (const auto& [name, directory] : cases)
        EXPECT_EQ(vantric::VantricTrace::NormaliseCaptureName(name), directory) << name;
    EXPECT_EQ(vantric::VantricTrace::NormaliseCaptureName("a/b"), "out.rcf/");
    EXPECT_EQ(console.err(),
              "ERROR (Vantric Trace Init) rcf-capture is not a valid directory name. Reverting to out.rcf\n");
}

class VantricTraceTest : public testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("TALVEN_HOME");
        // High enough to follow PERIODIC events; no OS awareness.
        subsystem = dir.write("subsystem.json", R"({"operating-system": "rtos", "sampling-frequency": 100000})");
        config = dir.write("config.json", Config("cluster0.*", subsystem));
    }
    static std::string Config(const std::string& name, const std::string& file) {
        return "[{\"Subsystem_name\": \"" + name + "\", \"Subsystem_config_file\": \"" + file + "\"}]";
    }
    vantric::VantricTrace* Create(Parameters extra = {}) {
        Parameters parameters = {Text(0, dir.path().string()), Text(7, config)};
        parameters.insert(parameters.end(), extra.begin(), extra.end());
        return new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
    }

    vantric::testing::TempDirectory dir;
    kvhost::StreamCapture console;
    std::string subsystem;
    std::string config;
};

TEST_F(VantricTraceTest, ParametersAndPaths) {
    struct Case {
        Parameters parameters;
        const char* home;
        std::string directory;
        uint32_t timeBase;
        std::string defaults;
    } cases[] = {
        {{Text(0, dir.path().string()), Text(2, "run1"), Integer(1, 257), Integer(42, 1)}, nullptr,
         dir.path().string() + "/run1.rcf/", 1, ""},  // the low 8 bits; unknown ids ignored
        {{Integer(1, 3)}, "/opt/talven", "/", 0,  // 3 leaves simulated time; no directory given
         "/opt/talven/plugins/config/VantricTrace/VantricTrace_counter_defaults.json"},
        {{Integer(1, 2), Text(9, "mine.json")}, "/opt/talven", "/", 2, "mine.json"},
    };
    for (Case& c : cases) {
        if (c.home != nullptr) ::setenv("TALVEN_HOME", c.home, 1);
        console.Clear();
        c.parameters.push_back(Text(7, config));
        auto* trace = new vantric::VantricTrace("vt", uint32_t(c.parameters.size()), c.parameters.data());
        EXPECT_EQ(trace->outputDirectory(), c.directory);
        EXPECT_EQ(trace->timeSource().timeBase(), c.timeBase);
        EXPECT_EQ(trace->counterDefaultsPath(), c.defaults);
        EXPECT_STREQ(trace->InstanceName(), "vt");
        EXPECT_EQ(console.out(), "\nReading talven_home");
        // Kernel type 3 is announced while the agent is built.
        EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n");
        trace->ReleaseInstance();
        ::unsetenv("TALVEN_HOME");
    }
}

TEST_F(VantricTraceTest, FaceLookupsAndVisitOrder) {
    auto* trace = Create();
    auto* face = static_cast<VantricTraceInterface*>(trace);
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
    static_cast<plexa::CAInterfaceRegistryIF*>(
        trace->LookupInterface("plexa.CAInterfaceRegistry", 0, nullptr))->VisitInterfaces(&names);
    EXPECT_EQ(names.all,
              "PluginInstance0:0 VantricTraceInterface:0 plexa.CAInterface:0 plexa.CAInterfaceRegistry:0 ");
    trace->ReleaseInstance();
}

TEST_F(VantricTraceTest, ConfigurationProblems) {
    const std::string noOs = dir.write("noos.json", R"({"sampling-frequency": 1})");
    const std::string bad = dir.write(
        "bad.json", "[{\"Subsystem_name\": \"a\", \"Subsystem_config_file\": \"" + subsystem +
                        "\"}, {\"Subsystem_name\": \"b\"}]");
    auto depth = [&](const std::string& value) {
        const std::string file = dir.write("depth" + value + ".json",
                                           R"({"operating-system": "rtos", "callstack-depth": )" + value + "}");
        return std::pair(dir.write("config" + value + ".json", Config("x", file)), file);
    };
    const auto [deepest, deepestFile] = depth("1024");
    const auto [tooDeep, tooDeepFile] = depth("4294967295");
    const std::string unsupported = "ERROR (Vantric Trace Init) Unsupported kernel type\n";
    const struct {
        std::string config;  // empty: no "config" parameter
        Parameters extra;
        int agents;  // -1: the constructor throws
        std::string err;
    } cases[] = {
        {"", {}, -1, "ERROR (Vantric) Config json missing\n"},
        {bad, {}, -1, unsupported + "ERROR (Vantric) Error while parsing " + bad +
                          " : Invalid Subsystem_config_file in entry #2\n"},
        {"/nonexistent/config.json", {}, -1,
         "ERROR (Vantric) Cannot create JSON stream for /nonexistent/config.json\n"},
        {dir.path().string(), {}, -1,
         "ERROR (Vantric) Cannot create JSON stream for " + dir.path().string() + " : it is a directory\n"},
        {dir.write("object.json", R"({"Subsystem_name": "a"})"), {}, -1,
         "ERROR (Vantric) Error while parsing " + (dir.path() / "object.json").string() +
             " : tried to access value of type object as array\n"},
        {dir.write("dir.json", Config("x", dir.path().string())), {}, -1,
         "ERROR (Vantric) Cannot create JSON stream for " + dir.path().string() + " : it is a directory\n"},
        {dir.write("warn.json", Config("x", noOs)), {}, 0,
         "WARN (Vantric) Unable to read valid 'operating-system' value from " + noOs +
             " : tried to access value of type null as string\n"},
        {deepest, {}, 1, unsupported},
        {tooDeep, {}, 1, unsupported + "WARN (Vantric) " + tooDeepFile +
                             " config warning : callstack-depth 4294967295 is more than 1024 frames; using 100\n\n"},
        {config, {Integer(5, 899), Integer(6, 900)}, 1, unsupported},
        {config, {Integer(5, 900), Integer(6, 900)}, 1,
         "WARN (Vantric) trace-start-time 900 is not before trace-end-time 900 : nothing will be traced\n" + unsupported},
        {config, {Integer(5, 901), Integer(6, 900)}, 1,
         "WARN (Vantric) trace-start-time 901 is not before trace-end-time 900 : nothing will be traced\n" + unsupported},
    };
    for (const auto& c : cases) {
        console.Clear();
        Parameters parameters = {Text(0, dir.path().string())};
        if (!c.config.empty()) parameters.push_back(Text(7, c.config));
        parameters.insert(parameters.end(), c.extra.begin(), c.extra.end());
        if (c.agents < 0) {
            EXPECT_THROW(vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data()),
                         vantric::VantricExceptionT);
        } else {
            auto* trace = new vantric::VantricTrace("vt", uint32_t(parameters.size()), parameters.data());
            EXPECT_EQ(trace->agents().agents().size(), size_t(c.agents)) << c.config;
            trace->ReleaseInstance();
        }
        EXPECT_EQ(console.err(), c.err) << c.config;
    }
}

TEST_F(VantricTraceTest, DiscoveryModeReadsNothingAndEndsTheSimulation) {
    const Parameters parameters = {Integer(8, 1), Text(0, "out"), Integer(1, 1)};
    auto* trace = new vantric::VantricTrace("vt", 3, parameters.data());
    EXPECT_EQ(trace->outputDirectory(), "out");  // left as the parameter gave it
    EXPECT_EQ(trace->timeSource().timeBase(), 0u);
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

// Two cores and a memory component, traced by a subsystem of an unsupported
// kernel type (no OS awareness: samples carry the pc alone).
TEST_F(VantricTraceTest, TwoCoresAndAMemoryComponent) {
    const std::string counters = dir.write(
        "counters.json",
        R"([{"Component": "", "ZVTSrcName": "READ", "Title": "Memory", "CounterName": "Reads", "Display": "accumulate"}])");
    kvhost::Simulation simulation;
    simulation.SetTickSeconds(1e-9);
    simulation.AddProcessor("other.cpu0", true);  // matches no subsystem: takes no core number
    kvhost::Processor& cpu0 = simulation.AddProcessor("cluster0.cpu0", true);
    kvhost::TraceComponent& memory = simulation.AddTraceComponent("memory");
    memory.AddSource("READ", "reads", {kvhost::Unsigned("ADDR", 8)});
    kvhost::Processor& cpu1 = simulation.AddProcessor("cluster0.cpu1", false);

    vantric::VantricTrace* trace = Create({Text(2, "cap"), Text(4, counters)});
    EXPECT_EQ(trace->ConnectSimulation(&simulation), 0u);
    EXPECT_EQ(trace->periodicSourceCount(), 3u);
    EXPECT_EQ(simulation.registry().Find("VantricTrace"),
              static_cast<plexa::CAInterface*>(static_cast<VantricTraceInterface*>(trace)));

    simulation.SetTicks(500);
    cpu0.EmitPeriodic(99999, 0x1000);   // below the interval: nothing
    cpu0.EmitPeriodic(100000, 0x1004);  // sample and counter value 100000
    simulation.SetTicks(600);
    cpu1.EmitPeriodic(150000, 0x2000);
    memory.Source("READ").Emit({{"ADDR", uint64_t{1}}});
    cpu0.EmitRunState(1, 4);  // standby: idle state 0
    cpu0.EmitRunState(4, 1);  // running again: -1
    // Two events a callback failed on: the first is printed, release counts them.
    for (int i = 0; i < 2; ++i) vantric::GuardedCall::Failed("Trace event", "planted", true);
    trace->ReleaseInstance();

    const vantric::rcf::Capture capture = vantric::testing::ReadBack(dir.capture("cap.rcf"));
    const auto cores = RecordsOf<vantric::rcf::CoreNameRecord>(capture, 1);
    ASSERT_EQ(cores.size(), 2u);
    EXPECT_EQ(cores[0].name, "cluster0");  // the text before ".cpu"
    EXPECT_EQ(cores[0].cpuId, 3080u);
    EXPECT_EQ(cores[1].core, 1u);

    const auto samples = RecordsOf<vantric::rcf::SampleRecord>(capture, 2);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].time, 500u);
    ASSERT_EQ(samples[0].frames.size(), 1u);
    EXPECT_EQ(samples[0].frames[0].address, 0x1004u);
    EXPECT_EQ(RecordsOf<vantric::rcf::SampleRecord>(capture, 2, 1).size(), 1u);

    // Keys: 3 the user counter, 4 the instruction count.
    std::vector<std::tuple<uint32_t, uint32_t, uint64_t>> seen;
    for (const auto& v : RecordsOf<vantric::rcf::CounterValueRecord>(capture, 4))
        seen.emplace_back(v.core, v.key, v.value);
    EXPECT_EQ(seen, (std::vector<std::tuple<uint32_t, uint32_t, uint64_t>>{
                        {0, 4, 100000}, {1, 4, 150000}, {0, 3, 1}}));

    const auto idles = RecordsOf<vantric::rcf::IdleRecord>(capture, 9);
    ASSERT_EQ(idles.size(), 2u);
    EXPECT_EQ(idles[0].state, 0);
    EXPECT_EQ(idles[1].state, -1);
    EXPECT_EQ(capture.cores.value_or(0), 3u);  // opened for every processor
    EXPECT_EQ(console.err(), "ERROR (Vantric Trace Init) Unsupported kernel type\n"
                             "ERROR (Trace Register sim) OS driver instantiation failed\n"
                             "ERROR (Vantric) Trace event failed : planted\n"
                             "WARN (Vantric) 2 trace events dropped after errors\n");
}

TEST_F(VantricTraceTest, StartUpFailures) {
    kvhost::Simulation noCores;
    noCores.AddTraceComponent("memory");
    kvhost::Simulation noScheduler(kvhost::SimulationOptions{.scheduler = false});
    noScheduler.AddProcessor("cluster0.cpu0", true);
    kvhost::Simulation noRegistry(kvhost::SimulationOptions{.componentRegistry = false});
    const std::pair<kvhost::Simulation*, const char*> cases[] = {
        {&noRegistry, "ERROR (Vantric init failed) Couldn't find component registry\n"},
        {&noCores, "ERROR (Vantric init failed) No trace sources detected\n"},
        {&noScheduler, "ERROR (Trace Register sim) OS driver instantiation failed\n"
                       "ERROR (Vantric init failed) Unable to get scheduler interface for "
                       "getCurrentSimulationTime()\n"},
    };
    for (const auto& [simulation, err] : cases) {
        vantric::VantricTrace* trace = Create({Text(2, "never")});
        console.Clear();
        EXPECT_EQ(trace->ConnectSimulation(simulation), 1u);
        EXPECT_EQ(console.err(), err);
        trace->ReleaseInstance();
        // Without a registry nothing was opened: no capture directory.
        if (simulation == &noRegistry) {
            EXPECT_FALSE(std::filesystem::exists(dir.path() / "never.rcf"));
        }
    }
}

}  // namespace
