// Writes down what the Linux scenario ran, as the capture must show it, for
// `simhost --verify`. It knows the workload table and the scheduler's
// decisions only: the expected annotation texts are spelled here from the
// table's strings, with no plug-in code in reach, so a mistake the plug-in
// and the scheduler might share cannot make both sides agree.
#pragma once

#include <cstdint>
#include <string>

#include "ground_truth.h"
#include "linux_workload.h"

namespace simhost {

class LinuxTruthRecorder {
public:
    // Lists every thread of `workload` (and the idle tasks, id 0) in `truth`.
    LinuxTruthRecorder(GroundTruth& truth, const LinuxWorkload& workload, double tickSeconds);

    void Switched(uint32_t core, uint64_t tick, uint32_t incomingTid, uint32_t outgoingState);
    void Exited(uint32_t core, uint64_t tick, uint32_t tid);
    void Opened(uint32_t core, uint32_t tid, uint64_t tick, const LinuxWorkload::OpenEntry& call);
    void Executed(uint32_t core, uint32_t tid, uint64_t tick, const LinuxWorkload::ExecEntry& call);
    void Ran(uint32_t core, uint32_t tid, uint64_t roundStart, uint64_t instructions);
    void Periodic(uint32_t core, uint64_t roundStart, uint64_t count) {
        truth_.periodic.push_back({core, Nanoseconds(roundStart), count, truth_.switches.size(), 0, 0, {}});
    }
    void Counted(size_t counter, uint64_t tick) {
        truth_.counters[counter].eventTimes.push_back(Nanoseconds(tick));
    }
    void CoreFinished(uint64_t instructions) { truth_.coreInstructions.push_back(instructions); }
    void Finished(uint64_t tick) { truth_.endTime = Nanoseconds(tick); }

private:
    uint64_t Nanoseconds(uint64_t tick) const { return TickNanoseconds(tick, tickSeconds_); }

    GroundTruth& truth_;
    double tickSeconds_;
};

}  // namespace simhost
