#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "support/CAAudioBufferList.h"

namespace {

struct ListDeleter {
    void operator()(AudioBufferList* list) const { CAAudioBufferList::Destroy(list); }
};
using ListPtr = std::unique_ptr<AudioBufferList, ListDeleter>;

ListPtr MakeList(std::vector<std::vector<Float32>>& data, const std::vector<UInt32>& channels)
{
    ListPtr list(CAAudioBufferList::Create(UInt32(data.size())));
    for (std::size_t i = 0; i < data.size(); ++i) {
        list->mBuffers[i] = {channels[i], UInt32(data[i].size() * sizeof(Float32)), data[i].data()};
    }
    return list;
}

}  // namespace

// The size comes from the record type, so a 64-bit pointer keeps its width:
// on a 32-bit host this is 4 + 12 n.
TEST(CAAudioBufferList, ByteSizeFollowsTheRecordLayout)
{
    EXPECT_EQ(offsetof(AudioBufferList, mBuffers), CAAudioBufferList::CalculateByteSize(0));
    EXPECT_EQ(offsetof(AudioBufferList, mBuffers) + 2 * sizeof(AudioBuffer), CAAudioBufferList::CalculateByteSize(2));
    EXPECT_EQ(AudioBufferListSize(5), CAAudioBufferList::CalculateByteSize(5));
}

TEST(CAAudioBufferList, CreateGivesAZeroedListWithoutSampleMemory)
{
    ListPtr list(CAAudioBufferList::Create(2));
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(2u, list->mNumberBuffers);
    for (UInt32 i = 0; i < 2; ++i) {
        EXPECT_EQ(0u, list->mBuffers[i].mNumberChannels);
        EXPECT_EQ(0u, list->mBuffers[i].mDataByteSize);
        EXPECT_EQ(nullptr, list->mBuffers[i].mData);
    }
    ListPtr empty(CAAudioBufferList::Create(0));
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, empty->mNumberBuffers);
    CAAudioBufferList::Destroy(nullptr);
}

TEST(CAAudioBufferList, ClearSkipsNullBuffersAndClearsTheRest)
{
    std::vector<std::vector<Float32>> data = {{1, 2, 3}, {}, {4, 5}};
    ListPtr list = MakeList(data, {1, 1, 2});
    list->mBuffers[1].mDataByteSize = 64;  // null data with a size must not be touched
    list->mBuffers[1].mData = nullptr;
    CAAudioBufferList::Clear(*list);
    EXPECT_EQ((std::vector<Float32>{0, 0, 0}), data[0]);
    EXPECT_EQ((std::vector<Float32>{0, 0}), data[2]);
}

TEST(CAAudioBufferList, SumAddsWholeSamplesOfTheOutputSize)
{
    // Lengths around the vector widths, so that every tail is walked.
    for (std::size_t count : {1u, 3u, 4u, 7u, 8u, 15u, 16u, 17u, 33u, 1602u * 2u}) {
        std::vector<std::vector<Float32>> in = {std::vector<Float32>(count)}, out = {std::vector<Float32>(count + 1)};
        for (std::size_t k = 0; k < count; ++k) {
            in[0][k] = Float32(k) * 0.5f;
            out[0][k] = 1.0f - Float32(k);
        }
        out[0][count] = 42.0f;  // beyond the declared size
        ListPtr inList = MakeList(in, {2});
        ListPtr outList = MakeList(out, {2});
        outList->mBuffers[0].mDataByteSize = UInt32(count * sizeof(Float32));
        CAAudioBufferList::Sum(*inList, *outList);
        for (std::size_t k = 0; k < count; ++k) {
            ASSERT_EQ(1.0f - Float32(k) + Float32(k) * 0.5f, out[0][k]) << count << " samples, sample " << k;
        }
        EXPECT_EQ(42.0f, out[0][count]);
        EXPECT_EQ(Float32(count - 1) * 0.5f, in[0][count - 1]);  // the input is only read
    }
}

