// The listing is JSON for tools and text for people: its frame is checked
// byte for byte once, its content by reading it back with our JSON reader.
#include "core/discovery_listing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "json/json_stream_reader.h"
#include "kvhost.h"
#include "support/test_support.h"

namespace {

constexpr const char* kBanner =
    "=============================Vantric Discovery mode======================================\n";

class DiscoveryListingTest : public testing::Test {
protected:
    DiscoveryListingTest()
        : defaults(dir.write("defaults.json",
                             R"([{"ZVTSrcName": "READ", "Title": "Memory", "Display": "accumulate",
                                  "Condition": "ADDR > 4", "PerCpu": true, "MessageInterval": 10}])")) {}

    std::string Listing(const std::string& defaultsPath, bool* ok = nullptr) {
        std::ostringstream out;
        vantric::DiscoveryListing listing(out);
        const bool result = listing.run(&simulation, defaultsPath);
        if (ok != nullptr) *ok = result;
        return out.str();
    }

    // The listing after its banner, read as JSON.
    vq::JSONValue Parsed() {
        const std::string text = Listing(defaults);
        EXPECT_EQ(text.rfind(kBanner, 0), 0u);
        std::istringstream in(text.substr(std::strlen(kBanner)));
        vq::JSONStreamReader reader(in);
        vq::JSONValue value;
        EXPECT_TRUE(vq::parseJSON(reader, value)) << reader.messages() << text;
        return value;
    }

    // Drops every source of the processors but BRA_DIR, the one that makes
    // a core an instance.
    void OnlyBranchSources(std::initializer_list<kvhost::Processor*> cores) {
        for (kvhost::Processor* p : cores) {
            std::vector<std::string> others;
            for (uint32_t i = 0; i < p->TraceSourceCount(); ++i)
                if (std::string(p->TraceSourceAt(i)->Name()) != "BRA_DIR")
                    others.push_back(p->TraceSourceAt(i)->Name());
            for (const std::string& name : others) p->RemoveSource(name);
        }
    }

    vantric::testing::TempDirectory dir;
    std::string defaults;
    kvhost::Simulation simulation;
};

TEST_F(DiscoveryListingTest, EmptySimulationFrame) {
    EXPECT_EQ(Listing(defaults),
              std::string(kBanner) +
                  "{\n\t\"BasicSources\": [\n\t],\n\t\"OtherSources\": [\n\t],\n\n\t\"Instances\": [\n\t\t]\n}\n");
}

TEST_F(DiscoveryListingTest, SourcesWithDefaultsFieldsAndEnums) {
    kvhost::TraceComponent& memory = simulation.AddTraceComponent("mem");
    memory.AddSource("READ", "a \"read\"/load", {kvhost::Unsigned("ADDR", 8, "address\tof\\it")});
    memory.AddSource("NOFIELDS", "line\nend", {});
    memory.AddSource("MODE", "m", {kvhost::Enum("MX", 4, {{0, "OFF"}, {7, "ON"}}),
                                    kvhost::Signed("S", 2)});
    vq::JSONValue listing = Parsed();

    // A source named in the defaults is basic, with the defaults merged in.
    ASSERT_EQ(listing["BasicSources"].size(), 1u);
    vq::JSONValue& read = listing["BasicSources"].at(0);
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"Component", "mem"}, {"ZVTSrcName", "READ"}, {"Description", "a \"read\"/load"},
        {"Condition", "ADDR > 4"}, {"Title", "Memory"}, {"CounterName", "mem.READ"},
        {"Type", "mem.READ"}, {"Display", "accumulate"}, {"Units", "units"},
        {"AverageSelection", "1"}, {"PerCpu", "1"}, {"MessageInterval", "10"}};
    ASSERT_EQ(read.members().size(), expected.size() + 1);  // and "Fields"
    for (const auto& [key, value] : expected) EXPECT_EQ(read[key].asString(), value) << key;
    ASSERT_EQ(read["Fields"].size(), 1u);
    vq::JSONValue& address = read["Fields"].at(0);
    EXPECT_EQ(address["Name"].asString(), "ADDR");
    EXPECT_EQ(address["Description"].asString(), "address\tof\\it");
    EXPECT_EQ(address["Type"].asString(), "ZVT_UNSIGNED_INT");
    EXPECT_EQ(address["Size"].asUInt64(), 8u);

    // Every other source, in component order, with its fields and enumerations.
    vq::JSONValue& others = listing["OtherSources"];
    ASSERT_EQ(others.size(), 2u);
    EXPECT_EQ(others.at(0)["ZVTSrcName"].asString(), "NOFIELDS");
    EXPECT_EQ(others.at(0)["Description"].asString(), "line\nend");
    EXPECT_EQ(others.at(0)["Fields"].size(), 0u);
    EXPECT_EQ(others.at(0).members().size(), 4u);  // no defaults for it
    vq::JSONValue& mode = others.at(1)["Fields"];
    ASSERT_EQ(mode.size(), 2u);
    EXPECT_EQ(mode.at(0)["Type"].asString(), "ZVT_ENUM");
    ASSERT_EQ(mode.at(0)["EnumString"].size(), 2u);
    EXPECT_EQ(mode.at(0)["EnumString"].at(1)["Value"].asUInt64(), 7u);
    EXPECT_EQ(mode.at(0)["EnumString"].at(1)["String"].asString(), "ON");
    EXPECT_EQ(mode.at(1)["Type"].asString(), "ZVT_SIGNED_INT");
    EXPECT_EQ(mode.at(1)["Size"].asUInt64(), 2u);

    // Descriptions escape the solidus too; names are written as they are.
    const std::string text = Listing(defaults);
    EXPECT_NE(text.find("\"a \\\"read\\\"\\/load\""), std::string::npos);
    EXPECT_NE(text.find("\"address\\tof\\\\it\""), std::string::npos);
}

