#include "core/discovery_listing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "kv_test_support.h"
#include "kvhost.h"

namespace {

std::string Listing(kvhost::Simulation& simulation, const std::string& defaultsPath, bool* ok = nullptr) {
    std::ostringstream out;
    vantric::DiscoveryListing listing(out);
    const bool result = listing.run(&simulation, defaultsPath);
    if (ok != nullptr) *ok = result;
    return out.str();
}

class DiscoveryListingTest : public testing::Test {
protected:
    void SetUp() override {
        defaults = (dir.path() / "defaults.json").string();
        std::ofstream(defaults) << R"([{"ZVTSrcName": "READ", "Title": "Memory", "Display": "accumulate",
                                        "Condition": "ADDR > 4", "PerCpu": true, "MessageInterval": 10}])";
    }
    kvhost::TempDirectory dir;
    std::string defaults;
};

TEST_F(DiscoveryListingTest, EmptySimulation) {
    kvhost::Simulation simulation;
    EXPECT_EQ(Listing(simulation, defaults),
              "=============================Vantric Discovery mode======================================\n"
              "{\n\t\"BasicSources\": [\n\t],\n\t\"OtherSources\": [\n\t],\n\n\t\"Instances\": [\n\t\t]\n}\n");
}

TEST_F(DiscoveryListingTest, SourcesFieldsEnumsAndEscaping) {
    kvhost::Simulation simulation;
    kvhost::TraceComponent& memory = simulation.AddTraceComponent("mem");
    memory.AddSource("READ", "a \"read\"/load", {kvhost::Unsigned("ADDR", 8, "address\tof\\it")});
    memory.AddSource("NOFIELDS", "line\nend", {});
    memory.AddSource("MODE", "m", {kvhost::Enum("M\tX", 4, {{0, "OFF"}, {7, "ON"}}),
                                    kvhost::Signed("S", 2)});
    const std::string expected =
        "=============================Vantric Discovery mode======================================\n"
        "{\n\t\"BasicSources\": [\n"
        "\t\t{\n"
        "\t\t\"Component\": \"mem\",\n"
        "\t\t\"ZVTSrcName\": \"READ\",\n"
        "\t\t\"Description\": \"a \\\"read\\\"\\/load\",\n"
        "\t\t\"Condition\": \"ADDR > 4\",\n"
        "\t\t\"Title\": \"Memory\",\n"
        "\t\t\"CounterName\": \"mem.READ\",\n"
        "\t\t\"Type\": \"mem.READ\",\n"
        "\t\t\"Display\": \"accumulate\",\n"
        "\t\t\"Units\": \"units\",\n"
        "\t\t\"AverageSelection\": \"1\",\n"
        "\t\t\"PerCpu\": \"1\",\n"
        "\t\t\"MessageInterval\": \"10\",\n"
        "\t\t\"Fields\": [\n"
        "\t\t\t{\n"
        "\t\t\t\"Name\": \"ADDR\",\n"
        "\t\t\t\"Description\": \"address\\tof\\\\it\",\n"
        "\t\t\t\"Type\": \"ZVT_UNSIGNED_INT\",\n"
        "\t\t\t\"Size\": 8\n"
        "\t\t\t}\n"
        "\t\t]\n"
        "\t\t}\n"
        "\t],\n\t\"OtherSources\": [\n"
        "\t\t{\n"
        "\t\t\"Component\": \"mem\",\n"
        "\t\t\"ZVTSrcName\": \"NOFIELDS\",\n"
        "\t\t\"Description\": \"line\\nend\",\n"
        "\t\t\"Fields\": [\n"
        "\t\t]\n"
        "\t\t},\n"
        "\t\t{\n"
        "\t\t\"Component\": \"mem\",\n"
        "\t\t\"ZVTSrcName\": \"MODE\",\n"
        "\t\t\"Description\": \"m\",\n"
        "\t\t\"Fields\": [\n"
        "\t\t\t{\n"
        "\t\t\t\"Name\": \"M\tX\",\n"
        "\t\t\t\"Description\": \"\",\n"
        "\t\t\t\"Type\": \"ZVT_ENUM\",\n"
        "\t\t\t\"Size\": 4,\n"
        "\t\t\t\"EnumString\": [\n"
        "\t\t\t\t{\n"
        "\t\t\t\t\"Value\": 0,\n"
        "\t\t\t\t\"String\": \"OFF\"\n"
        "\t\t\t\t},\n"
        "\t\t\t\t{\n"
        "\t\t\t\t\"Value\": 7,\n"
        "\t\t\t\t\"String\": \"ON\"\n"
        "\t\t\t\t}\n"
        "\t\t\t]\n"
        "\t\t\t},\n"
        "\t\t\t{\n"
        "\t\t\t\"Name\": \"S\",\n"
        "\t\t\t\"Description\": \"\",\n"
        "\t\t\t\"Type\": \"ZVT_SIGNED_INT\",\n"
        "\t\t\t\"Size\": 2\n"
        "\t\t\t}\n"
        "\t\t]\n"
        "\t\t}\n"
        "\t],\n\n\t\"Instances\": [\n\t\t]\n}\n";
    EXPECT_EQ(Listing(simulation, defaults), expected);
}

