#include "rcf/record_text.h"

#include <cstdio>

namespace vantric::rcf {
namespace {

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string N(uint64_t value) {
    return std::to_string(value);
}

std::string Body(const RecordBody& body) {
    return std::visit(
        Overloaded{
            [](const SummaryRecord& r) {
                return "summary text=" + Quoted(r.text) + " times=" + std::to_string(r.times[0]) +
                       "," + std::to_string(r.times[1]) + "," + std::to_string(r.times[2]) +
                       " tail=" + Quoted(r.tail);
            },
            [](const CoreNameRecord& r) {
                return "core-name core=" + N(r.core) + " cpu-id=" + N(r.cpuId) +
                       " name=" + Quoted(r.name);
            },
            [](const SampleRecord& r) {
                std::string text = "sample time=" + N(r.time) + " cookie=" + N(r.cookie) +
                                   " pid=" + N(r.pid) + " tid=" + N(r.tid) + " frames=";
                for (size_t i = 0; i < r.frames.size(); ++i) {
                    if (i > 0) text += ',';
                    text += N(r.frames[i].cookie) + ":" + Hex(r.frames[i].address);
                }
                return text;
            },
            [](const CookieNameRecord& r) {
                return "cookie-name cookie=" + N(r.cookie) + " name=" + Quoted(r.name);
            },
            [](const ThreadNameRecord& r) {
                return "thread-name time=" + N(r.time) + " tid=" + N(r.tid) +
                       " name=" + Quoted(r.name);
            },
            [](const CounterValueRecord& r) {
                return "counter-value time=" + N(r.time) + " core=" + N(r.core) +
                       " key=" + N(r.key) + " value=" + N(r.value);
            },
            [](const AnnotationRecord& r) {
                return "annotation pid=" + N(r.pid) + " tid=" + N(r.tid) + " time=" + N(r.time) +
                       " text=" + Quoted(r.text);
            },
            [](const SwitchRecord& r) {
                return "switch time=" + N(r.time) + " tid=" + N(r.tid) + " state=" + N(r.state);
            },
            [](const ThreadExitRecord& r) {
                return "thread-exit time=" + N(r.time) + " tid=" + N(r.tid);
            },
            [](const IdleRecord& r) {
                return "idle state=" + std::to_string(r.state) + " time=" + N(r.time) +
                       " core=" + N(r.core);
            },
            [](const StreamHeaderRecord&) { return std::string("stream-header"); },
            [](const ChannelNameRecord& r) {
                return "channel-name channel=" + N(r.channel) + " name=" + Quoted(r.name);
            },
            [](const ChannelTextRecord& r) {
                return "channel-text channel=" + N(r.channel) + " sequence=" + N(r.sequence) +
                       " value=" + N(r.value) + " text=" + Quoted(r.text);
            },
            [](const ActivityRecord& r) {
                std::string text = "activity channel=" + N(r.channel) +
                                   " sequence=" + N(r.sequence) + " related=" + N(r.relatedId) +
                                   " start=" + N(r.startTime) + " duration=" + N(r.duration) +
                                   " colour=" + Hex(r.colour) + " value=" + N(r.value) + " links=";
                for (size_t i = 0; i < r.linkedIds.size(); ++i) {
                    if (i > 0) text += ',';
                    text += N(r.linkedIds[i]);
                }
                return text + " text=" + Quoted(r.text);
            },
            [](const LinkRecord& r) {
                return "link time=" + N(r.time) + " cookie=" + N(r.cookie) + " pid=" + N(r.pid) +
                       " tid=" + N(r.tid);
            },
            [](const LinkExitRecord& r) {
                return "link-exit time=" + N(r.time) + " tid=" + N(r.tid);
            },
        },
        body);
}

}  // namespace

std::string FrameHeaderText(const Frame& frame) {
    const char* name = FrameTypeName(frame.type);
    std::string text =
        frame.fileName + " frame " + (name ? name : "unknown") + " type=" + N(frame.type);
    if (frame.core) text += " core=" + N(*frame.core);
    return text + " length=" + (frame.closed ? N(frame.length) : std::string("open"));
}

std::string RecordText(const Frame& frame, const Record& record) {
    return frame.fileName + " +" + N(record.offset) + " " + Body(record.body);
}

}  // namespace vantric::rcf
