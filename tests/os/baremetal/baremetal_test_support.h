// A bare-metal driver on an open capture and a simulated core: the settings
// object, a symbol file in a fresh directory, and the capture read back.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"
#include "counters/counter_set.h"
#include "json/json_value.h"
#include "kvhost.h"
#include "os/baremetal/baremetal_driver.h"

namespace vantric::testing {

constexpr uint32_t kAppId = 42;
constexpr const char* kAppName = "demo";

// Lines 1 to 6 (line 5 is not a function). beta is a Thumb function.
constexpr const char* kSymbols =
    "main 1000 10ff\n"
    "alpha 2000 20ff\n"
    "beta 3001 30ff\n"
    "gamma 4000 40ff\n"
    "# not a function\n"
    "veneer 5000 5004\n";

class BareMetalRig {
public:
    explicit BareMetalRig(uint32_t cores = 2, bool is64 = true)
        : cores_(cores), core_("cluster0.cpu0", {.is64 = is64}, 0) {
        settings = vq::JSONValue::makeObject();
        settings["app-name"] = vq::JSONValue(kAppName);
        settings["app-proc-id"] = vq::JSONValue(kAppId);
        settings["symbol-info-files"] = vq::JSONValue(WriteFile("app.sym", kSymbols));
        capture_.open(directory_.capture(), cores_);
    }

    // Writes a file into the test's directory and returns its path.
    std::string WriteFile(const std::string& name, const std::string& text) {
        const std::string path = (directory_.path() / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Builds the driver from `settings` and starts it.
    BareMetalDriver& Start() {
        driver_ = std::make_unique<BareMetalDriver>(capture_, 100, settings);
        EXPECT_TRUE(driver_->Init(&core_.debug(), cores_, core_.is64()));
        return *driver_;
    }

    BareMetalDriver& driver() { return *driver_; }
    kvhost::Processor& core() { return core_; }
    CaptureWriter& capture() { return capture_; }
    CounterSet& counters() { return counters_; }

    // Closes the capture and reads it back.
    rcf::Capture Finish() {
        capture_.close();
        return ReadBack(directory_.capture());
    }

    vq::JSONValue settings;

private:
    TempDirectory directory_;
    uint32_t cores_;
    kvhost::Processor core_;
    CounterSet counters_;
    CaptureWriter capture_;
    std::unique_ptr<BareMetalDriver> driver_;
};

}  // namespace vantric::testing
