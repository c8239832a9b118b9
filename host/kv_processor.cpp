#include "kv_processor.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "kv_lookup.h"
#include "kv_processor_debug.h"

namespace kvhost {

namespace {

void CopyText(char* destination, size_t width, std::string_view text) {
    std::memset(destination, 0, width);
    std::memcpy(destination, text.data(), std::min(text.size(), width - 1));
}

std::vector<EnumEntry> RunStates() {
    return {{0, "UNKNOWN"},     {1, "RUNNING"},     {2, "HALTED"},
            {3, "STANDBY_WFE"}, {4, "STANDBY_WFI"}, {5, "IN_RESET"},
            {6, "DORMANT"},     {7, "SHUTDOWN"},    {8, "RETENTION"}};
}

}  // namespace

Processor::Processor(std::string name, ProcessorOptions options, uint32_t targetId)
    : TraceComponent(std::move(name)),
      options_(options),
      targetInfo_(std::make_unique<plexa::SQOVITargetInfo>()),
      debug_(std::make_unique<ProcessorDebug>(*this)) {
    AddStandardSources();
    AddRegisters();
    AddMemorySpaces();
    FillTargetInfo(targetId);
    features_ = "HOST_MODEL=1:PC_MEMSPACE_REGNUM=" +
                std::to_string(registers_.NumberOf(kPcMemorySpaceRegister));
    SetPcMemorySpace(options_.is64 ? "Guest" : "Secure");
}

Processor::~Processor() = default;

plexa::SQOVI2& Processor::debug() { return *debug_; }

plexa::CAInterface* Processor::LookupExtra(const char* name, uint32_t minimumRevision,
                                           uint32_t* actualRevision) {
    if (options_.debugInterface && SameName(name, host_names::kDebugInterface)) {
        return AnswerIfRevision(debug_.get(), 0, minimumRevision, actualRevision);
    }
    return nullptr;
}

void Processor::AddStandardSources() {
    const auto iset = [] { return Enum("ISET", 4, {{0, "A32"}, {1, "T32"}, {2, "A64"}},
                                       "Instruction set state"); };
    periodic_ = &AddSource("PERIODIC", "Emitted every fixed number of retired instructions",
                           {Unsigned("INST_COUNT", 8, "Instructions retired by the core"),
                            Unsigned("PC", 8, "Program counter")});
    inst_ = &AddSource("INST", "An instruction retired",
                       {Unsigned("PC", 8, "Program counter"), iset(), LocalTime()});
    exception_ = &AddSource("EXCEPTION", "An exception was taken",
                            {Unsigned("PC", 8, "Program counter"),
                             Unsigned("VECTOR", 4, "Exception vector"), LocalTime()});
    syscall_ = &AddSource("SYSCALL", "A supervisor, hypervisor or monitor call",
                          {Enum("TYPE", 4, {{0, "SVC"}, {1, "HVC"}, {2, "SMC"}}, "Call kind"),
                           LocalTime()});
    runState_ = &AddSource("RUN_STATE", "The core's run state changed",
                           {Enum("OLD", 4, RunStates(), "Previous state"),
                            Enum("NEW", 4, RunStates(), "New state"), LocalTime()});
    modeChange_ = &AddSource("MODE_CHANGE", "The processor mode changed",
                             {Unsigned("MODE", 1, "New mode")});
    branchDirect_ = &AddSource("BRA_DIR", "A direct branch was taken",
                               {Unsigned("PC", 8, "Branch address"),
                                Unsigned("TARGET_PC", 8, "Branch target"), LocalTime()});
    branchIndirect_ = &AddSource("BRA_INDIR", "An indirect branch was taken",
                                 {Unsigned("PC", 8, "Branch address"),
                                  Unsigned("TARGET_PC", 8, "Branch target"), LocalTime()});
    cp15Write_ = &AddSource("CP15_WRITE", "A coprocessor 15 register was written",
                            {Unsigned("CRn", 1), Unsigned("opc1", 1), Unsigned("CRm", 1),
                             Unsigned("opc2", 1), Unsigned("VALUE", 4, "Written value")});
    sysregWrite64_ = &AddSource("SYSREG_WRITE64", "A 64-bit system register was written",
                                {Unsigned("REGNUM", 4, "System register number"),
                                 Unsigned("VALUE", 8, "Written value"),
                                 Unsigned("UPDATED_VALUE", 8, "Value after the write")});
    tlbFill_ = &AddSource("MMU_TLB_FILL", "A TLB entry was filled",
                          {Unsigned("VA", 8, "Virtual address"),
                           Unsigned("PA", 8, "Physical address")});
}

void Processor::AddRegisters() {
    if (options_.is64) {
        for (int i = 0; i <= 30; ++i) {
            registers_.Add("X" + std::to_string(i), "General purpose register", 0, 64);
        }
        registers_.Add("SP", "Stack pointer", 0, 64);
        registers_.Add("PC", "Program counter", 0, 64);
        registers_.Add("CPSR", "Current program status", 0, 32);
        registers_.Add("SP_EL1", "Kernel stack pointer", 1, 64);
        registers_.Add("MIDR_EL1", "Main identification", 1, 64);
        registers_.Add(kPcMemorySpaceRegister, "Memory space of instruction fetches", 1, 32);
        SetRegister("MIDR_EL1", 0x4B1FD010);
        SetRegister("CPSR", 0x3C5);
    } else {
        for (int i = 0; i <= 15; ++i) {
            registers_.Add("R" + std::to_string(i), "General purpose register", 0, 32);
        }
        registers_.Add("R13_svc", "Supervisor stack pointer", 1, 32);
        registers_.Add("CPSR", "Current program status", 0, 32);
        registers_.Add("CPUID", "Main identification", 1, 32);
        registers_.Add(kPcMemorySpaceRegister, "Memory space of instruction fetches", 1, 32);
        SetRegister("CPUID", 0x4B1FC0F0);
        SetRegister("CPSR", 0x1D3);
    }
}

void Processor::AddMemorySpaces() {
    const uint64_t top = options_.is64 ? ~uint64_t{0} : 0xFFFFFFFFu;
    spaces_.resize(2);
    spaces_[0].id = 1;
    spaces_[0].name = "Secure";
    spaces_[0].description = "Secure world memory";
    spaces_[1].id = 2;
    spaces_[1].name = options_.is64 ? "Guest" : "NS";
    spaces_[1].description = options_.is64 ? "Guest memory" : "Non-secure world memory";
    for (MemorySpace& space : spaces_) {
        space.minAddress = 0;
        space.maxAddress = top;
    }
}

void Processor::FillTargetInfo(uint32_t targetId) {
    plexa::SQOVITargetInfo& info = *targetInfo_;
    std::memset(&info, 0, sizeof info);
    info.id = targetId;
    CopyText(info.targetName, sizeof info.targetName, options_.is64 ? "KV-Core64" : "KV-Core32");
    CopyText(info.vendor, sizeof info.vendor, "Kelvane");
    CopyText(info.version, sizeof info.version, "1.0");
    CopyText(info.description, sizeof info.description,
             options_.is64 ? "Kelvane 64-bit core model" : "Kelvane 32-bit core model");
    CopyText(info.type, sizeof info.type, "Core");
    info.processorCount = 1;
    info.isSoftware = 0;
    info.executionStateCount = 1;
    info.parentId = 0;
    CopyText(info.instancePath, sizeof info.instancePath, name());
    info.hasSimulatedTime = 1;
}

uint32_t Processor::RegisterNumber(std::string_view name) const {
    return registers_.NumberOf(name);
}

void Processor::SetRegister(std::string_view name, uint64_t value) {
    Register* reg = registers_.ByName(name);
    if (reg == nullptr) {
        throw std::invalid_argument("kvhost: no register " + std::string(name) + " on " +
                                    this->name());
    }
    RegisterFile::Store(*reg, value);
}

uint64_t Processor::GetRegister(std::string_view name) const {
    for (size_t i = 0; i < registers_.size(); ++i) {
        if (registers_.at(i).name == name) return RegisterFile::Load(registers_.at(i));
    }
    throw std::invalid_argument("kvhost: no register " + std::string(name) + " on " +
                                this->name());
}

uint32_t Processor::MemorySpaceId(std::string_view space) const {
    for (const MemorySpace& s : spaces_) {
        if (s.name == space) return s.id;
    }
    return kNoSpace;
}

MemorySpace* Processor::FindSpace(uint32_t id) {
    for (MemorySpace& s : spaces_) {
        if (s.id == id) return &s;
    }
    return nullptr;
}

MemorySpace& Processor::SpaceNamed(std::string_view name) {
    for (MemorySpace& s : spaces_) {
        if (s.name == name) return s;
    }
    throw std::invalid_argument("kvhost: no memory space " + std::string(name) + " on " +
                                this->name());
}

SparseMemory& Processor::Memory(std::string_view space) { return SpaceNamed(space).memory; }

void Processor::WriteMemory(std::string_view space, uint64_t address,
                            std::span<const uint8_t> bytes) {
    MemorySpace& s = SpaceNamed(space);
    if (!bytes.empty() && (address > s.maxAddress || bytes.size() - 1 > s.maxAddress - address)) {
        throw std::invalid_argument("kvhost: write beyond the end of memory space " + s.name);
    }
    s.memory.Write(address, bytes);
}

void Processor::Write32(std::string_view space, uint64_t address, uint32_t value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, sizeof bytes);  // the host is little-endian, as is the target
    WriteMemory(space, address, bytes);
}

