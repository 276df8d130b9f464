// Wildcard-aware equality and ordering of property addresses: the ordering
// is what lets one handler registered under a wildcard address answer every
// concrete channel and section.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "framework/HPPropertyAddress.h"

namespace {

constexpr UInt32 kAnySelector = HPPropertyAddress::kWildcardSelector;
constexpr UInt32 kAnyChannel = HPPropertyAddress::kWildcardChannel;
constexpr UInt8 kAnySection = HPPropertyAddress::kWildcardSection;

struct AddressCase {
    const char* name;
    HPPropertyAddress a;
    HPPropertyAddress b;
    bool equal;     // a == b
    bool aLessB;    // a < b
    bool bLessA;    // b < a
};

const AddressCase kCases[] = {
    {"identical", {FourCC("fsiz"), 0, 1}, {FourCC("fsiz"), 0, 1}, true, false, false},
    {"wildcard selector, sections differ", {kAnySelector, 5, 1}, {FourCC("vol "), kAnyChannel, 0}, false, false, true},
    {"wildcard selector and channel, same section", {kAnySelector, 5, 1}, {FourCC("vol "), kAnyChannel, 1}, true,
     false, false},
    {"fully wild key against concrete", {FourCC("bsiz"), kAnyChannel, kAnySection}, {FourCC("bsiz"), 2, 1}, true,
     false, false},
    {"selectors decide first", {FourCC("fsiz"), 7, 0}, {FourCC("fsz#"), 0, 0}, false, true, false},
    {"selectors compare unsigned", {0x7FFFFFFFu, 0, 0}, {0x80000000u, 0, 0}, false, true, false},
    {"same selector, channels decide", {FourCC("volm"), 1, 1}, {FourCC("volm"), 2, 0}, false, true, false},
    {"channels compare unsigned", {FourCC("volm"), 0x7FFFFFFFu, 0}, {FourCC("volm"), 0x80000000u, 0}, false, true,
     false},
    {"same selector and channel, sections decide", {FourCC("volm"), 1, 0}, {FourCC("volm"), 1, 1}, false, true,
     false},
    {"wild channel, sections decide", {FourCC("volm"), kAnyChannel, 1}, {FourCC("volm"), 3, 0}, false, false, true},
    {"wild section, channels decide", {FourCC("volm"), 4, kAnySection}, {FourCC("volm"), 3, 0}, false, false, true},
    {"everything wild matches anything", {kAnySelector, kAnyChannel, kAnySection}, {FourCC("nsrt"), 9, 1}, true,
     false, false},
    {"default is (0, 0, 0)", HPPropertyAddress(), {0, 0, 0}, true, false, false},
};

class HPPropertyAddressCases : public testing::TestWithParam<AddressCase> {};

TEST_P(HPPropertyAddressCases, EqualityAndOrderingFollowTheWildcards)
{
    const AddressCase& c = GetParam();
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal) << "equality is symmetric";
    EXPECT_EQ(c.a < c.b, c.aLessB);
    EXPECT_EQ(c.b < c.a, c.bLessA);
    // Wildcards aside, equal addresses are exactly the equivalent ones.
    EXPECT_EQ(c.equal, !(c.a < c.b) && !(c.b < c.a));
}

INSTANTIATE_TEST_SUITE_P(Table, HPPropertyAddressCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<AddressCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

TEST(HPPropertyAddress, WildcardsHaveTheHostValues)
{
    EXPECT_EQ(kAnySelector, 0x2A2A2A2Au);
    EXPECT_EQ(kAnyChannel, 0xFFFFFFFFu);
    EXPECT_EQ(kAnySection, 0xFF);
    const HPPropertyAddress all = HPPropertyAddress::AllChannelsAndSections(FourCC("fsiz"));
    EXPECT_EQ(all.mSelector, FourCC("fsiz"));
    EXPECT_EQ(all.mChannel, kAnyChannel);
    EXPECT_EQ(all.mSection, kAnySection);
}

}  // namespace
