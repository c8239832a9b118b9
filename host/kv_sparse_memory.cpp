#include "kv_sparse_memory.h"

namespace kvhost {

SparseMemory::Page& SparseMemory::PageFor(uint64_t address) {
    std::unique_ptr<Page>& page = pages_[address / kPageSize];
    if (!page) page = std::make_unique<Page>();
    return *page;
}

const SparseMemory::Page* SparseMemory::FindPage(uint64_t address) const {
    auto it = pages_.find(address / kPageSize);
    return it == pages_.end() ? nullptr : it->second.get();
}

void SparseMemory::Write(uint64_t address, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint64_t at = address + i;
        Page& page = PageFor(at);
        page.bytes[at % kPageSize] = bytes[i];
        page.mapped.set(at % kPageSize);
    }
}

void SparseMemory::Map(uint64_t address, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i) {
        const uint64_t at = address + i;
        PageFor(at).mapped.set(at % kPageSize);
    }
}

void SparseMemory::Unmap(uint64_t address, uint64_t length) {
    for (uint64_t i = 0; i < length; ++i) {
        const uint64_t at = address + i;
        auto it = pages_.find(at / kPageSize);
        if (it == pages_.end()) continue;
        it->second->mapped.reset(at % kPageSize);
        it->second->bytes[at % kPageSize] = 0;
    }
}

bool SparseMemory::IsMapped(uint64_t address) const {
    const Page* page = FindPage(address);
    return page != nullptr && page->mapped.test(address % kPageSize);
}

uint64_t SparseMemory::Read(uint64_t address, std::span<uint8_t> out) const {
    uint64_t copied = 0;
    const Page* page = nullptr;
    uint64_t pageNumber = ~uint64_t{0};
    while (copied < out.size()) {
        const uint64_t at = address + copied;
        if (at < address) break;  // wrapped past the top of the address space
        if (at / kPageSize != pageNumber) {
            pageNumber = at / kPageSize;
            page = FindPage(at);
        }
        if (page == nullptr || !page->mapped.test(at % kPageSize)) break;
        out[copied] = page->bytes[at % kPageSize];
        ++copied;
    }
    return copied;
}

}  // namespace kvhost
