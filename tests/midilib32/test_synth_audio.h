#pragma once

// Measures on rendered or captured audio, for the synthesizer's tests.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace synthaudio {

inline double rms(const std::vector<float>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

// The fundamental frequency of a steady tone, by the YIN method: the first
// lag whose normalized squared difference dips under a threshold, refined
// between samples. Harmonics stronger than the fundamental do not fool it.
inline double fundamental(const std::vector<float>& s, double rate) {
    const size_t from = size_t(rate / 10), window = 4096, maxLag = size_t(rate / 50);
    if (s.size() < from + window + maxLag + 2)
        return 0;
    std::vector<double> d(maxLag + 2, 1.0);
    double sum = 0;
    for (size_t lag = 1; lag <= maxLag + 1; ++lag) {
        double diff = 0;
        for (size_t i = from; i < from + window; ++i) {
            const double delta = double(s[i]) - s[i + lag];
            diff += delta * delta;
        }
        sum += diff;
        d[lag] = sum > 0 ? diff * double(lag) / sum : 1.0;
    }
    for (size_t lag = 2; lag <= maxLag; ++lag) {
        if (d[lag] < 0.1) {
            while (lag < maxLag && d[lag + 1] < d[lag])
                ++lag;
            const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
            const double shift = (a - 2 * b + c) != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0;
            return rate / (double(lag) + shift);
        }
    }
    return 0;
}

} // namespace synthaudio
