#include "boundary/ca_interface_registry.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

// "name:revision " of every visited entry, in visiting order.
struct Recorder : plexa::InterfaceVisitor {
    std::string seen;
    void Visit(const char* name, uint32_t revision) override { seen += name + (":" + std::to_string(revision)) + " "; }
};

TEST(CAInterfaceRegistry, AddLookupRemoveVisitAndRevisionDiagnostic) {
    plexa::CAInterfaceRegistry registry("R");
    plexa::CAInterfaceRegistry first("1"), second("2"), third("3");  // objects to register
    registry.AddInterface("X", 2, &first);
    registry.AddInterface("X", 1, &second);  // lower: ignored
    uint32_t actual = 99;
    EXPECT_EQ(registry.LookupInterface("X", 2, &actual), &first);  // the minimum itself is enough
    EXPECT_EQ(registry.LookupInterface("X", 3, &actual), nullptr);
    for (const char* name : std::initializer_list<const char*>{"", nullptr, "x"})  // names match case and all
        EXPECT_EQ(registry.LookupInterface(name, 0, &actual), nullptr);
    EXPECT_EQ(actual, 2u);  // reported on success, untouched on failure
    registry.AddInterface("X", 2, &second);  // equal: replaces
    EXPECT_EQ(registry.LookupInterface("X", 0, nullptr), &second);
    registry.AddInterface("X", 5, &third);  // higher: replaces, revision and all
    EXPECT_EQ(registry.LookupInterface("X", 5, nullptr), &third);

    registry.AddInterface("Y", 0, nullptr);
    registry.AddInterface(nullptr, 0, &first);
    registry.AddInterface("", 0, &first);
    for (const char* name : {"p", "P", "PluginFactory0", "Plugin", "\xC3\xA9", "a"}) registry.AddInterface(name, 7, &first);
    registry.RemoveInterface("X");
    Recorder recorder;
    registry.VisitInterfaces(&recorder);
    EXPECT_EQ(recorder.seen, "P:7 Plugin:7 PluginFactory0:7 a:7 p:7 \xC3\xA9:7 ");  // unsigned bytes, prefix first

    // The diagnostic is written with stdio, so captured at the file descriptor.
    testing::internal::CaptureStderr();
    EXPECT_EQ(registry.LookupInterface("PluginFactory0", 8, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // not enabled yet
    registry.EnableRevisionDiagnostics("Update the plug-in.");
    testing::internal::CaptureStderr();
    EXPECT_EQ(registry.LookupInterface("PluginFactory0", 8, nullptr), nullptr);
    EXPECT_EQ(registry.LookupInterface("Unknown", 8, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Newer revision '8' of interface 'PluginFactory0' requested than available (7).\n"
              "       Update the plug-in.");
}

}  // namespace
