// User frames through a sysroot: a real ELF file with .symtab and DWARF,
// and each reason a frame stays unresolved.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "rcf/profile/symbolizer.h"
#include "support/test_support.h"

namespace vantric::rcf {
namespace {

// The function's address relative to the library's load address, by the
// dynamic loader; in a shared library the text lies at file offset == address.
uint64_t OffsetOf(const char* symbol) {
    void* library = dlopen(RCF_FIXTURE_ELF, RTLD_NOW);
    EXPECT_NE(library, nullptr) << dlerror();
    void* address = dlsym(library, symbol);
    Dl_info info;
    EXPECT_NE(dladdr(address, &info), 0);
    return static_cast<uint64_t>(static_cast<char*>(address) - static_cast<char*>(info.dli_fbase));
}

TEST(ElfSymbolization, ResolvesThroughTheSysrootOrSaysWhyNot) {
    vantric::testing::TempDirectory temp;
    namespace fs = std::filesystem;
    fs::create_directories(temp.path() / "root/usr/lib");
    fs::copy_file(RCF_FIXTURE_ELF, temp.path() / "root/usr/lib/libfixture.so");
    temp.write("root/usr/lib/notelf.so", "text");
    const uint64_t leaf = OffsetOf("rcf_fixture_leaf");
    const uint64_t caller = OffsetOf("rcf_fixture_caller");

    Profile profile;
    const std::vector<std::tuple<uint32_t, uint64_t, std::string, uint32_t, Unresolved>> cases = {
        {2, leaf, "rcf_fixture_leaf", 3, Unresolved::kResolved},      // its opening line
        {2, caller, "rcf_fixture_caller", 7, Unresolved::kResolved},
        {2, 0x10000000, "", 0, Unresolved::kOutsideSymbols},
        {4, 0x10, "", 0, Unresolved::kNoFile},
        {6, 0x10, "", 0, Unresolved::kNotElf},
        {8, 0x10, "", 0, Unresolved::kNoFile},  // ".." leads out of the sysroot
        {10, 0x10, "", 0, Unresolved::kUnknownCookie},
    };
    for (const auto& c : cases) {
        Location l;
        l.cookie = std::get<0>(c);
        l.address = std::get<1>(c);
        l.kind = AddressKind::kInFile;
        profile.locations.push_back(l);
    }
    const std::map<uint32_t, std::string> names = {{2, "/usr/lib/libfixture.so"},
                                                   {4, "/usr/lib/missing.so"},
                                                   {6, "/usr/lib/notelf.so"},
                                                   {8, "/../outside/libfixture.so"}};
    Symbolizer symbolizer;
    symbolizer.setSysroot((temp.path() / "root").string());
    symbolizer.symbolize(profile, names);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Location& l = profile.locations[i];
        EXPECT_EQ(std::make_tuple(l.cookie, l.address, l.function, l.line, l.reason), cases[i]) << i;
    }
    EXPECT_EQ(fs::path(profile.locations[0].sourceFile).filename(), "fixture_elf.c");
    // The module of the found file carries its build id (40 hex digits from ld's sha1).
    const Module& module = profile.modules[profile.locationModule[0]];
    EXPECT_EQ(module.name, "/usr/lib/libfixture.so");
    EXPECT_EQ(module.buildId.size(), 40u);
    EXPECT_TRUE(module.hasLines);

    // Without a sysroot every file frame says so.
    Symbolizer bare;
    bare.symbolize(profile, names);
    EXPECT_EQ(profile.locations[0].reason, Unresolved::kNoSysroot);
}

}  // namespace
}  // namespace vantric::rcf
