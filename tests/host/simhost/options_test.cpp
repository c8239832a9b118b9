#include "options.h"

#include <gtest/gtest.h>

#include <vector>

namespace simhost {
namespace {

bool Parse(std::vector<const char*> args, Options& options, std::string& error) {
    args.insert(args.begin(), "simhost");
    return ParseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ParseOptions, ReadsEveryOption) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--plugin", "p.so", "--empty-plugin", "e.so", "--scenario", "baremetal",
                       "--cores", "8", "--instructions", "123456", "--seed", "99", "--work-dir", "w",
                       "--verify", "--bench", "-P", "time-base=1", "-Prcf-capture=x"},
                      o, error))
        << error;
    EXPECT_EQ(o.pluginPath, "p.so");
    EXPECT_EQ(o.emptyPluginPath, "e.so");
    EXPECT_EQ(o.scenario, "baremetal");
    EXPECT_EQ(o.cores, 8u);
    EXPECT_EQ(o.instructions, 123456u);
    EXPECT_EQ(o.seed, 99u);
    EXPECT_EQ(o.workDir, "w");
    EXPECT_TRUE(o.verify);
    EXPECT_TRUE(o.bench);
    EXPECT_EQ(o.assignments, (std::vector<std::string>{"time-base=1", "rcf-capture=x"}));
}

TEST(ParseOptions, Defaults) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_EQ(o.scenario, "linux");
    EXPECT_EQ(o.cores, 4u);
    EXPECT_EQ(o.instructions, 50000000u);
    EXPECT_FALSE(o.verify);
}

TEST(ParseOptions, RefusesWithClearMessages) {
    const struct {
        std::vector<const char*> args;
        const char* message;
    } cases[] = {
        {{"--scenario", "rtos"}, "unknown scenario 'rtos': use linux or baremetal"},
        {{"--cores", "0"}, "--cores takes a whole number from 1 to 64, not '0'"},
        {{"--cores", "65"}, "--cores takes a whole number from 1 to 64, not '65'"},
        {{"--cores", "-1"}, "--cores takes a whole number from 1 to 64, not '-1'"},
        {{"--instructions", "12k"}, "--instructions takes a whole number from 1000 to 1099511627776, not '12k'"},
        {{"--seed"}, "--seed needs a value"},
        {{"-P"}, "-P needs a value"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
    };
    for (const auto& c : cases) {
        Options o;
        std::string error;
        EXPECT_FALSE(Parse(c.args, o, error)) << c.message;
        EXPECT_EQ(error, c.message);
    }
}

TEST(CapturePath, FollowsThePluginsNamingRule) {
    const struct {
        std::vector<std::string> assignments;
        const char* path;
    } cases[] = {
        {{}, "./kelvane.rcf"},
        {{"output-directory=/tmp/x"}, "/tmp/x/kelvane.rcf"},
        {{"rcf-capture=run1"}, "./run1.rcf"},
        {{"rcf-capture=a.rcf"}, "./a.rcf"},
        {{"rcf-capture=.rcf"}, "./.rcf.rcf"},
        {{"rcf-capture=a/b"}, "./out.rcf"},
        {{"rcf-capture=first", "rcf-capture=second.rcf"}, "./second.rcf"},
        {{"output-directory=out/", "config=c.json"}, "out//kelvane.rcf"},
    };
    for (const auto& c : cases) EXPECT_EQ(CapturePath(c.assignments), c.path);
}

TEST(LastAssignment, NeedsTheWholeName) {
    const std::vector<std::string> a{"config=a", "configx=b", "config=c"};
    EXPECT_EQ(LastAssignment(a, "config", "-"), "c");
    EXPECT_EQ(LastAssignment(a, "conf", "-"), "-");
}

}  // namespace
}  // namespace simhost
