#include "linux_scenario.h"

#include <filesystem>

#include "elf_writer.h"

namespace simhost {

LinuxScenario::LinuxScenario(ScenarioOptions options)
    : Scenario(std::move(options)), workload_(LinuxWorkload::Standard()) {}

LinuxScenario::~LinuxScenario() = default;

std::vector<std::string> LinuxScenario::Prepare() {
    simulation_.SetTickSeconds(kTickSeconds);
    std::vector<kvhost::Processor*> cpus;
    for (uint32_t c = 0; c < options_.cores; ++c) {
        cpus.push_back(&simulation_.AddProcessor("cluster0.cpu" + std::to_string(c), true));
    }
    kvhost::TraceComponent& l2 = simulation_.AddTraceComponent("cluster0.l2");
    kvhost::TraceSource& refill = l2.AddSource("REFILL", "A cache line was refilled",
                                               {kvhost::Unsigned("ADDR", 8, "Line address"),
                                                kvhost::Unsigned("KIND", 4, "0 read, 1 write")});
    image_ = std::make_unique<kvhost::KernelImage>(
        cpus, options_.mapleTree ? kvhost::KernelLayout::Debian61CloudArm64() : kvhost::KernelLayout::Synthetic64());

    // Kernel functions the samples and branches come from, for System.map.
    LinuxScheduler::KernelCode code;
    code.text = image_->switchToAddress() & ~uint64_t{0xFFFF};
    code.schedulePc = code.text + 0x20000 + 0x1F4;
    code.doExitPc = code.text + 0x30000 + 0x2A8;
    code.kernelPc = code.text + 0x40000 + 0x64;
    image_->SetSymbol("__schedule", code.text + 0x20000);
    image_->SetSymbol("do_exit", code.text + 0x30000);
    image_->SetSymbol("el0_svc_common", code.text + 0x40000);
    image_->SetSymbol("do_idle", code.text + 0x50000);

    truth_.scenario = "linux";
    truth_.cores = options_.cores;
    truth_.samplingInterval = kSamplingInterval;
    truth_.counters.push_back({kCounterName, {}});
    recorder_ = std::make_unique<LinuxTruthRecorder>(truth_, workload_, kTickSeconds);
    scheduler_ = std::make_unique<LinuxScheduler>(workload_, *image_, cpus, refill, *recorder_, code,
                                                  options_.seed, options_.instructions);

    kvhost::LinuxSettingsOptions settings;
    settings.pageShift = 12;
    settings.samplingFrequency = kSamplingInterval;
    settings.callstackDepth = kCallstackDepth;
    const auto& dir = options_.workDir;
    const auto files = image_->WriteSettingsFiles(dir, settings);
    WriteFile(dir / "offsets.txt", image_->OffsetsText() + "\n");
    WriteFile(dir / "config.json",
              "[\n  {\n    \"Subsystem_name\": \"cluster0.cpu*\",\n"
              "    \"Subsystem_config_file\": \"" + files.settings.string() + "\"\n  }\n]\n");
    WriteFile(dir / "counters.json",
              "[\n  {\n    \"Component\": \"cluster0.l2\",\n    \"ZVTSrcName\": \"REFILL\",\n"
              "    \"Condition\": \"KIND == 1\",\n    \"Title\": \"L2 cache\",\n"
              "    \"CounterName\": \"" + std::string(kCounterName) + "\",\n"
              "    \"Display\": \"hertz\",\n    \"Units\": \"refills\"\n  }\n]\n");
    // The target's code files, for tools that name user frames from them
    // (rcf --sysroot): the plug-in never reads these.
    for (const LinuxWorkload::CodeFileEntry& file : workload_.CodeFiles()) {
        ElfWriter elf(ElfWriter::kShared, 0, file.codeSize);  // position-independent, as mapped
        for (const LinuxWorkload::FunctionEntry& f : file.functions) elf.AddFunction(f.name, f.offset, f.size);
        const std::filesystem::path path = dir / "sysroot" / std::filesystem::path(file.path).relative_path();
        std::filesystem::create_directories(path.parent_path());
        WriteFile(path, elf.Bytes());
    }
    return {"config=" + (dir / "config.json").string(),
            "counters-config-file=" + (dir / "counters.json").string()};
}

void LinuxScenario::Run(const ProgressCallback& progress) { scheduler_->Run(simulation_, progress); }

}  // namespace simhost
