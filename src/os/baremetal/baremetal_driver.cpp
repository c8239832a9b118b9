#include "os/baremetal/baremetal_driver.h"

#include <algorithm>

#include "capture/capture_writer.h"
#include "util/vantric_exception.h"
#include "json/json_value.h"
#include "os/driver_settings.h"
#include "os/frame_walker.h"

namespace vantric {
namespace {

// Frames most applications never exceed; deeper stacks grow on demand.
constexpr size_t kInitialFrames = 64;
constexpr uint64_t kThumbBit = 1;
// A return lands at most one instruction behind its call site.
constexpr uint64_t kReturnWindow = 4;

[[noreturn]] void ThrowInvalid(const char* key, const vq::JSONValue::SerializationException& e) {
    VantricExceptionT error;
    error << "invalid " << key << " : " << e.what() << ".\n";
    throw error;
}

}  // namespace

BareMetalDriver::BareMetalDriver(CaptureWriter& capture,
                                 uint32_t callstackDepth, const vq::JSONValue& configuration)
    : OSDriver(capture), callstackDepth(callstackDepth) {
    std::vector<std::string> files;
    ReadSettings(configuration, files);
    for (const std::string& path : files) {
        if (!ReadSymbolFile(path, functionNames)) {
            messages << "Baremetal driver : Unable to open symbol defintion " << path << "\n";
        }
    }
    const size_t depth = std::min<size_t>(callstackDepth, 1024);
    sampleAddresses.reserve(depth + 1);
    sampleCookies.reserve(depth + 1);
}

BareMetalDriver::~BareMetalDriver() = default;

void BareMetalDriver::ReadSettings(const vq::JSONValue& configuration,
                                   std::vector<std::string>& files) {
    using Failure = vq::JSONValue::SerializationException;
    try {
        appName = SettingsMember(configuration, "app-name").asString();
    } catch (const Failure& e) {
        ThrowInvalid("app-name", e);
    }
    try {
        appProcId = SettingsMember(configuration, "app-proc-id").asUInt32();
    } catch (const Failure& e) {
        ThrowInvalid("app-proc-id", e);
    }
    try {
        callgraphFromSymbols = SettingsMember(configuration, "callgraph-using-debug-info").asBool();
    } catch (const Failure&) {
        // keeps the default
    }

    // An array of paths, or a single path. Elements read before a bad one are
    // kept. (The settings are an object: "app-name" was read from them.)
    const vq::JSONValue& symbolFiles = SettingsMember(configuration, "symbol-info-files");
    try {
        for (size_t i = 0, n = symbolFiles.size(); i < n; ++i) {
            files.push_back(symbolFiles.at(i).asString());
        }
    } catch (const Failure&) {
        try {
            files.push_back(symbolFiles.asString());
        } catch (const Failure& e) {
            if (callgraphFromSymbols) ThrowInvalid("symbol-info-files", e);
        }
    }

    try {
        reportFunctionActivity = SettingsMember(configuration, "report-function-activity").asBool();
    } catch (const Failure&) {
        // keeps the default
    }
    wantsBranches = callgraphFromSymbols;
}

bool BareMetalDriver::Init(plexa::SQOVI2* debug, uint32_t cores, bool is64) {
    coreCount = cores;
    stacks.assign(cores, CallStack{});
    for (CallStack& stack : stacks) stack.reserve(kInitialFrames);

    if (reportFunctionActivity) {
        functionActivity = std::make_unique<FunctionActivity>(capture, cores);
        const std::string thread = std::to_string(appProcId);
        for (uint32_t core = 0; core < cores; ++core) {
            functionActivity->AddThread(core, appProcId, appName, appProcId, thread);
        }
    }
    return OSDriver::Init(debug, cores, is64);
}

const BareMetalDriver::CallStack& BareMetalDriver::callStack(uint32_t core) const {
    static const CallStack kEmpty;
    return core < stacks.size() ? stacks[core] : kEmpty;
}

void BareMetalDriver::OnSample(plexa::SQOVI2* debug, uint32_t core, uint64_t pc, uint64_t lr,
                               uint64_t fp, uint64_t sp, bool /*inUserMode*/,
                               bool /*mmuEnabled*/, bool is64, uint64_t time) {
    if (firstSample) {
        const uint32_t cookie = capture.cookieFor(core, appProcId, appProcId, time, appName);
        capture.writeSwitch(core, time, cookie, appProcId, appProcId, appName, 0);
        firstSample = false;
    }

    if (!callgraphFromSymbols) {
        FrameWalker::Walk(callstackDepth, debug, memorySpace, pc, lr, fp, sp, is64,
                          sampleAddresses);
    } else {
        sampleAddresses.clear();
        sampleAddresses.push_back(pc);
        if (core < stacks.size()) {
            const CallStack& stack = stacks[core];
            for (auto frame = stack.rbegin(); frame != stack.rend(); ++frame) {
                sampleAddresses.push_back(frame->callSite);
            }
        }
    }

    // Every frame belongs to the one application, so all frames share its cookie.
    sampleCookies.clear();
    if (!sampleAddresses.empty()) {
        const uint32_t frameCookie = capture.cookieFor(core, appProcId, appProcId, time, appName);
        sampleCookies.resize(sampleAddresses.size(), frameCookie);
    }
    const uint32_t cookie = capture.cookieFor(core, appProcId, appProcId, time, appName);
    capture.writeSample(core, time, cookie, appProcId, appProcId, sampleCookies, sampleAddresses);
}

void BareMetalDriver::Finish(uint64_t time) {
    if (!reportFunctionActivity || !functionActivity) return;
    for (uint32_t core = 0; core < stacks.size(); ++core) {
        PopTo(core, 0, time);
    }
}

void BareMetalDriver::OnException() {
    // Exits are not reported: the calls stay open in the activity record.
    for (CallStack& stack : stacks) stack.clear();
}

// ---- call stacks from the branch trace ----
// Every branch of every core arrives here, so two direct-mapped caches answer
// repeated targets and sources: a cached function start costs one comparison
// and a push, a cached non-return source one comparison.

void BareMetalDriver::OnBranch(plexa::SQOVI2* /*debug*/, uint32_t core, uint64_t pc,
                               uint64_t targetPc, bool /*is64*/, uint64_t time) {
    if (!callgraphFromSymbols || core >= stacks.size()) return;

    const uint64_t tKey = targetPc & ~kThumbBit;
    const TargetCacheEntry& target = targetCache[targetPc % kCacheEntries];
    if (target.key == tKey) {
        if (target.flag) Call(core, pc, targetPc, *target.function, time);
        return;
    }

    const uint64_t sKey = pc & ~kThumbBit;
    const SourceCacheEntry& source = sourceCache[pc % kCacheEntries];
    if (source.key == sKey) {
        if (!source.flag || stacks[core].empty()) return;
        const int32_t frame = FindReturningFrame(stacks[core], targetPc);
        if (frame >= 0) PopTo(core, frame, time);
        return;
    }

    UnknownBranch(core, pc, targetPc, time);
}

// Neither cache knows the branch: classify it and remember the answer.
void BareMetalDriver::UnknownBranch(uint32_t core, uint64_t pc, uint64_t targetPc,
                                    uint64_t time) {
    const uint64_t tKey = targetPc & ~kThumbBit;
    const uint64_t sKey = pc & ~kThumbBit;
    TargetCacheEntry& target = targetCache[targetPc % kCacheEntries];
    SourceCacheEntry& source = sourceCache[pc % kCacheEntries];

    const auto function = functionNames.find(tKey);
    if (function != functionNames.end()) {
        Call(core, pc, targetPc, function->second, time);
        target = {tKey, &function->second, true};
        return;
    }

    CallStack& stack = stacks[core];
    if (stack.size() < 2) {
        // While at most one frame is open nothing is popped: the outermost
        // frame only goes together with deeper ones.
        target = {tKey, nullptr, false};
        source = {sKey, false};
        return;
    }
    const CallFrame& innermost = stack.back();
    if (innermost.start < targetPc && targetPc <= innermost.end) {
        source = {sKey, false};  // a branch within the current function
        return;
    }

    // The branch leaves the current function.
    source.key = sKey;
    const int32_t frame = FindReturningFrame(stack, targetPc);
    // Whether or not a frame matched, the source is marked as a possible
    // return. A false mark would be final (the caches are never
    // invalidated), so a genuine return instruction met once while its frame
    // was missing (for instance after an exception emptied the stack) would
    // be ignored for the rest of the run and the stack would only grow. A
    // true mark merely sends later branches from here through the frame
    // search, which pops only when the target lies just behind a recorded
    // call site.
    source.flag = true;
    if (frame >= 0) PopTo(core, frame, time);
}

void BareMetalDriver::Call(uint32_t core, uint64_t pc, uint64_t targetPc,
                           const FunctionSymbol& function, uint64_t time) {
    stacks[core].push_back({targetPc, function.end, pc, &function});
    if (reportFunctionActivity && functionActivity) {
        functionActivity->Enter(core, appProcId, appProcId, function.name, function.symbolId,
                                time);
    }
}

int32_t BareMetalDriver::FindReturningFrame(const CallStack& stack, uint64_t targetPc) {
    for (int32_t i = static_cast<int32_t>(stack.size()) - 1; i >= 0; --i) {
        const CallFrame& frame = stack[static_cast<size_t>(i)];
        if (targetPc < frame.callSite || targetPc > frame.callSite + kReturnWindow) continue;
        if (i == 0) return i;
        // A caller of at most one instruction is a veneer, not a real caller:
        // its call site is not where the return lands.
        const CallFrame& caller = stack[static_cast<size_t>(i) - 1];
        if (caller.end - caller.start > kReturnWindow) return i;
    }
    return -1;
}

void BareMetalDriver::PopTo(uint32_t core, int32_t frame, uint64_t time) {
    CallStack& stack = stacks[core];
    while (static_cast<int32_t>(stack.size()) - 1 >= frame && !stack.empty()) {
        if (reportFunctionActivity && functionActivity) {
            const FunctionSymbol& function = *stack.back().function;
            functionActivity->Exit(core, appProcId, appProcId, function.name, function.symbolId,
                                   time);
        }
        stack.pop_back();
    }
}

}  // namespace vantric
