// The stored property bag: typed values by key without regard to case, defaults not written,
// unknown keys kept, and a text form that survives damage as far as it can.
#include "image/control/property_bag.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/base64.h"

namespace talvrin {
namespace {

PropertyBag sampleBag() {
    PropertyBag bag;
    bag.writeBytes("Image", {0x89, 'P', 'N', 'G', 0, 255});
    bag.writeInt32("Props", 5, 1);
    bag.writeInt16("MPointer", -7, 0);
    bag.writeBool("MaskUsed", true, false);
    bag.writeFloat("Intensity", -12.5f, 0);
    bag.writePicture("MIcon", StoredPicture{{0, 0, 2, 0, 1, 0}});
    bag.writeInt32("_extentx", 3387, 0);
    return bag;
}

TEST(PropertyBag, TypedValuesByKeyWithoutCaseAndDefaultsNotWritten) {
    PropertyBag bag = sampleBag();
    EXPECT_EQ(bag.readInt32("props", 1), 5);
    EXPECT_EQ(bag.readInt32("PROPS", 1), 5);
    EXPECT_EQ(bag.readInt16("mpointer", 0), -7);
    EXPECT_TRUE(bag.readBool("maskused", false));
    EXPECT_FLOAT_EQ(bag.readFloat("Intensity", 0), -12.5f);
    EXPECT_EQ(bag.readBytes("image"), (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0, 255}));
    EXPECT_EQ(bag.readPicture("micon")->bytes, (std::vector<std::uint8_t>{0, 0, 2, 0, 1, 0}));
    // Absent keys and values of a type that does not convert give the default.
    EXPECT_EQ(bag.readInt32("Scaler", 3), 3);
    EXPECT_EQ(bag.readInt32("Image", 9), 9);
    EXPECT_FALSE(bag.readPicture("Image").has_value());
    // Integer widths and booleans convert among each other within range.
    EXPECT_EQ(bag.readInt32("MaskUsed", 0), -1);
    EXPECT_EQ(bag.readInt16("_extentx", 0), 3387);
    bag.writeInt32("big", 70000, 0);
    EXPECT_EQ(bag.readInt16("big", 4), 4);
    // Writing a default removes the entry; the others keep their order, keys in lower case.
    bag.writeInt32("PROPS", 1, 1);
    EXPECT_FALSE(bag.contains("props"));
    std::vector<std::string> keys;
    for (const auto& [k, v] : bag.entries())
        keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"image", "mpointer", "maskused", "intensity", "micon",
                                              "_extentx", "big"}));
    // Every key after the removed one is still found at its new place.
    EXPECT_EQ(bag.readInt32("_extentx", 0), 3387);
    EXPECT_EQ(bag.readInt32("BIG", 0), 70000);
    bag.writeInt32("props", 9, 1);
    EXPECT_EQ(bag.entries().back().first, "props");
    EXPECT_EQ(bag.readInt32("Props", 1), 9);
}

TEST(PropertyBag, TextFormRoundTripsAndSurvivesDamage) {
    const PropertyBag bag = sampleBag();
    const std::string text = bag.toText();
    EXPECT_EQ(text.rfind("{\"talvrin-properties\": 1,\n\"image\": {\"bytes\": \"iVBORwD/\"},\n", 0),
              0u)
        << text;
    EXPECT_EQ(PropertyBag::fromText(text), bag);
    // Cut anywhere: never more than the bag held, and every whole line before the cut is kept.
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const std::string part = text.substr(0, cut);
        const PropertyBag restored = PropertyBag::fromText(part);
        const std::size_t wholeLines = std::count(part.begin(), part.end(), '\n');
        const std::size_t properties = wholeLines == 0 ? 0 : wholeLines - 1;  // header line
        EXPECT_GE(restored.entries().size(), std::min(properties, bag.entries().size()))
            << "cut at " << cut;
        EXPECT_LE(restored.entries().size(), bag.entries().size());
        for (const auto& [k, v] : restored.entries()) {
            ASSERT_TRUE(bag.contains(k));
        }
    }
    // A damaged line drops only itself; wrong types and values out of range are ignored.
    const PropertyBag damaged = PropertyBag::fromText(
        "{\"talvrin-properties\": 1,\n\"a\": {\"i32\": 1},\n\"b\": {\"i32\": 1\n"
        "\"c\": {\"i16\": 40000},\n\"d\": {\"bytes\": \"not base64!\"},\n\"e\": {\"xyz\": 1},\n"
        "\"f\": {\"f32\": 2.5}\n}\n");
    EXPECT_EQ(damaged.readInt32("a", 0), 1);
    EXPECT_FALSE(damaged.contains("b"));
    EXPECT_FALSE(damaged.contains("c"));
    EXPECT_FALSE(damaged.contains("d"));
    EXPECT_FALSE(damaged.contains("e"));
    EXPECT_FLOAT_EQ(damaged.readFloat("f", 0), 2.5f);
    EXPECT_TRUE(PropertyBag::fromText("").entries().empty());
    EXPECT_TRUE(PropertyBag::fromText("\xFF\xFE garbage {{{").entries().empty());
}

