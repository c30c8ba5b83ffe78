// Strict conversion of text to numbers.
//
// The whole text must be the number: no leading or trailing blanks, no
// trailing characters, and the value must fit the target type. A failed
// conversion gives an empty optional, never a silent 0.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace lattis {

// Takes an optional leading '+' off `s` (from_chars accepts only '-'); false
// when no number can follow: the text is empty, or "+" is followed by '-'.
inline bool dropPlusSign(std::string_view& s) {
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') return false;
    }
    return !s.empty();
}

template <class T>
std::optional<T> parseInteger(std::string_view s) {
    static_assert(std::is_integral_v<T>);
    if (!dropPlusSign(s)) return std::nullopt;
    T value{};
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Decimal or exponent notation with an optional sign; "inf" and "nan" are
// accepted as from_chars accepts them, so callers that need a finite value
// must test for it. Out-of-range magnitudes are refused.
inline std::optional<double> parseReal(std::string_view s) {
    if (!dropPlusSign(s)) return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace lattis
