// The settings record as a map of decimal preference entries.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "Digitizers/Orvel/Zent_Orvel_Prefs.h"
#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

using Zent::Orvel::itostring;
using Zent::Orvel::PrefsMap;
using Zent::Orvel::Settings;
using Zent::Orvel::stringtoi;

namespace {

// Every key, in visiting order, with the offset and width of its field in the
// shared layout.
struct KeyField {
    const char* key;
    std::size_t offset;
    std::size_t width;
};

const std::vector<KeyField> kKeys = {
    {"genlock", 0, 4},
    {"direction", 4, 4},
    {"videoinformat", 8, 4},
    {"videoinmode", 12, 4},
    {"videoincompositentsctype", 16, 4},
    {"videoincomponenttype", 20, 4},
    {"videooutformat", 24, 4},
    {"videooutcompositentsctype", 36, 4},
    {"videooutcomponenttype", 40, 4},
    {"videooutmode", 28, 4},
    {"videooutanalogmonitoringmode", 32, 4},
    {"framerate", 44, 4},
    {"framegeometry", 48, 4},
    {"standard", 52, 4},
    {"audioinformat", 56, 4},
    {"audioinwordsize", 60, 4},
    {"audioinsamplerate", 64, 4},
    {"audioinsynchronous", 68, 4},
    {"audioinmute", 72, 4},
    {"audioin0gain", 76, 4},
    {"audioin1gain", 80, 4},
    {"audioin2gain", 84, 4},
    {"audioin3gain", 88, 4},
    {"audioin0gainadj", 92, 2},
    {"audioin1gainadj", 94, 2},
    {"audioin2gainadj", 96, 2},
    {"audioin3gainadj", 98, 2},
    {"audiooutformat", 100, 4},
    {"audiooutwordsize", 104, 4},
    {"audiooutsamplerate", 108, 4},
    {"audiooutsynchronous", 112, 4},
    {"audiooutmute", 116, 4},
    {"audioout0gain", 120, 4},
    {"audioout1gain", 124, 4},
    {"audioout2gain", 128, 4},
    {"audioout3gain", 132, 4},
    {"audioout0gainadj", 136, 2},
    {"audioout1gainadj", 138, 2},
    {"audioout2gainadj", 140, 2},
    {"audioout3gainadj", 142, 2},
    {"avsyncStartVideoAfterAudioWait", 144, 2},
    {"avsyncReleaseAudioAfterVideoWait", 146, 2},
    {"avsyncNewMode", 148, 2},
};

// The field as the signed int GetPrefs writes: 32-bit codes as int,
// 16-bit values sign-extended.
int FieldAt(const Settings& inSettings, const KeyField& inField)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&inSettings);
    if (inField.width == 4) {
        SInt32 value;
        std::memcpy(&value, bytes + inField.offset, 4);
        return value;
    }
    SInt16 value;
    std::memcpy(&value, bytes + inField.offset, 2);
    return value;
}

void SetFieldAt(Settings& ioSettings, const KeyField& inField, int inValue)
{
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&ioSettings);
    if (inField.width == 4) {
        std::memcpy(bytes + inField.offset, &inValue, 4);
    } else {
        const SInt16 half = SInt16(inValue);
        std::memcpy(bytes + inField.offset, &half, 2);
    }
}

// A record whose every field differs from its default and from every other
// field, with negative halves and codes with the top bit set among them.
Settings DistinctSettings()
{
    Settings s;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const int value = kKeys[i].width == 4 ? int(0x80000000u | UInt32(i * 0x10101 + 11)) : -int(i * 37 + 5);
        SetFieldAt(s, kKeys[i], i % 3 == 0 ? value : int(i + 100));
    }
    return s;
}

TEST(SettingsPrefs, KeysInVisitingOrder)
{
    ASSERT_EQ(kKeys.size(), Settings::kPrefsKeyCount);
    for (UInt32 i = 0; i < Settings::kPrefsKeyCount; ++i) {
        ASSERT_NE(Settings::GetPrefsKey(i), nullptr) << i;
        EXPECT_STREQ(Settings::GetPrefsKey(i), kKeys[i].key) << i;
    }
    EXPECT_EQ(Settings::GetPrefsKey(Settings::kPrefsKeyCount), nullptr);
    EXPECT_EQ(Settings::GetPrefsKey(UINT32_MAX), nullptr);
}

