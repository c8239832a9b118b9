#include "capture/capture_writer.h"

#include <algorithm>
#include <cstring>
#include <cstdio>

#include "capture/open_failure.h"
#include "capture/record_buffer.h"
#include "platform/platform.h"

namespace vantric {

using capture::FrameFile;
using capture::RecordBuffer;

namespace {

// Frame types, as the profiler numbers them.
constexpr uint32_t kSummaryFrame = 1;
constexpr uint32_t kBacktraceFrame = 2;
constexpr uint32_t kNameFrame = 3;
constexpr uint32_t kCounterFrame = 4;
constexpr uint32_t kAnnotateFrame = 6;
constexpr uint32_t kSchedulingFrame = 7;
constexpr uint32_t kIdleFrame = 9;
constexpr uint32_t kExternalFrame = 10;
constexpr uint32_t kLinkFrame = 13;

constexpr std::string_view kSummaryText = "1\n2\r\n3\r4\n\r5";

}  // namespace

CaptureWriter::CaptureWriter(uint64_t rotationRecords, std::ostream& errors, std::ostream& messages)
    : rotationRecords_(rotationRecords), errors_(errors), messages_(messages) {
    // Core-0 files exist before open so that records written too early are
    // dropped rather than addressed out of range.
    files_.resize(kFrameTypes);
    recordCounts_.assign(kFrameTypes, 0);
}

CaptureWriter::~CaptureWriter() {
    close();
}

// Types 5 and 11 are never written, but the profiler expects their files.
bool CaptureWriter::isPerCore(uint32_t type) {
    return type == kBacktraceFrame || type == kNameFrame || type == 5 ||
           type == kSchedulingFrame || type == 11;
}

bool CaptureWriter::hasFile(uint32_t type, uint32_t core) {
    if (type == 0 || type == 8 || type == 12 || type >= kFrameTypes) return false;
    return isPerCore(type) || core == 0;
}

std::string CaptureWriter::nextFileName() {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(sequence_++));
    return directory_ + digits;
}

void CaptureWriter::writeFrameStart(uint32_t type, uint32_t core) {
    FrameFile& data = file(type, core);
    {
        RecordBuffer record(data);
        record.u32le(0xFFFFFFFFu);
        record.packed32(type);
        if (isPerCore(type)) record.packed32(core);
    }
    // On disk at once, so that a host that dies still leaves readable frames.
    data.flush();
}

void CaptureWriter::open(const std::string& directory, uint32_t coreCount) {
    coreCount_ = coreCount;
    directory_ = directory;
    cookies_.reset(coreCount);

    // Streams of an earlier open are dropped as they are.
    for (FrameFile& stale : files_) stale.discard();
    size_t slots = static_cast<size_t>(kFrameTypes) * std::max<uint32_t>(coreCount, 1);
    files_.clear();
    files_.resize(slots);
    recordCounts_.assign(slots, 0);

    bool ok = true;
    if (!platform::CreateDirectory(directory)) {
        errors_ << "Vantric: failed to open" << directory << std::endl;
        ok = false;
    }
    if (!descriptions_.open(directory, errors_)) ok = false;

    for (uint32_t type = 1; type < kFrameTypes; ++type) {
        for (uint32_t core = 0; core < coreCount; ++core) {
            if (!hasFile(type, core)) continue;
            std::string path = nextFileName();
            if (file(type, core).open(path)) {
                // After a failure the capture is unusable; files that still
                // open are left empty.
                if (ok) writeFrameStart(type, core);
            } else {
                capture::ReportOpenFailure(errors_, path, "rcf data file");
                ok = false;
            }
        }
    }
    open_ = ok;
}

void CaptureWriter::rotate(uint32_t type, uint32_t core) {
    FrameFile& current = file(type, core);
    finish(current);
    std::string path = nextFileName();
    if (!current.open(path)) {
        // The count stays at the limit, so the next record tries again.
        capture::ReportOpenFailure(errors_, path, "rcf data file");
        return;
    }
    writeFrameStart(type, core);
    recordCounts_[type + kFrameTypes * core] = 0;
}

void CaptureWriter::writeDescriptions(uint64_t startTime, uint64_t endTime,
                                      std::vector<CounterDescription> counters) {
    descriptions_.write(startTime, endTime, coreCount_, counters);
}

void CaptureWriter::finish(FrameFile& data) {
    data.finish();
    if (data.failed()) losses_.push_back({data.path(), data.lostBytes(), data.error()});
}

void CaptureWriter::close() {
    for (FrameFile& data : files_) finish(data);
    descriptions_.close(errors_);
    // Reported once every file is closed, so the capture on disk is final.
    for (const Loss& loss : losses_) {
        errors_ << "WARN (Vantric capture) " << loss.file << " : " << loss.bytes << " bytes lost ("
                << (loss.error != 0 ? std::strerror(loss.error) : "write failed") << ")" << std::endl;
    }
    losses_.clear();
}

// Each record is encoded on the stack and handed to its file in one write.

void CaptureWriter::writeSummary() {
    RecordBuffer record(file(kSummaryFrame, 0));
    record.packed(1);
    record.string(kSummaryText);
    record.packed(0);
    record.packed(0);
    record.packed(0);
    record.string({});
}