void Processor::Write64(std::string_view space, uint64_t address, uint64_t value) {
    uint8_t bytes[8];
    std::memcpy(bytes, &value, sizeof bytes);
    WriteMemory(space, address, bytes);
}

void Processor::WriteText(std::string_view space, uint64_t address, std::string_view text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    WriteMemory(space, address, bytes);
}

void Processor::SetPcMemorySpace(std::string_view space) {
    SetRegister(kPcMemorySpaceRegister, SpaceNamed(space).id);
}

void Processor::SetFailing(DebugOperation operation, bool fail) {
    failing_.at(static_cast<size_t>(operation)) = fail;
}

bool Processor::failing(DebugOperation operation) const {
    ++calls_.at(static_cast<size_t>(operation));
    return failing_.at(static_cast<size_t>(operation));
}

void Processor::EmitOn(TraceSource* source, std::initializer_list<uint64_t> values) {
    uint32_t index = 0;
    for (uint64_t v : values) source->SetInteger(index++, v);
    source->Dispatch();
}

void Processor::EmitPeriodic(uint64_t instCount, uint64_t pc) { EmitOn(periodic_, {instCount, pc}); }

void Processor::EmitInst(uint64_t pc, uint32_t iset, int64_t localTime) {
    EmitOn(inst_, {pc, iset, static_cast<uint64_t>(localTime)});
}

