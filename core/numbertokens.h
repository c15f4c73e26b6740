#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The number syntax of the data files, one for both of them, so what one
// reader takes the other takes too. A token is an optional sign ('+' or
// '-') and decimal digits; a decimal number may also hold one decimal
// separator and an exponent ("e", an optional sign, digits). The separator
// is '.', as the files are written, or ',', which earlier builds wrote
// under a decimal-comma locale; both read as the number meant.

// A whole token as a 32-bit integer; false when any of it is not part of
// one or it lies beyond the 32-bit range.
[[nodiscard]] bool parseIntegerToken(std::string_view token, int32_t& value);
// A whole token as a finite decimal number.
[[nodiscard]] bool parseDecimalToken(std::string_view token, double& value);

// printf("%g") as it writes in the C locale, whatever the process's locale:
// six significant digits, no trailing zeros, '.' as the decimal point.
[[nodiscard]] std::string formatGeneral(double value);
