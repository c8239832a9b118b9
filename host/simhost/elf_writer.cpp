#include "elf_writer.h"

#include <stdexcept>

namespace simhost {
namespace {

constexpr uint16_t kMachineAarch64 = 183;
constexpr uint64_t kHeaderSize = 64;
constexpr uint64_t kProgramHeaderSize = 56;
constexpr uint64_t kSectionHeaderSize = 64;
constexpr uint64_t kSymbolSize = 24;
constexpr uint64_t kSegmentAlign = 0x10000;  // 64 KiB pages: loadable anywhere
constexpr uint16_t kTextIndex = 1;
constexpr uint32_t kStrtabIndex = 3;
constexpr uint16_t kShstrtabIndex = 4;
constexpr uint16_t kSections = 5;

constexpr uint32_t kLoadSegment = 1;  // PT_LOAD
constexpr uint32_t kReadExecute = 5;   // PF_R | PF_X
constexpr uint32_t kSymtab = 2;        // SHT_SYMTAB
constexpr uint32_t kStrtab = 3;        // SHT_STRTAB
constexpr uint32_t kNobits = 8;        // SHT_NOBITS
constexpr uint64_t kAllocExec = 6;     // SHF_ALLOC | SHF_EXECINSTR
constexpr uint8_t kGlobalFunction = 0x12;  // STB_GLOBAL << 4 | STT_FUNC

// Little-endian fields appended to a byte string.
class ByteString {
public:
    void u8(uint8_t v) { text_ += static_cast<char>(v); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void u64(uint64_t v) { put(v, 8); }
    void raw(const std::string& s) { text_ += s; }
    void align(size_t to) { text_.resize((text_.size() + to - 1) / to * to, '\0'); }
    size_t size() const { return text_.size(); }
    std::string take() { return std::move(text_); }

private:
    void put(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) text_ += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    std::string text_;
};

struct SectionHeader {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t flags = 0;
    uint64_t address = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
    uint32_t info = 0;
    uint64_t align = 1;
    uint64_t entrySize = 0;
};

void Put(ByteString& out, const SectionHeader& s) {
    out.u32(s.name);
    out.u32(s.type);
    out.u64(s.flags);
    out.u64(s.address);
    out.u64(s.offset);
    out.u64(s.size);
    out.u32(s.link);
    out.u32(s.info);
    out.u64(s.align);
    out.u64(s.entrySize);
}

}  // namespace

ElfWriter::ElfWriter(uint16_t type, uint64_t loadAddress, uint64_t codeSize)
    : type_(type), loadAddress_(loadAddress), codeSize_(codeSize) {
    if (loadAddress % kSegmentAlign != 0) throw std::invalid_argument("ELF load address not 64 KiB aligned");
}

void ElfWriter::AddFunction(std::string name, uint64_t offset, uint64_t size) {
    if (name.empty() || offset > codeSize_ || size > codeSize_ - offset)
        throw std::invalid_argument("ELF function '" + name + "' outside the code");
    functions_.push_back({std::move(name), offset, size});
}

std::string ElfWriter::Bytes() const {
    // Names first: the string tables fix the symbols' and sections' name offsets.
    std::string strtab(1, '\0');
    std::vector<uint32_t> nameAt;
    for (const Function& f : functions_) {
        nameAt.push_back(static_cast<uint32_t>(strtab.size()));
        strtab += f.name;
        strtab += '\0';
    }
    static constexpr char kSectionNames[] = "\0.text\0.symtab\0.strtab\0.shstrtab";  // and a final NUL
    const std::string shstrtab(kSectionNames, sizeof kSectionNames);
    const uint64_t symtabOffset = kHeaderSize + kProgramHeaderSize;  // 8-aligned
    const uint64_t symtabSize = (functions_.size() + 1) * kSymbolSize;
    const uint64_t strtabOffset = symtabOffset + symtabSize;
    const uint64_t shstrtabOffset = strtabOffset + strtab.size();
    const uint64_t sectionsOffset = (shstrtabOffset + shstrtab.size() + 7) / 8 * 8;

    ByteString out;
    out.raw(std::string("\x7F" "ELF\x02\x01\x01", 7));  // 64-bit, little-endian, version 1
    out.align(16);
    out.u16(type_);
    out.u16(kMachineAarch64);
    out.u32(1);
    out.u64(0);  // no entry point: nothing here runs
    out.u64(kHeaderSize);
    out.u64(sectionsOffset);
    out.u32(0);
    out.u16(kHeaderSize);
    out.u16(kProgramHeaderSize);
    out.u16(1);
    out.u16(kSectionHeaderSize);
    out.u16(kSections);
    out.u16(kShstrtabIndex);

    out.u32(kLoadSegment);
    out.u32(kReadExecute);
    out.u64(0);
    out.u64(loadAddress_);
    out.u64(loadAddress_);
    out.u64(codeSize_);
    out.u64(codeSize_);
    out.u64(kSegmentAlign);

    out.raw(std::string(kSymbolSize, '\0'));
    for (size_t i = 0; i < functions_.size(); ++i) {
        out.u32(nameAt[i]);
        out.u8(kGlobalFunction);
        out.u8(0);
        out.u16(kTextIndex);
        out.u64(loadAddress_ + functions_[i].offset);
        out.u64(functions_[i].size);
    }
    out.raw(strtab);
    out.raw(shstrtab);
    out.align(8);

    Put(out, SectionHeader{});
    Put(out, {1, kNobits, kAllocExec, loadAddress_, 0, codeSize_, 0, 0, 16, 0});
    // sh_info: the index of the first global symbol (all are global).
    Put(out, {7, kSymtab, 0, 0, symtabOffset, symtabSize, kStrtabIndex, 1, 8, kSymbolSize});
    Put(out, {15, kStrtab, 0, 0, strtabOffset, strtab.size(), 0, 0, 1, 0});
    Put(out, {23, kStrtab, 0, 0, shstrtabOffset, shstrtab.size(), 0, 0, 1, 0});
    return out.take();
}

}  // namespace simhost
