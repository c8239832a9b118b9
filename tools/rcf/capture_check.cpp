#include "rcf/capture_check.h"

#include <map>
#include <set>
#include <utility>

#include "rcf/capture_reader.h"

namespace vantric::rcf {
namespace {

// Cookie 0 stands for an unknown image and 0xFFFFFFFF for an address outside
// every mapping; neither is ever named.
bool IsReservedCookie(uint32_t cookie) {
    return cookie == 0 || cookie == 0xFFFFFFFFu;
}

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

bool Blank(const std::optional<std::string>& text) {
    return !text || text->find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::vector<std::string> CheckCapture(const Capture& capture) {
    std::vector<std::string> reasons;
    for (const Diagnostic& diagnostic : capture.diagnostics) {
        reasons.push_back(FormatDiagnostic(diagnostic));
    }
    if (!capture.sessionXml)
        reasons.push_back("session.xml is missing");
    else if (Blank(capture.sessionXml))
        reasons.push_back("session.xml is empty");
    if (!capture.capturedXml)
        reasons.push_back("captured.xml is missing");
    else if (Blank(capture.capturedXml))
        reasons.push_back("captured.xml is empty");

    // Cookies named per core, and the first use of each unnamed one.
    std::set<std::pair<uint32_t, uint32_t>> named;  // (core, cookie)
    std::set<uint32_t> namedAnywhere;
    for (const Frame& frame : capture.frames) {
        if (frame.type != 3 || !frame.core) continue;
        for (const Record& record : frame.records) {
            if (const auto* name = std::get_if<CookieNameRecord>(&record.body)) {
                named.insert({*frame.core, name->cookie});
                namedAnywhere.insert(name->cookie);
            }
        }
    }
    std::set<uint32_t> describedKeys;
    for (const CounterElement& counter : capture.counters) describedKeys.insert(counter.key);
    std::map<std::pair<uint32_t, uint32_t>, std::string> unnamedSampleCookies;
    std::map<uint32_t, std::string> unnamedLinkCookies;
    std::map<uint32_t, std::string> undescribedKeys;

    for (const Frame& frame : capture.frames) {
        for (const Record& record : frame.records) {
            std::string where = frame.fileName + " offset " + std::to_string(record.offset);
            auto sampleCookie = [&](uint32_t cookie) {
                if (IsReservedCookie(cookie) || named.count({*frame.core, cookie}) != 0) return;
                unnamedSampleCookies.emplace(std::make_pair(*frame.core, cookie), where);
            };
            std::visit(Overloaded{
                           [&](const SampleRecord& sample) {
                               if (!frame.core) return;
                               sampleCookie(sample.cookie);
                               for (const StackFrame& stack : sample.frames)
                                   sampleCookie(stack.cookie);
                           },
                           [&](const LinkRecord& link) {
                               if (IsReservedCookie(link.cookie) ||
                                   namedAnywhere.count(link.cookie) != 0) {
                                   return;
                               }
                               unnamedLinkCookies.emplace(link.cookie, where);
                           },
                           [&](const CounterValueRecord& value) {
                               if (describedKeys.count(value.key) == 0) {
                                   undescribedKeys.emplace(value.key, where);
                               }
                           },
                           [](const auto&) {},
                       },
                       record.body);
        }
    }
    for (const auto& [use, where] : unnamedSampleCookies) {
        reasons.push_back("cookie " + std::to_string(use.second) + " used by a sample of core " +
                          std::to_string(use.first) + " (first at " + where +
                          ") has no cookie-name record for that core");
    }
    for (const auto& [cookie, where] : unnamedLinkCookies) {
        reasons.push_back("cookie " + std::to_string(cookie) + " used by a link record (first at " +
                          where + ") has no cookie-name record");
    }
    for (const auto& [key, where] : undescribedKeys) {
        reasons.push_back("counter key " + std::to_string(key) + " (first at " + where +
                          ") has no counter in captured.xml");
    }
    return reasons;
}

CaptureSummary Summarize(const Capture& capture) {
    CaptureSummary summary;
    std::set<uint32_t> pids;
    std::set<uint32_t> tids;
    for (const Frame& frame : capture.frames) {
        for (const Record& record : frame.records) {
            std::visit(Overloaded{
                           [&](const SampleRecord& r) {
                               ++summary.samples;
                               pids.insert(r.pid);
                               tids.insert(r.tid);
                           },
                           [&](const LinkRecord& r) {
                               pids.insert(r.pid);
                               tids.insert(r.tid);
                           },
                           [&](const ThreadNameRecord& r) { tids.insert(r.tid); },
                           [&](const SwitchRecord& r) {
                               ++summary.switches;
                               tids.insert(r.tid);
                           },
                           [&](const CounterValueRecord&) { ++summary.counters; },
                           [&](const AnnotationRecord&) { ++summary.annotations; },
                           [&](const ChannelTextRecord&) { ++summary.annotations; },
                           [&](const ActivityRecord&) { ++summary.annotations; },
                           [](const auto&) {},
                       },
                       record.body);
        }
    }
    summary.processes = pids.size();
    summary.threads = tids.size();
    return summary;
}

}  // namespace vantric::rcf
