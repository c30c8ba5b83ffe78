// Collects what std::cout receives while the object lives, for tests of code
// that prints its fixed messages on standard output.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace lattis::testnet {

class CoutCapture {
public:
    CoutCapture() : old(std::cout.rdbuf(buffer.rdbuf())) {}
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    ~CoutCapture() { std::cout.rdbuf(old); }
    std::string text() const { return buffer.str(); }

private:
    std::ostringstream buffer;
    std::streambuf* old;
};

}  // namespace lattis::testnet
