#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ReadFile;
using testing::TempDirectory;

CounterDescription Counter(uint32_t key, std::string name) {
    CounterDescription counter;
    counter.key = key;
    counter.title = "T" + name;
    counter.name = name;
    counter.type = "Ty";
    return counter;
}

std::string Element(uint32_t key, const std::string& name, const char* colour) {
    return "    <counter event='0' key='" + std::to_string(key + 3) + "' title='T" + name +
           "' name='" + name + "' type='Ty' color='" + colour +
           "' per_cpu='no' derived='no' average_selection='no' percentage='no' "
           "average_cores='no'/>\n";
}

class CaptureDescriptions : public ::testing::Test {
protected:
    std::string write(uint32_t cores, uint64_t start, uint64_t end,
                      std::vector<CounterDescription> counters) {
        {
            CaptureWriter writer;
            writer.open(temp_.capture(), cores);
            writer.writeDescriptions(start, end, std::move(counters));
        }
        session_ = ReadFile(temp_.path() / "test.rcf" / "session.xml");
        return ReadFile(temp_.path() / "test.rcf" / "captured.xml");
    }

    TempDirectory temp_;
    std::string session_;
};

TEST_F(CaptureDescriptions, SessionFileIsExact) {
    write(1, 0, 1500000, {});
    EXPECT_EQ(session_,
              "<?xml version='1.0' encoding='US-ASCII' ?>\n"
              "<session\n"
              "    version='1'\n"
              "    output_path='x'\n"
              "    call_stack_unwinding='yes'\n"
              "    parse_debug_info='yes'\n"
              "    high_resolution='no'\n"
              "    buffer_mode='streaming' sample_rate='normal'\n"
              "    duration='1500000'\n"
              "    target_host='127.0.0.1'\n"
              "    target_port='8080' target_path='/'>\n"
              "</session>\n");
}

TEST_F(CaptureDescriptions, NoCountersGivesAnEmptyCountersElement) {
    EXPECT_EQ(write(2, 0, 0, {}),
              "<?xml version='1.0' encoding='UTF-8' ?>\n"
              "<captured version='1' created='0' protocol='22'>\n"
              "  <target name='Kelvane' sample_rate='25' cores='2' />\n"
              "  <counters>\n"
              "  </counters>\n"
              "</captured>\n");
}

TEST_F(CaptureDescriptions, CreatedIsTheStartTimeAsThirtyTwoBits) {
    std::string text = write(1, (uint64_t{1} << 32) + 7, (uint64_t{1} << 32) + 9, {});
    EXPECT_NE(text.find("<captured version='1' created='7' protocol='22'>\n"), std::string::npos);
    EXPECT_NE(session_.find("    duration='2'\n"), std::string::npos);
}

TEST_F(CaptureDescriptions, ColoursCycleEverySixCounters) {
    std::vector<CounterDescription> counters;
    for (uint32_t i = 0; i < 7; ++i) counters.push_back(Counter(i, "c" + std::to_string(i)));
    std::string text = write(1, 0, 0, counters);
    const char* colours[] = {"0xff00ff00", "0xff0000ff", "0xffffff00", "0xffff00ff",
                             "0xff00ffff", "0xffff0000", "0xff00ff00"};
    std::string expected =
        "<?xml version='1.0' encoding='UTF-8' ?>\n"
        "<captured version='1' created='0' protocol='22'>\n"
        "  <target name='Kelvane' sample_rate='25' cores='1' />\n"
        "  <counters>\n";
    for (uint32_t i = 0; i < 7; ++i) expected += Element(i, "c" + std::to_string(i), colours[i]);
    expected += "  </counters>\n</captured>\n";
    EXPECT_EQ(text, expected);
}

TEST_F(CaptureDescriptions, OptionalAttributesAppearInTheirPlaces) {
    CounterDescription counter = Counter(4, "Misses");
    counter.display = "accumulate";
    counter.units = "events";
    counter.renderingType = "bar";
    counter.perCpu = true;
    counter.derived = true;
    counter.averageSelection = true;
    counter.percentage = true;
    counter.multiplier = 0.5f;
    counter.averageCores = true;
    std::string text = write(1, 0, 0, {counter});
    EXPECT_NE(text.find("    <counter event='0' key='7' title='TMisses' name='Misses' type='Ty' "
                        "color='0xff00ff00' display='accumulate' units='events' per_cpu='yes' "
                        "derived='yes' rendering_type='bar' average_selection='yes' "
                        "percentage='yes' multiplier='0.5' average_cores='yes'/>\n"),
              std::string::npos)
        << text;
}

TEST_F(CaptureDescriptions, MultiplierUsesTheDefaultStreamFormat) {
    const std::pair<float, const char*> cases[] = {
        {1.0f, "1"},      {0.5f, "0.5"}, {100.25f, "100.25"}, {1234567.0f, "1.23457e+06"},
        {1e-7f, "1e-07"}, {0.1f, "0.1"},
    };
    std::vector<CounterDescription> counters;
    for (const auto& c : cases) {
        CounterDescription counter = Counter(static_cast<uint32_t>(counters.size()), "m");
        counter.percentage = true;
        counter.multiplier = c.first;
        counters.push_back(counter);
    }
    std::string text = write(1, 0, 0, counters);
    size_t at = 0;
    for (const auto& c : cases) {
        std::string attribute = std::string("multiplier='") + c.second + "' ";
        size_t found = text.find(attribute, at);
        EXPECT_NE(found, std::string::npos) << attribute;
        if (found != std::string::npos) at = found + 1;
    }
}

}  // namespace
}  // namespace vantric
