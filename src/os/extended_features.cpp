#include "os/extended_features.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "os/target_access.h"
#include "util/console.h"

namespace vantric {
namespace {

constexpr const char* kComponent = "OSDriver";
// A host that never ends the text must not hold up the start of tracing.
constexpr uint32_t kMaxFeatureChunks = 4096;

// Signed decimal after optional leading white space; 0 when there are no
// digits or the value does not fit 32 bits. Text after the digits is ignored.
int32_t ParseFeatureValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int64_t value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return 0;
    }
    if (!digits) return 0;
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return 0;
    return static_cast<int32_t>(value);
}

}  // namespace

std::string ExtendedFeatures::Read(plexa::SQOVI2* debug) {
    plexa::SQOVITargetFeatures features;
    std::memset(&features, 0, sizeof features);
    features.pcRegisterNumber = TargetAccess::kNotFound;
    features.extendedFeaturesRegisterNumber = TargetAccess::kNotFound;
    if (debug == nullptr || debug->GetTargetFeatures(&features) != plexa::kStatusOk) {
        ErrorLine(kComponent,
                  "ERROR: Getting QOVI target features from target failed. These are required in "
                  "the following.");
        return {};
    }

    std::string text;
    for (uint32_t chunk = 0; chunk < kMaxFeatureChunks; ++chunk) {
        plexa::SQOVIRegisterValue value{};
        value.number = features.extendedFeaturesRegisterNumber;
        value.chunkIndex = chunk;
        uint32_t read = 0;
        if (debug->ReadRegisters(1, &value, &read, false) != plexa::kStatusOk || read != 1) {
            ErrorLine(kComponent, "ERROR: Retrieving extended feature registers failed.\n");
            std::memset(value.bytes, 0, sizeof value.bytes);
        }
        const char* bytes = reinterpret_cast<const char*>(value.bytes);
        const size_t length = strnlen(bytes, sizeof value.bytes);
        text.append(bytes, length);
        if (length < sizeof value.bytes) break;
    }
    return text;
}

int32_t ExtendedFeatures::Value(plexa::SQOVI2* debug, std::string_view name, bool verbose) {
    const std::string text = Read(debug);
    const size_t at = text.find(name);
    if (at == std::string::npos) {
        if (verbose) ErrorLine(kComponent, "feature not found in ETF");
        return -2;
    }
    const size_t equals = at + name.size();
    if (equals >= text.size() || text[equals] != '=') return -1;
    const size_t begin = equals + 1;
    const size_t end = text.find(':', begin);
    return ParseFeatureValue(std::string_view(text).substr(
        begin, end == std::string::npos ? std::string::npos : end - begin));
}

}  // namespace vantric
