#include "rcf/profile/elf_image.h"

#include <cxxabi.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwelf.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace vantric::rcf {
namespace {

std::string Demangled(const char* name) {
    if (name[0] != '_' || name[1] != 'Z') return name;
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || text == nullptr) return name;
    std::string out(text);
    std::free(text);
    return out;
}

bool FindUnit(Dwarf* dwarf, uint64_t address, Dwarf_Die& unit) {
    // Without .debug_aranges (clang writes none by default) the address
    // table is empty, so ask each compilation unit for its ranges.
    Dwarf_Off offset = 0;
    Dwarf_Off next = 0;
    size_t headerSize = 0;
    for (int units = 0; units < 100000; ++units) {
        if (dwarf_nextcu(dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) != 0) return false;
        if (dwarf_offdie(dwarf, offset + headerSize, &unit) != nullptr && dwarf_haspc(&unit, address) == 1)
            return true;
        offset = next;
    }
    return false;
}

}  // namespace

ElfImage::~ElfImage() { close(); }

void ElfImage::close() {
    if (dwarf_ != nullptr) dwarf_end(dwarf_);
    if (elf_ != nullptr) elf_end(elf_);
    if (fd_ >= 0) ::close(fd_);
    dwarf_ = nullptr;
    elf_ = nullptr;
    fd_ = -1;
    symbols_.clear();
    segments_.clear();
    buildId_.clear();
}

Unresolved ElfImage::open(const std::string& path) {
    close();
    elf_version(EV_CURRENT);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return Unresolved::kNoFile;
    elf_ = elf_begin(fd_, ELF_C_READ_MMAP, nullptr);
    GElf_Ehdr header;
    if (elf_ == nullptr || elf_kind(elf_) != ELF_K_ELF || gelf_getehdr(elf_, &header) == nullptr)
        return Unresolved::kNotElf;

    size_t count = 0;
    if (elf_getphdrnum(elf_, &count) == 0) {
        for (size_t i = 0; i < count; ++i) {
            GElf_Phdr phdr;
            if (gelf_getphdr(elf_, static_cast<int>(i), &phdr) != nullptr && phdr.p_type == PT_LOAD)
                segments_.push_back({phdr.p_offset, phdr.p_filesz, phdr.p_vaddr});
        }
    }
    const void* id = nullptr;
    ssize_t idSize = dwelf_elf_gnu_build_id(elf_, &id);
    static const char kDigits[] = "0123456789abcdef";
    for (ssize_t i = 0; i < idSize; ++i) {
        uint8_t b = static_cast<const uint8_t*>(id)[i];
        buildId_ += kDigits[b >> 4];
        buildId_ += kDigits[b & 15];
    }

    readSymbols(false);
    if (symbols_.empty()) readSymbols(true);
    if (symbols_.empty()) return Unresolved::kNoSymbols;
    dwarf_ = dwarf_begin_elf(elf_, DWARF_C_READ, nullptr);
    return Unresolved::kResolved;
}

void ElfImage::readSymbols(bool dynamic) {
    const uint32_t wanted = dynamic ? SHT_DYNSYM : SHT_SYMTAB;
    for (Elf_Scn* section = elf_nextscn(elf_, nullptr); section != nullptr;
         section = elf_nextscn(elf_, section)) {
        GElf_Shdr shdr;
        if (gelf_getshdr(section, &shdr) == nullptr || shdr.sh_type != wanted || shdr.sh_entsize == 0)
            continue;
        Elf_Data* data = elf_getdata(section, nullptr);
        if (data == nullptr) continue;
        const size_t entries = shdr.sh_size / shdr.sh_entsize;
        for (size_t i = 0; i < entries; ++i) {
            GElf_Sym sym;
            if (gelf_getsym(data, static_cast<int>(i), &sym) == nullptr) break;
            const int type = GELF_ST_TYPE(sym.st_info);
            if ((type != STT_FUNC && type != STT_GNU_IFUNC) || sym.st_shndx == SHN_UNDEF) continue;
            const char* name = elf_strptr(elf_, shdr.sh_link, sym.st_name);
            if (name == nullptr || name[0] == 0) continue;
            symbols_.push_back({sym.st_value, sym.st_value + sym.st_size, Demangled(name)});
        }
    }
    std::sort(symbols_.begin(), symbols_.end(), [](const Symbol& a, const Symbol& b) {
        return a.start != b.start ? a.start < b.start : a.end > b.end;
    });
    // A symbol of size 0 reaches to the next one.
    for (size_t i = 0; i < symbols_.size(); ++i) {
        if (symbols_[i].end == symbols_[i].start)
            symbols_[i].end = i + 1 < symbols_.size() ? symbols_[i + 1].start : symbols_[i].start + 1;
    }
}

ElfImage::Found ElfImage::lookup(uint64_t offset) const {
    Found found;
    found.reason = Unresolved::kOutsideSymbols;
    const Segment* segment = nullptr;
    for (const Segment& s : segments_)
        if (offset >= s.offset && offset - s.offset < s.size) segment = &s;
    if (segment == nullptr) return found;
    const uint64_t address = offset - segment->offset + segment->address;
    auto it = std::upper_bound(symbols_.begin(), symbols_.end(), address,
                               [](uint64_t a, const Symbol& s) { return a < s.start; });
    // Symbols may nest (aliases, local labels): take the innermost that holds it.
    for (int steps = 0; it != symbols_.begin() && steps < 64; ++steps) {
        --it;
        if (address < it->end) {
            found.reason = Unresolved::kResolved;
            found.function = it->name;
            break;
        }
    }
    if (found.reason != Unresolved::kResolved || dwarf_ == nullptr) return found;
    Dwarf_Die unit;
    if (dwarf_addrdie(dwarf_, address, &unit) == nullptr && !FindUnit(dwarf_, address, unit)) return found;
    Dwarf_Line* line = dwarf_getsrc_die(&unit, address);
    if (line == nullptr) return found;
    int number = 0;
    const char* file = dwarf_linesrc(line, nullptr, nullptr);
    if (file != nullptr && dwarf_lineno(line, &number) == 0 && number > 0) {
        found.sourceFile = file;
        found.line = static_cast<uint32_t>(number);
    }
    return found;
}

}  // namespace vantric::rcf