TEST_F(DiscoveryListingTest, InstancesInNameOrderWithFailures) {
    kvhost::Simulation simulation;
    kvhost::Processor& b = simulation.AddProcessor("b", true);
    kvhost::Processor& a = simulation.AddProcessor("a", false);
    kvhost::Processor& c = simulation.AddProcessor("c", true);
    // Keep the listing short: only the source that makes a core an instance.
    for (kvhost::Processor* p : {&a, &b, &c}) {
        std::vector<std::string> others;
        for (uint32_t i = 0; i < p->TraceSourceCount(); ++i)
            if (std::string(p->TraceSourceAt(i)->Name()) != "BRA_DIR") others.push_back(p->TraceSourceAt(i)->Name());
        for (const std::string& name : others) p->RemoveSource(name);
    }
    std::strcpy(a.targetInfo().targetName, "Core-A");
    std::strcpy(a.targetInfo().description, "first/\"core\"");
    std::strcpy(a.targetInfo().type, "cpu");
    std::strcpy(a.targetInfo().version, "r1");
    a.targetInfo().isSoftware = 1;
    a.SetRegister("CPUID", 0x410FC075);
    b.SetRegister("MIDR_EL1", 0x411FD070);
    c.SetFailing(kvhost::DebugOperation::GetTargetInfo, true);

    const std::string listing = Listing(simulation, defaults);
    const std::string instances = listing.substr(listing.find("\t\"Instances\""));
    const std::string expected =
        "\t\"Instances\": [\n"
        "\t\t{\n"
        "\t\t\"Name\": \"a\",\n"
        "\t\t\"Id\": " + std::to_string(a.targetInfo().id) + ",\n"
        "\t\t\"QOVIName\": \"Core-A\",\n"
        "\t\t\"Description\": \"first\\/\\\"core\\\"\",\n"
        "\t\t\"Details\": {\n"
        "\t\t\t\"SW\": \"yes\",\n"
        "\t\t\t\"Component\": \"Core-A\",\n"
        "\t\t\t\"Type\": \"cpu\",\n"
        "\t\t\t\"Version\": \"r1\",\n"
        "\t\t\t\"MIDR\": " + std::to_string(0x410FC075u) + "\n"
        "\t\t\t}\n"
        "\t\t},\n"
        "\t\t{\n"
        "\t\t\"Name\": \"b\",\n"
        "\t\t\"Id\": " + std::to_string(b.targetInfo().id) + ",\n"
        "\t\t\"QOVIName\": \"" + b.targetInfo().targetName + "\",\n"
        "\t\t\"Description\": \"" + vantric::EscapeDescription(b.targetInfo().description) + "\",\n"
        "\t\t\"Details\": {\n"
        "\t\t\t\"SW\": \"no\",\n"
        "\t\t\t\"Component\": \"" + b.targetInfo().targetName + "\",\n"
        "\t\t\t\"Type\": \"" + b.targetInfo().type + "\",\n"
        "\t\t\t\"Version\": \"" + b.targetInfo().version + "\",\n"
        "\t\t\t\"MIDR\": " + std::to_string(0x411FD070u) + "\n"
        "\t\t\t}\n"
        "\t\t},\n"  // the failed last instance leaves this comma
        "\t\t],\n\n"
        "\t\"Errors\":\"ERROR: Getting target info for c failed. \"\n"
        "}\n";
    EXPECT_EQ(instances, expected);
}

TEST_F(DiscoveryListingTest, UnknownTypeCodesAndCoresWithoutDebugInterface) {
    kvhost::Simulation simulation;
    kvhost::TraceComponent& odd = simulation.AddTraceComponent("odd");
    odd.AddSource("BRA_DIR", "", {kvhost::FieldSpec{"X", 9, 0x10004, "", {}, 0}});
    const std::string listing = Listing(simulation, defaults);
    EXPECT_NE(listing.find("\t\t\t\"Type\": \"ZVT_UNKNOWN\",\n\t\t\t\"Size\": 4\n"), std::string::npos);
    EXPECT_NE(listing.find("\t\"Errors\":\"ERROR: Getting target info for odd failed. \"\n}\n"),
              std::string::npos);
}

TEST_F(DiscoveryListingTest, UnreadableDefaultsPrintNothing) {
    kvhost::Simulation simulation;
    bool ok = true;
    EXPECT_EQ(Listing(simulation, (dir.path() / "missing.json").string(), &ok), "");
    EXPECT_FALSE(ok);
}

}  // namespace
