#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "capture/capture_writer.h"
#include "counters/counter_set.h"
#include "json/json_reader.h"
#include "json/json_stream_reader.h"
#include "json/json_value.h"
#include "os/baremetal/baremetal_driver.h"

namespace vantric {
namespace {

vq::JSONValue ReadJson(const std::string& path) {
    std::ifstream in(path);
    vq::JSONStreamReader reader(in);
    vq::JSONValue value;
    EXPECT_TRUE(vq::parseJSON(reader, value)) << path << "\n" << reader.messages();
    return value;
}

// The example's paths are relative to the repository root.
class InSourceDirectory {
public:
    InSourceDirectory() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(VT_SOURCE_DIR);
    }
    ~InSourceDirectory() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

TEST(BareMetalExample, SettingsBuildADriverWithEverySymbol) {
    std::optional<InSourceDirectory> inSource(std::in_place);
    const vq::JSONValue config = ReadJson("examples/baremetal/config.json");
    const vq::JSONValue settings =
        ReadJson(config.at(0).members().at("Subsystem_config_file").asString());
    CounterSet counters;
    CaptureWriter capture;
    BareMetalDriver driver(counters, capture, 32, settings);
    inSource.reset();

    EXPECT_EQ(driver.Messages(), "");
    EXPECT_EQ(driver.applicationName(), "blinky");
    EXPECT_TRUE(driver.reportsFunctionActivity());
    EXPECT_TRUE(driver.WantsBranchEvents());
    ASSERT_EQ(driver.functions().size(), 7u);
    const FunctionSymbol& thumb = driver.functions().at(0x240);
    EXPECT_EQ(thumb.name, "led_toggle");
    EXPECT_EQ(thumb.symbolId, 4u);
}

}  // namespace
}  // namespace vantric
