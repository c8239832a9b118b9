#include "plugin/vantric_plugin_factory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" plexa::CAInterface* GetCAInterface();

namespace {

struct Names : plexa::InterfaceVisitor {
    std::vector<std::string> seen;
    std::vector<uint32_t> revisions;
    void Visit(const char* name, uint32_t revision) override {
        seen.emplace_back(name);
        revisions.push_back(revision);
    }
};

ZVT::v1::PluginFactory* Factory() {
    return static_cast<ZVT::v1::PluginFactory*>(GetCAInterface()->LookupInterface("PluginFactory0", 1, nullptr));
}

bool AllZero(const char* begin, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (begin[i] != 0) return false;
    return true;
}

TEST(VantricPluginFactory, EntryPointAndInterfaceNames) {
    plexa::CAInterface* root = GetCAInterface();
    EXPECT_EQ(root, GetCAInterface());
    uint32_t revision = 77;
    EXPECT_EQ(root->LookupInterface("PluginFactory0", 0, &revision), root);
    EXPECT_EQ(revision, 1u);
    revision = 77;
    EXPECT_EQ(root->LookupInterface("PluginFactory0", 2, &revision), nullptr);
    EXPECT_EQ(revision, 77u);

    // "plexa.CAInterface" gives the registry, not the factory.
    auto* registry = static_cast<plexa::CAInterfaceRegistryIF*>(
        root->LookupInterface("plexa.CAInterfaceRegistry", 0, nullptr));
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(root->LookupInterface("plexa.CAInterface", 0, nullptr), registry);
    EXPECT_STREQ(registry->RegistryName(), "VantricPluginFactory");
    Names names;
    registry->VisitInterfaces(&names);
    EXPECT_EQ(names.seen, (std::vector<std::string>{"PluginFactory0", "plexa.CAInterface",
                                                    "plexa.CAInterfaceRegistry"}));
    EXPECT_EQ(names.revisions, (std::vector<uint32_t>{1, 0, 0}));
}

TEST(VantricPluginFactory, KindCountAndRelease) {
    ZVT::v1::PluginFactory* factory = Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_STREQ(factory->PluginKind(), "TRACE");
    factory->ReleaseFactory();
    EXPECT_EQ(factory->ParameterCount(), 10u);
    EXPECT_EQ(factory->ParameterCount(), 10u);
    EXPECT_EQ(factory->CopyParameterInfo(nullptr), 3u);
}

TEST(VantricPluginFactory, ParameterTableBytes) {
    std::vector<ZVT::v0::ParameterInfo> table(10);
    std::memset(static_cast<void*>(table.data()), 0xAB, table.size() * sizeof table[0]);
    ASSERT_EQ(Factory()->CopyParameterInfo(table.data()), 0u);

    const struct {
        const char* name;
        uint32_t type;
        int64_t minimum, maximum, defaultInteger;
        const char* defaultText;
    } expected[10] = {
        {"output-directory", 1, 0, 0, 0, "."},        {"time-base", 3, 0, 1, 0, ""},
        {"rcf-capture", 1, 0, 0, 0, "kelvane.rcf"},   {"trace-compile", 2, 0, 1, 0, ""},
        {"counters-config-file", 1, 0, 0, 0, ""},     {"trace-start-time", 3, 0, -1, 0, ""},
        {"trace-end-time", 3, 0, -1, -1, ""},         {"config", 1, 0, 0, 0, ""},
        {"discovery-mode", 2, 0, 1, 0, ""},           {"counter-defaults-json", 1, 0, 0, 0, ""},
    };
    for (uint32_t id = 0; id < 10; ++id) {
        SCOPED_TRACE(expected[id].name);
        const ZVT::v0::ParameterInfo& info = table[id];
        EXPECT_EQ(info.id, id);
        EXPECT_STREQ(info.name, expected[id].name);
        EXPECT_EQ(info.type, expected[id].type);
        EXPECT_EQ(info.flags, 0u);
        EXPECT_EQ(info.reserved, 0u);
        EXPECT_EQ(info.minimum, expected[id].minimum);
        EXPECT_EQ(info.maximum, expected[id].maximum);
        EXPECT_EQ(info.defaultInteger, expected[id].defaultInteger);
        EXPECT_STREQ(info.defaultText, expected[id].defaultText);
        // Every text field is zero-filled after its terminator.
        const size_t nameLength = std::strlen(info.name);
        EXPECT_TRUE(AllZero(info.name + nameLength, sizeof info.name - nameLength));
        const size_t descriptionLength = std::strlen(info.description);
        EXPECT_TRUE(AllZero(info.description + descriptionLength,
                            sizeof info.description - descriptionLength));
        const size_t defaultLength = std::strlen(info.defaultText);
        EXPECT_TRUE(AllZero(info.defaultText + defaultLength, sizeof info.defaultText - defaultLength));
    }
    // Spot-check raw offsets of record 2.
    const char* raw = reinterpret_cast<const char*>(&table[2]);
    uint32_t type = 0;
    std::memcpy(&type, raw + 1028, 4);
    EXPECT_EQ(type, 1u);
    EXPECT_STREQ(raw + 4, "rcf-capture");
    EXPECT_TRUE(AllZero(raw + 4 + 11, 1024 - 11));
    EXPECT_STREQ(raw + 2088, "kelvane.rcf");
    EXPECT_STREQ(table[9].description,
                 "JSON file containing the defaults for counter config parameters, to be used when "
                 "vantric is in discovery mode.");
    EXPECT_STREQ(table[1].description, "Time base: 0=simulated time, 1=host time");
}

}  // namespace
