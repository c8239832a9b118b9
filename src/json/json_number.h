// Conversion of a number's collected text to a JSONValue.
#pragma once

#include <string_view>

#include "json/json_value.h"

namespace vq {

// text is an optional '-', digits, then optionally a fraction and an
// exponent, as the reader collected it. integral says neither fraction nor
// exponent is present.
//
// The result matches reading the text with a classic-locale string stream,
// whatever the process locale: an integer beyond its type clamps (2^64-1, or
// -2^63 for a negative text), a double beyond range becomes +-DBL_MAX, and an
// underflow becomes what the C library gives (subnormal, or zero). A negative
// integer goes through the signed constructor (so "-0" is unsigned 0), any
// other integer through the unsigned one, and anything else through the
// double constructor (so "1.0" is unsigned 1).
JSONValue convertNumber(std::string_view text, bool integral);

}  // namespace vq
