#include "util/console.h"

#include <iostream>

namespace vantric {
namespace {

void WriteLine(std::string_view prefix, std::string_view component, std::string_view text) {
    std::cerr << prefix << component << ") " << text << std::endl;
}

}  // namespace

void ErrorLine(std::string_view component, std::string_view text) {
    WriteLine("ERROR (", component, text);
}

void WarnLine(std::string_view component, std::string_view text) {
    WriteLine("WARN (", component, text);
}

}  // namespace vantric
