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
// is kept as its file's bytes). A damaged or truncated text restores every property whose line
// is whole and readable.
#pragma once

#include <cstdint>
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

    // The text form, and a bag read back from it.
    [[nodiscard]] std::string toText() const;
    [[nodiscard]] static PropertyBag fromText(std::string_view text);

    friend bool operator==(const PropertyBag&, const PropertyBag&) = default;

  private:
    [[nodiscard]] const PropertyValue* find(std::string_view key) const noexcept;
    void put(std::string_view key, PropertyValue value);

    std::vector<std::pair<std::string, PropertyValue>> entries_;
};

}  // namespace talvrin
