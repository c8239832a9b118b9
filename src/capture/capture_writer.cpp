#include "capture/capture_writer.h"

#include <algorithm>
#include <cstdio>
#include <locale>

#include "capture/record_buffer.h"
#include "platform/platform.h"

namespace vantric {

using capture::FrameFile;
using capture::RecordBuffer;

CaptureWriter::CaptureWriter(uint64_t rotationRecords, std::ostream& errors, std::ostream& messages)
    : rotationRecords_(rotationRecords), errors_(errors), messages_(messages) {
    session_.imbue(std::locale::classic());
    captured_.imbue(std::locale::classic());
    // Core-0 files exist before open so that records written too early are
    // dropped rather than addressed out of range.
    files_.resize(kFrameTypes);
    recordCounts_.assign(kFrameTypes, 0);
}

CaptureWriter::~CaptureWriter() {
    close();
}

bool CaptureWriter::isPerCore(uint32_t type) {
    return type == 2 || type == 3 || type == 5 || type == 7 || type == 11;
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

void CaptureWriter::reportOpenFailure(const std::string& path, const char* what) {
    errors_ << "Vantric: failed to open " << path << '\n'
            << "Vantric: failed to open " << what << ' ' << std::endl;
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

    session_.close();
    session_.clear();
    session_.open(directory + "session.xml", std::ios::out | std::ios::trunc);
    if (!session_.is_open()) {
        reportOpenFailure(directory + "session.xml", "session.xml");
        ok = false;
    }
    captured_.close();
    captured_.clear();
    captured_.open(directory + "captured.xml", std::ios::out | std::ios::trunc);
    if (!captured_.is_open()) {
        reportOpenFailure(directory + "captured.xml", "captured.xml");
        ok = false;
    }

    for (uint32_t type = 1; type < kFrameTypes; ++type) {
        for (uint32_t core = 0; core < coreCount; ++core) {
            if (!hasFile(type, core)) continue;
            std::string path = nextFileName();
            if (file(type, core).open(path)) {
                // After a failure the capture is unusable; files that still
                // open are left empty.
                if (ok) writeFrameStart(type, core);
            } else {
                reportOpenFailure(path, "rcf data file");
                ok = false;
            }
        }
    }
    open_ = ok;
}

void CaptureWriter::rotate(uint32_t type, uint32_t core) {
    FrameFile& current = file(type, core);
    current.finish();
    std::string path = nextFileName();
    if (!current.open(path)) {
        // The count stays at the limit, so the next record tries again.
        reportOpenFailure(path, "rcf data file");
        return;
    }
    writeFrameStart(type, core);
    recordCounts_[type + kFrameTypes * core] = 0;
}

void CaptureWriter::close() {
    for (FrameFile& data : files_) data.finish();
    if (session_.is_open()) session_.close();
    if (captured_.is_open()) captured_.close();
}

}  // namespace vantric
