#include "os/baremetal/baremetal_driver.h"

#include <algorithm>

#include "capture/capture_writer.h"
#include "util/vantric_exception.h"
#include "json/json_value.h"
#include "os/driver_settings.h"

namespace vantric {
namespace {

// Frames most applications never exceed; deeper stacks grow on demand.
constexpr size_t kInitialFrames = 64;

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
        UnwindFramePointers(callstackDepth, debug, memorySpace, pc, lr, fp, sp, is64,
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

}  // namespace vantric
