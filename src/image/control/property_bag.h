// The stored property bag of an image control: typed values by key, keys compared without regard
// to case, kept in the order they were first written, with a readable text form.
//
// A write whose value equals the default the caller names stores nothing (and removes an earlier
// entry), so a bag holds only what differs from the defaults; keys the control does not know
// (for example the host's "_extentx" and "_extenty") are kept as they are.
//
// Text form, version 1: a JSON object written one member per line, the header first, then one
// line a property, its key in lower case and its value an object that names the type:
//   {"talvrin-properties": 1,
//   "image": {"bytes": "<base64>"},
//   "props": {"i32": 5}
//   }
// Types: "i32", "i16", "bool" (-1 true, 0 false), "f32", "bytes" and "picture" (base64; a picture
// is kept as its file's bytes). A number outside its type's range is refused, whatever its size.
// A damaged or truncated text restores every property whose line is whole and readable. A text
// longer than kMaxTextBytes, or with more than kMaxKeys members, is refused past the limit: the
// whole lines (or members) before it are restored. The header's name is never a property's key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace talvrin {

// A picture kept in the bag: the bytes of its file (icon, cursor, bitmap ...).
struct StoredPicture {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const StoredPicture&, const StoredPicture&) = default;
};

using PropertyValue =
    std::variant<std::int32_t, std::int16_t, bool, float, std::vector<std::uint8_t>, StoredPicture>;

class PropertyBag {
  public:
    // Typed reads: the stored value, or the default when the key is absent or holds a value of
    // a type that does not convert (integers of either width and booleans convert among each
    // other within range; integers convert to float; bytes and pictures only to themselves).
    [[nodiscard]] std::int32_t readInt32(std::string_view key, std::int32_t defaultValue) const;
    [[nodiscard]] std::int16_t readInt16(std::string_view key, std::int16_t defaultValue) const;
    [[nodiscard]] bool readBool(std::string_view key, bool defaultValue) const;
    [[nodiscard]] float readFloat(std::string_view key, float defaultValue) const;
    [[nodiscard]] std::vector<std::uint8_t> readBytes(std::string_view key) const;
    [[nodiscard]] std::optional<StoredPicture> readPicture(std::string_view key) const;

    // Typed writes: a value equal to the default removes the key instead.
    void writeInt32(std::string_view key, std::int32_t value, std::int32_t defaultValue);
    void writeInt16(std::string_view key, std::int16_t value, std::int16_t defaultValue);
    void writeBool(std::string_view key, bool value, bool defaultValue);
    void writeFloat(std::string_view key, float value, float defaultValue);
    // Bytes are always written (an empty array included); a picture is written when there is one.
    void writeBytes(std::string_view key, std::vector<std::uint8_t> value);
    void writePicture(std::string_view key, std::optional<StoredPicture> value);

    [[nodiscard]] bool contains(std::string_view key) const noexcept;
    void remove(std::string_view key) noexcept;
    // Every entry in order, keys in lower case.
    [[nodiscard]] const std::vector<std::pair<std::string, PropertyValue>>& entries()
        const noexcept {
        return entries_;
    }

    // Limits of the text form: far above what a control stores (two dozen keys and one image),
    // far below what would make a restore slow or large.
    static constexpr std::size_t kMaxTextBytes = std::size_t{64} << 20;
    static constexpr std::size_t kMaxKeys = 4096;

    // How a text form was read.
    enum class TextRead {
        Whole,    // one well-formed document
        Damaged,  // not one document: every whole, readable line was restored
        TooLarge  // over a limit: what came before the limit was restored
    };

    // The text form, and a bag read back from it (how it was read in *how, when given).
    [[nodiscard]] std::string toText() const;
    [[nodiscard]] static PropertyBag fromText(std::string_view text, TextRead* how = nullptr);

    friend bool operator==(const PropertyBag&, const PropertyBag&) = default;

  private:
    [[nodiscard]] const PropertyValue* find(std::string_view key) const noexcept;
    void put(std::string_view key, PropertyValue value);

    std::vector<std::pair<std::string, PropertyValue>> entries_;
    // Each key's position in entries_, so that a bag of many keys is restored in n log n.
    std::map<std::string, std::size_t, std::less<>> index_;
};

}  // namespace talvrin
