#include "os/linux/linux_driver.h"

#include "capture/capture_writer.h"
#include "util/vantric_exception.h"
#include "os/driver_settings.h"
#include "os/linux/linux_messages.h"

namespace vantric {
namespace {

SoftwareCounterSpec ActivityCounter(const char* name, const char* type) {
    SoftwareCounterSpec counter;
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
    if (pageShift_ == 0) pageShift_ = offsets64_ ? 16 : 12;
    if (!LoadSystemMap(systemMapPath_)) {
        throw VantricExceptionT() << "system map file (" << systemMapPath_ << ") load failed ";
    }
    if (!ParseKernelOffsets(offsetsText, offsets64_)) {
        throw VantricExceptionT() << "Offsets parser error (" << offsetsText << ")";
    }
    switchToAddress_ = FindSymbol(symbols_, "__switch_to");
    releaseTaskAddress_ = FindSymbol(symbols_, "release_task");

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
    const uint64_t number = is64 ? ReadRegister64(debug, regs64[kSyscallNumber])
                                 : ReadRegister32(debug, regs32[kSyscallNumber]);
    const uint64_t task = CurrentTask(debug, core, is64);

    // Generic 64-bit table and 32-bit EABI table numbers.
    enum class Kind { kNone, kOpenat, kExecve } kind = Kind::kNone;
    if (is64) {
        if (number == 56) kind = Kind::kOpenat;
        if (number == 221) kind = Kind::kExecve;
    } else {
        if (number == 322) kind = Kind::kOpenat;
        if (number == 11) kind = Kind::kExecve;
    }
    if (kind == Kind::kNone) return;

    SyscallContext context;
    context.capture = &capture;
    context.memorySpace = memorySpace;
    context.time = time;
    context.core = core;
    context.debug = debug;
    context.threadId = task == 0 ? 0 : Word32(debug, task + offsets_.taskThreadIdOffset);
    context.maxLength = SyscallBase::kMaxLength;
    for (uint32_t i = 0; i < context.args.size(); ++i) {
        context.args[i] = ArgumentRegister(debug, kArg0 + i, is64);
    }
    if (kind == Kind::kOpenat) {
        pending_.push_back(std::make_unique<OpenatSyscall>(context));
    } else {
        pending_.push_back(std::make_unique<ExecveSyscall>(context));
    }
    ProcessPending();
}

void LinuxDriver::OnTlbFill(plexa::SQOVI2*, uint32_t, bool, uint64_t) {
    if (!pendingSyscalls_) return;
    pendingSyscalls_ = false;
    ProcessPending();
}

void LinuxDriver::ProcessPending() {
    for (const auto& record : pending_) record->Fetch();
    while (!pending_.empty()) {
        if (!pending_.front()->Emit()) break;
        pending_.pop_front();
    }
    pendingSyscalls_ = !pending_.empty();
}

}  // namespace vantric
