#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_test_support.h"
#include "capture/capture_writer.h"

namespace vantric {
namespace {

using testing::ReadFile;
using testing::TempDirectory;

constexpr const char* kCapturedHead =
    "<?xml version='1.0' encoding='UTF-8' ?>\n"
    "<captured version='1' created='0' protocol='22'>\n"
    "  <target name='Kelvane' sample_rate='25' cores='1' />\n"
    "  <counters>\n";

CounterDescription Counter(uint32_t key, std::string name) {
    CounterDescription counter;
    counter.key = key;
    counter.title = "T" + name;
    counter.name = name;
    counter.type = "Ty";
    return counter;
}

class CaptureDescriptions : public ::testing::Test {
protected:
    // Returns captured.xml; session.xml goes to session_.
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

// The start time is written as 32 bits; the duration is end - start.
TEST_F(CaptureDescriptions, BothFilesWithoutCountersAreExact) {
    const uint64_t start = (uint64_t{1} << 32) + 7;
    EXPECT_EQ(write(2, start, start + 1500000, {}),
              "<?xml version='1.0' encoding='UTF-8' ?>\n"
              "<captured version='1' created='7' protocol='22'>\n"
              "  <target name='Kelvane' sample_rate='25' cores='2' />\n"
              "  <counters>\n"
              "  </counters>\n"
              "</captured>\n");
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

// Seven counters: the colours cycle every six, attributes appear only when
// set, multipliers print in the default stream format.
TEST_F(CaptureDescriptions, CounterElementsAreExact) {
    CounterDescription full = Counter(4, "Misses");
    full.display = "accumulate";
    full.units = "events";
    full.renderingType = "bar";
    full.perCpu = full.derived = full.averageSelection = full.percentage = full.averageCores = true;
    full.multiplier = 0.5f;
    std::vector<CounterDescription> counters = {full};
    std::string expected = kCapturedHead;
    expected +=
        "    <counter event='0' key='7' title='TMisses' name='Misses' type='Ty' "
        "color='0xff00ff00' display='accumulate' units='events' per_cpu='yes' "
        "derived='yes' rendering_type='bar' average_selection='yes' "
        "percentage='yes' multiplier='0.5' average_cores='yes'/>\n";
    const std::pair<float, const char*> multipliers[] = {
        {1.0f, "1"},      {100.25f, "100.25"}, {1234567.0f, "1.23457e+06"},
        {1e-7f, "1e-07"}, {0.1f, "0.1"},
    };
    const char* colours[] = {"0xff0000ff", "0xffffff00", "0xffff00ff", "0xff00ffff", "0xffff0000"};
    for (size_t i = 0; i < std::size(multipliers); ++i) {
        counters.push_back(Counter(0, "m"));
        counters.back().percentage = true;
        counters.back().multiplier = multipliers[i].first;
        expected +=
            std::string("    <counter event='0' key='3' title='Tm' name='m' type='Ty' color='") +
            colours[i] +
            "' per_cpu='no' derived='no' average_selection='no' percentage='yes' "
            "multiplier='" +
            multipliers[i].second + "' average_cores='no'/>\n";
    }
    counters.push_back(Counter(0, "plain"));
    expected +=
        "    <counter event='0' key='3' title='Tplain' name='plain' type='Ty' color='0xff00ff00' "
        "per_cpu='no' derived='no' average_selection='no' percentage='no' average_cores='no'/>\n";
    EXPECT_EQ(write(1, 0, 0, counters), expected + "  </counters>\n</captured>\n");
}

}  // namespace
}  // namespace vantric
