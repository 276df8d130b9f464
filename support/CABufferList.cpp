#include "support/CABufferList.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/CAAudioBufferList.h"

CABufferList::CABufferList(const char* name, UInt32 numberBuffers, UInt32 channelsPerBuffer)
    : mName(name), mList(CAAudioBufferList::Create(numberBuffers)), mChannelsPerBuffer(channelsPerBuffer)
{
    if (mList == nullptr) {
        throw std::bad_alloc();
    }
    for (UInt32 i = 0; i < numberBuffers; ++i) {
        mList->mBuffers[i].mNumberChannels = channelsPerBuffer;
    }
}

CABufferList::~CABufferList()
{
    DeallocateBuffers();
    CAAudioBufferList::Destroy(mList);
}

void CABufferList::AllocateBuffers(UInt32 numberBytes)
{
    if (numberBytes <= mCapacity && (mBlock != nullptr || mBorrowing)) {
        return;
    }
    const UInt32 count = mList->mNumberBuffers;
    std::size_t sliceSize = numberBytes;
    if (count >= 2) {
        // An odd multiple of 16: consecutive slices never start a multiple of
        // 32 bytes apart, so they do not compete for the same cache sets.
        sliceSize = ((sliceSize & ~std::size_t(0xF)) + 16) | 16;
    }
    if (sliceSize > 0xFFFFFFFFu) {
        throw std::bad_alloc();  // a buffer's size must fit its 32-bit record
    }
    const std::size_t total = sliceSize * count;
    auto* block = static_cast<UInt8*>(std::calloc(total == 0 ? 1 : total, 1));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    for (UInt32 i = 0; i < count; ++i) {
        AudioBuffer& buffer = mList->mBuffers[i];
        UInt8* slice = block + std::size_t(i) * sliceSize;
        if (buffer.mData != nullptr) {
            const std::size_t keep = buffer.mDataByteSize < sliceSize ? buffer.mDataByteSize : sliceSize;
            std::memcpy(slice, buffer.mData, keep);
        }
        buffer.mNumberChannels = mChannelsPerBuffer;
        buffer.mDataByteSize = UInt32(sliceSize);
        buffer.mData = slice;
    }
    if (!mBorrowing) {
        std::free(mBlock);
    }
    mBlock = block;
    mCapacity = UInt32(sliceSize);
    mBorrowing = false;
}

void CABufferList::DeallocateBuffers()
{
    for (UInt32 i = 0; i < mList->mNumberBuffers; ++i) {
        mList->mBuffers[i].mDataByteSize = 0;
        mList->mBuffers[i].mData = nullptr;
    }
    if (!mBorrowing) {
        std::free(mBlock);
    }
    mBlock = nullptr;
    mCapacity = 0;
    mBorrowing = false;
}

void CABufferList::UseExternalBuffer(void* data, UInt32 numberBytes)
{
    DeallocateBuffers();
    const UInt32 count = mList->mNumberBuffers;
    if (data == nullptr || count == 0) {
        return;
    }
    const UInt32 sliceSize = numberBytes / count;
    for (UInt32 i = 0; i < count; ++i) {
        AudioBuffer& buffer = mList->mBuffers[i];
        buffer.mNumberChannels = mChannelsPerBuffer;
        buffer.mDataByteSize = sliceSize;
        buffer.mData = static_cast<UInt8*>(data) + std::size_t(i) * sliceSize;
    }
    mBlock = data;
    mCapacity = sliceSize;
    mBorrowing = true;
}
