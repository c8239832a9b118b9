#include "json/json_number.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace vq {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// std::from_chars leaves the value untouched when it reports out of range,
// which for a double means the correctly rounded result was infinite or
// zero. Which of the two: the decimal exponent of the first significant digit
// (digits before the point + written exponent) is positive for an overflow
// and not for an underflow, since both limits are hundreds of decades away.
bool exceedsRange(std::string_view text) {
    std::size_t pos = 0;
    if (pos < text.size() && text[pos] == '-') ++pos;
    int64_t magnitude = 0;  // decimal exponent of the first significant digit + 1
    bool significant = false;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        if (text[pos] != '0') significant = true;
        if (significant) ++magnitude;
    }
    if (pos < text.size() && text[pos] == '.') {
        for (++pos; pos < text.size() && isDigit(text[pos]); ++pos) {
            if (significant) break;
            if (text[pos] != '0') {
                significant = true;
            } else {
                --magnitude;
            }
        }
        while (pos < text.size() && isDigit(text[pos])) ++pos;
    }
    int64_t exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
        constexpr int64_t kSaturated = int64_t{1} << 40;  // far beyond any double's decade
        for (; pos < text.size() && isDigit(text[pos]); ++pos) {
            if (exponent < kSaturated) exponent = exponent * 10 + (text[pos] - '0');
        }
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

}  // namespace

JSONValue convertNumber(std::string_view text, bool integral) {
    const char* first = text.data();
    const char* last = first + text.size();
    const bool negative = !text.empty() && text.front() == '-';
    if (integral && negative) {
        int64_t value = 0;
        if (std::from_chars(first, last, value).ec == std::errc::result_out_of_range) {
            value = std::numeric_limits<int64_t>::min();
        }
        return JSONValue(value);
    }
    if (integral) {
        uint64_t value = 0;
        if (std::from_chars(first, last, value).ec == std::errc::result_out_of_range) {
            value = std::numeric_limits<uint64_t>::max();
        }
        return JSONValue(value);
    }
    double value = 0.0;
    if (std::from_chars(first, last, value).ec == std::errc::result_out_of_range) {
        const double limit = exceedsRange(text) ? std::numeric_limits<double>::max() : 0.0;
        value = negative ? -limit : limit;
    }
    return JSONValue(value);
}

}  // namespace vq
