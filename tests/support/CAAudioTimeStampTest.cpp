#include <gtest/gtest.h>

#include <cstring>

#include "support/CAAudioTimeStamp.h"

namespace {

AudioTimeStamp Stamp(UInt32 flags, Float64 sample, UInt64 host, UInt64 wordClock)
{
    AudioTimeStamp stamp = CAAudioTimeStamp::kZero;
    stamp.mFlags = flags;
    stamp.mSampleTime = sample;
    stamp.mHostTime = host;
    stamp.mWordClockTime = wordClock;
    return stamp;
}

}  // namespace

TEST(CAAudioTimeStamp, ZeroHasEveryByteZero)
{
    const AudioTimeStamp zero = CAAudioTimeStamp::kZero;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&zero);
    for (std::size_t i = 0; i < sizeof zero; ++i) {
        ASSERT_EQ(0, bytes[i]) << i;
    }
    const CAAudioTimeStamp made;
    EXPECT_EQ(0, std::memcmp(&made, &CAAudioTimeStamp::kZero, sizeof(AudioTimeStamp)));
}

// The first kind of time both stamps carry decides; times of other kinds are
// ignored even when they disagree.
TEST(CAAudioTimeStamp, ComparesByTheFirstTimeBothCarry)
{
    constexpr UInt32 S = kAudioTimeStampSampleTimeValid, H = kAudioTimeStampHostTimeValid,
                     W = kAudioTimeStampWordClockTimeValid;
    struct Case {
        AudioTimeStamp x, y;
        bool equal, less, greater;
    };
    const Case cases[] = {
        {Stamp(S | H, 10, 900, 0), Stamp(S | H, 20, 100, 0), false, true, false},  // sample time first
        {Stamp(S | H, 10, 100, 0), Stamp(S | H, 10, 900, 0), true, false, false},
        {Stamp(S | H, 10, 100, 0), Stamp(H, 5, 200, 0), false, true, false},  // only host time shared
        {Stamp(H | W, 0, 300, 1), Stamp(H | W, 0, 300, 9), true, false, false},
        {Stamp(S | W, 1, 0, 50), Stamp(W, 0, 0, 40), false, false, true},  // word clock
        {Stamp(S, 1, 0, 0), Stamp(H, 1, 0, 0), false, false, false},       // nothing shared
        {CAAudioTimeStamp::kZero, CAAudioTimeStamp::kZero, false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.equal, c.x == c.y) << c.x.mFlags << " " << c.y.mFlags;
        EXPECT_EQ(c.less, c.x < c.y) << c.x.mFlags << " " << c.y.mFlags;
        EXPECT_EQ(c.greater, c.y < c.x) << c.x.mFlags << " " << c.y.mFlags;
    }
}
