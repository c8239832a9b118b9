// kernel-layout: the Linux driver's structure offsets for one kernel build,
// read from the build's own type information (BTF).
//
//   kernel-layout [--explain] [--pageshift N] [--settings SYSTEM_MAP [-o FILE]] KERNEL
//
// Prints the offsets text on the first line, and for kernels that keep
// memory areas in a maple tree (6.1 on) two more lines with those settings.
// Exit status: 0 done, 1 a problem with an input (named on standard error),
// 2 a usage error.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "kernel_layout/kernel_layout.h"
#include "kernel_layout/kernel_source.h"
#include "kernel_layout/system_map_check.h"

using namespace vantric::layout;

namespace {

constexpr const char* kUsage =
    "usage: kernel-layout [--explain] [--pageshift N] [--settings SYSTEM_MAP [-o FILE]] KERNEL\n"
    "  KERNEL                an arm64 Image (raw or gzip), an ELF vmlinux or a raw BTF file\n"
    "  --explain             a table of the numbers: field, size and where each came from\n"
    "  --settings SYSTEM_MAP write a Linux subsystem settings file that names SYSTEM_MAP\n"
    "  -o FILE               where --settings writes (default: standard output)\n"
    "  --pageshift N         log2 of the page size, for kernels whose file does not tell\n";

struct Options {
    std::string kernel;
    std::string systemMap;
    std::string output;
    std::optional<unsigned> pageShift;
    bool explain = false;
};

int Usage(const std::string& problem) {
    std::cerr << "kernel-layout: " << problem << '\n' << kUsage;
    return 2;
}

int Fail(const std::string& problem) {
    std::cerr << "kernel-layout: " << problem << '\n';
    return 1;
}

// 0 when the arguments are usable, else the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool takesValue = argument == "--settings" || argument == "-o" || argument == "--pageshift";
        if (takesValue && i + 1 == argc) return Usage(argument + " needs a value");
        if (argument == "--help") {
            std::cout << kUsage;
            return -1;
        } else if (argument == "--explain") {
            options.explain = true;
        } else if (argument == "--settings") {
            options.systemMap = argv[++i];
        } else if (argument == "-o") {
            options.output = argv[++i];
        } else if (argument == "--pageshift") {
            const std::string value = argv[++i];
            char* end = nullptr;
            const unsigned long shift = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || shift == 0 || shift > 63)
                return Usage("--pageshift " + value + " is not between 1 and 63");
            options.pageShift = static_cast<unsigned>(shift);
        } else if (argument.size() > 1 && argument[0] == '-') {
            return Usage("unknown option " + argument);
        } else if (!options.kernel.empty()) {
            return Usage("more than one KERNEL file");
        } else {
            options.kernel = argument;
        }
    }
    if (options.kernel.empty()) return Usage("no KERNEL file");
    if (!options.output.empty() && options.systemMap.empty()) return Usage("-o needs --settings");
    if (options.explain && !options.systemMap.empty() && options.output.empty())
        return Usage("--explain with --settings needs -o FILE");
    return 0;
}

std::string Padded(const std::string& text, size_t width, bool right) {
    if (text.size() >= width) return text;
    return right ? std::string(width - text.size(), ' ') + text
                 : text + std::string(width - text.size(), ' ');
}

void PrintRows(const std::vector<LayoutValue>& values) {
    std::cout << "   #  value  " << Padded("field", 30, false) << "  size  source\n";
    for (const LayoutValue& v : values) {
        std::cout << Padded(std::to_string(v.index), 4, true) << Padded(std::to_string(v.value), 7, true)
                  << "  " << Padded(v.field, 30, false)
                  << Padded(v.size ? std::to_string(*v.size) : "-", 6, true) << "  " << v.source << '\n';
    }
}

void PrintExplain(const Options& options, const KernelSource& source, const KernelLayout& layout) {
    std::cout << "kernel: " << options.kernel << " ("
              << (source.compression().empty() ? "" : "gzip-compressed ") << source.container()
              << "; BTF at byte " << source.btfOffset() << ", " << source.btf().typeCount() << " types";
    if (source.falseHits() != 0) std::cout << "; " << source.falseHits() << " false BTF magic hits skipped";
    std::cout << ")\n"
              << (layout.is64() ? "linux-offsets-64" : "linux-offsets-32") << ": pointers of "
              << source.pointerSize() << " bytes (" << source.pointerSource() << ")\n"
              << "page size: "
              << (source.headerPageSize() ? std::to_string(source.headerPageSize()) : "not given")
              << " in the Image header, "
              << (layout.btfPageSize() ? std::to_string(layout.btfPageSize()) : "not shown")
              << " by the BTF (bpf_ringbuf.consumer_pos)\n";
    PrintRows(layout.values());
    if (!layout.mapleValues().empty()) {
        std::cout << "memory-areas: maple-tree\nmaple-tree-offsets:\n";
        PrintRows(layout.mapleValues());
    }
    if (layout.missing().empty()) {
        std::cout << '\n' << layout.offsetsText() << '\n';
        if (!layout.mapleValues().empty()) std::cout << "maple-tree-offsets: " << layout.mapleText() << '\n';
    }
}