// A stored number is refused when it lies outside its type's range, however far and of either
// sign: no wrap of 2^64 - x to -x.
TEST(PropertyBag, NumbersOutsideTheirTypesRangeAreRefused) {
    struct Case {
        const char* type;
        const char* number;
        std::optional<std::int32_t> kept;
    };
    for (const Case& c :
         std::vector<Case>{{"i32", "2147483647", 2147483647},
                           {"i32", "-2147483648", INT32_MIN},
                           {"i32", "2147483648", {}},
                           {"i32", "-2147483649", {}},
                           {"i32", "4294967295", {}},
                           {"i32", "18446744073709551566", {}},  // 2^64 - 50, once opacity 50
                           {"i32", "18446744073709551615", {}},  // 2^64 - 1, once flags 0x1fd
                           {"i32", "9223372036854775808", {}},
                           {"i32", "-9223372036854775808", {}},
                           {"i32", "99999999999999999999999", {}},  // past 64 bits: a float
                           {"i32", "-99999999999999999999999", {}},
                           {"i32", "5.0", {}},
                           {"i16", "32767", 32767},
                           {"i16", "-32768", -32768},
                           {"i16", "65535", {}},
                           {"i16", "18446744073709551615", {}},
                           {"i16", "-32769", {}},
                           {"bool", "-1", -1},
                           {"bool", "1", -1},
                           {"bool", "2", {}},
                           {"bool", "18446744073709551615", {}}}) {
        const std::string member =
            std::string("\"opacity\": {\"") + c.type + "\": " + c.number + "}";
        for (const std::string& text :
             {"{\"talvrin-properties\": 1,\n" + member + "\n}\n",   // whole
              "{\"talvrin-properties\": 1,\n" + member + ",\n"}) {  // damaged
            const PropertyBag bag = PropertyBag::fromText(text);
            EXPECT_EQ(bag.contains("Opacity"), c.kept.has_value()) << text;
            EXPECT_EQ(bag.readInt32("Opacity", 100), c.kept.value_or(100)) << text;
        }
    }
}

// The header line's name is never a property: a member by that name would be written as a second
// header and lost on the next read.
TEST(PropertyBag, HeaderNameIsNoPropertyKey) {
    for (const char* key : {"talvrin-properties", "Talvrin-Properties", "TALVRIN-PROPERTIES"}) {
        PropertyBag bag;
        bag.writeInt32(key, 7, 0);
        bag.writeBytes(key, {1, 2});
        EXPECT_FALSE(bag.contains(key));
        EXPECT_TRUE(bag.entries().empty());
        const std::string member = std::string("\"") + key + "\": {\"i32\": 7}";
        for (const std::string& text :
             {"{\"talvrin-properties\": 1,\n" + member + ",\n\"a\": {\"i32\": 1}\n}\n",
              "{\"talvrin-properties\": 1,\n" + member + ",\n\"a\": {\"i32\": 1},\n"}) {
            const PropertyBag restored = PropertyBag::fromText(text);
            EXPECT_FALSE(restored.contains(key)) << text;
            EXPECT_EQ(restored.entries().size(), 1u) << text;
            EXPECT_EQ(PropertyBag::fromText(restored.toText()), restored);
        }
    }
}

// A text over the key or byte limit is refused past it, the members before it restored.
TEST(PropertyBag, TextOverItsLimitsRestoresWhatCameBefore) {
    using Read = PropertyBag::TextRead;
    const auto members = [](std::size_t n) {
        std::string text = "{\"talvrin-properties\": 1";
        for (std::size_t i = 0; i < n; ++i)
            text += ",\n\"k" + std::to_string(i) + "\": {\"i32\": " + std::to_string(i + 1) + "}";
        return text;
    };
    constexpr std::size_t kKeys = PropertyBag::kMaxKeys;
    // Past the byte limit: a last line that crosses it.
    std::string overBytes = members(3) + ",\n\"image\": {\"bytes\": \"";
    overBytes.append(PropertyBag::kMaxTextBytes - overBytes.size(), 'A');
    overBytes += "AAAA\"}\n}\n";
    struct Case {
        const char* what;
        std::string text;
        Read read;
        std::size_t restored;
    };
    for (const Case& c : std::vector<Case>{
             {"whole, at the key limit", members(kKeys) + "\n}\n", Read::Whole, kKeys},
             {"damaged, at the key limit", members(kKeys) + ",\n", Read::Damaged, kKeys},
             {"whole, over the key limit", members(kKeys + 5) + "\n}\n", Read::TooLarge, kKeys},
             {"damaged, over the key limit", members(kKeys + 5) + ",\n", Read::TooLarge, kKeys},
             // 2.7 MB, once 30 s of lookups: each key was found or added by a linear scan.
             {"whole, 100,000 keys", members(100000) + "\n}\n", Read::TooLarge, kKeys},
             {"over the byte limit", std::move(overBytes), Read::TooLarge, 3}}) {
        Read read{};
        const PropertyBag bag = PropertyBag::fromText(c.text, &read);
        EXPECT_EQ(read, c.read) << c.what;
        ASSERT_EQ(bag.entries().size(), c.restored) << c.what;
        for (std::size_t i = 0; i < c.restored; ++i)
            EXPECT_EQ(bag.readInt32("k" + std::to_string(i), 0), static_cast<std::int32_t>(i + 1))
                << c.what;
        EXPECT_FALSE(bag.contains("image")) << c.what;
    }
}

TEST(Base64, EncodesAndRefusesWhatIsNotBase64) {
    for (const auto& [bytes, text] : std::vector<std::pair<std::vector<std::uint8_t>, std::string>>{
             {{}, ""},
             {{'f'}, "Zg=="},
             {{'f', 'o'}, "Zm8="},
             {{'f', 'o', 'o'}, "Zm9v"},
             {{0xFF, 0xFE, 0xFD, 0}, "//79AA=="}}) {
        EXPECT_EQ(base64Encode(bytes), text);
        EXPECT_EQ(base64Decode(text), bytes) << text;
    }
    for (const char* bad : {"Zg=", "Z===", "Zg=a", "Zm9v!A==", "=Zg=", "Zg==Zg=="})
        EXPECT_FALSE(base64Decode(bad).has_value()) << bad;
}

}  // namespace
}  // namespace talvrin
