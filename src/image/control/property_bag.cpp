#include "image/control/property_bag.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "base/base64.h"

namespace talvrin {

namespace {

using Json = nlohmann::ordered_json;  // keeps the members in the order written

constexpr std::string_view kHeader = "talvrin-properties";

std::string lowered(std::string_view key) {
    std::string out(key);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The integer a value holds, for the integer and boolean types (booleans as -1 and 0).
std::optional<std::int64_t> integerOf(const PropertyValue& v) {
    if (const auto* i = std::get_if<std::int32_t>(&v)) return *i;
    if (const auto* s = std::get_if<std::int16_t>(&v)) return *s;
    if (const auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    return std::nullopt;
}

// A value's text: {"type": value}, with a space after the colon as in the rest of the form.
std::string valueText(const PropertyValue& v) {
    struct Visitor {
        std::string operator()(std::int32_t i) const { return member("i32", Json(i)); }
        std::string operator()(std::int16_t i) const { return member("i16", Json(i)); }
        std::string operator()(bool b) const { return member("bool", Json(b ? -1 : 0)); }
        std::string operator()(float f) const { return member("f32", Json(f)); }
        std::string operator()(const std::vector<std::uint8_t>& b) const {
            return member("bytes", Json(base64Encode(b)));
        }
        std::string operator()(const StoredPicture& p) const {
            return member("picture", Json(base64Encode(p.bytes)));
        }
        static std::string member(const char* type, const Json& value) {
            return "{\"" + std::string(type) + "\": " + value.dump() + "}";
        }
    };
    return std::visit(Visitor{}, v);
}

// The value an entry's JSON names, or nothing when the type is unknown or the value does not
// fit it.
std::optional<PropertyValue> fromJson(const Json& j) {
    if (!j.is_object() || j.size() != 1) return std::nullopt;
    const std::string& type = j.begin().key();
    const Json& value = j.begin().value();
    const auto integer = [&value](std::int64_t lo, std::int64_t hi) -> std::optional<std::int64_t> {
        if (!value.is_number_integer()) return std::nullopt;
        const auto v = value.get<std::int64_t>();
        if (v < lo || v > hi) return std::nullopt;
        return v;
    };
    if (type == "i32") {
        if (const auto v = integer(std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max()))
            return PropertyValue(static_cast<std::int32_t>(*v));
    } else if (type == "i16") {
        if (const auto v = integer(std::numeric_limits<std::int16_t>::min(),
                                   std::numeric_limits<std::int16_t>::max()))
            return PropertyValue(static_cast<std::int16_t>(*v));
    } else if (type == "bool") {
        if (const auto v = integer(-1, 1)) return PropertyValue(*v != 0);
    } else if (type == "f32") {
        if (value.is_number()) {
            const double d = value.get<double>();
            if (std::isfinite(d) && std::fabs(d) <= std::numeric_limits<float>::max())
                return PropertyValue(static_cast<float>(d));
        }
    } else if (type == "bytes" || type == "picture") {
        if (!value.is_string()) return std::nullopt;
        auto bytes = base64Decode(value.get_ref<const std::string&>());
        if (!bytes) return std::nullopt;
        if (type == "bytes") return PropertyValue(std::move(*bytes));
        return PropertyValue(StoredPicture{std::move(*bytes)});
    }
    return std::nullopt;
}

// Adds the members of a parsed object, skipping the header and anything unreadable.
void addMembers(const Json& object, PropertyBag& bag,
                void (*add)(PropertyBag&, const std::string&, PropertyValue)) {
    if (!object.is_object()) return;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == kHeader) continue;
        if (auto v = fromJson(it.value())) add(bag, it.key(), std::move(*v));
    }
}

}  // namespace

const PropertyValue* PropertyBag::find(std::string_view key) const noexcept {
    for (const auto& [k, v] : entries_) {
        if (k.size() != key.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < k.size() && same; ++i) {
            char c = key[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = k[i] == c;
        }
        if (same) return &v;
    }
    return nullptr;
}

void PropertyBag::put(std::string_view key, PropertyValue value) {
    const std::string k = lowered(key);
    for (auto& entry : entries_) {
        if (entry.first == k) {
            entry.second = std::move(value);
            return;
        }
    }
    entries_.emplace_back(k, std::move(value));
}

bool PropertyBag::contains(std::string_view key) const noexcept {
    return find(key) != nullptr;
}

void PropertyBag::remove(std::string_view key) noexcept {
    const PropertyValue* at = find(key);
    if (!at) return;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (&it->second == at) {
            entries_.erase(it);
            return;
        }
    }
}

std::int32_t PropertyBag::readInt32(std::string_view key, std::int32_t defaultValue) const {
    const PropertyValue* v = find(key);
    const auto i = v ? integerOf(*v) : std::nullopt;
    return i ? static_cast<std::int32_t>(*i) : defaultValue;
}

std::int16_t PropertyBag::readInt16(std::string_view key, std::int16_t defaultValue) const {
    const PropertyValue* v = find(key);
    const auto i = v ? integerOf(*v) : std::nullopt;
    if (!i || *i < std::numeric_limits<std::int16_t>::min() ||
        *i > std::numeric_limits<std::int16_t>::max())
        return defaultValue;
    return static_cast<std::int16_t>(*i);
}

bool PropertyBag::readBool(std::string_view key, bool defaultValue) const {
    const PropertyValue* v = find(key);
    const auto i = v ? integerOf(*v) : std::nullopt;
    return i ? *i != 0 : defaultValue;
}

float PropertyBag::readFloat(std::string_view key, float defaultValue) const {
    const PropertyValue* v = find(key);
    if (!v) return defaultValue;
    if (const auto* f = std::get_if<float>(v)) return *f;
    const auto i = integerOf(*v);
    return i ? static_cast<float>(*i) : defaultValue;
}

std::vector<std::uint8_t> PropertyBag::readBytes(std::string_view key) const {
    const PropertyValue* v = find(key);
    const auto* b = v ? std::get_if<std::vector<std::uint8_t>>(v) : nullptr;
    return b ? *b : std::vector<std::uint8_t>{};
}

std::optional<StoredPicture> PropertyBag::readPicture(std::string_view key) const {
    const PropertyValue* v = find(key);
    const auto* p = v ? std::get_if<StoredPicture>(v) : nullptr;
    if (!p) return std::nullopt;
    return *p;
}

void PropertyBag::writeInt32(std::string_view key, std::int32_t value, std::int32_t defaultValue) {
    value == defaultValue ? remove(key) : put(key, value);
}
void PropertyBag::writeInt16(std::string_view key, std::int16_t value, std::int16_t defaultValue) {
    value == defaultValue ? remove(key) : put(key, value);
}
void PropertyBag::writeBool(std::string_view key, bool value, bool defaultValue) {
    value == defaultValue ? remove(key) : put(key, value);
}
void PropertyBag::writeFloat(std::string_view key, float value, float defaultValue) {
    value == defaultValue ? remove(key) : put(key, value);
}
void PropertyBag::writeBytes(std::string_view key, std::vector<std::uint8_t> value) {
    put(key, std::move(value));
}
void PropertyBag::writePicture(std::string_view key, std::optional<StoredPicture> value) {
    value ? put(key, std::move(*value)) : remove(key);
}

std::string PropertyBag::toText() const {
    std::string out = "{\"" + std::string(kHeader) + "\": 1";
    for (const auto& [key, value] : entries_) {
        out += ",\n";
        out += Json(key).dump();
        out += ": ";
        out += valueText(value);
    }
    out += "\n}\n";
    return out;
}

PropertyBag PropertyBag::fromText(std::string_view text) {
    PropertyBag bag;
    const auto add = [](PropertyBag& b, const std::string& key, PropertyValue v) {
        b.put(key, std::move(v));
    };
    // The whole document, when it is whole.
    const Json whole = Json::parse(text, nullptr, false);
    if (!whole.is_discarded()) {
        addMembers(whole, bag, add);
        return bag;
    }
    // Damaged: one member a line, so every whole line can still be read on its own.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == ',' || line.back() == ' ' || line.back() == '\r'))
            line.remove_suffix(1);
        if (!line.empty() && line.front() == '{') line.remove_prefix(1);
        if (line.empty() || line.front() != '"') continue;
        const Json member = Json::parse("{" + std::string(line) + "}", nullptr, false);
        if (!member.is_discarded()) addMembers(member, bag, add);
    }
    return bag;
}

}  // namespace talvrin