TEST(CAAudioBufferList, SumOfSixBytesAddsOneSampleAndNullBuffersAreSkipped)
{
    std::vector<std::vector<Float32>> in = {{1, 2}, {5, 6}}, out = {{10, 20}, {30, 40}};
    ListPtr inList = MakeList(in, {1, 1});
    ListPtr outList = MakeList(out, {1, 1});
    outList->mBuffers[0].mDataByteSize = 6;
    inList->mBuffers[1].mData = nullptr;
    CAAudioBufferList::Sum(*inList, *outList);
    EXPECT_EQ((std::vector<Float32>{11, 20}), out[0]);
    EXPECT_EQ((std::vector<Float32>{30, 40}), out[1]);

    // The buffer count comes from the output list.
    outList->mNumberBuffers = 0;
    CAAudioBufferList::Sum(*inList, *outList);
    EXPECT_EQ((std::vector<Float32>{11, 20}), out[0]);
}

TEST(CAAudioBufferList, FindsTheBufferOfAChannel)
{
    std::vector<std::vector<Float32>> data = {{0}, {0}, {0}};
    ListPtr list = MakeList(data, {2, 0, 3});
    EXPECT_EQ(5u, CAAudioBufferList::GetTotalNumberChannels(*list));
    struct Case {
        UInt32 channel;
        bool found;
        UInt32 buffer, inside;
    };
    for (const Case& c : {Case{0, true, 0, 0}, Case{1, true, 0, 1}, Case{2, true, 2, 0}, Case{4, true, 2, 2},
                          Case{5, false, 99, 99}, Case{1000, false, 99, 99}}) {
        UInt32 buffer = 99, inside = 99;
        EXPECT_EQ(c.found, CAAudioBufferList::GetBufferForChannel(*list, c.channel, buffer, inside)) << c.channel;
        EXPECT_EQ(c.buffer, buffer) << c.channel;
        EXPECT_EQ(c.inside, inside) << c.channel;
    }
}

TEST(CAAudioBufferList, CopyPlacesChannelsFromTheStartChannelForTheCommonFrames)
{
    // In: one stereo buffer of 3 frames. Out: a mono buffer then a stereo
    // buffer of 2 frames; copy to channel 1 onwards fills the stereo buffer.
    std::vector<std::vector<Float32>> in = {{1, 2, 3, 4, 5, 6}};
    std::vector<std::vector<Float32>> out = {{0, 0}, {0, 0, 0, 0}};
    ListPtr inList = MakeList(in, {2});
    ListPtr outList = MakeList(out, {1, 2});
    CAAudioBufferList::Copy(*inList, *outList, 1);
    EXPECT_EQ((std::vector<Float32>{0, 0}), out[0]);
    EXPECT_EQ((std::vector<Float32>{1, 2, 3, 4}), out[1]);

    // Starting at channel 2 only the first input channel has a place.
    std::vector<std::vector<Float32>> out2 = {{0, 0}, {0, 0, 0, 0}};
    ListPtr outList2 = MakeList(out2, {1, 2});
    CAAudioBufferList::Copy(*inList, *outList2, 2);
    EXPECT_EQ((std::vector<Float32>{0, 1, 0, 3}), out2[1]);
}

TEST(CAAudioBufferList, PrintToLogWritesCountsAndSizes)
{
    std::vector<std::vector<Float32>> data = {{0, 0}, {0, 0, 0}};
    ListPtr list = MakeList(data, {2, 3});
    testing::internal::CaptureStderr();
    CAAudioBufferList::PrintToLog(*list);
    EXPECT_EQ("  Number streams: 2\n"
              "  Channels in stream 1: 2\n"
              "  Buffer size of stream 1: 8\n"
              "  Channels in stream 2: 3\n"
              "  Buffer size of stream 2: 12\n",
              testing::internal::GetCapturedStderr());
}
