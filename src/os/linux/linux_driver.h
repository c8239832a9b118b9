// Follows a Linux kernel on the simulated cores from the outside: task
// switches and exits from branches into __switch_to and release_task,
// samples with call stacks resolved to mapped files, CPU activity counters,
// and openat/execve decoded into annotations. It knows the kernel build
// through its System.map and a text of structure offsets given in the
// subsystem settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_value.h"
#include "os/linux/kernel_offsets.h"
#include "os/linux/maple_tree_layout.h"
#include "os/linux/software_counter_sink.h"
#include "os/linux/system_map.h"
#include "os/os_driver.h"

namespace vantric {

class LinuxDriver : public OSDriver {
public:
    static constexpr uint32_t kPathBufferSize = 200;
    static constexpr uint64_t kThreadInfoMask = ~uint64_t{0x1FFF};  // 8 KiB kernel stacks
    static constexpr uint32_t kNoCookie = 0xFFFFFFFFu;  // a frame outside every area

    // Reads "system-map-file", "trace-linux-syscalls", "linux-offsets-32",
    // "linux-offsets-64", "pageshift", and "memory-areas" with
    // "maple-tree-offsets" (kernels from 6.1 on) from `configuration`, loads the
    // system map and parses the offsets; throws VantricExceptionT on bad
    // settings. `activity` receives the two CPU activity counters (none are
    // counted without it); it must outlive the driver.
    LinuxDriver(CaptureWriter& capture, uint32_t callstackDepth,
                const vq::JSONValue& configuration, SoftwareCounterSink* activity = nullptr);
    ~LinuxDriver() override;

    bool Init(plexa::SQOVI2* debug, uint32_t coreCount, bool is64) override;
    void OnBranch(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t targetPc, bool is64,
                  uint64_t time) final;
    void OnSample(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t lr, uint64_t fp,
                  uint64_t sp, bool inUserMode, bool mmuEnabled, bool is64,
                  uint64_t time) override;
    void OnSyscall(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time) override;
    bool WantsBranchEvents() const override { return wantsBranches_; }
    bool WantsSyscallEvents() const override { return traceSyscalls_; }

    // Cookie of the task's executable path; 0 when unknown.
    virtual uint32_t ReportProcessName(plexa::SQOVI2* debug, uint32_t core, uint64_t task,
                                       uint32_t tid, uint32_t pid, uint64_t time, bool is64);
    // Cookie of the file mapped at `address` (0 for anonymous memory or no
    // task, kNoCookie outside every area) and the address's offset in it.
    virtual uint32_t ResolveFrame(plexa::SQOVI2* debug, uint32_t core, uint64_t task, uint32_t tid,
                                  uint32_t pid, uint64_t time, uint64_t address,
                                  uint64_t& fileOffset, bool is64, uint32_t frameIndex);

    // ---- the construction readers ----
    bool LoadSystemMap(const std::string& path);
    bool ParseKernelOffsets(std::string_view text, bool offsets64);

    // ---- helpers over target memory ----
    uint64_t CurrentTask(plexa::SQOVI2* debug, uint32_t core, bool is64);
    // The first memory area of `mm` that ends above `address` (red-black tree
    // search), or with a maple tree the area that holds `address`; 0 for none.
    uint64_t FindMemoryArea(plexa::SQOVI2* debug, uint64_t mm, uint64_t address, bool is64);
    // The absolute path of the directory entry of the path record at
    // `pathAddress`, built right to left in `buffer`; the result points into it.
    std::string_view BuildDentryPath(plexa::SQOVI2* debug, uint64_t pathAddress, char* buffer,
                                     uint32_t bufferSize, bool is64);

    // ---- what construction found ----
    const KernelOffsets& offsets() const { return offsets_; }
    bool offsets64() const { return offsets64_; }
    const std::vector<KernelSymbol>& symbols() const { return symbols_; }
    // True for a branch to either task symbol, the only branches OnBranch acts on.
    bool IsTaskBranch(uint64_t targetPc) const {
        return targetPc == switchToAddress_ || targetPc == releaseTaskAddress_;
    }
    uint64_t switchToAddress() const { return switchToAddress_; }
    uint64_t releaseTaskAddress() const { return releaseTaskAddress_; }
    uint32_t pageShift() const { return pageShift_; }
    bool mapleTree() const { return mapleTree_; }
    const std::string& systemMapPath() const { return systemMapPath_; }
    uint32_t callstackDepth() const { return callstackDepth_; }
    bool taskKnown() const { return taskKnown_; }

private:
    uint64_t Word(plexa::SQOVI2* debug, uint64_t address, bool is64) const;
    uint32_t Word32(plexa::SQOVI2* debug, uint64_t address) const;
    uint64_t ArgumentRegister(plexa::SQOVI2* debug, uint32_t slot, bool is64) const;
    void OnSwitch(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time);
    void OnTaskExit(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time);

    // Construction.
    bool offsets64_ = false;
    KernelOffsets offsets_;
    std::vector<KernelSymbol> symbols_;
    uint64_t switchToAddress_ = 0;
    uint64_t releaseTaskAddress_ = 0;
    uint32_t pageShift_ = 0;
    bool mapleTree_ = false;  // memory areas in a maple tree, not a red-black tree
    MapleTreeLayout mapleLayout_;
    std::string systemMapPath_;
    bool traceSyscalls_ = true;
    bool wantsBranches_ = true;
    uint32_t callstackDepth_;

    // Tracing.
    std::vector<uint64_t> currentTask_;
    bool taskKnown_ = false;
    SoftwareCounterSink* activity_;
    SoftwareCounterSink::Counter userActivity_ = nullptr;
    SoftwareCounterSink::Counter systemActivity_ = nullptr;

    // Scratch storage of the sampling path, reused so that it allocates nothing.
    std::vector<uint64_t> stack_;
    std::vector<uint32_t> frameCookies_;
    std::vector<uint64_t> frameOffsets_;
    std::string commandName_;
    char pathBuffer_[kPathBufferSize];
    char nameBuffer_[kPathBufferSize];
};

}  // namespace vantric
