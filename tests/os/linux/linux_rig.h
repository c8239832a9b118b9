// A Linux driver on a kvhost processor holding a synthetic kernel image, with
// a real capture writer whose output is read back through the rcf reader,
// and a recording stand-in for the counter set's software counters.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_writer.h"
#include "json/json_stream_reader.h"
#include "kernel_image.h"
#include "kv_test_support.h"
#include "os/linux/linux_driver.h"
#include "support/test_support.h"

namespace vantric::testing {

class RecordingActivity : public SoftwareCounterSink {
public:
    Counter AddSoftwareCounter(const SoftwareCounterSettings& counter) override {
        created.push_back(counter);
        return &handles_[created.size() - 1];
    }
    void AddToSoftwareCounter(Counter counter, uint64_t amount, uint32_t core) override {
        const auto index = static_cast<size_t>(static_cast<int*>(counter) - handles_);
        additions.push_back(created.at(index).type + " " + std::to_string(amount) + " " +
                            std::to_string(core));
    }

    std::vector<SoftwareCounterSettings> created;
    std::vector<std::string> additions;  // "type amount core"

private:
    int handles_[8] = {};
};

// The settings object of a file, read by the plug-in's own JSON reader.
inline vq::JSONValue ReadSettings(const std::string& path) {
    std::ifstream in(path);
    vq::JSONStreamReader reader(in);
    vq::JSONValue value;
    EXPECT_TRUE(vq::parseJSON(reader, value)) << reader.messages();
    return value;
}

class LinuxRig {
public:
    static constexpr uint32_t kCores = 2;

    explicit LinuxRig(bool is64, kvhost::KernelLayout layout, uint32_t depth = 8,
                      kvhost::LinuxSettingsOptions options = {})
        : cpu_("cluster0.cpu0", kvhost::ProcessorOptions{is64, true}, 1),
          image_(cpu_, layout),
          capture_(CaptureWriter::kDefaultRotationRecords, captureErrors_, captureMessages_),
          depth_(depth),
          options_(options) {}
    explicit LinuxRig(bool is64, uint32_t depth = 8, kvhost::LinuxSettingsOptions options = {})
        : LinuxRig(is64, is64 ? kvhost::KernelLayout::Synthetic64() : kvhost::KernelLayout::Synthetic32(),
                   depth, options) {}

    kvhost::Processor& cpu() { return cpu_; }
    kvhost::KernelImage& image() { return image_; }
    plexa::SQOVI2* debug() { return &cpu_.debug(); }
    bool is64() const { return image_.is64(); }
    LinuxDriver& driver() { return *driver_; }
    RecordingActivity& activity() { return activity_; }

    // Writes System.map and the settings, builds and initialises the driver
    // (after the image is described, since System.map is written here).
    void Start() {
        const auto files = image_.WriteSettingsFiles(dir_.path(), options_);
        driver_ = std::make_unique<LinuxDriver>(capture_, depth_,
                                                ReadSettings(files.settings.string()), &activity_);
        capture_.open(dir_.capture(), kCores);
        ASSERT_TRUE(driver_->Init(debug(), kCores, is64()));
    }

    // Branch and sample events as the agent delivers them.
    void Switch(uint64_t prev, uint64_t next, uint64_t time, uint32_t core = 0) {
        image_.EnterSwitchTo(prev, next);
        image_.SetRunning(next);
        driver_->OnBranch(debug(), core, 0x1000, image_.switchToAddress(), is64(), time);
    }
    void Exit(uint64_t task, uint64_t time, uint32_t core = 0) {
        image_.EnterReleaseTask(task);
        driver_->OnBranch(debug(), core, 0x1000, image_.releaseTaskAddress(), is64(), time);
    }
    void Sample(uint64_t pc, uint64_t lr, kvhost::KernelImage::StackPointers regs, bool user,
                bool mmu, uint64_t time, uint32_t core = 0) {
        driver_->OnSample(debug(), core, pc, lr, regs.fp, regs.sp, user, mmu, is64(), time);
    }

    rcf::Capture Finish() {
        capture_.writeDescriptions(0, 1000, {});
        capture_.close();
        return ReadBack(dir_.capture());
    }

private:
    TempDirectory dir_;
    kvhost::Processor cpu_;
    kvhost::KernelImage image_;
    std::ostringstream captureErrors_;
    std::ostringstream captureMessages_;
    CaptureWriter capture_;
    RecordingActivity activity_;
    uint32_t depth_;
    kvhost::LinuxSettingsOptions options_;
    std::unique_ptr<LinuxDriver> driver_;
};

}  // namespace vantric::testing
