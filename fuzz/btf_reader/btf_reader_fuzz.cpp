// Fuzz target of kernel-layout's readers. The input is a kernel file.
//
// Checked: the BTF parser and the file reader (compression, ELF, arm64
// Image scan) either succeed or say why, naming the file; a header that
// validates claims no more than the input; a blob that parses gives a
// complete layout (25 or 26 numbers, 0 or 8 maple numbers) with any loop
// reported rather than followed; and the same blob, when it has types, is
// found again after an arm64 Image header and garbage, at its offset.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "kernel_layout/btf.h"
#include "kernel_layout/kernel_layout.h"
#include "kernel_layout/kernel_source.h"

namespace {

using namespace vantric::layout;

void Check(bool holds) {
    if (!holds) std::abort();
}

// Bounded so that a gzip bomb costs little.
constexpr size_t kExpandLimit = 1 << 20;

void CheckLayout(const Btf& btf, unsigned pointerSize) {
    const KernelLayout layout(btf, pointerSize);
    Check(layout.values().size() == (layout.is64() ? 25u : 26u));
    Check(layout.mapleValues().empty() || layout.mapleValues().size() == 8);
    Check(layout.mapleValues().empty() || layout.is64());
    const std::string text = layout.offsetsText();
    Check(std::count(text.begin(), text.end(), ',') == (layout.is64() ? 24 : 25));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    std::string error;
    size_t blobSize = 0;
    if (Btf::CheckHeader(bytes, blobSize, error)) Check(blobSize >= Btf::kHeaderSize && blobSize <= size);

    Btf btf;
    error.clear();
    const bool parsed = btf.parse(bytes, error);
    Check(parsed == error.empty());
    if (parsed) CheckLayout(btf, btf.longSize());
    // Without types it is taken for a chance hit when embedded.
    if (parsed && btf.typeCount() != 0) {
        // An arm64 Image header (4 KiB pages) and garbage before the blob.
        std::vector<uint8_t> image(64, 0);
        image[24] = 0x02;
        image[0x38] = 'A', image[0x39] = 'R', image[0x3A] = 'M', image[0x3B] = 0x64;
        image.insert(image.end(), {'j', 'u', 'n', 'k'});
        image.insert(image.end(), data, data + size);
        KernelSource embedded;
        std::string problem;
        Check(embedded.read(image, "embedded", problem, kExpandLimit));
        Check(embedded.btfOffset() == 68 && embedded.headerPageSize() == 4096);
        Check(embedded.btf().typeCount() == btf.typeCount());
    }

    KernelSource source;
    std::string problem;
    if (source.read(std::vector<uint8_t>(data, data + size), "input", problem, kExpandLimit)) {
        CheckLayout(source.btf(), source.pointerSize());
    } else {
        Check(problem.rfind("input: ", 0) == 0 && problem.size() > 7);
    }
    return 0;
}
