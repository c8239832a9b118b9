// Builds a synthetic Linux kernel image inside a kvhost Processor: task
// structures, memory descriptors, memory areas in a red-black tree, files and
// directory entries, command names, thread-information blocks (32-bit), user
// stacks with frame records and user strings, all laid out in target memory
// with the offsets of a KernelLayout; plus the System.map and settings file
// that tell the plug-in's Linux driver about it. Tests and simhost scenarios
// describe a system with it instead of poking bytes.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "area_tree.h"
#include "maple_tree_builder.h"
#include "kernel_layout.h"
#include "kv_processor.h"

namespace kvhost {

struct LinuxSettingsOptions {
    uint32_t pageShift = 0;          // "pageshift"; 0 lets the driver choose
    bool traceSyscalls = true;       // "trace-linux-syscalls"
    uint64_t samplingFrequency = 0;  // "sampling-frequency", omitted when 0
    uint32_t callstackDepth = 0;     // "callstack-depth", omitted when 0
};

class KernelImage {
public:
    // Where the builder puts things (by core width).
    static constexpr uint64_t kKernelBase64 = 0xFFFF000008000000ull;
    static constexpr uint64_t kKernelBase32 = 0xC1000000ull;
    static constexpr uint64_t kUserDataBase64 = 0x0000AAAA00000000ull;
    static constexpr uint64_t kUserDataBase32 = 0x20000000ull;
    static constexpr uint64_t kUserStackTop64 = 0x0000FFFFF0000000ull;
    static constexpr uint64_t kUserStackTop32 = 0x7E000000ull;
    static constexpr uint64_t kKernelStackSize = 8192;  // 32-bit thread_info lives at its base

    // Lays out memory in the processor's kernel space ("Guest" on a 64-bit
    // core, "Secure" on a 32-bit one), the space the driver reads.
    KernelImage(Processor& cpu, KernelLayout layout);
    // One kernel shared by several cores of the same width: every memory
    // write goes to each core's memory (kvhost cores do not share memory);
    // the register helpers take the index of the core in `cpus`.
    KernelImage(std::vector<Processor*> cpus, KernelLayout layout);

    Processor& cpu(size_t core = 0) { return *cpus_.at(core); }
    const KernelLayout& layout() const { return layout_; }
    bool is64() const { return is64_; }
    const std::string& space() const { return space_; }
    uint64_t wordSize() const { return is64_ ? 8 : 4; }

    // ---- symbols (System.map) ----
    // __switch_to and release_task exist from the start, with other symbols
    // of several types around them.
    uint64_t switchToAddress() const { return Symbol("__switch_to"); }
    uint64_t releaseTaskAddress() const { return Symbol("release_task"); }
    uint64_t Symbol(std::string_view name) const;  // 0 when absent
    // Adds or moves a symbol.
    void SetSymbol(const std::string& name, uint64_t address, char type = 'T');
    void RemoveSymbol(std::string_view name);
    // "address type name" lines in address order, as the kernel build writes them.
    std::string SystemMap() const;

    // ---- files and directory entries ----
    // The entry for an absolute path, created with its parents on first use;
    // "/" is the root, which is its own parent.
    uint64_t Dentry(std::string_view path);
    // One entry with any name; `parent` 0 makes it its own parent.
    uint64_t NewDentry(std::string_view name, uint64_t parent);
    // A new open file whose path is the entry of `path` (or `dentry`).
    uint64_t File(std::string_view path);
    uint64_t FileFor(uint64_t dentry);

    // ---- tasks ----
    // A process leader (tid == pid) with its own memory descriptor, whose
    // executable file is `exePath` (none when empty).
    uint64_t AddProcess(uint32_t pid, std::string_view comm, std::string_view exePath);
    // A further thread of `leader`'s process, sharing its memory descriptor.
    uint64_t AddThread(uint64_t leader, uint32_t tid, std::string_view comm);
    // A kernel thread: no memory descriptor.
    uint64_t AddKernelThread(uint32_t pid, std::string_view comm);
    void SetTaskState(uint64_t task, uint64_t state, uint64_t ioWait);
    uint64_t MmOf(uint64_t task) const;
    uint64_t ThreadInfoOf(uint64_t task) const;  // 0 on a 64-bit core

    // ---- memory areas ----
    // Maps [start, end) of `task`'s address space to `path` from page
    // `pageOffset` on (or anonymous memory); rewrites the tree and the
    // area list in target memory. Returns the area's address.
    uint64_t MapFile(uint64_t task, uint64_t start, uint64_t end, std::string_view path,
                     uint64_t pageOffset);
    uint64_t MapFileObject(uint64_t task, uint64_t start, uint64_t end, uint64_t file,
                           uint64_t pageOffset);
    uint64_t MapAnonymous(uint64_t task, uint64_t start, uint64_t end);
    const AreaTree& AreasOf(uint64_t task) const;
    // How many slots the maple tree's leaf and branch nodes fill (at most 16
    // and 10); applies to trees written from then on.
    void SetMapleFill(unsigned leafSlots, unsigned branchSlots) {
        mapleLeafSlots_ = leafSlots;
        mapleBranchSlots_ = branchSlots;
    }

