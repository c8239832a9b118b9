// Byte-addressed target memory that exists only where something was written
// or mapped. Pages are allocated on demand and every byte remembers whether it
// is mapped, so a test can place the end of readable memory at any address.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>

namespace kvhost {

class SparseMemory {
public:
    static constexpr uint64_t kPageSize = 4096;

    // Writes and maps the bytes.
    void Write(uint64_t address, std::span<const uint8_t> bytes);
    // Maps `length` bytes, keeping bytes already there (new ones read as 0).
    void Map(uint64_t address, uint64_t length);
    void Unmap(uint64_t address, uint64_t length);
    bool IsMapped(uint64_t address) const;
    // Copies bytes from `address` into `out` up to the first unmapped byte;
    // returns how many were copied.
    uint64_t Read(uint64_t address, std::span<uint8_t> out) const;

private:
    struct Page {
        std::array<uint8_t, kPageSize> bytes{};
        std::bitset<kPageSize> mapped;
    };
    Page& PageFor(uint64_t address);
    const Page* FindPage(uint64_t address) const;

    std::unordered_map<uint64_t, std::unique_ptr<Page>> pages_;
};

}  // namespace kvhost
