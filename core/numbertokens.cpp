#include "core/numbertokens.h"

#include <charconv>
#include <cmath>

namespace {

// No number of the files is longer; longer tokens are damage.
constexpr size_t kLongestToken = 64;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The token without a leading '+', which from_chars does not take.
std::string_view unsigned_(std::string_view token) {
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    return token;
}

} // namespace

bool parseIntegerToken(std::string_view token, int32_t& value) {
    if (token.empty() || token.size() > kLongestToken)
        return false;
    const std::string_view digits =
        token.front() == '-' || token.front() == '+' ? token.substr(1) : token;
    if (digits.empty())
        return false;
    for (const char c : digits)
        if (!isDigit(c))
            return false;
    const std::string_view text = unsigned_(token);
    int32_t result = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = result;
    return true;
}

bool parseDecimalToken(std::string_view token, double& value) {
    if (token.empty() || token.size() > kLongestToken)
        return false;
    // Only digits, a sign, separators and an exponent: from_chars would also
    // take "inf", "nan" and hexadecimal spellings no file holds.
    char text[kLongestToken];
    size_t length = 0;
    int separators = 0;
    for (const char c : unsigned_(token)) {
        if (c == ',' || c == '.') {
            ++separators;
            text[length++] = '.';
        } else if (isDigit(c) || c == '-' || c == '+' || c == 'e' || c == 'E') {
            text[length++] = c;
        } else {
            return false;
        }
    }
    if (separators > 1 || length == 0)
        return false;
    double result = 0.0;
    const auto [end, error] = std::from_chars(text, text + length, result);
    if (error != std::errc() || end != text + length || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

std::string formatGeneral(double value) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return std::string(text, result.ptr);
}
