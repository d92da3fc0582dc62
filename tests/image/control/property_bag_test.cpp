// The stored property bag: typed values by key without regard to case, defaults not written,
// unknown keys kept, and a text form that survives damage as far as it can.
#include "image/control/property_bag.h"

#include <gtest/gtest.h>

#include <string>

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