// The page shift for the settings file, saying on standard error where it came from.
bool PageShift(const Options& options, const KernelSource& source, const KernelLayout& layout,
               unsigned& shift) {
    if (options.pageShift) {
        shift = *options.pageShift;
        std::cerr << "kernel-layout: pageshift " << shift << ": given with --pageshift\n";
        return true;
    }
    uint64_t size = source.headerPageSize();
    std::string from = "the arm64 Image header";
    if (size != 0 && layout.btfPageSize() != 0 && size != layout.btfPageSize()) {
        std::cerr << "kernel-layout: warning: the Image header gives pages of " << size << " bytes, the BTF "
                  << layout.btfPageSize() << "; the header is used\n";
    }
    if (size == 0) {
        size = layout.btfPageSize();
        from = "the BTF (the page-aligned bpf_ringbuf.consumer_pos)";
    }
    if (size == 0) {
        Fail(options.kernel +
             ": the page size is unknown: no arm64 Image header gives it and the BTF does not "
             "show it; give --pageshift N (12 for 4 KiB pages); no settings written");
        return false;
    }
    shift = static_cast<unsigned>(std::countr_zero(size));
    std::cerr << "kernel-layout: pageshift " << shift << ": pages of " << size << " bytes, from " << from
              << '\n';
    return true;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string SettingsText(const Options& options, const KernelLayout& layout, unsigned pageShift) {
    std::ostringstream out;
    out << "{\n"
        << "  \"operating-system\": \"linux\",\n"
        << "  \"system-map-file\": " << JsonString(options.systemMap) << ",\n"
        << "  \"" << (layout.is64() ? "linux-offsets-64" : "linux-offsets-32")
        << "\": " << JsonString(layout.offsetsText()) << ",\n"
        << "  \"pageshift\": " << pageShift << ",\n"
        << "  \"trace-linux-syscalls\": true,\n"
        << "  \"sampling-frequency\": 100000,\n"
        << "  \"callstack-depth\": 100";
    if (!layout.mapleValues().empty()) {
        out << ",\n  \"memory-areas\": \"maple-tree\",\n"
            << "  \"maple-tree-offsets\": " << JsonString(layout.mapleText());
    }
    out << "\n}\n";
    return out.str();
}

int WriteSettings(const Options& options, const KernelSource& source, const KernelLayout& layout) {
    unsigned pageShift = 0;
    if (!PageShift(options, source, layout, pageShift)) return 1;
    std::string problem;
    if (!CheckSystemMap(options.systemMap, problem)) return Fail(problem + "; no settings written");
    const std::string text = SettingsText(options, layout, pageShift);
    if (options.output.empty()) {
        std::cout << text;
        return 0;
    }
    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return Fail(options.output + ": cannot write the settings file");
    return 0;
}

int Run(const Options& options) {
    KernelSource source;
    std::string problem;
    if (!source.load(options.kernel, problem)) return Fail(problem);
    if (source.pointerSource().starts_with("assumed"))
        std::cerr << "kernel-layout: note: pointer size unknown (" << source.pointerSource()
                  << "); 64-bit used\n";
    const KernelLayout layout(source.btf(), source.pointerSize());
    if (!source.btf().problem().empty()) return Fail(options.kernel + ": " + source.btf().problem());
    for (const std::string& line : layout.missing()) std::cerr << line << '\n';
    for (const std::string& note : layout.notes()) std::cerr << "kernel-layout: note: " << note << '\n';
    if (options.explain) PrintExplain(options, source, layout);
    if (!layout.missing().empty()) {
        return Fail(options.kernel + ": " + std::to_string(layout.missing().size()) +
                    " field(s) not found; no offsets text");
    }
    if (!options.systemMap.empty()) return WriteSettings(options, source, layout);
    if (!options.explain) {
        std::cout << layout.offsetsText() << '\n';
        if (!layout.mapleValues().empty())
            std::cout << "memory-areas: maple-tree\nmaple-tree-offsets: " << layout.mapleText() << '\n';
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Options options;
        const int status = ParseOptions(argc, argv, options);
        if (status != 0) return status < 0 ? 0 : status;
        const int result = Run(options);
        std::cout.flush();
        return std::cout ? result : Fail("cannot write to standard output");
    } catch (const std::exception& e) {
        return Fail(std::string("unexpected failure: ") + e.what());
    } catch (...) {
        return Fail("unexpected failure");
    }
}