TEST(SettingsPrefs, DefaultRecordGivesFortyThreeDecimalEntries)
{
    PrefsMap prefs;
    Settings().GetPrefs(prefs);
    EXPECT_EQ(prefs.size(), 43u);
    EXPECT_EQ(prefs["framerate"], "4");
    EXPECT_EQ(prefs["framegeometry"], "128");
    EXPECT_EQ(prefs["standard"], "16384");
    EXPECT_EQ(prefs["audioinsamplerate"], "4096");
    EXPECT_EQ(prefs["audioinwordsize"], "256");
    EXPECT_EQ(prefs["direction"], "4194304");
    EXPECT_EQ(prefs["avsyncReleaseAudioAfterVideoWait"], "7");
    EXPECT_EQ(prefs["videooutmode"], "65536");
    EXPECT_EQ(prefs.size(), 43u);
}

TEST(SettingsPrefs, EachKeyCarriesItsFieldAsSignedDecimal)
{
    const Settings s = DistinctSettings();
    PrefsMap prefs;
    s.GetPrefs(prefs);
    ASSERT_EQ(prefs.size(), kKeys.size());
    for (const KeyField& f : kKeys) {
        EXPECT_EQ(prefs[f.key], std::to_string(FieldAt(s, f))) << f.key;
    }
}

TEST(SettingsPrefs, RoundTripReproducesEveryField)
{
    for (const Settings& original : {Settings(), DistinctSettings()}) {
        PrefsMap prefs;
        original.GetPrefs(prefs);
        const PrefsMap written = prefs;
        Settings copy;
        // Start from a record that differs in every field.
        for (const KeyField& f : kKeys) {
            SetFieldAt(copy, f, FieldAt(original, f) ^ 0x1234);
        }
        copy.SetFromPrefs(prefs);
        EXPECT_EQ(copy, original);
        for (const KeyField& f : kKeys) {
            EXPECT_EQ(FieldAt(copy, f), FieldAt(original, f)) << f.key;
        }
        EXPECT_EQ(prefs, written);  // SetFromPrefs leaves the map alone
    }
}

TEST(SettingsPrefs, EachKeySetsOnlyItsOwnField)
{
    for (const KeyField& f : kKeys) {
        Settings s;
        const Settings before = s;
        s.SetFromPrefs(PrefsMap{{f.key, "-2"}});
        for (const KeyField& other : kKeys) {
            EXPECT_EQ(FieldAt(s, other), &other == &f ? -2 : FieldAt(before, other)) << f.key << " / " << other.key;
        }
    }
}

TEST(SettingsPrefs, EmptyMapChangesNothing)
{
    Settings s = DistinctSettings();
    const Settings before = s;
    s.SetFromPrefs(PrefsMap{});
    EXPECT_EQ(s, before);
}

TEST(SettingsPrefs, OtherKeysAreIgnoredBySetAndKeptByGet)
{
    const PrefsMap foreign = {{"Framerate", "5"}, {"framerate ", "5"}, {"volume", "11"}, {"", "3"}};
    Settings s;
    const Settings before = s;
    s.SetFromPrefs(foreign);
    EXPECT_EQ(s, before);

    PrefsMap prefs = foreign;
    prefs["framerate"] = "999";  // an existing entry is overwritten
    s.GetPrefs(prefs);
    EXPECT_EQ(prefs.size(), 43u + foreign.size());
    for (const auto& [key, value] : foreign) {
        EXPECT_EQ(prefs[key], value) << key;
    }
    EXPECT_EQ(prefs["framerate"], "4");
}

// What SetFromPrefs stores for a value text, and what GetPrefs then writes.
struct StoredValueCase {
    const char* key;
    std::string text;
    int stored;
    const char* written;
};

