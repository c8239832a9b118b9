#include "capture/description_files.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <vector>

#include "support/test_support.h"

namespace vantric::capture {
namespace {

// A percentage counter when `multiplier` is not 0.
CounterDescription Counter(const std::string& name, float multiplier) {
    CounterDescription counter;
    counter.title = "T" + name;
    counter.name = name;
    counter.type = "Ty";
    counter.percentage = multiplier != 0;
    counter.multiplier = multiplier;
    return counter;
}

// Seven counters: the colours cycle every six, attributes appear only when
// set, multipliers print in the default stream format. The start time is
// written as 32 bits; the duration is end - start.
TEST(DescriptionFiles, BothFilesAreExact) {
    testing::TempDirectory temp;
    CounterDescription full = Counter("Misses", 0.5f);
    full.key = 4;
    full.display = "accumulate";
    full.units = "events";
    full.renderingType = "bar";
    full.perCpu = full.derived = full.averageSelection = full.averageCores = true;
    std::vector<CounterDescription> counters = {full};
    std::string expected =
        "<?xml version='1.0' encoding='UTF-8' ?>\n"
        "<captured version='1' created='7' protocol='22'>\n"
        "  <target name='Kelvane' sample_rate='25' cores='2' />\n"
        "  <counters>\n"
        "    <counter event='0' key='7' title='TMisses' name='Misses' type='Ty' "
        "color='0xff00ff00' display='accumulate' units='events' per_cpu='yes' "
        "derived='yes' rendering_type='bar' average_selection='yes' "
        "percentage='yes' multiplier='0.5' average_cores='yes'/>\n";
    const std::tuple<float, const char*, const char*> multipliers[] = {
        {1.0f, "1", "0xff0000ff"},    {100.25f, "100.25", "0xffffff00"},
        {1234567.0f, "1.23457e+06", "0xffff00ff"},
        {1e-7f, "1e-07", "0xff00ffff"}, {0.1f, "0.1", "0xffff0000"}};
    for (const auto& [multiplier, text, colour] : multipliers) {
        counters.push_back(Counter("m", multiplier));
        expected += std::string("    <counter event='0' key='3' title='Tm' name='m' type='Ty' ") +
                    "color='" + colour +
                    "' per_cpu='no' derived='no' average_selection='no' percentage='yes' "
                    "multiplier='" + text + "' average_cores='no'/>\n";
    }
    counters.push_back(Counter("plain", 0));
    expected +=
        "    <counter event='0' key='3' title='Tplain' name='plain' type='Ty' color='0xff00ff00' "
        "per_cpu='no' derived='no' average_selection='no' percentage='no' average_cores='no'/>\n"
        "  </counters>\n"
        "</captured>\n";

    const uint64_t start = (uint64_t{1} << 32) + 7;
    std::ostringstream errors;
    DescriptionFiles files;
    ASSERT_TRUE(files.open(temp.path().string() + "/", errors)) << errors.str();
    files.write(start, start + 1500000, 2, counters);
    files.close(errors);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(testing::ReadFile(temp.path() / "captured.xml"), expected);
    EXPECT_EQ(testing::ReadFile(temp.path() / "session.xml"),
              "<?xml version='1.0' encoding='US-ASCII' ?>\n<session\n    version='1'\n"
              "    output_path='x'\n    call_stack_unwinding='yes'\n    parse_debug_info='yes'\n"
              "    high_resolution='no'\n    buffer_mode='streaming' sample_rate='normal'\n"
              "    duration='1500000'\n    target_host='127.0.0.1'\n"
              "    target_port='8080' target_path='/'>\n</session>\n");
}

}  // namespace
}  // namespace vantric::capture
