// A bare-metal driver on an open capture and a simulated core: the settings
// object, a symbol file in a fresh directory, and the capture read back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capture/capture_writer.h"
#include "json/json_value.h"
#include "kvhost.h"
#include "os/baremetal/baremetal_driver.h"
#include "support/test_support.h"

namespace vantric::testing {

constexpr uint32_t kAppId = 42;
constexpr const char* kAppName = "demo";

// Lines 1 to 6 (line 5 is not a function): main 1000-10ff, alpha 2000-20ff,
// beta 3001-30ff (Thumb), gamma 4000-40ff, veneer 5000-5004.
constexpr const char* kSymbols =
    "main 1000 10ff\nalpha 2000 20ff\nbeta 3001 30ff\ngamma 4000 40ff\n# not a function\n"
    "veneer 5000 5004\n";

class BareMetalRig {
public:
    explicit BareMetalRig(uint32_t cores = 2) : cores_(cores) {
        settings = vq::JSONValue::makeObject();
        settings["app-name"] = vq::JSONValue(kAppName);
        settings["app-proc-id"] = vq::JSONValue(kAppId);
        settings["symbol-info-files"] = vq::JSONValue(directory.write("app.sym", kSymbols));
        capture_.open(directory.capture(), cores_);
    }

    // Builds the driver from `settings` and starts it.
    BareMetalDriver& Start() {
        driver_ = std::make_unique<BareMetalDriver>(capture_, 100, settings);
        EXPECT_TRUE(driver_->Init(&core_.debug(), cores_, true));
        return *driver_;
    }
    kvhost::Processor& core() { return core_; }
    CaptureWriter& capture() { return capture_; }
    // Closes the capture and reads it back.
    rcf::Capture Finish() {
        capture_.close();
        return ReadBack(directory.capture());
    }

    TempDirectory directory;
    vq::JSONValue settings;

private:
    uint32_t cores_;
    kvhost::Processor core_{"cluster0.cpu0", {.is64 = true}, 0};
    CaptureWriter capture_;
    std::unique_ptr<BareMetalDriver> driver_;
};

}  // namespace vantric::testing
