// Function activity: every function call of the traced application becomes
// an interval (entry time and duration) on the annotation channel
// "Function_activity". The channel's texts form a tree that the profiler
// shows as rows: core -> process -> thread -> function; each interval names
// its function's node.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vantric {

class CaptureWriter;

struct ActivityNode {
    std::string name;
    int32_t id = -1;  // sequence number of the node's channel text; -1 until written
    std::map<uint32_t, ActivityNode> children;
};

struct CoreActivity {
    // Entry times of the calls still open, per thread (pid << 32 | tid). The
    // name is not kept: the exit names the function again.
    std::map<uint64_t, std::vector<uint64_t>> openCalls;
    int32_t id = -1;  // the core node
    std::map<uint32_t, ActivityNode> processes;

    // The thread used last, so that a run of calls on one thread skips the
    // map searches. Map nodes never move, so the pointers stay valid.
    uint64_t lastKey = 0;
    std::vector<uint64_t>* lastCalls = nullptr;
    ActivityNode* lastThread = nullptr;
};

class FunctionActivity {
public:
    static constexpr const char* kChannelName = "Function_activity";

    // Registers the channel and writes one node per core, named by its index.
    FunctionActivity(CaptureWriter& capture, uint32_t coreCount);
    FunctionActivity(const FunctionActivity&) = delete;
    FunctionActivity& operator=(const FunctionActivity&) = delete;

    // Finds or creates the process and thread nodes under `core`, writing the
    // channel text of each node that has none yet.
    void AddThread(uint32_t core, uint32_t pid, std::string_view processName, uint32_t tid,
                   std::string_view threadName);
    // A call of function `symbolId` starts at `time`.
    void Enter(uint32_t core, uint32_t pid, uint32_t tid, std::string_view name,
               uint32_t symbolId, uint64_t time);
    // The newest open call of the thread ends at `time`: writes its interval.
    void Exit(uint32_t core, uint32_t pid, uint32_t tid, std::string_view name,
              uint32_t symbolId, uint64_t time);

    uint32_t channel() const { return channel_; }
    const std::vector<CoreActivity>& perCore() const { return perCore_; }

private:
    struct Thread {
        std::vector<uint64_t>* calls;
        ActivityNode* node;
    };
    Thread ThreadOf(CoreActivity& core, uint32_t pid, uint32_t tid);
    // Writes the node's text under `parentId` unless it has one already.
    void Announce(ActivityNode& node, int32_t parentId);

    CaptureWriter& capture_;
    std::vector<CoreActivity> perCore_;
    const std::vector<uint32_t> linkedIds_;  // always empty
    uint32_t channel_;
};

}  // namespace vantric
