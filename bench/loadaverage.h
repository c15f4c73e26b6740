#pragma once

#include <cstdio>
#include <cstring>
#include <string>

// The machine's 1-, 5- and 15-minute load averages ("?" when unreadable),
// printed beside every figure a benchmark gives.
inline std::string loadAverage() {
    char text[64] = "?";
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file))
            std::strcpy(text, "?");
        std::fclose(file);
    }
    const std::string s(text);
    size_t end = 0;
    for (int i = 0; i < 3 && end != std::string::npos; ++i)
        end = s.find(' ', end + 1);
    return s.substr(0, end);
}