void Processor::EmitException(uint64_t pc, uint32_t vector, int64_t localTime) {
    EmitOn(exception_, {pc, vector, static_cast<uint64_t>(localTime)});
}

void Processor::EmitSyscall(uint32_t type, int64_t localTime) {
    EmitOn(syscall_, {type, static_cast<uint64_t>(localTime)});
}

void Processor::EmitRunState(uint32_t oldState, uint32_t newState, int64_t localTime) {
    EmitOn(runState_, {oldState, newState, static_cast<uint64_t>(localTime)});
}

void Processor::EmitModeChange(uint8_t mode) { EmitOn(modeChange_, {mode}); }

void Processor::EmitBranchDirect(uint64_t pc, uint64_t targetPc, int64_t localTime) {
    EmitOn(branchDirect_, {pc, targetPc, static_cast<uint64_t>(localTime)});
}

void Processor::EmitBranchIndirect(uint64_t pc, uint64_t targetPc, int64_t localTime) {
    EmitOn(branchIndirect_, {pc, targetPc, static_cast<uint64_t>(localTime)});
}

void Processor::EmitCp15Write(uint8_t crn, uint8_t opc1, uint8_t crm, uint8_t opc2,
                              uint32_t value) {
    EmitOn(cp15Write_, {crn, opc1, crm, opc2, value});
}

void Processor::EmitSysregWrite64(uint32_t regnum, uint64_t value, uint64_t updatedValue) {
    EmitOn(sysregWrite64_, {regnum, value, updatedValue});
}

void Processor::EmitTlbFill(uint64_t va, uint64_t pa) { EmitOn(tlbFill_, {va, pa}); }

}  // namespace kvhost
