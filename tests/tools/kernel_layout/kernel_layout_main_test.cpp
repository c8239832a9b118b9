#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "kernel_layout/kernel_source.h"
#include "support/test_support.h"
#include "tools/kernel_layout/btf_builder.h"

namespace vantric::layout {
namespace {

using testing::KernelBtf;
using testing::PutLe32;
using namespace std::literals;

const std::string kText510 = "24,1240,0,1128,1304,1308,1752,16,824,16,8,0,32,24,8,0,8,160,152,32,16,8,0,8,16\n";
const std::string kBtf510 = KernelBtf({.numbers = testing::kLinux510});

struct Result {
    int status;
    std::string out, err;
};

Result KernelLayoutRun(const vantric::testing::TempDirectory& temp, const std::string& arguments) {
    const std::string out = (temp.path() / "out").string(), err = (temp.path() / "err").string();
    const int status = std::system((VT_BINARY_DIR "/kernel-layout " + arguments + " >" + out + " 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, vantric::testing::ReadFile(out),
            vantric::testing::ReadFile(err)};
}

// A 64-bit little-endian ELF file whose only sections are .shstrtab and .BTF.
std::string Elf(const std::string& btf) {
    const std::string names("\0.shstrtab\0.BTF\0", 16);
    std::string out = std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(33, '\0');
    PutLe32(out, 64 + names.size() + btf.size()), PutLe32(out, 0);  // e_shoff
    out += std::string(10, '\0') + "\x40\0\x03\0\x01\0"s;              // e_shentsize 64, 3 sections, names in 1
    out += names + btf + std::string(64, '\0');
    for (const auto& [name, type, offset, size] : {std::tuple{1, 3, size_t{64}, names.size()},
                                                     std::tuple{11, 1, 64 + names.size(), btf.size()}}) {
        PutLe32(out, name), PutLe32(out, type), out += std::string(16, '\0');
        PutLe32(out, offset), PutLe32(out, 0), PutLe32(out, size), out += std::string(28, '\0');
    }
    return out;
}

// An arm64 Image with 4 KiB pages: header, garbage, two false BTF magic hits
// (a header past the end, then a valid header over a bad type), the BTF.
std::string Image(const std::string& btf) {
    std::string out = "MZ" + std::string(22, '\0') + "\x02" + std::string(31, '\0') + "ARM\x64" + std::string(4, '\0');
    out += "garbage\x9f\xeb\x01\0\xff\xff\xff\xff"s + "\x9f\xeb\x01\0"s;
    for (const uint32_t field : {24, 0, 12, 12, 1}) PutLe32(out, field);
    return out + std::string(7, '\0') + "\x1f" + std::string(5, '\0') + btf + "tail";
}

std::string Gzip(const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() / ("kernel_layout_" + std::to_string(getpid()) + ".gz");
    gzFile file = gzopen(path.c_str(), "wb");
    gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())), gzclose(file);
    const std::string packed = vantric::testing::ReadFile(path);
    return std::filesystem::remove(path), packed;
}

TEST(KernelSource, BoundsWhatGzipExpandsTo) {
    const std::string image = Gzip(Image(kBtf510) + std::string(2 << 20, '\0'));
    const std::vector<uint8_t> bytes(image.begin(), image.end());
    KernelSource source;
    std::string error;
    EXPECT_FALSE(source.read(bytes, "vmlinuz", error, 2 << 20));
    EXPECT_EQ(error, "vmlinuz: the gzip data expands to more than 2 MiB");
}

TEST(KernelLayoutCommand, ReadsEveryContainer) {
    vantric::testing::TempDirectory temp;
    const std::string at = "kernel-layout: " + temp.path().string() + "/";  // its messages name the file
    const std::string maple = KernelBtf({.numbers = testing::kLinux61, .state = "__state", .maple = true});
    const std::string packed = Gzip(Image(kBtf510));
    std::string zboot = "MZ\0\0zimg"s;  // an EFI program carrying the compressed Image from byte 56
    PutLe32(zboot, 56), PutLe32(zboot, packed.size());
    const std::string zstd = "\x28\xb5\x2f\xfd" + kBtf510;
    const struct {
        std::string name, bytes, options;
        int status;
        std::string out, err;
    } cases[] = {
        {"btf", kBtf510, "", 0, kText510, ""},
        {"vmlinux", Elf(kBtf510), "", 0, kText510, ""},
        {"Image", Image(kBtf510), "", 0, kText510, ""},
        {"vmlinuz", packed, "", 0, kText510, ""},
        {"zboot", zboot + std::string(8, '\0') + "gzip" + std::string(28, '\0') + packed, "", 0, kText510, ""},
        {"maple", maple, "", 0,
         "24,1280,0,1208,1352,1356,1912,16,816,16,8,0,32,24,8,0,8,112,104,0,0,0,0,0,0\n"
         "memory-areas: maple-tree\nmaple-tree-offsets: 0,8,8,128,248,8,80,240\n", ""},
        {"missing", KernelBtf({.numbers = testing::kLinux510, .drop = "vm_file"}), "", 1, "",
         "vm_area_struct.vm_file not found: user frames will have no file names\n" + at +
             "missing: 1 field(s) not found; no offsets text\n"},
        {"zstd", zstd, "", 1, "", at + "zstd: zstd-compressed; decompress it first (only gzip is read here)\n"},
        {"cut", Elf(kBtf510.substr(0, 100)), "", 1, "", at + "cut: BTF type section (offset 0, length"},
        {"noelf", Elf(kBtf510).substr(0, 200), "", 1, "",
         at + "noelf: ELF: section header table lies past the end of the file\n"},
        {"nobtf", "MZ" + std::string(100, '\x9f'), "", 1, "",
         at + "nobtf: no BTF type information found in this kernel image; the kernel must be built"},
    };
    for (const auto& c : cases) {
        const std::string path = temp.write(c.name, c.bytes);
        const Result result = KernelLayoutRun(temp, c.options + path);
        EXPECT_EQ(result.status, c.status) << c.name << '\n' << result.err;
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err.substr(0, c.err.size()), c.err) << c.name;
    }
}

