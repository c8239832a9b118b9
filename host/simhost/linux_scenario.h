// A 64-bit SMP Linux system built with the synthetic kernel image and run
// by the scheduler model over the standard workload table (nginx, python3,
// postgres, make, a kernel worker and one idle task per core). The scenario
// writes the files a user would hand the plug-in (System.map, offsets,
// settings, config and counters), a sysroot whose ELF files name the user
// code for the capture's readers, and adds an L2 cache component that feeds
// a user counter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel_image.h"
#include "linux_scheduler.h"
#include "linux_truth_recorder.h"
#include "linux_workload.h"
#include "scenario.h"

namespace simhost {

class LinuxScenario final : public Scenario {
public:
    static constexpr uint64_t kSamplingInterval = 100000;
    static constexpr uint32_t kCallstackDepth = 16;
    static constexpr const char* kCounterName = "Write refills";

    explicit LinuxScenario(ScenarioOptions options);
    ~LinuxScenario() override;

    std::vector<std::string> Prepare() override;
    void Run(const ProgressCallback& progress) override;

private:
    LinuxWorkload workload_;
    std::unique_ptr<kvhost::KernelImage> image_;
    std::unique_ptr<LinuxTruthRecorder> recorder_;
    std::unique_ptr<LinuxScheduler> scheduler_;
};

}  // namespace simhost
