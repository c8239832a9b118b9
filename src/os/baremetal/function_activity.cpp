#include "os/baremetal/function_activity.h"

#include <string>

#include "capture/capture_writer.h"

namespace vantric {
namespace {

constexpr uint32_t kNoValue = 0xFFFFFFFFu;

uint64_t ThreadKey(uint32_t pid, uint32_t tid) { return (uint64_t{pid} << 32) | tid; }

}  // namespace

FunctionActivity::FunctionActivity(CaptureWriter& capture, uint32_t coreCount)
    : capture_(capture), perCore_(coreCount), channel_(capture.registerChannel(kChannelName)) {
    for (uint32_t core = 0; core < coreCount; ++core) {
        perCore_[core].id = static_cast<int32_t>(
            capture_.writeChannelText(channel_, kNoValue, std::to_string(core)));
    }
}

void FunctionActivity::Announce(ActivityNode& node, int32_t parentId) {
    if (node.id != -1) return;
    node.id = static_cast<int32_t>(
        capture_.writeChannelText(channel_, static_cast<uint32_t>(parentId), node.name));
}

void FunctionActivity::AddThread(uint32_t core, uint32_t pid, std::string_view processName,
                                 uint32_t tid, std::string_view threadName) {
    if (core >= perCore_.size()) return;
    CoreActivity& activity = perCore_[core];
    ActivityNode& process = activity.processes[pid];
    if (process.id == -1) process.name = processName;
    Announce(process, activity.id);
    ActivityNode& thread = process.children[tid];
    if (thread.id == -1) thread.name = threadName;
    Announce(thread, process.id);
}

FunctionActivity::Thread FunctionActivity::ThreadOf(CoreActivity& core, uint32_t pid,
                                                    uint32_t tid) {
    const uint64_t key = ThreadKey(pid, tid);
    if (core.lastCalls == nullptr || core.lastKey != key) {
        core.lastKey = key;
        core.lastCalls = &core.openCalls[key];
        core.lastThread = &core.processes[pid].children[tid];
    }
    return {core.lastCalls, core.lastThread};
}

void FunctionActivity::Enter(uint32_t core, uint32_t pid, uint32_t tid, std::string_view name,
                             uint32_t symbolId, uint64_t time) {
    if (core >= perCore_.size()) return;
    const Thread thread = ThreadOf(perCore_[core], pid, tid);
    thread.calls->push_back(time);
    ActivityNode& function = thread.node->children[symbolId];
    if (function.id == -1) {
        function.name = name;
        Announce(function, thread.node->id);
    }
}

void FunctionActivity::Exit(uint32_t core, uint32_t pid, uint32_t tid, std::string_view name,
                            uint32_t symbolId, uint64_t time) {
    if (core >= perCore_.size()) return;
    const Thread thread = ThreadOf(perCore_[core], pid, tid);
    if (thread.calls->empty()) return;
    const uint64_t entry = thread.calls->back();
    const auto function = thread.node->children.find(symbolId);
    const int32_t id = function == thread.node->children.end() ? -1 : function->second.id;
    capture_.writeActivity(channel_, static_cast<uint32_t>(id), entry, time - entry, symbolId,
                           kNoValue, linkedIds_, name);
    thread.calls->pop_back();
}

}  // namespace vantric