void CaptureWriter::addCore(uint32_t core, uint32_t cpuId, std::string_view componentName) {
    std::string_view name = componentName;
    size_t cut = componentName.rfind(".cpu");
    if (cut != std::string_view::npos) name = componentName.substr(0, cut);
    RecordBuffer record(file(kSummaryFrame, 0));
    record.packed(3);
    record.packed32(core);
    record.packed32(cpuId);
    record.string(name);
}

void CaptureWriter::writeCounterValue(uint32_t core, uint64_t time, uint32_t counterNumber,
                                      uint64_t value) {
    if (core >= coreCount_) messages_ << "counter id " << counterNumber << ':' << core << '\n';
    countRecord(kCounterFrame, 0);
    RecordBuffer record(file(kCounterFrame, 0));
    record.packed64(time);
    record.packed32(core);
    record.packed32(counterNumber + 3);
    record.packed64(value);
}

void CaptureWriter::writeSample(uint32_t core, uint64_t time, uint32_t cookie, uint32_t pid,
                                uint32_t tid, std::span<const uint32_t> frameCookies,
                                std::span<const uint64_t> frameAddresses) {
    if (core >= coreCount_) return;
    countRecord(kBacktraceFrame, core);
    RecordBuffer record(file(kBacktraceFrame, core));
    record.packed64(time);
    record.packed32(cookie);
    record.packed32(pid);
    record.packed32(tid);
    size_t frames = std::min(frameCookies.size(), frameAddresses.size());
    for (size_t i = 0; i < frames; ++i) {
        record.packed32(frameCookies[i]);
        record.packed64(frameAddresses[i]);
    }
    record.packed(1);
}

void CaptureWriter::writeLink(uint64_t time, uint32_t cookie, uint32_t pid, uint32_t tid) {
    RecordBuffer record(file(kLinkFrame, 0));
    record.packed(1);
    record.packed64(time);
    record.packed32(cookie);
    record.packed32(pid);
    record.packed32(tid);
}

void CaptureWriter::writeSwitch(uint32_t core, uint64_t time, uint32_t cookie, uint32_t pid,
                                uint32_t tid, std::string_view threadName, uint32_t state) {
    if (core >= coreCount_) return;
    // A thread is named once for the whole capture, on whichever core runs it first.
    if (announced_.find(AnnouncedView{threadName, tid}) == announced_.end()) {
        {
            RecordBuffer record(file(kNameFrame, core));
            record.packed(2);
            record.packed64(time);
            record.packed32(tid);
            record.string(threadName);
        }
        writeLink(time, cookie, pid, tid);
        announced_.insert(Announced{std::string(threadName), tid});
    }
    countRecord(kSchedulingFrame, core);
    RecordBuffer record(file(kSchedulingFrame, core));
    record.packed(1);
    record.packed64(time);
    record.packed32(tid);
    record.packed32(state);
}

void CaptureWriter::writeThreadExit(uint32_t core, uint64_t time, uint32_t tid) {
    if (core >= coreCount_) return;
    {
        RecordBuffer record(file(kLinkFrame, 0));
        record.packed(3);
        record.packed64(time);
        record.packed32(tid);
    }
    RecordBuffer record(file(kSchedulingFrame, core));
    record.packed(2);
    record.packed64(time);
    record.packed32(tid);
}

void CaptureWriter::writeIdle(int32_t state, uint64_t time, uint32_t core) {
    RecordBuffer record(file(kIdleFrame, 0));
    record.packed(state);
    record.packed64(time);
    record.packed32(core);
}

void CaptureWriter::writeAnnotation(uint32_t pid, uint32_t tid, uint64_t time,
                                    std::string_view text) {
    text = text.substr(0, std::min(text.size(), kMaxAnnotationText));
    auto length = static_cast<uint16_t>(text.size());
    RecordBuffer record(file(kAnnotateFrame, 0));
    record.packed32(pid);
    record.packed32(tid);
    record.packed64(time);
    record.packed(static_cast<int64_t>(length) + 4);
    record.byte(0x1C);
    record.byte(0x05);
    record.byte(static_cast<uint8_t>(length));
    record.byte(static_cast<uint8_t>(length >> 8));
    record.raw(text);
}

void CaptureWriter::writeCookieName(uint32_t core, uint32_t cookie, std::string_view name) {
    RecordBuffer record(file(kNameFrame, core));
    record.packed(1);
    record.packed32(cookie);
    record.string(name);
}

uint32_t CaptureWriter::cookieFor(uint32_t core, uint32_t tid, uint32_t pid, uint64_t time,
                                  std::string_view processName) {
    if (core >= coreCount_) return 0;
    capture::CookieCache::Result found = cookies_.lookup(core, pid, processName);
    if (found.isNew) {
        writeCookieName(core, found.cookie, processName);
        writeLink(time, found.cookie, pid, tid);
    }
    return found.cookie;
}

uint32_t CaptureWriter::registerChannel(std::string_view name) {
    return channels_.registerChannel(file(kExternalFrame, 0), name);
}

uint32_t CaptureWriter::writeChannelText(uint32_t channel, uint32_t value, std::string_view text) {
    return channels_.writeText(file(kExternalFrame, 0), channel, value, text);
}

uint32_t CaptureWriter::writeActivity(uint32_t channel, uint32_t relatedId, uint64_t startTime,
                                      uint64_t duration, uint32_t colour, uint32_t value,
                                      std::span<const uint32_t> linkedIds, std::string_view text) {
    return channels_.writeActivity(file(kExternalFrame, 0), channel, relatedId, startTime,
                                   duration, colour, value, linkedIds, text);
}

}  // namespace vantric
