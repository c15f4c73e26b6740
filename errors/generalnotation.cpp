#include "errors/generalnotation.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace errors {

std::string generalNotation(float value, std::string_view decimalPoint) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    if (value == 0.0f)
        return "0";

    std::string text = value < 0 ? "-" : "";
    // The float's exact decimal expansion: the first three significant digits
    // decide the rounding, so no earlier rounding may touch them.
    // to_chars, not printf: its decimal point does not follow the locale.
    char buffer[80];
    *std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(static_cast<double>(value)),
                   std::chars_format::scientific, 40)
         .ptr = '\0';
    const int d1 = buffer[0] - '0';
    const int d2 = buffer[2] - '0';
    const int d3 = buffer[3] - '0';
    // Exponent of the value written as 0.d1d2 x 10^e.
    int e = std::atoi(std::strchr(buffer, 'e') + 1) + 1;
    int twoDigits = d1 * 10 + d2 + (d3 >= 5 ? 1 : 0);
    if (twoDigits == 100) {
        twoDigits = 10;
        ++e;
    }
    std::string digits = std::to_string(twoDigits);
    if (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    if (e > 2 || e < -3) {
        text += digits[0];
        if (digits.size() > 1) {
            text += decimalPoint;
            text += digits[1];
        }
        text += 'E';
        text += std::to_string(e - 1);
    } else if (e <= 0) {
        text += '0';
        text += decimalPoint;
        text.append(static_cast<size_t>(-e), '0');
        text += digits;
    } else {
        const auto whole = static_cast<size_t>(e);
        if (digits.size() <= whole) {
            text += digits;
            text.append(whole - digits.size(), '0');
        } else {
            text += digits.substr(0, whole);
            text += decimalPoint;
            text += digits.substr(whole);
        }
    }
    return text;
}

} // namespace errors
