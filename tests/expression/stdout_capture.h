// Collects what the code under test writes to std::cout (the expression
// diagnostics go there) for byte-exact comparison.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class StdoutCapture {
public:
    StdoutCapture() : previous(std::cout.rdbuf(buffer.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(previous); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string Text() const { return buffer.str(); }

private:
    std::ostringstream buffer;
    std::streambuf* previous;
};
