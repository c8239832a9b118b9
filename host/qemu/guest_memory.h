// Guest memory as the plug-in reads it through a vCPU: virtual addresses
// translated with that vCPU's registers, page by page (consecutive virtual
// pages need not be consecutive physical ones), and physical memory read in
// cached blocks. The plug-in reads strings a byte at a time and structures a
// word at a time, so the caches turn hundreds of gdb round trips into a
// few. They hold only while the guest stays stopped: Invalidate() on resume.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <tuple>
#include <unordered_map>

#include "page_table_walker.h"

namespace qemuhost {

class GuestMemory {
public:
    static constexpr uint64_t kBlock = 1024;
    // Reads guest physical memory; false when any byte is unreadable.
    using PhysicalRead = std::function<bool(uint64_t physical, std::span<uint8_t> out)>;

    explicit GuestMemory(PhysicalRead read) : read_(std::move(read)) {}

    // Bytes read from `address` up to the first unreadable one.
    size_t ReadPhysical(uint64_t address, std::span<uint8_t> out);
    size_t ReadVirtual(const TranslationRegisters& regs, uint64_t address, std::span<uint8_t> out);
    std::optional<uint64_t> Translate(const TranslationRegisters& regs, uint64_t address);
    void Invalidate();

    uint64_t physicalReads() const { return physicalReads_; }

private:
    const uint8_t* Block(uint64_t base);

    PhysicalRead read_;
    std::unordered_map<uint64_t, std::array<uint8_t, kBlock>> blocks_;
    std::set<uint64_t> unreadable_;
    std::map<std::tuple<TranslationRegisters, uint64_t>, std::optional<uint64_t>> pages_;
    uint64_t physicalReads_ = 0;
};

}  // namespace qemuhost