class SettingsPrefsValues : public testing::TestWithParam<StoredValueCase> {};

TEST_P(SettingsPrefsValues, StoresTheParsedValueUnvalidated)
{
    const StoredValueCase c = GetParam();
    const KeyField* field = nullptr;
    for (const KeyField& f : kKeys) {
        if (c.key == std::string(f.key)) {
            field = &f;
        }
    }
    ASSERT_NE(field, nullptr);
    Settings s;
    s.SetFromPrefs(PrefsMap{{c.key, c.text}});
    EXPECT_EQ(FieldAt(s, *field), c.stored);
    PrefsMap prefs;
    s.GetPrefs(prefs);
    EXPECT_EQ(prefs[c.key], c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsPrefsValues,
    testing::Values(
        // 16-bit fields keep the low 16 bits.
        StoredValueCase{"audioin0gainadj", "70000", 4464, "4464"},
        StoredValueCase{"audioout3gainadj", "65535", -1, "-1"},
        StoredValueCase{"avsyncNewMode", "32768", -32768, "-32768"},
        StoredValueCase{"avsyncStartVideoAfterAudioWait", "-32769", 32767, "32767"},
        StoredValueCase{"audioin2gainadj", "-7", -7, "-7"},
        // Text that is not a number stores 0; text after a number is ignored.
        StoredValueCase{"framerate", "abc", 0, "0"}, StoredValueCase{"framerate", " 5x", 5, "5"},
        StoredValueCase{"framerate", "", 0, "0"}, StoredValueCase{"framerate", "0x10", 0, "0"},
        StoredValueCase{"framerate", std::string("6\0" "7", 3), 6, "6"},
        // Codes the accessors do not know are stored as they are.
        StoredValueCase{"audioinsamplerate", "12288", 12288, "12288"},
        StoredValueCase{"standard", "-1", -1, "-1"},
        // A 32-bit code with the top bit set reads back from either spelling.
        StoredValueCase{"videooutmode", "-65536", -65536, "-65536"},
        StoredValueCase{"videooutmode", "4294901760", -65536, "-65536"},
        // Numbers beyond 32 bits are malformed.
        StoredValueCase{"genlock", "4294967296", 0, "0"},
        StoredValueCase{"genlock", "99999999999999999999", 0, "0"}));

// The two conversions.
struct ParseCase {
    std::string text;
    int value;
};

class StringToInt : public testing::TestWithParam<ParseCase> {};

TEST_P(StringToInt, ReadsALeadingDecimalNumber) { EXPECT_EQ(stringtoi(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Texts, StringToInt,
                         testing::Values(ParseCase{"12abc", 12}, ParseCase{" 5x", 5}, ParseCase{"abc", 0},
                                         ParseCase{"", 0}, ParseCase{"-7", -7}, ParseCase{"+8", 8},
                                         ParseCase{"007", 7}, ParseCase{" \t\n\v\f\r9", 9}, ParseCase{"-", 0},
                                         ParseCase{"+", 0}, ParseCase{"- 5", 0}, ParseCase{"--5", 0},
                                         ParseCase{"1 2", 1}, ParseCase{"3.9", 3}, ParseCase{"x5", 0},
                                         ParseCase{std::string("\0" "5", 2), 0},
                                         ParseCase{"2147483647", INT_MAX}, ParseCase{"-2147483648", INT_MIN},
                                         // Unsigned spellings of 32-bit codes wrap to the same bits.
                                         ParseCase{"2147483648", INT_MIN}, ParseCase{"4294967295", -1},
                                         // Beyond 32 bits: malformed, 0.
                                         ParseCase{"4294967296", 0}, ParseCase{"-2147483649", 0},
                                         ParseCase{"-4294967295", 0}, ParseCase{"123456789012345678901234567890", 0},
                                         ParseCase{"00000000000000000000042", 42}));

TEST(IntToString, WritesPercentD)
{
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "0"}, {4096, "4096"}, {-1, "-1"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(itostring(value), text);
        EXPECT_EQ(stringtoi(itostring(value)), value);
    }
}

}  // namespace
