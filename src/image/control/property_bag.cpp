#include "image/control/property_bag.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "base/base64.h"

namespace talvrin {

namespace {

// Objects as sorted maps. The top-level members are read one by one in their order by
// MemberReader: the library's ordered objects look each member up by a linear scan, and its
// parser callbacks scan the parent after every nested value, both quadratic in the members.
using Json = nlohmann::json;

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
        // Non-negative numbers are parsed unsigned: compared as such, 2^64 - 1 is not -1.
        if (value.is_number_unsigned()) {
            const auto u = value.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(hi)) return std::nullopt;
            return static_cast<std::int64_t>(u);
        }
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

bool isHeader(std::string_view loweredKey) {
    return loweredKey == kHeader;
}

// Reads a whole document through the parser's event interface: the top-level object's members
// in their order (past PropertyBag::kMaxKeys only counted), each value built as a Json.
class MemberReader {
  public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    bool null() { return value(Json(nullptr)); }
    bool boolean(bool b) { return value(Json(b)); }
    bool number_integer(number_integer_t v) { return value(Json(v)); }
    bool number_unsigned(number_unsigned_t v) { return value(Json(v)); }
    bool number_float(number_float_t v, const string_t&) { return value(Json(v)); }
    bool string(string_t& v) { return value(Json(std::move(v))); }
    bool binary(binary_t& v) { return value(Json::binary(std::move(v))); }
    bool start_object(std::size_t) {
        open_.push_back({Json::object(), {}});
        return true;
    }
    bool start_array(std::size_t) {
        open_.push_back({Json::array(), {}});
        return true;
    }
    bool key(string_t& k) {
        open_.back().key = std::move(k);
        return true;
    }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    template <typename Exception>
    bool parse_error(std::size_t, const std::string&, const Exception&) {
        return false;
    }

    // The members in order, whether the document was an object, and whether members past the
    // key limit were left out.
    std::vector<std::pair<std::string, Json>> members;
    bool rootIsObject = false;
    bool overKeys = false;

  private:
    struct Open {
        Json container;
        std::string key;  // the key of the next member, in an object
    };

    bool close() {
        Json done = std::move(open_.back().container);
        open_.pop_back();
        if (open_.empty()) {
            rootIsObject = done.is_object();
            return true;
        }
        return value(std::move(done));
    }
    bool value(Json v) {
        if (open_.empty()) return true;  // a document that is one plain value
        Open& parent = open_.back();
        if (open_.size() == 1 && parent.container.is_object()) {
            if (isHeader(lowered(parent.key))) return true;
            if (members.size() == PropertyBag::kMaxKeys) {
                overKeys = true;
                return true;
            }
            members.emplace_back(std::move(parent.key), std::move(v));
        } else if (parent.container.is_object()) {
            parent.container[parent.key] = std::move(v);  // a repeated key: the last one holds
        } else {
            parent.container.push_back(std::move(v));
        }
        return true;
    }

    std::vector<Open> open_;
};

// The lines of a text that is not one document, each read as one member; false when members
// past the key limit were left unread.
bool addLines(std::string_view text,
              const std::function<void(const std::string&, PropertyValue)>& add) {
    std::size_t members = 0;
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
        if (member.is_discarded() || member.size() != 1) continue;
        const std::string& key = member.begin().key();
        if (isHeader(lowered(key))) continue;
        if (members == PropertyBag::kMaxKeys) return false;
        ++members;
        if (auto v = fromJson(member.begin().value())) add(key, std::move(*v));
    }
    return true;
}

}  // namespace

const PropertyValue* PropertyBag::find(std::string_view key) const noexcept {
    try {
        const auto it = index_.find(lowered(key));
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    } catch (...) {
        return nullptr;  // out of memory for the lowered key
    }
}

void PropertyBag::put(std::string_view key, PropertyValue value) {
    std::string k = lowered(key);
    if (isHeader(k)) return;  // the text form's header line: a member by that name would be lost
    const auto [it, added] = index_.try_emplace(std::move(k), entries_.size());
    if (!added) {
        entries_[it->second].second = std::move(value);
        return;
    }
    try {
        entries_.emplace_back(it->first, std::move(value));
    } catch (...) {
        index_.erase(it);
        throw;
    }
}

bool PropertyBag::contains(std::string_view key) const noexcept {
    return find(key) != nullptr;
}

void PropertyBag::remove(std::string_view key) noexcept {
    try {
        const auto it = index_.find(lowered(key));
        if (it == index_.end()) return;
        const std::size_t at = it->second;
        index_.erase(it);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
        for (auto& [k, position] : index_)
            if (position > at) --position;
    } catch (...) {
        // out of memory for the lowered key: nothing was removed
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

PropertyBag PropertyBag::fromText(std::string_view text, TextRead* how) {
    PropertyBag bag;
    TextRead read = TextRead::Whole;
    const auto add = [&bag](const std::string& key, PropertyValue v) {
        bag.put(key, std::move(v));
    };

    // Past the byte limit only the whole lines before it are read.
    if (text.size() > kMaxTextBytes) {
        read = TextRead::TooLarge;
        const std::size_t lastBreak = text.rfind('\n', kMaxTextBytes - 1);
        text = text.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak + 1);
    } else {
        // The whole document, when it is whole.
        MemberReader reader;
        if (Json::sax_parse(text, &reader)) {
            for (auto& [key, value] : reader.members)
                if (auto v = fromJson(value)) add(key, std::move(*v));
            read = !reader.rootIsObject ? TextRead::Damaged
                   : reader.overKeys    ? TextRead::TooLarge
                                        : TextRead::Whole;
            if (how) *how = read;
            return bag;
        }
        read = TextRead::Damaged;
    }
    // Not one document: one member a line, so every whole line can still be read on its own.
    if (!addLines(text, add)) read = TextRead::TooLarge;
    if (how) *how = read;
    return bag;
}

}  // namespace talvrin
