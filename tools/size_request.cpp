// Output sizes: parsing and fitting.
#include "tools/size_request.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "tools/arguments.h"
#include "tools/values.h"

namespace talvrin::tool {

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();

// round(a * b / c) for positive a, b, c, halves up, held to at least 1; 128-bit-free because
// a and b are below 2^31.
std::int64_t scaled(std::int64_t a, std::int64_t b, std::int64_t c) {
    return std::max<std::int64_t>(1, (2 * a * b + c) / (2 * c));
}

}  // namespace

SizeRequest SizeRequest::parse(std::string_view option, std::string_view text) {
    SizeRequest s;
    const auto bad = [&]() -> UsageError {
        return UsageError(std::string(option) +
                          " wants WxH, W, xH or N% (e.g. 200x200, 200, x200, " + "50%), not '" +
                          std::string(text) + "'");
    };
    if (text.empty()) throw bad();
    if (text.back() == '%') {
        s.kind = Kind::kPercent;
        const std::string_view n = text.substr(0, text.size() - 1);
        if (n.empty() || n.find_first_not_of("0123456789.") != std::string_view::npos) throw bad();
        s.percent = decimalIn(option, n, 0, 100000);
        if (s.percent <= 0)
            throw UsageError(std::string(option) + ": " + std::string(text) +
                             " is out of range (above 0% and at most 100000%)");
        return s;
    }
    const auto x = text.find_first_of("xX");
    if (x == std::string_view::npos) {
        if (text.find_first_not_of("0123456789") != std::string_view::npos) throw bad();
        s.kind = Kind::kWidth;
        s.width = wholeIn(option, text, 1, kMaxSide);
        return s;
    }
    const std::string_view w = text.substr(0, x), h = text.substr(x + 1);
    if (h.empty() || h.find_first_not_of("0123456789") != std::string_view::npos ||
        w.find_first_not_of("0123456789") != std::string_view::npos)
        throw bad();
    s.height = wholeIn(option, h, 1, kMaxSide);
    if (w.empty()) {
        s.kind = Kind::kHeight;
        return s;
    }
    s.kind = Kind::kBox;
    s.width = wholeIn(option, w, 1, kMaxSide);
    return s;
}

std::pair<std::int64_t, std::int64_t> SizeRequest::fit(std::int64_t w, std::int64_t h) const {
    switch (kind) {
        case Kind::kWidth:
            return {width, scaled(h, width, w)};
        case Kind::kHeight:
            return {scaled(w, height, h), height};
        case Kind::kBox:
            // The box's width decides when width / w <= height / h, i.e. width * h <= height * w.
            if (width * h <= height * w) return {width, scaled(h, width, w)};
            return {scaled(w, height, h), height};
        case Kind::kPercent:
            break;
    }
    const auto side = [this](std::int64_t v) {
        const double r = std::floor(static_cast<double>(v) * percent / 100.0 + 0.5);
        return static_cast<std::int64_t>(std::clamp(r, 1.0, 1e15));
    };
    return {side(w), side(h)};
}

std::optional<std::pair<std::int64_t, std::int64_t>> SizeRequest::box() const {
    if (kind != Kind::kBox) return std::nullopt;
    return std::make_pair(width, height);
}

}  // namespace talvrin::tool
