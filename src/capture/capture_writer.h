// Writes the capture directory that the profiler opens after the run: one
// binary frame file per frame type (per core for some types), each holding a
// length, a frame header and packed records, next to the two XML description
// files (DescriptionFiles). Channel records go to the external frame through
// AnnotationChannels. One writer per plug-in instance; all calls come from
// one thread.
#pragma once

#include <cstdint>
#include <iostream>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/annotation_channels.h"
#include "capture/cookie_cache.h"
#include "capture/counter_description.h"
#include "capture/description_files.h"
#include "capture/frame_file.h"

namespace vantric {

class CaptureWriter {
public:
    // The busiest frames (counter, backtrace, scheduling) move to a new file
    // after this many records.
    static constexpr uint64_t kDefaultRotationRecords = 10'000'000;
    static constexpr uint32_t kFrameTypes = 14;  // types 1 to 13, indexed directly

    CaptureWriter() : CaptureWriter(kDefaultRotationRecords) {}
    // `errors` receives the open failures, `messages` the informational lines.
    explicit CaptureWriter(uint64_t rotationRecords, std::ostream& errors = std::cerr,
                           std::ostream& messages = std::cout);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Creates `directory` (which must end with a path separator) and every
    // file in it, and writes each data file's frame start. Failures are
    // reported on `errors` and leave isOpen() false.
    void open(const std::string& directory, uint32_t coreCount);
    bool isOpen() const { return open_; }
    uint32_t coreCount() const { return coreCount_; }

    // Writes session.xml and captured.xml.
    void writeDescriptions(uint64_t startTime, uint64_t endTime,
                           std::vector<CounterDescription> counters);

    // Patches every frame length and closes every file; the destructor does
    // the same. Nothing is written afterwards. A file whose writing failed is
    // then named on `errors` with the bytes it lost and why.
    void close();

    // Record operations. Records for a core at or above the core count are
    // dropped, except counter values, which live in one shared file.
    void writeSummary();
    void addCore(uint32_t core, uint32_t cpuId, std::string_view componentName);
    void writeCounterValue(uint32_t core, uint64_t time, uint32_t counterNumber, uint64_t value);
    void writeSample(uint32_t core, uint64_t time, uint32_t cookie, uint32_t pid, uint32_t tid,
                     std::span<const uint32_t> frameCookies,
                     std::span<const uint64_t> frameAddresses);
    void writeSwitch(uint32_t core, uint64_t time, uint32_t cookie, uint32_t pid, uint32_t tid,
                     std::string_view threadName, uint32_t state);
    void writeThreadExit(uint32_t core, uint64_t time, uint32_t tid);
    void writeIdle(int32_t state, uint64_t time, uint32_t core);
    // Texts longer than kMaxAnnotationText bytes are cut, since the record
    // holds a 16-bit length.
    static constexpr size_t kMaxAnnotationText = 32767;
    void writeAnnotation(uint32_t pid, uint32_t tid, uint64_t time, std::string_view text);

    // The cookie of a process image name (empty when unknown) seen by `core`;
    // a new cookie is announced with a cookie-name and a link record. Gives 0
    // for a core at or above the core count.
    uint32_t cookieFor(uint32_t core, uint32_t tid, uint32_t pid, uint64_t time,
                       std::string_view processName);

    // Annotation channels: indexes from registerChannel; the write operations
    // return the sequence number used and ignore unknown channels (returning 0).
    uint32_t registerChannel(std::string_view name);
    uint32_t writeChannelText(uint32_t channel, uint32_t value, std::string_view text);
    uint32_t writeActivity(uint32_t channel, uint32_t relatedId, uint64_t startTime,
                           uint64_t duration, uint32_t colour, uint32_t value,
                           std::span<const uint32_t> linkedIds, std::string_view text);

private:
    static bool hasFile(uint32_t type, uint32_t core);
    static bool isPerCore(uint32_t type);

    capture::FrameFile& file(uint32_t type, uint32_t core) {
        return files_[type + kFrameTypes * core];
    }
    // Counts one record of a rotating frame; rotates first when the file is full.
    void countRecord(uint32_t type, uint32_t core) {
        uint64_t& count = recordCounts_[type + kFrameTypes * core];
        if (count < rotationRecords_) {
            ++count;
            return;
        }
        rotate(type, core);
    }
    void rotate(uint32_t type, uint32_t core);
    // Closes a data file, remembering what a failed write lost.
    void finish(capture::FrameFile& data);
    std::string nextFileName();
    void writeFrameStart(uint32_t type, uint32_t core);
    void writeLink(uint64_t time, uint32_t cookie, uint32_t pid, uint32_t tid);
    void writeCookieName(uint32_t core, uint32_t cookie, std::string_view name);

    struct Announced {
        std::string name;
        uint32_t tid;
    };
    struct AnnouncedOrder {
        using is_transparent = void;
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            return std::pair<std::string_view, uint32_t>(a.name, a.tid) <
                   std::pair<std::string_view, uint32_t>(b.name, b.tid);
        }
    };
    struct AnnouncedView {
        std::string_view name;
        uint32_t tid;
    };

    struct Loss {
        std::string file;
        uint64_t bytes;
        int error;
    };
    std::vector<Loss> losses_;

    uint64_t rotationRecords_;
    std::ostream& errors_;
    std::ostream& messages_;

    uint32_t coreCount_ = 0;
    std::string directory_;
    uint32_t sequence_ = 0;
    std::vector<capture::FrameFile> files_;
    std::vector<uint64_t> recordCounts_;
    capture::DescriptionFiles descriptions_;
    bool open_ = false;

    capture::CookieCache cookies_;
    std::set<Announced, AnnouncedOrder> announced_;
    capture::AnnotationChannels channels_;
};

}  // namespace vantric
