// A buffer list that owns one block of sample memory shared by its buffers,
// or borrows one block from its caller.
#pragma once

#include "platform/CoreAudioTypes.h"

class CABufferList {
public:
    // numberBuffers buffers of channelsPerBuffer interleaved channels each,
    // with no memory yet. The name is kept by pointer, for diagnostics.
    CABufferList(const char* name, UInt32 numberBuffers, UInt32 channelsPerBuffer);
    ~CABufferList();
    CABufferList(const CABufferList&) = delete;
    CABufferList& operator=(const CABufferList&) = delete;

    // Gives every buffer at least numberBytes bytes in one zero-filled block,
    // keeping each buffer's old contents. Does nothing when the buffers
    // already hold that much. With two or more buffers the slices are spaced
    // an odd multiple of 16 bytes apart, so that they never start a multiple
    // of 32 bytes apart. Allocates (never on the I/O thread); throws
    // std::bad_alloc and changes nothing when memory runs out.
    void AllocateBuffers(UInt32 numberBytes);

    // Clears every buffer record and frees the list's own block; borrowed
    // memory is only forgotten.
    void DeallocateBuffers();

    // Releases the list's own block and lets its buffers share the caller's
    // block of numberBytes bytes instead: each gets an equal slice. The
    // memory stays the caller's and must outlive its use here.
    void UseExternalBuffer(void* data, UInt32 numberBytes);

    const char* GetName() const { return mName; }
    UInt32 GetNumberBuffers() const { return mList->mNumberBuffers; }
    // Bytes each buffer can hold.
    UInt32 GetBufferCapacity() const { return mCapacity; }
    bool IsBorrowing() const { return mBorrowing; }
    AudioBufferList& GetBufferList() { return *mList; }
    const AudioBufferList& GetBufferList() const { return *mList; }

private:
    const char* mName;
    AudioBufferList* mList;
    UInt32 mChannelsPerBuffer;
    void* mBlock = nullptr;  // the list's own memory, or null
    UInt32 mCapacity = 0;
    bool mBorrowing = false;
};
