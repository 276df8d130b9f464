// Static helpers for the host's AudioBufferList: allocation of the list
// record, sizing, clearing and mixing of its Float32 buffers.
#pragma once

#include "platform/CoreAudioTypes.h"

class CAAudioBufferList {
public:
    // Bytes of a list record holding numberBuffers buffer records. The size
    // comes from the record type, so the pointers inside keep their full width.
    static UInt32 CalculateByteSize(UInt32 numberBuffers);

    // A zero-filled list record of numberBuffers buffers with mNumberBuffers
    // set and every buffer record zero; no sample memory is allocated. Null
    // when memory runs out. Allocates: never call on the I/O thread.
    static AudioBufferList* Create(UInt32 numberBuffers);

    // Frees a record made by Create; the sample memory its buffers point to
    // stays the caller's. A null list is ignored.
    static void Destroy(AudioBufferList* list);

    // Sum of mNumberChannels over all buffers.
    static UInt32 GetTotalNumberChannels(const AudioBufferList& list);

    // Locates channel (counted from 0 across the buffers in order): the
    // buffer holding it and its index inside that buffer. False when the
    // buffers run out first; the outputs are then unchanged.
    static bool GetBufferForChannel(const AudioBufferList& list, UInt32 channel, UInt32& outBufferNumber,
                                    UInt32& outBufferChannel);

    // Zero-fills every buffer whose mData is not null. Real-time safe: runs
    // on the I/O thread once per cycle; no allocation, no lock.
    static void Clear(AudioBufferList& list);

    // Copies Float32 channel i of in into channel outStartChannel + i of out,
    // for as many channels and frames as both lists hold.
    static void Copy(const AudioBufferList& in, AudioBufferList& out, UInt32 outStartChannel);

    // Mixes in into out: out[k] += in[k] for the mDataByteSize / 4 samples of
    // every out buffer, skipping a buffer pair when either data pointer is
    // null. The caller guarantees that in has at least as many buffers and
    // samples. Real-time safe: runs on the I/O thread once per client and
    // cycle; no allocation, no lock, vectorised.
    static void Sum(const AudioBufferList& in, AudioBufferList& out);

    // Writes the buffer count and each buffer's channels and size to
    // standard error.
    static void PrintToLog(const AudioBufferList& list);
};
