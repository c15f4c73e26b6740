#pragma once

#include <string>
#include <string_view>

namespace errors {

// A share in the two-digit general notation of the cumulative profile:
// rounded to two significant digits (a third digit of 5 or more rounds up),
// trailing zeros dropped, plain below 1000 and from 0.001 up ("67", "6.3",
// "0.5", "50"), otherwise scientific ("1E2", "1E-5"). `decimalPoint` is the
// user's decimal separator.
[[nodiscard]] std::string generalNotation(float value, std::string_view decimalPoint);

} // namespace errors
