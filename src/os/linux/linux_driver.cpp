#include "os/linux/linux_driver.h"

#include <algorithm>

#include "capture/capture_writer.h"
#include "os/driver_settings.h"
#include "os/frame_walker.h"
#include "os/linux/linux_messages.h"
#include "os/linux/maple_tree_search.h"
#include "os/linux/syscall_decoder.h"
#include "util/vantric_exception.h"

namespace vantric {
namespace {

// Bounds on the walks over the kernel's lists and trees, far above what a
// real kernel builds, so that a wrong offset that makes a structure loop ends
// the walk as if the structure were absent instead of hanging the simulation.
// A red-black tree of n nodes is at most 2*log2(n+1) high: 64 nodes on one
// search path would need billions of areas.
constexpr uint32_t kMaxTreeHeight = 64;
// The kernel's default max_map_count allows 65530 areas in an address space.
constexpr uint32_t kMaxAreas = 65536;

SoftwareCounterSettings ActivityCounter(const char* name, const char* type) {
    SoftwareCounterSettings counter;
    counter.title = "CPU Activity";
    counter.name = name;
    counter.type = type;
    counter.averageSelection = true;
    counter.perCpu = true;
    counter.startTime = 0;
    counter.endTime = ~uint64_t{0};
    counter.percentage = true;
    counter.multiplier = 0.0001f;
    counter.averageCores = true;
    counter.interval = 1;
    counter.derived = true;
    counter.renderingType = "bar";
    return counter;
}

}  // namespace

LinuxDriver::LinuxDriver(CaptureWriter& capture, uint32_t callstackDepth,
                         const vq::JSONValue& configuration, SoftwareCounterSink* activity)
    : OSDriver(capture), callstackDepth_(callstackDepth), activity_(activity) {
    using JSONError = vq::JSONValue::SerializationException;
    try {
        systemMapPath_ = SettingsMember(configuration, "system-map-file").asString();
    } catch (const JSONError& e) {
        throw VantricExceptionT() << "invalid System map file : " << e.what() << ".\n";
    }
    try {
        traceSyscalls_ = SettingsMember(configuration, "trace-linux-syscalls").asBool();
    } catch (const JSONError&) {
    }
    std::string offsetsText;
    try {
        offsetsText = SettingsMember(configuration, "linux-offsets-32").asString();
    } catch (const JSONError&) {
    }
    try {
        offsetsText = SettingsMember(configuration, "linux-offsets-64").asString();
        offsets64_ = true;
    } catch (const JSONError&) {
    }
    if (offsetsText.empty()) throw VantricExceptionT("invalid offsets\n");
    try {
        pageShift_ = SettingsMember(configuration, "pageshift").asUInt32();
    } catch (const JSONError& e) {
        throw VantricExceptionT() << "invalid pageshift : " << e.what() << ".\n";
    }
    if (pageShift_ >= 64) {
        throw VantricExceptionT() << "invalid pageshift : " << pageShift_
                                  << " is not a page size (0 to 63).\n";
    }
    if (pageShift_ == 0) pageShift_ = offsets64_ ? 16 : 12;
    const vq::JSONValue& areas = SettingsMember(configuration, "memory-areas");
    if (areas.type() != vq::JSONValue::TypeNull) {
        std::string kind;
        try {
            kind = areas.asString();
        } catch (const JSONError& e) {
            throw VantricExceptionT() << "invalid memory-areas : " << e.what() << ".\n";
        }
        if (kind == "maple-tree") {
            mapleTree_ = true;
        } else if (kind != "rb-tree") {
            throw VantricExceptionT() << "invalid memory-areas : \"" << kind
                                      << "\" is neither \"rb-tree\" nor \"maple-tree\".\n";
        }
    }
    if (mapleTree_) {
        std::string problem;
        try {
            const std::string text = SettingsMember(configuration, "maple-tree-offsets").asString();
            if (!MapleTreeLayout::Parse(text, mapleLayout_, problem)) problem += " (" + text + ")";
        } catch (const JSONError& e) {
            problem = e.what();
        }
        if (!problem.empty()) throw VantricExceptionT() << "invalid maple-tree-offsets : " << problem << ".\n";
        if (!offsets64_) throw VantricExceptionT("invalid memory-areas : a maple tree needs linux-offsets-64.\n");
    }
    if (!LoadSystemMap(systemMapPath_)) {
        throw VantricExceptionT() << "system map file (" << systemMapPath_ << ") load failed ";
    }
    if (!ParseKernelOffsets(offsetsText, offsets64_)) {
        throw VantricExceptionT() << "Offsets parser error (" << offsetsText << ")";
    }
    switchToAddress_ = FindSymbol(symbols_, "__switch_to");
    releaseTaskAddress_ = FindSymbol(symbols_, "release_task");
    // A placeholder or foreign map loads fine and then silently traces nothing.
    if (switchToAddress_ == 0 || releaseTaskAddress_ == 0) {
        // /proc/kallsyms read without root lists every symbol at address 0.
        auto absence = [this](std::string_view name) {
            const bool listed = std::any_of(symbols_.begin(), symbols_.end(),
                                            [&](const KernelSymbol& s) { return s.name == name; });
            return (listed ? "lists " : "has no ") + std::string(name) +
                   (listed ? " at address 0 (read /proc/kallsyms as root)" : "");
        };
        messages << systemMapPath_ << ' ';
        if (switchToAddress_ == 0) messages << absence("__switch_to");
        if (switchToAddress_ == 0 && releaseTaskAddress_ == 0) messages << " and ";
        if (releaseTaskAddress_ == 0) messages << absence("release_task");
        messages << (switchToAddress_ == 0 ? " : no task switches and no samples will be recorded"
                                           : " : no thread exits will be recorded");
    }
    stack_.reserve(callstackDepth_);
    frameCookies_.reserve(callstackDepth_);
    frameOffsets_.reserve(callstackDepth_);
    commandName_.reserve(kPathBufferSize);  // command names are cut to fit it
}

LinuxDriver::~LinuxDriver() = default;

bool LinuxDriver::LoadSystemMap(const std::string& path) {
    return vantric::LoadSystemMap(path, symbols_);
}

bool LinuxDriver::ParseKernelOffsets(std::string_view text, bool offsets64) {
    return vantric::ParseKernelOffsets(text, offsets64, offsets_);
}

bool LinuxDriver::Init(plexa::SQOVI2* debug, uint32_t coreCount, bool is64) {
    currentTask_.assign(coreCount, 0);
    if (activity_ != nullptr) {
        userActivity_ = activity_->AddSoftwareCounter(ActivityCounter("User", "CPUActivityUser"));
        systemActivity_ =
            activity_->AddSoftwareCounter(ActivityCounter("System", "CPUActivitySystem"));
    }
    if (OSDriver::Init(debug, coreCount, is64)) return true;
    LinuxWarning(kBaseInitWarning);
    return false;
}

// ---- system calls ----

void LinuxDriver::OnSyscall(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time) {
    const uint64_t number = ArgumentRegister(debug, kSyscallNumber, is64);
    // Generic 64-bit table and 32-bit EABI table numbers.
    const bool openat = number == (is64 ? 56u : 322u);
    const bool execve = number == (is64 ? 221u : 11u);
    if (!openat && !execve) return;

    const uint64_t task = CurrentTask(debug, core, is64);
    const uint32_t threadId = task == 0 ? 0 : Word32(debug, task + offsets_.taskThreadIdOffset);
    SyscallDecoder::Arguments args;
    for (uint32_t i = 0; i < args.size(); ++i) args[i] = ArgumentRegister(debug, kArg0 + i, is64);
    const SyscallDecoder decoder(debug, memorySpace);
    capture.writeAnnotation(core, threadId, time,
                            openat ? decoder.Openat(args) : decoder.Execve(args));
}

// ---- word and register reads in the kernel's data space ----

uint64_t LinuxDriver::Word(plexa::SQOVI2* debug, uint64_t address, bool is64) const {
    return is64 ? TargetAccess::ReadMemory64(debug, memorySpace, address)
                : TargetAccess::ReadMemory32(debug, memorySpace, address);
}

uint32_t LinuxDriver::Word32(plexa::SQOVI2* debug, uint64_t address) const {
    return TargetAccess::ReadMemory32(debug, memorySpace, address);
}

uint64_t LinuxDriver::ArgumentRegister(plexa::SQOVI2* debug, uint32_t slot, bool is64) const {
    return is64 ? TargetAccess::ReadRegister64(debug, regs64[slot])
                : TargetAccess::ReadRegister32(debug, regs32[slot]);
}

// ---- switches and exits ----

void LinuxDriver::OnBranch(plexa::SQOVI2* debug, uint32_t core, uint64_t, uint64_t targetPc,
                           bool is64, uint64_t time) {
    // A missing symbol leaves its address 0, so a branch to 0 then matches it.
    if (targetPc == switchToAddress_) {
        OnSwitch(debug, core, is64, time);
    } else if (targetPc == releaseTaskAddress_) {
        OnTaskExit(debug, core, is64, time);
    }
}

void LinuxDriver::OnTaskExit(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time) {
    const uint64_t task = ArgumentRegister(debug, kArg0, is64);
    // The profiler wants the exiting task's process id in the thread position.
    const uint32_t pid = task == 0 ? 0 : Word32(debug, task + offsets_.taskProcessIdOffset);
    capture.writeThreadExit(core, time, pid);
}

void LinuxDriver::OnSwitch(plexa::SQOVI2* debug, uint32_t core, bool is64, uint64_t time) {
    const uint64_t prev = ArgumentRegister(debug, kArg0, is64);
    uint64_t next = 0;
    if (is64) {
        next = TargetAccess::ReadRegister64(debug, regs64[kArg1]);
    } else {
        // R4 holds the incoming thread_info plus a build-specific bias.
        const uint64_t r4 = TargetAccess::ReadRegister32(debug, regs32[kArg4]);
        if (r4 != offsets_.switchThreadInfoBias) {
            next = Word32(debug, r4 - offsets_.switchThreadInfoBias + offsets_.threadInfoTaskOffset);
        }
    }
    if (core < currentTask_.size()) currentTask_[core] = next;

    uint32_t pid = 0;
    uint32_t tid = 0;
    commandName_.clear();
    if (next != 0) {
        pid = Word32(debug, next + offsets_.taskProcessIdOffset);
        tid = Word32(debug, next + offsets_.taskThreadIdOffset);
        const size_t length = TargetAccess::ReadText(
            debug, memorySpace, next + offsets_.taskCommOffset,
            std::min<uint64_t>(offsets_.taskCommLength, kPathBufferSize), nameBuffer_);
        commandName_.assign(nameBuffer_, length);
        // A slash would read as a path in the profiler (kworker/0:1).
        std::replace(commandName_.begin(), commandName_.end(), '/', '_');
    }

    uint32_t state = 1;  // runnable
    if (prev != 0 && Word(debug, prev + offsets_.taskStateOffset, is64) != 0) {
        state = Word(debug, prev + offsets_.taskIoWaitOffset, is64) != 0 ? 2 : 0;
    }
    const uint32_t cookie = ReportProcessName(debug, core, next, tid, pid, time, is64);
    capture.writeSwitch(core, time, cookie, pid, tid, commandName_, state);
    taskKnown_ = true;
}

uint64_t LinuxDriver::CurrentTask(plexa::SQOVI2* debug, uint32_t core, bool is64) {
    if (!taskKnown_) return 0;
    if (!is64) {
        const uint64_t threadInfo =
            TargetAccess::ReadRegister32(debug, regs32[kKernelStack]) & kThreadInfoMask;
        return Word32(debug, threadInfo + offsets_.threadInfoTaskOffset);
    }
    return core < currentTask_.size() ? currentTask_[core] : 0;
}

// ---- samples ----

void LinuxDriver::OnSample(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t lr,
                           uint64_t fp, uint64_t sp, bool inUserMode, bool mmuEnabled, bool is64,
                           uint64_t time) {
    if (!taskKnown_) return;
    uint64_t task = 0;
    uint32_t pid = 0;
    uint32_t tid = 0;
    if (mmuEnabled) {
        task = CurrentTask(debug, core, is64);
        if (task != 0) {
            pid = Word32(debug, task + offsets_.taskProcessIdOffset);
            tid = Word32(debug, task + offsets_.taskThreadIdOffset);
        }
    }
    const auto stackSpace = static_cast<uint32_t>(
        TargetAccess::ReadRegister64(debug, static_cast<uint32_t>(pcMemorySpaceRegister)));
    FrameWalker::Walk(callstackDepth_, debug, stackSpace, pc, lr, fp, sp, is64, stack_);
    frameCookies_.assign(stack_.size(), 0);
    frameOffsets_.assign(stack_.size(), 0);

    if (!inUserMode) {
        if (activity_ != nullptr) activity_->AddToSoftwareCounter(systemActivity_, 1, core);
        capture.writeSample(core, time, 0, pid, tid, frameCookies_, stack_);
        return;
    }
    for (uint32_t i = 0; i < stack_.size(); ++i) {
        frameCookies_[i] =
            ResolveFrame(debug, core, task, tid, pid, time, stack_[i], frameOffsets_[i], is64, i);
    }
    const uint32_t cookie = ReportProcessName(debug, core, task, tid, pid, time, is64);
    if (cookie != 0 && activity_ != nullptr) {
        activity_->AddToSoftwareCounter(userActivity_, 1, core);
    }
    capture.writeSample(core, time, cookie, pid, tid, frameCookies_, frameOffsets_);
}

uint32_t LinuxDriver::ReportProcessName(plexa::SQOVI2* debug, uint32_t core, uint64_t task,
                                        uint32_t tid, uint32_t pid, uint64_t time, bool is64) {
    if (task == 0) return 0;
    const uint64_t mm = Word(debug, task + offsets_.taskMmOffset, is64);
    if (mm == 0) return 0;  // a kernel thread
    const uint64_t exe = Word(debug, mm + offsets_.mmExeFileOffset, is64);
    const uint64_t pathAddress = exe + offsets_.filePathOffset;
    if (pathAddress == 0) return 0;
    const std::string_view path =
        BuildDentryPath(debug, pathAddress, pathBuffer_, kPathBufferSize, is64);
    return capture.cookieFor(core, tid, pid, time, path);
}

uint32_t LinuxDriver::ResolveFrame(plexa::SQOVI2* debug, uint32_t core, uint64_t task,
                                   uint32_t tid, uint32_t pid, uint64_t time, uint64_t address,
                                   uint64_t& fileOffset, bool is64, uint32_t) {
    if (task == 0) return 0;
    const uint64_t mm = Word(debug, task + offsets_.taskMmOffset, is64);
    if (mm == 0) {
        fileOffset = address;
        return 0;
    }
    uint64_t area = FindMemoryArea(debug, mm, address, is64);
    if (area == 0) {
        fileOffset = address;
        return kNoCookie;
    }
    uint64_t start = 0;
    uint64_t file = 0;
    uint64_t pageOffset = 0;
    for (uint32_t visited = 1;; ++visited) {
        start = Word(debug, area + offsets_.vmaStartOffset, is64);
        const uint64_t end = Word(debug, area + offsets_.vmaEndOffset, is64);
        file = Word(debug, area + offsets_.vmaFileOffset, is64);
        pageOffset = Word(debug, area + offsets_.vmaPageOffsetOffset, is64);
        if (start <= address && address < end) break;
        // The maple tree gives the area itself; areas have no list to follow.
        if (mapleTree_) {
            fileOffset = address;
            return kNoCookie;
        }
        area = Word(debug, area + offsets_.vmaNextOffset, is64);
        if (area == 0 || visited == kMaxAreas) {
            fileOffset = address;
            return kNoCookie;
        }
    }
    if (file == 0) {  // anonymous memory
        fileOffset = address;
        return 0;
    }
    const std::string_view path = BuildDentryPath(debug, file + offsets_.filePathOffset,
                                                  pathBuffer_, kPathBufferSize, is64);
    if (path.empty()) return ReportProcessName(debug, core, task, tid, pid, time, is64);
    fileOffset = (pageOffset << pageShift_) - start + address;
    return capture.cookieFor(core, tid, pid, time, path);
}

// ---- target-memory walks ----

uint64_t LinuxDriver::FindMemoryArea(plexa::SQOVI2* debug, uint64_t mm, uint64_t address,
                                     bool is64) {
    if (mapleTree_) return MapleTreeSearch::Find(debug, memorySpace, mm, address, mapleLayout_);
    uint64_t node = Word(debug, mm + offsets_.mmTreeRootOffset + offsets_.treeRootNodeOffset, is64);
    uint64_t candidate = 0;
    for (uint32_t depth = 0; node != 0; ++depth) {
        if (depth == kMaxTreeHeight) return 0;
        const uint64_t area = node - offsets_.vmaTreeNodeOffset;
        if (Word(debug, area + offsets_.vmaEndOffset, is64) > address) {
            candidate = area;
            if (Word(debug, area + offsets_.vmaStartOffset, is64) <= address) break;
            node = Word(debug, node + offsets_.treeLeftOffset, is64);
        } else {
            node = Word(debug, node + offsets_.treeRightOffset, is64);
        }
    }
    return candidate;
}

std::string_view LinuxDriver::BuildDentryPath(plexa::SQOVI2* debug, uint64_t pathAddress,
                                              char* buffer, uint32_t bufferSize, bool is64) {
    if (bufferSize == 0) return {};
    uint64_t dentry = Word(debug, pathAddress + offsets_.pathDentryOffset, is64);
    size_t pos = bufferSize - 1;
    buffer[pos] = '\0';
    const size_t maxName = std::min<size_t>(bufferSize, sizeof nameBuffer_);
    // The buffer bounds this walk, a loop of parents included: every entry
    // either ends it or takes at least two bytes, a name and a slash.
    while (dentry != 0) {
        uint64_t nameRecord = dentry + offsets_.dentryNameOffset;
        if (!is64) nameRecord &= 0xFFFFFFFFu;  // 32-bit address arithmetic
        const uint64_t nameText = Word(debug, nameRecord + offsets_.nameTextOffset, is64);
        const size_t length =
            TargetAccess::ReadText(debug, memorySpace, nameText, maxName, nameBuffer_);
        if (length == 0) {
            LinuxWarning(kPathEmptyWarning);
            break;
        }
        if (length == 1 && nameBuffer_[0] == '/') break;  // the root adds nothing
        if (length > pos) {
            LinuxWarning(kPathTooLongWarning);
            break;
        }
        pos -= length;
        std::copy(nameBuffer_, nameBuffer_ + length, buffer + pos);
        if (pos == 0) {
            LinuxWarning(kNoRoomForSlashWarning);
            break;
        }
        buffer[--pos] = '/';
        const uint64_t parent = Word(debug, dentry + offsets_.dentryParentOffset, is64);
        if (parent == dentry) {
            LinuxWarning(kParentIsSelfWarning);
            break;
        }
        dentry = parent;
    }
    return std::string_view(buffer + pos, bufferSize - 1 - pos);
}

}  // namespace vantric
