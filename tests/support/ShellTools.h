// Shell commands and sample bytes for the tests that drive real tools (zip, unzip, python3,
// mtools).
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "KstTest.h"

namespace ksttest {

// The text as one single-quoted shell word.
inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command that must succeed; answers its output.
inline std::string Sh(const std::string& command) {
    std::string out;
    int code = RunCommand(command + " 2>&1", &out);
    EXPECT_EQ(code, 0) << command << "\n" << out;
    return out;
}

inline std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (auto& c : bytes) c = static_cast<char>(gen());
    return bytes;
}

}  // namespace ksttest
