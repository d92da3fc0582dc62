// Checked size arithmetic. Every size computed from untrusted numbers (image dimensions, chunk
// lengths, offsets) goes through these, so an overflow becomes a clean failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

namespace talvrin {

// a + b, or nothing when the sum does not fit in T.
template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedAdd(T a, T b) noexcept {
    static_assert(std::is_integral_v<T>);
    T r{};
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// a - b, or nothing when the difference does not fit in T.
template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedSub(T a, T b) noexcept {
    static_assert(std::is_integral_v<T>);
    T r{};
    if (__builtin_sub_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// a * b, or nothing when the product does not fit in T.
template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedMul(T a, T b) noexcept {
    static_assert(std::is_integral_v<T>);
    T r{};
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}

// a * b * c, or nothing on overflow at either step.
template <typename T>
[[nodiscard]] constexpr std::optional<T> checkedMul(T a, T b, T c) noexcept {
    auto ab = checkedMul(a, b);
    if (!ab) return std::nullopt;
    return checkedMul(*ab, c);
}

// Converts between integer types, or nothing when the value does not fit the target.
template <typename To, typename From>
[[nodiscard]] constexpr std::optional<To> checkedCast(From v) noexcept {
    static_assert(std::is_integral_v<To> && std::is_integral_v<From>);
    if constexpr (std::is_signed_v<From> && !std::is_signed_v<To>) {
        if (v < 0) return std::nullopt;
    }
    if constexpr (std::is_signed_v<To> && !std::is_signed_v<From>) {
        if (v > static_cast<std::make_unsigned_t<To>>(std::numeric_limits<To>::max()))
            return std::nullopt;
    } else if constexpr (std::is_signed_v<To> == std::is_signed_v<From>) {
        if (v < std::numeric_limits<To>::min() || v > std::numeric_limits<To>::max())
            return std::nullopt;
    } else {
        // signed From, unsigned To: v >= 0 here
        if (static_cast<std::make_unsigned_t<From>>(v) > std::numeric_limits<To>::max())
            return std::nullopt;
    }
    return static_cast<To>(v);
}

// Bytes of a 32-bit image: width * height * 4, limited to the signed 32-bit range that every
// surface size must fit in. Nothing for non-positive or oversized dimensions.
[[nodiscard]] constexpr std::optional<std::int32_t> imageByteCount32(std::int32_t width,
                                                                     std::int32_t height) noexcept {
    if (width <= 0 || height <= 0) return std::nullopt;
    return checkedMul<std::int32_t>(width, height, 4);
}

}  // namespace talvrin
