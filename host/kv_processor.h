// A simulated processor core: a trace component with the standard source set
// of a core, plus the "plexa.SQOVI2" debug interface through which the
// plug-in reads its registers, memory, features, target information and time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_abi.h"
#include "kv_register_file.h"
#include "kv_sparse_memory.h"
#include "kv_trace_component.h"

namespace kvhost {

class ProcessorDebug;

struct ProcessorOptions {
    bool is64 = true;
    bool debugInterface = true;  // answer "plexa.SQOVI2"
};

// Debug operations that a test can make fail (status 1).
enum class DebugOperation {
    GetTargetFeatures,
    GetTargetInfo,
    CurrentTime,
    ListRegisters,
    ReadRegisters,        // every register read
    ReadFeatureRegister,  // reads of the extended-features register only
    ListMemorySpaces,
    ReadMemory,
    Count
};

struct MemorySpace {
    uint32_t id = 0;
    std::string name;
    std::string description;
    uint64_t minAddress = 0;
    uint64_t maxAddress = 0;
    SparseMemory memory;
};

class Processor final : public TraceComponent {
public:
    static constexpr const char* kPcMemorySpaceRegister = "PC_MEMSPACE";
    static constexpr uint32_t kFeaturesRegisterNumber = 0xF00;
    static constexpr uint32_t kNoSpace = 0xFFFFFFFFu;
    static constexpr uint32_t kRegisterGroupCount = 2;  // 0 core, 1 system

    // `targetId` becomes the id of the target information.
    Processor(std::string name, ProcessorOptions options, uint32_t targetId);
    ~Processor() override;

    bool is64() const { return options_.is64; }
    // The debug interface object (also when it is hidden from lookups).
    plexa::SQOVI2& debug();
    void SetDebugInterfaceVisible(bool visible) { options_.debugInterface = visible; }

    // ---- registers ----
    uint32_t RegisterNumber(std::string_view name) const;  // 0xFFFFFFFF when absent
    // Throw std::invalid_argument for an unknown name.
    void SetRegister(std::string_view name, uint64_t value);
    uint64_t GetRegister(std::string_view name) const;
    const RegisterFile& registers() const { return registers_; }

    // The extended-features register holds this text plus a NUL; by default
    // "HOST_MODEL=1:PC_MEMSPACE_REGNUM=<number of PC_MEMSPACE>".
    void SetExtendedFeatures(std::string text) { features_ = std::move(text); }
    const std::string& extendedFeatures() const { return features_; }
    // Without it, GetTargetFeatures reports 0xFFFFFFFF as its register number
    // and reading kFeaturesRegisterNumber fails with status 2.
    void SetHasFeaturesRegister(bool present) { hasFeaturesRegister_ = present; }

    // ---- memory ----
    uint32_t MemorySpaceId(std::string_view space) const;  // kNoSpace when absent
    const std::vector<MemorySpace>& memorySpaces() const { return spaces_; }
    // The named space's memory; throw std::invalid_argument for an unknown space.
    SparseMemory& Memory(std::string_view space);
    void WriteMemory(std::string_view space, uint64_t address, std::span<const uint8_t> bytes);
    void Write32(std::string_view space, uint64_t address, uint32_t value);
    void Write64(std::string_view space, uint64_t address, uint64_t value);
    // Writes the text and its terminating NUL.
    void WriteText(std::string_view space, uint64_t address, std::string_view text);
    // Sets PC_MEMSPACE to the id of `space`.
    void SetPcMemorySpace(std::string_view space);
    // A read that meets unmapped memory after at least one whole unit
    // succeeds with fewer units instead of failing with status 1.
    void SetPartialMemoryReads(bool partial) { partialReads_ = partial; }

    // ---- time, identification, failures ----
    void SetCurrentTime(uint64_t nanoseconds) { currentTime_ = nanoseconds; }
    uint64_t currentTime() const { return currentTime_; }
    plexa::SQOVITargetInfo& targetInfo() { return *targetInfo_; }
    void SetFailing(DebugOperation operation, bool fail);
    // Asked once by every debug call, which it counts.
    bool failing(DebugOperation operation) const;
    uint64_t calls(DebugOperation operation) const { return calls_.at(static_cast<size_t>(operation)); }

    // ---- standard events (positional fast path) ----
    void EmitPeriodic(uint64_t instCount, uint64_t pc);
    void EmitInst(uint64_t pc, uint32_t iset = 0, int64_t localTime = 0);
    void EmitException(uint64_t pc, uint32_t vector, int64_t localTime = 0);
    void EmitSyscall(uint32_t type, int64_t localTime = 0);
    void EmitRunState(uint32_t oldState, uint32_t newState, int64_t localTime = 0);
    void EmitModeChange(uint8_t mode);
    void EmitBranchDirect(uint64_t pc, uint64_t targetPc, int64_t localTime = 0);
    void EmitBranchIndirect(uint64_t pc, uint64_t targetPc, int64_t localTime = 0);
    void EmitCp15Write(uint8_t crn, uint8_t opc1, uint8_t crm, uint8_t opc2, uint32_t value);
    void EmitSysregWrite64(uint32_t regnum, uint64_t value, uint64_t updatedValue);
    void EmitTlbFill(uint64_t va, uint64_t pa);

protected:
    plexa::CAInterface* LookupExtra(const char* name, uint32_t minimumRevision,
                                    uint32_t* actualRevision) override;

private:
    friend class ProcessorDebug;

    void AddStandardSources();
    void AddRegisters();
    void AddMemorySpaces();
    void FillTargetInfo(uint32_t targetId);
    MemorySpace* FindSpace(uint32_t id);
    MemorySpace& SpaceNamed(std::string_view name);
    static void EmitOn(TraceSource* source, std::initializer_list<uint64_t> values);

    ProcessorOptions options_;
    RegisterFile registers_;
    std::vector<MemorySpace> spaces_;
    std::string features_;
    bool hasFeaturesRegister_ = true;
    bool partialReads_ = false;
    uint64_t currentTime_ = 0;
    std::unique_ptr<plexa::SQOVITargetInfo> targetInfo_;
    std::array<bool, static_cast<size_t>(DebugOperation::Count)> failing_{};
    mutable std::array<uint64_t, static_cast<size_t>(DebugOperation::Count)> calls_{};
    std::unique_ptr<ProcessorDebug> debug_;

    // Standard sources, resolved once for the Emit helpers.
    TraceSource* periodic_ = nullptr;
    TraceSource* inst_ = nullptr;
    TraceSource* exception_ = nullptr;
    TraceSource* syscall_ = nullptr;
    TraceSource* runState_ = nullptr;
    TraceSource* modeChange_ = nullptr;
    TraceSource* branchDirect_ = nullptr;
    TraceSource* branchIndirect_ = nullptr;
    TraceSource* cp15Write_ = nullptr;
    TraceSource* sysregWrite64_ = nullptr;
    TraceSource* tlbFill_ = nullptr;
};

}  // namespace kvhost
