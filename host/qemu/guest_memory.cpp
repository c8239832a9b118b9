#include "guest_memory.h"

#include <algorithm>
#include <cstring>

namespace qemuhost {

const uint8_t* GuestMemory::Block(uint64_t base) {
    if (auto it = blocks_.find(base); it != blocks_.end()) return it->second.data();
    if (unreadable_.count(base) != 0) return nullptr;
    std::array<uint8_t, kBlock> bytes{};
    ++physicalReads_;
    if (!read_(base, bytes)) {
        unreadable_.insert(base);
        return nullptr;
    }
    return blocks_.emplace(base, bytes).first->second.data();
}

size_t GuestMemory::ReadPhysical(uint64_t address, std::span<uint8_t> out) {
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = address + done;
        if (at < address) break;  // wrapped past the top of the address space
        const uint64_t base = at & ~(kBlock - 1);
        const uint8_t* block = Block(base);
        if (block == nullptr) break;
        const size_t offset = static_cast<size_t>(at - base);
        const size_t length = std::min<size_t>(kBlock - offset, out.size() - done);
        std::memcpy(out.data() + done, block + offset, length);
        done += length;
    }
    return done;
}

std::optional<uint64_t> GuestMemory::Translate(const TranslationRegisters& regs, uint64_t address) {
    const uint64_t page = address & ~(PageTableWalker::kGranule - 1);
    const auto key = std::make_tuple(regs, page);
    auto it = pages_.find(key);
    if (it == pages_.end()) {
        const auto descriptor = [this](uint64_t physical, uint64_t& value) {
            uint8_t bytes[8];
            if (ReadPhysical(physical, bytes) != sizeof bytes) return false;
            value = 0;
            for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
            return true;
        };
        const std::optional<Translation> found = PageTableWalker::Translate(regs, page, descriptor);
        it = pages_.emplace(key, found ? std::optional<uint64_t>(found->physical) : std::nullopt).first;
    }
    if (!it->second) return std::nullopt;
    return *it->second | (address & (PageTableWalker::kGranule - 1));
}

size_t GuestMemory::ReadVirtual(const TranslationRegisters& regs, uint64_t address, std::span<uint8_t> out) {
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = address + done;
        if (at < address) break;
        const std::optional<uint64_t> physical = Translate(regs, at);
        if (!physical) break;
        const size_t inPage = static_cast<size_t>(PageTableWalker::kGranule - (at & (PageTableWalker::kGranule - 1)));
        const size_t length = std::min(inPage, out.size() - done);
        const size_t read = ReadPhysical(*physical, out.subspan(done, length));
        done += read;
        if (read != length) break;
    }
    return done;
}

void GuestMemory::Invalidate() {
    blocks_.clear();
    unreadable_.clear();
    pages_.clear();
}

}  // namespace qemuhost