TEST_F(DiscoveryListingTest, InstancesInNameOrder) {
    kvhost::Processor& b = simulation.AddProcessor("b", true);
    kvhost::Processor& a = simulation.AddProcessor("a", false);
    OnlyBranchSources({&a, &b});
    std::strcpy(a.targetInfo().targetName, "Core-A");
    std::strcpy(a.targetInfo().description, "first/\"core\"");
    std::strcpy(a.targetInfo().type, "cpu");
    std::strcpy(a.targetInfo().version, "r1");
    a.targetInfo().isSoftware = 1;
    a.SetRegister("CPUID", 0x410FC075);
    b.SetRegister("MIDR_EL1", 0x411FD070);
    vq::JSONValue listing = Parsed();

    vq::JSONValue& instances = listing["Instances"];
    ASSERT_EQ(instances.size(), 2u);
    vq::JSONValue& first = instances.at(0);
    EXPECT_EQ(first["Name"].asString(), "a");
    EXPECT_EQ(first["Id"].asUInt64(), a.targetInfo().id);
    EXPECT_EQ(first["QOVIName"].asString(), "Core-A");
    EXPECT_EQ(first["Description"].asString(), "first/\"core\"");
    EXPECT_EQ(first["Details"]["SW"].asString(), "yes");
    EXPECT_EQ(first["Details"]["Type"].asString(), "cpu");
    EXPECT_EQ(first["Details"]["Version"].asString(), "r1");
    EXPECT_EQ(first["Details"]["MIDR"].asUInt64(), 0x410FC075u);  // CPUID on a 32-bit core
    EXPECT_EQ(instances.at(1)["Name"].asString(), "b");
    EXPECT_EQ(instances.at(1)["Details"]["SW"].asString(), "no");
    EXPECT_EQ(instances.at(1)["Details"]["MIDR"].asUInt64(), 0x411FD070u);
}

TEST_F(DiscoveryListingTest, FailuresAreListedAfterTheInstances) {
    kvhost::Processor& a = simulation.AddProcessor("a", true);
    kvhost::Processor& c = simulation.AddProcessor("c", true);
    OnlyBranchSources({&a, &c});
    c.SetFailing(kvhost::DebugOperation::GetTargetInfo, true);
    kvhost::TraceComponent& odd = simulation.AddTraceComponent("odd");
    odd.AddSource("BRA_DIR", "", {kvhost::FieldShape{"X", 9, 0x10004, "", {}, 0}});
    const std::string text = Listing(defaults);
    EXPECT_NE(text.find("\t\t\t\"Type\": \"ZVT_UNKNOWN\",\n\t\t\t\"Size\": 4\n"), std::string::npos);
    // The failed instances leave the comma of the last good one.
    const std::string tail = "\t\t\t}\n\t\t},\n\t\t],\n\n\t\"Errors\":\"ERROR: Getting target info for c "
                             "failed. ERROR: Getting target info for odd failed. \"\n}\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(DiscoveryListingTest, UnreadableDefaultsPrintNothingButSayWhy) {
    const std::string missing = (dir.path() / "missing.json").string();
    const std::pair<std::string, std::string> cases[] = {
        {missing, "Counters setup failed : Cannot create JSON stream for " + missing + "\n"},
        {dir.path().string(), "Counters setup failed : Cannot create JSON stream for " +
                                  dir.path().string() + " : it is a directory\n"}};
    for (const auto& [path, why] : cases) {
        std::ostringstream out;
        vantric::DiscoveryListing listing(out);
        EXPECT_FALSE(listing.run(&simulation, path));
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(listing.messages.str(), why);
    }
}

}  // namespace