    // ---- structures a wrong offset would read (after the last mapping,
    // which rewrites the tree and the list) ----
    // Points the left or right tree child of `area` at `child`'s node.
    void SetAreaChild(uint64_t area, bool left, uint64_t child);
    void SetAreaNext(uint64_t area, uint64_t next);
    void SetDentryParent(uint64_t dentry, uint64_t parent);

    // ---- user stacks ----
    struct StackPointers {
        uint64_t fp = 0;
        uint64_t sp = 0;
    };
    // Writes a chain of frame records just below `stackTop` whose return
    // addresses are `returns` (innermost first), ended by a zero record; the
    // result's fp is the innermost record and sp lies 32 bytes below it.
    StackPointers WriteFrameRecords(uint64_t stackTop, std::span<const uint64_t> returns);
    // A fresh 64 KiB region for a stack; returns its top.
    uint64_t NewUserStack();

    // ---- user data for system calls ----
    uint64_t UserString(std::string_view text);
    // 8-byte little-endian pointers (on 32-bit cores too) and a final 0.
    uint64_t UserPointerArray(std::span<const uint64_t> pointers);
    // An address in the user range that no builder call ever maps.
    uint64_t UnmappedUserAddress() const;

    // ---- registers at the kernel functions the driver watches ----
    // __switch_to(prev, next): X0/X1, or R0 and R4 = next's thread_info +
    // bias (just the bias when next is 0) on a 32-bit core.
    void EnterSwitchTo(uint64_t prev, uint64_t next, size_t core = 0);
    // release_task(task): X0 or R0.
    void EnterReleaseTask(uint64_t task, size_t core = 0);
    // 32-bit: R13_svc points into `task`'s kernel stack (how the driver finds
    // the running task); nothing on a 64-bit core.
    void SetRunning(uint64_t task, size_t core = 0);
    // A supervisor call: X8 or R7, and the six argument registers.
    void EnterSyscall(uint64_t number, std::array<uint64_t, 6> args, size_t core = 0);

    // ---- the driver's configuration ----
    std::string OffsetsText() const { return layout_.Text(is64_); }
    // The subsystem settings object for this image.
    std::string SettingsJson(const std::string& systemMapPath,
                             const LinuxSettingsOptions& options = {}) const;
    struct SettingsFiles {
        std::filesystem::path systemMap;
        std::filesystem::path settings;
    };
    // Writes System.map and linux.json into `directory`.
    SettingsFiles WriteSettingsFiles(const std::filesystem::path& directory,
                                     const LinuxSettingsOptions& options = {}) const;

private:
    struct Task {
        uint64_t mm = 0;
        uint64_t threadInfo = 0;
        uint32_t tgid = 0;
    };
    struct Mm {
        AreaTree tree;
    };
    struct SymbolEntry {
        uint64_t address = 0;
        char type = 'T';
    };

    uint64_t AllocateKernel(uint64_t size, uint64_t align = 64);
    uint64_t AllocateUser(uint64_t size);
    void WriteBytes(uint64_t address, std::span<const uint8_t> bytes);
    void WriteText(uint64_t address, std::string_view text);
    void Write64(uint64_t address, uint64_t value);
    void WriteWord(uint64_t address, uint64_t value);
    void Write32(uint64_t address, uint32_t value);
    uint64_t NewTask(uint32_t tid, uint32_t tgid, std::string_view comm, uint64_t mm);
    uint64_t NewMm(std::string_view exePath);
    void WriteAreas(uint64_t mm);
    const Task& TaskAt(uint64_t task) const;
    void SetRegister(size_t core, const char* name, uint64_t value) {
        cpu(core).SetRegister(name, value);
    }

    uint64_t taskSize() const;
    uint64_t mmSize() const;
    uint64_t fileSize() const;
    uint64_t dentrySize() const;
    uint64_t areaSize() const;

    std::vector<Processor*> cpus_;
    KernelLayout layout_;
    bool is64_;
    std::string space_;
    uint64_t kernelNext_;
    uint64_t userNext_;
    uint64_t stackNext_;
    std::map<std::string, SymbolEntry, std::less<>> symbols_;
    std::map<std::string, uint64_t, std::less<>> dentries_;
    std::map<uint64_t, Task> tasks_;
    std::map<uint64_t, Mm> mms_;
    unsigned mapleLeafSlots_ = 10;  // a leaf the kernel has just split is about this full
    unsigned mapleBranchSlots_ = 6;
};

}  // namespace kvhost
