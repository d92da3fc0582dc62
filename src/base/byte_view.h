// A bounds-checked, non-owning view of bytes for decoders. Every read either succeeds inside
// the view or reports failure; nothing reads outside the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace talvrin {

class ByteView {
  public:
    constexpr ByteView() noexcept = default;
    constexpr ByteView(const std::uint8_t* data, std::size_t size) noexcept
        : data_(size ? data : nullptr), size_(data ? size : 0) {}
    constexpr ByteView(std::span<const std::uint8_t> s) noexcept  // NOLINT: implicit by design
        : ByteView(s.data(), s.size()) {}

    [[nodiscard]] constexpr const std::uint8_t* data() const noexcept { return data_; }
    [[nodiscard]] constexpr std::size_t size() const noexcept { return size_; }
    [[nodiscard]] constexpr bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] std::span<const std::uint8_t> span() const noexcept { return {data_, size_}; }

    // True when [offset, offset + count) lies inside the view (no overflow possible).
    [[nodiscard]] constexpr bool contains(std::uint64_t offset,
                                          std::uint64_t count) const noexcept {
        return offset <= size_ && count <= size_ - offset;
    }

    // The sub-range [offset, offset + count), or nothing when it leaves the view.
    [[nodiscard]] constexpr std::optional<ByteView> sub(std::uint64_t offset,
                                                        std::uint64_t count) const noexcept {
        if (!contains(offset, count)) return std::nullopt;
        return ByteView(data_ + offset, static_cast<std::size_t>(count));
    }
    // Everything from offset to the end (empty when offset is at or past the end).
    [[nodiscard]] constexpr ByteView from(std::uint64_t offset) const noexcept {
        if (offset >= size_) return {};
        return ByteView(data_ + offset, size_ - static_cast<std::size_t>(offset));
    }

    [[nodiscard]] constexpr std::optional<std::uint8_t> u8(std::uint64_t at) const noexcept {
        if (!contains(at, 1)) return std::nullopt;
        return data_[at];
    }
    [[nodiscard]] std::optional<std::uint16_t> u16le(std::uint64_t at) const noexcept {
        if (!contains(at, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8));
    }
    [[nodiscard]] std::optional<std::uint16_t> u16be(std::uint64_t at) const noexcept {
        if (!contains(at, 2)) return std::nullopt;
        return static_cast<std::uint16_t>((data_[at] << 8) | data_[at + 1]);
    }
    [[nodiscard]] std::optional<std::uint32_t> u32le(std::uint64_t at) const noexcept {
        if (!contains(at, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(data_[at]) |
               (static_cast<std::uint32_t>(data_[at + 1]) << 8) |
               (static_cast<std::uint32_t>(data_[at + 2]) << 16) |
               (static_cast<std::uint32_t>(data_[at + 3]) << 24);
    }
    [[nodiscard]] std::optional<std::uint32_t> u32be(std::uint64_t at) const noexcept {
        if (!contains(at, 4)) return std::nullopt;
        return (static_cast<std::uint32_t>(data_[at]) << 24) |
               (static_cast<std::uint32_t>(data_[at + 1]) << 16) |
               (static_cast<std::uint32_t>(data_[at + 2]) << 8) |
               static_cast<std::uint32_t>(data_[at + 3]);
    }
    [[nodiscard]] std::optional<std::int32_t> i32le(std::uint64_t at) const noexcept {
        auto v = u32le(at);
        if (!v) return std::nullopt;
        return static_cast<std::int32_t>(*v);
    }
    // Copies count bytes at offset into out; false (out untouched) when the range leaves the view.
    bool copy(std::uint64_t at, void* out, std::size_t count) const noexcept {
        if (!contains(at, count)) return false;
        if (count) std::memcpy(out, data_ + at, count);
        return true;
    }

  private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A reading cursor over a ByteView: sequential reads that fail cleanly at the end.
class ByteReader {
  public:
    explicit ByteReader(ByteView v) noexcept : view_(v) {}
    [[nodiscard]] std::size_t position() const noexcept { return pos_; }
    [[nodiscard]] std::size_t remaining() const noexcept { return view_.size() - pos_; }
    [[nodiscard]] bool atEnd() const noexcept { return pos_ >= view_.size(); }
    bool seek(std::uint64_t pos) noexcept {
        if (pos > view_.size()) return false;
        pos_ = static_cast<std::size_t>(pos);
        return true;
    }
    bool skip(std::uint64_t n) noexcept {
        if (!view_.contains(pos_, n)) return false;
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    std::optional<std::uint8_t> u8() noexcept { return advance(view_.u8(pos_), 1); }
    std::optional<std::uint16_t> u16le() noexcept { return advance(view_.u16le(pos_), 2); }
    std::optional<std::uint16_t> u16be() noexcept { return advance(view_.u16be(pos_), 2); }
    std::optional<std::uint32_t> u32le() noexcept { return advance(view_.u32le(pos_), 4); }
    std::optional<std::uint32_t> u32be() noexcept { return advance(view_.u32be(pos_), 4); }
    std::optional<ByteView> bytes(std::uint64_t n) noexcept {
        return advance(view_.sub(pos_, n), n);
    }

  private:
    template <typename T>
    std::optional<T> advance(std::optional<T> v, std::uint64_t n) noexcept {
        if (v) pos_ += static_cast<std::size_t>(n);
        return v;
    }
    ByteView view_;
    std::size_t pos_ = 0;
};

}  // namespace talvrin
