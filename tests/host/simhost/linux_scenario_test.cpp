// The Linux scenario on its own (no plug-in): the files it writes, the
// system calls it decodes to, and the consistency of what it records.
#include "linux_scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <set>
#include <sstream>

#include "kv_test_support.h"

namespace simhost {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

GroundTruth RunLinux(const std::filesystem::path& dir, uint32_t cores, uint64_t seed,
                     uint64_t instructions = 4000000) {
    ScenarioOptions options;
    options.cores = cores;
    options.instructions = instructions;
    options.seed = seed;
    options.workDir = dir;
    std::filesystem::create_directories(dir);
    LinuxScenario scenario(options);
    scenario.Prepare();
    scenario.Run({});
    return scenario.truth();
}

TEST(LinuxScenario, WritesTheFilesAUserWould) {
    kvhost::TempDirectory dir;
    ScenarioOptions options;
    options.cores = 2;
    options.workDir = dir.path();
    LinuxScenario scenario(options);
    const std::vector<std::string> parameters = scenario.Prepare();
    EXPECT_EQ(parameters, (std::vector<std::string>{
                              "config=" + (dir.path() / "config.json").string(),
                              "counters-config-file=" + (dir.path() / "counters.json").string()}));
    EXPECT_EQ(ReadFile(dir.path() / "config.json"),
              "[\n  {\n    \"Subsystem_name\": \"cluster0.cpu*\",\n    \"Subsystem_config_file\": \"" +
                  (dir.path() / "linux.json").string() + "\"\n  }\n]\n");
    const std::string settings = ReadFile(dir.path() / "linux.json");
    EXPECT_NE(settings.find("\"sampling-frequency\": 100000"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"callstack-depth\": 16"), std::string::npos);
    EXPECT_NE(settings.find("\"pageshift\": 12"), std::string::npos);
    const std::string offsets = ReadFile(dir.path() / "offsets.txt");
    EXPECT_NE(settings.find("\"linux-offsets-64\": \"" + offsets.substr(0, offsets.size() - 1) + "\""),
              std::string::npos);
    const std::string map = ReadFile(dir.path() / "System.map");
    for (const char* symbol : {" T __switch_to\n", " T release_task\n", " T __schedule\n", " T do_exit\n"}) {
        EXPECT_NE(map.find(symbol), std::string::npos) << symbol;
    }
    EXPECT_NE(ReadFile(dir.path() / "counters.json").find("\"Condition\": \"KIND == 1\""), std::string::npos);
}

TEST(LinuxScenario, DecodedSystemCallTexts) {
    kvhost::TempDirectory dir;
    const GroundTruth truth = RunLinux(dir.path(), 8, 1, 6000000);
    std::set<std::string> texts;
    for (const TruthSyscall& s : truth.syscalls) texts.insert(s.text);
    const std::set<std::string> expected = {
        "openat(-100, \"/etc/nginx/nginx.conf\", 524288, 0)",
        "openat(-100, \"/var/www/html/index.html\", 524288, 0)",
        "openat(-100, \"/var/log/nginx/access.log\", 525377, 416)",
        "openat(-100, \"/usr/lib/python3.11/json/__init__.py\", 524288, 0)",
        "openat(-100, \"/home/kv/data/input.csv\", 524288, 0)",
        "openat(-100, \"/tmp/report.txt\", 577, -32348)",
        "openat(-100, \"/var/lib/postgresql/15/main/base/16384/2619\", 524288, 0)",
        "openat(-100, \"/var/lib/postgresql/15/main/pg_wal/000000010000000000000001\", 525377, 384)",
        "openat(-100, \"Makefile\", 524288, 0)",
        "openat(-100, \"/usr/include/stdio.h\", 524288, 0)",
        "execve(\"/bin/sh\", [\"/bin/sh\", \"-c\", \"cc -O2 -c main.c -o main.o\"], "
        "[\"PATH=/usr/local/bin:/usr/bin:/bin\", \"LANG=C.UTF-8\", \"MAKEFLAGS=-j4\"])",
        "execve(\"/usr/bin/cc\", [\"cc\", \"-O2\", \"-c\", \"util.c\"], [\"LANG=C.UTF-8\"])",
    };
    EXPECT_EQ(texts, expected);
    // Each call comes from a thread of the process whose files it names.
    for (const TruthSyscall& s : truth.syscalls) {
        const uint32_t pid = truth.threads.at(s.tid).pid;
        const bool make = s.text.find("Makefile") != std::string::npos || s.text.rfind("execve", 0) == 0;
        if (make) {
            EXPECT_EQ(pid, 1720u) << s.text;
        }
        if (s.text.find("nginx") != std::string::npos) {
            EXPECT_EQ(pid, 1200u) << s.text;
        }
    }
}

TEST(LinuxScenario, RecordsAConsistentRun) {
    kvhost::TempDirectory dir;
    const GroundTruth truth = RunLinux(dir.path(), 8, 3);
    uint64_t byThreads = 0;
    for (const auto& [tid, t] : truth.threads) byThreads += t.instructions;
    EXPECT_EQ(byThreads, std::accumulate(truth.coreInstructions.begin(), truth.coreInstructions.end(), uint64_t{0}));
    EXPECT_GE(byThreads, 8u * 4000000u);
    size_t idle = 0;
    for (const TruthSwitch& s : truth.switches) {
        ASSERT_TRUE(truth.threads.count(s.tid)) << s.tid;
        EXPECT_LE(s.state, 2u);
        if (s.tid == 0) ++idle;
    }
    EXPECT_GT(idle, 0u);  // eight cores, fewer runnable threads: cores idle
    std::set<uint32_t> exited;
    for (const TruthExit& e : truth.exits) exited.insert(e.pid);
    EXPECT_EQ(exited, (std::set<uint32_t>{1200, 1350, 1502}));
    EXPECT_EQ(truth.threads.at(57).exePath, "");
    EXPECT_EQ(truth.threads.at(1351).exePath, "/usr/bin/python3.11");
}

TEST(LinuxScenario, TheSeedDecides) {
    kvhost::TempDirectory dir;
    const GroundTruth a = RunLinux(dir.path() / "a", 2, 5, 1000000);
    const GroundTruth b = RunLinux(dir.path() / "b", 2, 5, 1000000);
    const GroundTruth c = RunLinux(dir.path() / "c", 2, 6, 1000000);
    EXPECT_EQ(a.switches, b.switches);
    EXPECT_EQ(a.syscalls, b.syscalls);
    EXPECT_NE(a.switches, c.switches);
}

}  // namespace
}  // namespace simhost
