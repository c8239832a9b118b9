// Checks a capture of a QEMU run against the guest's own report: no thread
// current on two vCPUs at once, each
// process it started named with its pid as thread id, each file it opened
// and program it executed an annotation of that thread, its exit seen, the
// dash process's user frames in files and at offsets its memory map gives,
// and the capture complete and consistent (rcf check).
#pragma once

#include <string>
#include <vector>

#include "guest_report.h"
#include "rcf/capture_records.h"

namespace qemuhost {

struct VerifyRow {
    std::string name;
    std::string expected;
    std::string found;
    bool ok = false;
    std::string detail;  // the first difference
};

class GuestVerifier {
public:
    static std::vector<VerifyRow> Verify(const vantric::rcf::Capture& capture, const GuestReport& report);
    static bool AllOk(const std::vector<VerifyRow>& rows);
    static std::string Table(const std::vector<VerifyRow>& rows);
};

}  // namespace qemuhost
