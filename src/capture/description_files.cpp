#include "capture/description_files.h"

#include <cerrno>
#include <cstring>
#include <locale>
#include <sstream>

#include "capture/open_failure.h"

namespace vantric::capture {
namespace {

constexpr const char* kColours[] = {"0xff00ff00", "0xff0000ff", "0xffffff00",
                                    "0xffff00ff", "0xff00ffff", "0xffff0000"};
constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

// Six significant digits, shortest form, whatever the global locale says.
std::string FormatMultiplier(float multiplier) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << multiplier;
    return text.str();
}

void WriteCounter(std::ostream& out, const CounterDescription& counter, const char* colour) {
    out << "    <counter event='0' "
        << "key='" << counter.key + 3 << "' "
        << "title='" << counter.title << "' "
        << "name='" << counter.name << "' "
        << "type='" << counter.type << "' "
        << "color='" << colour << "' ";
    if (!counter.display.empty()) out << "display='" << counter.display << "' ";
    if (!counter.units.empty()) out << "units='" << counter.units << "' ";
    out << "per_cpu='" << YesNo(counter.perCpu) << "' "
        << "derived='" << YesNo(counter.derived) << "' ";
    if (!counter.renderingType.empty()) out << "rendering_type='" << counter.renderingType << "' ";
    out << "average_selection='" << YesNo(counter.averageSelection) << "' "
        << "percentage='" << YesNo(counter.percentage) << "' ";
    if (counter.percentage) out << "multiplier='" << FormatMultiplier(counter.multiplier) << "' ";
    out << "average_cores='" << YesNo(counter.averageCores) << "'"
        << "/>\n";
}

bool OpenOne(std::ofstream& file, const std::string& directory, const char* name,
             std::ostream& errors) {
    file.close();
    file.clear();
    file.open(directory + name, std::ios::out | std::ios::trunc);
    if (file.is_open()) return true;
    ReportOpenFailure(errors, directory + name, name);
    return false;
}

}  // namespace

DescriptionFiles::DescriptionFiles() {
    session_.imbue(std::locale::classic());
    captured_.imbue(std::locale::classic());
}

bool DescriptionFiles::open(const std::string& directory, std::ostream& errors) {
    directory_ = directory;
    bool sessionOpen = OpenOne(session_, directory, "session.xml", errors);
    bool capturedOpen = OpenOne(captured_, directory, "captured.xml", errors);
    return sessionOpen && capturedOpen;
}

void DescriptionFiles::write(uint64_t startTime, uint64_t endTime, uint32_t coreCount,
                             std::span<const CounterDescription> counters) {
    if (session_.is_open()) {
        session_ << "<?xml version='1.0' encoding='US-ASCII' ?>\n"
                 << "<session\n"
                 << "    version='1'\n"
                 << "    output_path='x'\n"
                 << "    call_stack_unwinding='yes'\n"
                 << "    parse_debug_info='yes'\n"
                 << "    high_resolution='no'\n"
                 << "    buffer_mode='streaming' sample_rate='normal'\n"
                 << "    duration='" << endTime - startTime << "'\n"
                 << "    target_host='127.0.0.1'\n"
                 << "    target_port='8080' target_path='/'>\n"
                 << "</session>\n";
        session_.flush();
    }
    if (captured_.is_open()) {
        captured_ << "<?xml version='1.0' encoding='UTF-8' ?>\n"
                  << "<captured version='1' created='" << static_cast<uint32_t>(startTime)
                  << "' protocol='" << 22 << "'>\n"
                  << "  <target name='Kelvane' sample_rate='25' cores='" << coreCount << "' />\n"
                  << "  <counters>\n";
        for (size_t i = 0; i < counters.size(); ++i) {
            WriteCounter(captured_, counters[i], kColours[i % kColourCount]);
        }
        captured_ << "  </counters>\n"
                  << "</captured>\n";
        captured_.flush();
    }
}

void DescriptionFiles::close(std::ostream& errors) {
    for (auto [file, name] : {std::pair{&session_, "session.xml"}, std::pair{&captured_, "captured.xml"}}) {
        if (!file->is_open()) continue;
        file->close();
        if (file->fail()) {
            errors << "WARN (Vantric capture) " << directory_ << name << " : not completely written ("
                   << std::strerror(errno) << ")" << std::endl;
        }
    }
}

}  // namespace vantric::capture
