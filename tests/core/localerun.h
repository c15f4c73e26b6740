#pragma once

// Data-file, score and report tests run twice: as they are, and under a
// decimal-comma locale (tests/CMakeLists.txt). The program's toolkit takes
// LC_NUMERIC from the environment, so these tests do too, and say which
// decimal point a text on screen uses.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace localerun {

inline const bool kTaken = std::setlocale(LC_ALL, "") != nullptr;

// The decimal point printf uses now.
inline std::string point() {
    return std::localeconv()->decimal_point;
}

// `text` with each '.' between two digits written as the locale's decimal
// point (the point after a rank, "1. ", stays).
inline std::string localized(std::string text) {
    const std::string p = point();
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t at = 1; at + 1 < text.size(); ++at)
        if (text[at] == '.' && digit(text[at - 1]) && digit(text[at + 1]))
            text.replace(at, 1, p);
    return text;
}

} // namespace localerun

// The run under a decimal-comma locale is only worth its time when that
// locale is really in force.
TEST(LocaleRun, TheLocaleAskedForIsInForce) {
    const char* wanted = std::getenv("TONYX_EXPECT_DECIMAL_POINT");
    if (!wanted)
        GTEST_SKIP() << "the plain run: no locale asked for";
    EXPECT_TRUE(localerun::kTaken)
        << "LC_ALL=" << (std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "") << " is not available";
    EXPECT_EQ(localerun::point(), wanted);
}