TEST(KernelLayoutCommand, ExplainsWhereNumbersCameFrom) {
    vantric::testing::TempDirectory temp;
    const Result result = KernelLayoutRun(temp, "--explain " + temp.write("Image", Image(kBtf510)));
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string rows[] = {"Image (arm64 Image; BTF at byte 116, ", "; 2 false BTF magic hits skipped)\n",
                                "linux-offsets-64: pointers of 8 bytes (the size of long in the BTF)\n",
                                "page size: 4096 in the Image header, not shown by the BTF",
                                "   2   1240  task_struct.in_iowait              8  bit field word: bit 1 of",
                                "   8     16  task_struct.comm                   -  array length\n",
                                "  12      0  (not used)                         -  constant\n", kText510};
    for (const std::string& row : rows)
        EXPECT_NE(result.out.find(row), std::string::npos) << row << result.out;
}

TEST(KernelLayoutCommand, WritesSettingsOnlyWithAUsableSystemMap) {
    vantric::testing::TempDirectory temp;
    const std::string image = temp.write("Image", Image(kBtf510)), btf = temp.write("btf", kBtf510);
    const std::string json = (temp.path() / "linux.json").string();
    const std::string kallsyms = temp.write("kallsyms", "ffff800010019420 T __switch_to\n"
                                                        "ffff8000100938b0 T release_task\n"
                                                        "ffff800009000010 t helper\t[ext4]\n");
    const std::string zeros = temp.write("zeros", "0 T __switch_to\n0000000000000000 T release_task\n");
    const std::string data = temp.write("data", "ffff800010019420 D __switch_to\nffff8000100938b0 T release_task\n");
    const std::string placeholder = temp.write(
        "System.map", "ffffffffffffffff B The real System.map is in the linux-image-<version>-dbg package\n");
    const std::pair<std::string, std::string> refusals[] = {
        {"--settings " + placeholder + " -o " + json + " " + image,
         "a placeholder System.map (\"The real System.map is in"},
        {"--settings " + zeros + " -o " + json + " " + image,
         "__switch_to at address 0 like every symbol: /proc/kallsyms read without privilege"},
        {"--settings " + kallsyms + " -o " + json + " " + btf, "the page size is unknown"},
        {"--settings " + data + " -o " + json + " " + image,
         "no text symbol __switch_to (listed, but not as type T or t)"},
    };
    for (const auto& [arguments, message] : refusals) {
        const Result result = KernelLayoutRun(temp, arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(json));
    }
    const Result result = KernelLayoutRun(temp, "--settings " + kallsyms + " -o " + json + " " + image);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "kernel-layout: pageshift 12: pages of 4096 bytes, from the arm64 Image header\n");
    EXPECT_EQ(vantric::testing::ReadFile(json),
              "{\n  \"operating-system\": \"linux\",\n  \"system-map-file\": \"" + kallsyms +
                  "\",\n  \"linux-offsets-64\": \"" + kText510.substr(0, kText510.size() - 1) +
                  "\",\n  \"pageshift\": 12,\n  \"trace-linux-syscalls\": true,\n"
                  "  \"sampling-frequency\": 100000,\n  \"callstack-depth\": 100\n}\n");
    const Result given = KernelLayoutRun(temp, "--pageshift 14 --settings " + kallsyms + " " + btf);
    EXPECT_NE(given.out.find("\"pageshift\": 14,"), std::string::npos) << given.err;
}

}  // namespace
}  // namespace vantric::layout
