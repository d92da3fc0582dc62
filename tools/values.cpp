// Option values: strict parsing (the whole text, no stray characters), then the range.
#include "tools/values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "tools/arguments.h"

namespace talvrin::tool {

namespace {

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string decimalText(double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

// The whole text as a 64-bit whole number (a leading '+' allowed); nothing otherwise.
std::optional<std::int64_t> whole(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return std::nullopt;
    return v;
}

}  // namespace

std::int64_t wholeIn(std::string_view option, std::string_view text, std::int64_t min,
                     std::int64_t max) {
    const auto v = whole(text);
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    if (!v) {
        // A number too long for 64 bits is still a number out of range.
        const bool digits =
            !text.empty() && text.find_first_not_of("+-0123456789") == std::string_view::npos;
        if (digits && text.size() > 18)
            throw UsageError(std::string(option) + ": " + std::string(text) + " is out of range " +
                             range);
        throw UsageError(std::string(option) + " wants a whole number in " + range + ", not " +
                         quoted(text));
    }
    if (*v < min || *v > max)
        throw UsageError(std::string(option) + ": " + std::string(text) + " is out of range " +
                         range);
    return *v;
}

std::int32_t wholeOneOf(std::string_view option, std::string_view text,
                        std::initializer_list<std::int32_t> allowed) {
    std::string list;
    for (const std::int32_t a : allowed)
        list += (list.empty() ? "" : ", ") + std::to_string(a);
    const auto v = whole(text);
    if (!v)
        throw UsageError(std::string(option) + " wants one of " + list + ", not " + quoted(text));
    for (const std::int32_t a : allowed)
        if (*v == a) return a;
    throw UsageError(std::string(option) + ": " + std::string(text) + " is not one of " + list);
}

double decimalIn(std::string_view option, std::string_view text, double min, double max) {
    std::string_view t = text;
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    const std::string range = decimalText(min) + ".." + decimalText(max);
    if (t.empty() || r.ec == std::errc::invalid_argument || r.ptr != t.data() + t.size() ||
        std::isnan(v))
        throw UsageError(std::string(option) + " wants a number in " + range + ", not " +
                         quoted(text));
    // A value too large to hold (1e999) is out of range like any other large one.
    if (r.ec == std::errc::result_out_of_range || !(v >= min && v <= max))
        throw UsageError(std::string(option) + ": " + std::string(text) + " is out of range " +
                         range);
    return v;
}

std::uint32_t colourOf(std::string_view option, std::string_view text) {
    std::string_view hex = text;
    if (!hex.empty() && hex.front() == '#') hex.remove_prefix(1);
    std::uint32_t rgb = 0;
    bool ok = hex.size() == 6;
    for (const char c : hex) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) ok = false;
        rgb = rgb << 4 | static_cast<std::uint32_t>(d & 15);
    }
    if (!ok)
        throw UsageError(std::string(option) + " wants a colour as rrggbb or #rrggbb, not " +
                         quoted(text));
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
}

std::pair<std::int32_t, std::int32_t> sizeIn(std::string_view option, std::string_view text,
                                             std::int32_t min, std::int32_t max) {
    const auto x = text.find_first_of("xX");
    const std::string range = std::to_string(min) + ".." + std::to_string(max);
    if (x == std::string_view::npos || !whole(text.substr(0, x)) || !whole(text.substr(x + 1)))
        throw UsageError(std::string(option) + " wants WxH (each side in " + range + "), not " +
                         quoted(text));
    const auto w = wholeIn(option, text.substr(0, x), min, max);
    const auto h = wholeIn(option, text.substr(x + 1), min, max);
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

std::uint64_t pixelBudgetOf(std::string_view option, std::string_view text) {
    if (text == "unlimited") return 0;
    const auto v = whole(text);
    if (!v && !(text.size() > 18 && text.find_first_not_of("0123456789") == std::string::npos))
        throw UsageError(std::string(option) + " wants a number of pixels or 'unlimited', not " +
                         quoted(text));
    return static_cast<std::uint64_t>(
        wholeIn(option, text, 1, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace talvrin::tool
