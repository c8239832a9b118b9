#include "boundary/ca_interface_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A stand-in object to register; only its address matters.
struct Dummy : plexa::CAInterface {
    plexa::CAInterface* LookupInterface(const char*, uint32_t, uint32_t*) override { return nullptr; }
};

struct Recorder : plexa::InterfaceVisitor {
    std::vector<std::pair<std::string, uint32_t>> seen;
    void Visit(const char* name, uint32_t revision) override { seen.emplace_back(name, revision); }
};

TEST(CAInterfaceRegistry, LookupHonoursMinimumRevisionAndReportsActual) {
    plexa::CAInterfaceRegistry registry("R");
    Dummy a;
    registry.AddInterface("Face", 3, &a);
    uint32_t actual = 99;
    EXPECT_EQ(registry.LookupInterface("Face", 0, &actual), &a);
    EXPECT_EQ(actual, 3u);
    actual = 99;
    EXPECT_EQ(registry.LookupInterface("Face", 3, &actual), &a);
    EXPECT_EQ(registry.LookupInterface("Face", 3, nullptr), &a);
    actual = 99;
    EXPECT_EQ(registry.LookupInterface("Face", 4, &actual), nullptr);
    EXPECT_EQ(actual, 99u);
    EXPECT_EQ(registry.LookupInterface("", 0, &actual), nullptr);
    EXPECT_EQ(registry.LookupInterface(nullptr, 0, &actual), nullptr);
    EXPECT_EQ(registry.LookupInterface("face", 0, &actual), nullptr);  // case matters
    EXPECT_EQ(actual, 99u);
}

TEST(CAInterfaceRegistry, AddKeepsNewerRevisionAndIgnoresNulls) {
    plexa::CAInterfaceRegistry registry("R");
    Dummy first, second, third;
    registry.AddInterface("X", 2, &first);
    registry.AddInterface("X", 1, &second);  // lower: ignored
    EXPECT_EQ(registry.LookupInterface("X", 0, nullptr), &first);
    registry.AddInterface("X", 2, &second);  // equal: replaces
    EXPECT_EQ(registry.LookupInterface("X", 0, nullptr), &second);
    registry.AddInterface("X", 5, &third);  // higher: replaces
    uint32_t actual = 0;
    EXPECT_EQ(registry.LookupInterface("X", 0, &actual), &third);
    EXPECT_EQ(actual, 5u);

    registry.AddInterface("Y", 0, nullptr);
    registry.AddInterface(nullptr, 0, &first);
    registry.AddInterface("", 0, &first);
    Recorder recorder;
    registry.VisitInterfaces(&recorder);
    ASSERT_EQ(recorder.seen.size(), 1u);

    registry.RemoveInterface("X");
    EXPECT_EQ(registry.LookupInterface("X", 0, nullptr), nullptr);
    registry.RemoveInterface("not there");
}

TEST(CAInterfaceRegistry, VisitsInUnsignedByteOrder) {
    plexa::CAInterfaceRegistry registry("R");
    Dummy d;
    for (const char* name : {"p", "P", "PluginFactory0", "Plugin", "\xC3\xA9", "a"})
        registry.AddInterface(name, 7, &d);
    Recorder recorder;
    registry.VisitInterfaces(&recorder);
    std::vector<std::string> names;
    for (auto& [name, revision] : recorder.seen) {
        names.push_back(name);
        EXPECT_EQ(revision, 7u);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"P", "Plugin", "PluginFactory0", "a", "p",
                                               "\xC3\xA9"}));
    EXPECT_STREQ(registry.RegistryName(), "R");
}

TEST(CAInterfaceRegistry, RevisionDiagnosticOnlyWhenEnabled) {
    plexa::CAInterfaceRegistry registry("R");
    Dummy d;
    registry.AddInterface("PluginFactory0", 1, &d);

    testing::internal::CaptureStderr();
    EXPECT_EQ(registry.LookupInterface("PluginFactory0", 2, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    registry.EnableRevisionDiagnostics("Update the plug-in.");
    testing::internal::CaptureStderr();
    EXPECT_EQ(registry.LookupInterface("PluginFactory0", 2, nullptr), nullptr);
    EXPECT_EQ(registry.LookupInterface("Unknown", 2, nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Newer revision '2' of interface 'PluginFactory0' requested than available "
              "(1).\n       Update the plug-in.");
}

}  // namespace
