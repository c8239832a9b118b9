#include "plugin/vantric_plugin_factory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" plexa::CAInterface* GetCAInterface();

namespace {

struct Names : plexa::InterfaceVisitor {
    std::string seen;
    void Visit(const char* name, uint32_t revision) override { seen += name + (":" + std::to_string(revision)) + " "; }
};

TEST(VantricPluginFactory, WhatAHostReads) {
    plexa::CAInterface* root = GetCAInterface();
    EXPECT_EQ(root, GetCAInterface());
    uint32_t revision = 77;
    auto* factory = static_cast<ZVT::v1::PluginFactory*>(root->LookupInterface("PluginFactory0", 0, &revision));
    EXPECT_EQ(factory, root);
    EXPECT_EQ(revision, 1u);
    // "plexa.CAInterface" gives the registry, not the factory.
    auto* registry =
        static_cast<plexa::CAInterfaceRegistryIF*>(root->LookupInterface("plexa.CAInterfaceRegistry", 0, nullptr));
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(root->LookupInterface("plexa.CAInterface", 0, nullptr), registry);
    EXPECT_STREQ(registry->RegistryName(), "VantricPluginFactory");
    Names names;
    registry->VisitInterfaces(&names);
    EXPECT_EQ(names.seen, "PluginFactory0:1 plexa.CAInterface:0 plexa.CAInterfaceRegistry:0 ");

    EXPECT_STREQ(factory->PluginKind(), "TRACE");
    factory->ReleaseFactory();  // the factory stays usable
    EXPECT_EQ(factory->ParameterCount(), 10u);
    EXPECT_EQ(factory->CopyParameterInfo(nullptr), 3u);
    // Every record a host copies out; the copy must overwrite all of the 0xAB.
    std::vector<ZVT::v0::ParameterInfo> table(10);
    std::memset(static_cast<void*>(table.data()), 0xAB, table.size() * sizeof table[0]);
    ASSERT_EQ(factory->CopyParameterInfo(table.data()), 0u);
    const char* expected[10] = {
        "0 output-directory 1 0..0 0 .",     "1 time-base 3 0..1 0 ",          "2 rcf-capture 1 0..0 0 kelvane.rcf",
        "3 trace-compile 2 0..1 0 ",         "4 counters-config-file 1 0..0 0 ", "5 trace-start-time 3 0..-1 0 ",
        "6 trace-end-time 3 0..-1 -1 ",      "7 config 1 0..0 0 ",             "8 discovery-mode 2 0..1 0 ",
        "9 counter-defaults-json 1 0..0 0 ",
    };
    for (uint32_t id = 0; id < 10; ++id) {
        const ZVT::v0::ParameterInfo& p = table[id];
        EXPECT_EQ(std::to_string(p.id) + " " + p.name + " " + std::to_string(p.type) + " " + std::to_string(p.minimum) +
                      ".." + std::to_string(p.maximum) + " " + std::to_string(p.defaultInteger) + " " + p.defaultText,
                  expected[id]);
        EXPECT_TRUE(p.flags == 0 && p.reserved == 0) << p.name;
    }
    EXPECT_STREQ(table[9].description,
                 "JSON file containing the defaults for counter config parameters, to be used when vantric is in "
                 "discovery mode.");
}

// The library exports GetCAInterface and nothing else of its own.
TEST(VantricPluginFactory, OnlyGetCAInterfaceExported) {
    std::FILE* pipe = ::popen(("nm -D --defined-only '" + std::string(VT_PLUGIN_PATH) + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> ours;
    for (char line[4096]; std::fgets(line, sizeof line, pipe) != nullptr;) {
        std::string symbol = line;  // address, kind, name
        symbol = symbol.substr(symbol.rfind(' ') + 1, symbol.find_last_not_of("\r\n") - symbol.rfind(' '));
        // Sanitizer builds add their runtime's interface symbols (__asan..., __ubsan..., __sanitizer...).
        if (!symbol.starts_with("__") || symbol.find("san") == std::string::npos) ours.push_back(symbol);
    }
    ::pclose(pipe);
    EXPECT_EQ(ours, std::vector<std::string>{"GetCAInterface"});
}

}  // namespace
