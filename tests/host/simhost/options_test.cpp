// simhost's command line, and its check of -P values against the parameter
// table the plug-in hands over through its factory.
#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "parameter_args.h"
#include "plugin_library.h"

namespace simhost {
namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "simhost");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ParseOptions, ReadsEveryOptionAndHasDefaults) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(std::tie(o.scenario, o.cores, o.instructions, o.seed, o.verify, o.bench),
              std::make_tuple("linux", 4u, 50000000u, 1u, false, false));
    ASSERT_TRUE(Parse({"--plugin", "p.so", "--empty-plugin", "e.so", "--scenario", "baremetal", "--cores", "64",
                       "--instructions", "1000", "--seed", "99", "--work-dir", "w", "--verify", "--bench", "-P",
                       "time-base=1", "-Prcf-capture=x"},
                      o, error))
        << error;
    EXPECT_EQ(std::tie(o.pluginPath, o.emptyPluginPath, o.scenario, o.workDir), std::make_tuple("p.so", "e.so", "baremetal", "w"));
    EXPECT_EQ(std::tie(o.cores, o.instructions, o.seed, o.verify, o.bench), std::make_tuple(64u, 1000u, 99u, true, true));
    EXPECT_EQ(o.assignments, (std::vector<std::string>{"time-base=1", "rcf-capture=x"}));
}

TEST(ParseOptions, RefusesWithClearMessages) {
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"--scenario", "rtos"}, "unknown scenario 'rtos': use linux or baremetal"},
        {{"--cores", "0"}, "--cores takes a whole number from 1 to 64, not '0'"},
        {{"--cores", "65"}, "--cores takes a whole number from 1 to 64, not '65'"},
        {{"--cores", "-1"}, "--cores takes a whole number from 1 to 64, not '-1'"},
        {{"--instructions", "999"}, "--instructions takes a whole number from 1000 to 1099511627776, not '999'"},
        {{"--instructions", "12k"}, "--instructions takes a whole number from 1000 to 1099511627776, not '12k'"},
        {{"--seed"}, "--seed needs a value"},
        {{"-P"}, "-P needs a value"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
    };
    for (const auto& [args, message] : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(args, o, error)) << message;
        EXPECT_EQ(error, message);
    }
}

TEST(ParameterCheck, ValuesAreCheckedAgainstThePluginsTable) {
    PluginLibrary plugin;
    std::string error;
    ASSERT_TRUE(plugin.Load(VT_BINARY_DIR "/VantricTrace.so", error)) << error;
    const ParameterTable table = ReadParameterTable(*plugin.factory());
    std::vector<std::string> listed;
    for (const auto& info : table) listed.push_back(std::to_string(info.id) + " " + info.name);
    EXPECT_EQ(listed, (std::vector<std::string>{"0 output-directory", "1 time-base", "2 rcf-capture", "3 trace-compile",
                                                "4 counters-config-file", "5 trace-start-time", "6 trace-end-time",
                                                "7 config", "8 discovery-mode", "9 counter-defaults-json"}));
    // An assignment, the id and integer value it gives, or the error it gives.
    const std::tuple<std::string, uint32_t, int64_t, std::string> cases[] = {
        {"time-base=1", 1, 1, ""},
        {"trace-end-time=0xFFFFFFFFFFFFFFFF", 6, -1, ""},  // 2^64-1, all bits
        {"trace-start-time=0", 5, 0, ""},
        {"discovery-mode=on", 8, 1, ""},
        {"trace-compile=no", 3, 0, ""},
        {"config=" + std::string(1023, 'x'), 7, 0, ""},
        {"time-base=fast", 0, 0, "parameter 'time-base' takes an integer from 0 to 1, not 'fast'"},
        {"time-base=+1", 0, 0, "parameter 'time-base' takes an integer from 0 to 1, not '+1'"},
        {"time-base=2", 0, 0, "parameter 'time-base' takes an integer from 0 to 1, not '2'"},
        {"trace-start-time=-5", 0, 0, "parameter 'trace-start-time' takes an integer from 0 to 2^64-1, not '-5'"},
        {"trace-end-time=0x10000000000000000", 0, 0,
         "parameter 'trace-end-time' takes an integer from 0 to 2^64-1, not '0x10000000000000000'"},
        {"discovery-mode=2", 0, 0, "parameter 'discovery-mode' takes true or false, not '2'"},
        {"config=" + std::string(1024, 'x'), 0, 0, "parameter 'config' is longer than 1023 characters"},
        {"bogus=1", 0, 0, "unknown parameter 'bogus'"},
        {"config", 0, 0, "parameter 'config' needs a value: use -P name=value"},
    };
    for (const auto& [assignment, id, integer, message] : cases) {
        ZVT::v0::ParameterValue value{};
        error.clear();
        EXPECT_EQ(ParseAssignment(table, assignment, value, error), message.empty()) << assignment;
        EXPECT_EQ(error, message);
        if (!message.empty()) continue;
        EXPECT_EQ(value.id, id) << assignment;
        EXPECT_EQ(value.integerValue, integer) << assignment;
    }
}

}  // namespace
}  // namespace simhost
