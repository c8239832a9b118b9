#include "kernel_layout/kernel_source.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kernel_layout/elf_sections.h"
#include "kernel_layout/little_endian.h"

namespace vantric::layout {
namespace {

constexpr size_t kImageMagicOffset = 0x38;

bool IsArm64Image(std::span<const uint8_t> bytes) {
    return bytes.size() >= kImageMagicOffset + 4 &&
           std::memcmp(bytes.data() + kImageMagicOffset, "ARM\x64", 4) == 0;
}

bool IsBtf(std::span<const uint8_t> bytes) { return bytes.size() >= 2 && Le16(bytes.data()) == 0xEB9F; }

// An EFI zboot image: a small EFI program carrying the compressed Image.
bool IsZboot(std::span<const uint8_t> bytes) {
    return bytes.size() >= 56 && std::memcmp(bytes.data(), "MZ", 2) == 0 &&
           std::memcmp(bytes.data() + 4, "zimg", 4) == 0;
}

}  // namespace

bool KernelSource::load(const std::string& path, std::string& error) {
    std::error_code failure;
    if (std::filesystem::is_directory(path, failure)) {
        error = path + ": is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    std::vector<uint8_t> bytes;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        if (bytes.size() + static_cast<size_t>(in.gcount()) > kMaxFileSize) {
            error = path + ": larger than 1 GiB, not a kernel image";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad()) {
        error = path + ": read failed";
        return false;
    }
    return read(std::move(bytes), path, error);
}

bool KernelSource::read(std::vector<uint8_t> bytes, const std::string& name, std::string& error,
                        size_t expandLimit) {
    *this = KernelSource();
    std::span<const uint8_t> packed(bytes);
    std::string format;
    if (IsZboot(bytes)) {
        const char* type = reinterpret_cast<const char*>(bytes.data() + 24);
        format.assign(type, strnlen(type, 32));
        const uint64_t offset = Le32(bytes.data() + 8), size = Le32(bytes.data() + 12);
        if (offset > bytes.size() || bytes.size() - offset < size) {
            error = name + ": EFI zboot image whose payload lies past the end of the file";
            return false;
        }
        packed = packed.subspan(offset, size);
        if (format != "gzip") {
            error = name + ": EFI zboot image with a " + format + "-compressed payload; only gzip is read";
            return false;
        }
    } else if (!IsArm64Image(bytes) && !IsBtf(bytes) && !IsElf(bytes)) {
        format = CompressionOf(bytes);
        if (!format.empty() && format != "gzip") {
            error = name + ": " + format + "-compressed; decompress it first (only gzip is read here)";
            return false;
        }
    }
    std::vector<uint8_t> expanded;
    if (format == "gzip") {
        std::string why;
        if (!Gunzip(packed, expandLimit, expanded, why)) {
            error = name + ": " + why;
            return false;
        }
        compression_ = "gzip";
        packed = expanded;
    }
    if (!readContainer(packed, error)) {
        error = name + ": " + error;
        return false;
    }
    return true;
}

bool KernelSource::readContainer(std::span<const uint8_t> bytes, std::string& error) {
    if (IsBtf(bytes)) {
        container_ = "raw BTF";
        return btf_.parse(bytes, error);
    }
    if (IsElf(bytes)) {
        container_ = "ELF vmlinux";
        elfClass_ = ElfClass(bytes);
        ElfSection section;
        if (!FindElfSection(bytes, ".BTF", section, error)) return false;
        btfOffset_ = section.offset;
        return btf_.parse(bytes.subspan(section.offset, section.size), error);
    }
    container_ = "kernel image";
    if (IsArm64Image(bytes)) {
        container_ = "arm64 Image";
        arm64Header_ = true;
        const uint64_t flags = Le64(bytes.data() + 24);
        if ((flags & 1) != 0) {
            error = "a big-endian arm64 Image; only little-endian kernels are read";
            return false;
        }
        static constexpr unsigned kPageSizes[] = {0, 4096, 16384, 65536};
        headerPageSize_ = kPageSizes[flags >> 1 & 3];
    }
    return scanImage(bytes, error);
}

bool KernelSource::scanImage(std::span<const uint8_t> bytes, std::string& error) {
    static constexpr uint8_t kStart[] = {0x9F, 0xEB, 0x01};  // magic and version 1
    unsigned parsed = 0;
    std::string last;
    size_t at = 0;
    // Each round moves past one hit of the magic.
    while (at < bytes.size()) {
        const auto hit = std::search(bytes.begin() + at, bytes.end(), std::begin(kStart), std::end(kStart));
        if (hit == bytes.end()) break;
        const size_t offset = static_cast<size_t>(hit - bytes.begin());
        at = offset + 1;
        size_t blobSize = 0;
        std::string why;
        if (Btf::CheckHeader(bytes.subspan(offset), blobSize, why)) {
            if (parsed++ == kMaxCandidates) {
                last = "more than " + std::to_string(kMaxCandidates) + " candidates; gave up";
                break;
            }
            // A kernel's BTF has types; a header over nothing is a chance hit.
            if (btf_.parse(bytes.subspan(offset, blobSize), why)) {
                btfOffset_ = offset;
                if (btf_.typeCount() != 0) return true;
                why = "BTF without types";
            }
        }
        ++falseHits_;
        last = why + " at byte " + std::to_string(offset);
    }
    error = "no BTF type information found in this " + container_;
    if (falseHits_ != 0)
        error +=
            " (" + std::to_string(falseHits_) + " places start like a BTF header; the last: " + last + ")";
    error += "; the kernel must be built with CONFIG_DEBUG_INFO_BTF=y";
    return false;
}

unsigned KernelSource::pointerSize() const {
    if (btf_.longSize() == 4 || btf_.longSize() == 8) return btf_.longSize();
    if (elfClass_ != 0) return elfClass_ / 8;
    return 8;
}

std::string KernelSource::pointerSource() const {
    if (btf_.longSize() == 4 || btf_.longSize() == 8) return "the size of long in the BTF";
    if (elfClass_ != 0) return "the ELF class";
    if (arm64Header_) return "the arm64 Image header";
    return "assumed: the BTF has no long and the file no ELF class";
}

}  // namespace vantric::layout
