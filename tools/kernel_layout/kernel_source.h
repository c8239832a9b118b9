// Where the type information of one kernel build comes from: the file the
// user names (an arm64 Image, raw or gzip-compressed, an ELF vmlinux, or a
// raw BTF file), with what its container adds about the build: the page
// size in the arm64 Image header, the ELF class.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kernel_layout/btf.h"
#include "kernel_layout/decompress.h"

namespace vantric::layout {

class KernelSource {
public:
    // Largest file read; kernel images are tens of MiB.
    static constexpr size_t kMaxFileSize = size_t{1} << 30;
    // BTF-looking places of an image that are parsed in full before giving up.
    static constexpr unsigned kMaxCandidates = 64;

    // Reads `path`; `error` names the file and the problem.
    bool load(const std::string& path, std::string& error);
    // The same for bytes already read, named `name` in messages.
    bool read(std::vector<uint8_t> bytes, const std::string& name, std::string& error,
              size_t expandLimit = kMaxExpandedSize);

    const Btf& btf() const { return btf_; }
    // What the file is: "raw BTF", "ELF vmlinux", "arm64 Image" or "kernel image".
    const std::string& container() const { return container_; }
    // "gzip" when the file was compressed, else empty.
    const std::string& compression() const { return compression_; }
    // Where the BTF lies, in the (expanded) file.
    size_t btfOffset() const { return btfOffset_; }
    // BTF magic hits in an image that were not its BTF.
    unsigned falseHits() const { return falseHits_; }
    // The page size the arm64 Image header gives, 0 when it gives none.
    unsigned headerPageSize() const { return headerPageSize_; }
    // Bytes of a pointer and how that is known: the BTF's long, else the
    // container; 8 with source "assumed" when nothing tells.
    unsigned pointerSize() const;
    std::string pointerSource() const;

private:
    bool readContainer(std::span<const uint8_t> bytes, std::string& error);
    bool scanImage(std::span<const uint8_t> bytes, std::string& error);

    Btf btf_;
    std::string container_;
    std::string compression_;
    size_t btfOffset_ = 0;
    unsigned falseHits_ = 0;
    unsigned headerPageSize_ = 0;
    unsigned elfClass_ = 0;
    bool arm64Header_ = false;
};

}  // namespace vantric::layout
