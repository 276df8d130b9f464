// The controls of the simulated unit, shared by the tests and the tools: what
// a person with the real unit would do by hand (plug it in, pull it out, pick
// connectors and video standard, feed its inputs, listen to its outputs) and
// what a test needs to look inside (step packets one by one, read the packet
// accounting, force the muxer's answers).
//
// Every operation may be called from any thread except where noted, and
// takes only the unit's own locks. Operations that change something return a
// status: noErr, paramErr for an argument out of range, or
// kAudioHardwareIllegalOperationError ('nope') for an operation the unit's
// state does not allow; a failing call changes nothing.
#pragma once

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "platform/MacTypes.h"

namespace Kestro {
namespace Unit {

class UnitControl {
public:
    // How the unit paces its packets.
    enum class Pacing {
        // One packet per video frame against the host clock, sleeping in
        // between. Needs the real host clock (HostClockUseVirtual(false)).
        kRealTime,
        // As fast as the machine goes: the unit switches the host clock to
        // virtual time and advances it by each packet's duration.
        kFast,
        // Only when a test calls Step. If the host clock is virtual, each
        // packet advances it by the packet's duration.
        kStepped,
    };

    // What one input connector delivers.
    enum class InputKind {
        kSilence,
        kTone,
        kSamples,
        kLoopback,
    };

    // Sample layouts of a caller's buffer: 8 interleaved channels of either
    // integers at the unit's word size (-2^(bits-1) .. 2^(bits-1)-1; values
    // beyond saturate) or floats in -1 .. 1 (scaled by 2^(bits-1), rounded,
    // saturated).
    enum class SampleLayout {
        kInt32,
        kFloat32,
    };

    // The debug words the driver reads from the muxer.
    enum class DebugWord {
        kVerboseWarnings,
        kDumpFrameCount,
        kPrintPacketInfo,
        kWriteTestRamp,
        kPrintSampleRate,
    };

    // Counts of the fixed packet pool. A packet is handed out with each I/O
    // callback and must come back exactly once through ReleasePacket.
    struct PacketAccounting {
        UInt32 poolSize = 0;
        UInt64 handedOut = 0;       // packets given to I/O callbacks
        UInt64 released = 0;        // packets correctly given back
        UInt64 outstanding = 0;     // handed out and not (yet) given back
        UInt64 doubleReleases = 0;  // ReleasePacket of a packet already given back
        UInt64 foreignReleases = 0; // ReleasePacket of null or of a pointer not from the pool
        UInt64 poolExhausted = 0;   // deliveries skipped because no packet was free
    };

    // Audio client counts, for tests that check the driver's calls.
    struct ClientCounts {
        UInt32 attached = 0;          // clients attached and not detached
        UInt32 running = 0;           // clients started with a callback set
        UInt64 acquireRefusals = 0;   // AcquireAudio answered false
        UInt64 badClientCalls = 0;    // calls with a handle the unit never gave out (or detached)
        UInt64 applySettingsCalls = 0;    // ApplySettings calls accepted
        UInt64 applySettingsRejected = 0; // ApplySettings calls with codes the unit can't serve
    };

    virtual ~UnitControl() = default;

    // The component manager. Registers the unit as the muxer component (type
    // 'muxr', subtype 'orvl', manufacturer 'Dove', refcon the BaseMuxer*);
    // 'nope' if already registered. Unregistering removes it from the lookup;
    // 'nope' if not registered.
    virtual OSStatus RegisterUnitComponent() = 0;
    virtual OSStatus UnregisterUnitComponent() = 0;
    virtual bool IsUnitComponentRegistered() const = 0;

    // Plugging. Presenting announces the arrival to every registered
    // notification callback on the notification thread; 'nope' if present.
    // Removing first stops all packet delivery (waiting for a callback in
    // flight unless called from the I/O thread), then announces the
    // departure; 'nope' if absent. Clients attached before a removal stay
    // valid handles but receive nothing again.
    virtual OSStatus PresentUnit() = 0;
    virtual OSStatus RemoveUnit() = 0;
    virtual bool IsUnitPresent() const = 0;
    // Waits until every notification posted so far has been delivered and
    // its callback has returned. 'nope' (without waiting) on the
    // notification thread itself.
    virtual OSStatus WaitForNotifications() = 0;

    // Input connectors present, as a mask of the settings' audio interface
    // codes (Settings::kAudioFormatSDI | kAudioFormatAES | ...). paramErr for
    // other bits.
    virtual OSStatus SetConnectors(UInt32 inConnectorMask) = 0;
    virtual UInt32 GetConnectors() const = 0;

    // Settings. SetUnitSettings replaces the whole record; paramErr unless the
    // frame rate is 29.97 or 25 (codes 4 or 5) and both directions' audio
    // format, word-size and rate codes are known. The others change one
    // field for both directions: frame-rate code 4 or 5 (the video standard
    // follows), 44100, 48000 or 96000 Hz, 16 or 24 bits. Changes take effect
    // with the next packet.
    virtual OSStatus SetUnitSettings(const Zent::Orvel::Settings& inSettings) = 0;
    virtual Zent::Orvel::Settings GetUnitSettings() const = 0;
    virtual OSStatus SetFrameRate(UInt32 inFrameRateCode) = 0;
    virtual OSStatus SetSampleRate(UInt32 inHz) = 0;
    virtual OSStatus SetWordSize(UInt32 inBits) = 0;

    // Pacing (default kRealTime).
    virtual OSStatus SetPacing(Pacing inPacing) = 0;
    virtual Pacing GetPacing() const = 0;
    // Stepped pacing: delivers inCount packets (one per running client each)
    // on the I/O thread and returns when they are delivered and their
    // callbacks have returned. 'nope' when the pacing is not kStepped, the
    // unit is absent, or the caller is the I/O thread.
    virtual OSStatus Step(UInt32 inCount) = 0;

    // The unit's clock. Drift in parts per million (positive = the unit's
    // sample clock runs fast against the host clock; |ppm| < 1000); jitter is
    // the largest deviation of a packet's time stamp, in microseconds,
    // uniformly distributed from a PRNG seeded with inSeed (0 .. 10000 µs).
    virtual OSStatus SetClockDrift(double inPPM) = 0;
    virtual OSStatus SetTimeStampJitter(UInt32 inMicroseconds, UInt64 inSeed) = 0;
    // Every Nth packet carries a time (N >= 1; 1 = every packet), counted
    // from the packet that starts a run.
    virtual OSStatus SetTimeStampInterval(UInt32 inEveryNth) = 0;
    // Every Nth packet is marked (0 = none), counted as above; MarkNextPacket
    // marks the next packet of every direction once, in addition.
    virtual OSStatus SetMarkInterval(UInt32 inEveryNth) = 0;
    virtual void MarkNextPacket() = 0;

    // Inputs, per connector (one of the interface codes). Samples are
    // copied; inFrames 8-channel frames, played once or looped.
    virtual OSStatus SetInputSilence(UInt32 inConnector) = 0;
    virtual OSStatus SetInputTone(UInt32 inConnector, double inFrequency, double inAmplitude) = 0;
    virtual OSStatus SetInputSamples(UInt32 inConnector, const void* inSamples, UInt32 inFrames,
                                     SampleLayout inLayout, bool inLoop) = 0;
    virtual OSStatus SetInputLoopback(UInt32 inConnector) = 0;
    // Loopback frames that found the FIFO empty (delivered as silence) or
    // full (dropped).
    virtual UInt64 GetLoopbackUnderruns() const = 0;
    virtual UInt64 GetLoopbackOverruns() const = 0;

    // Capture of what the output packets carried when they came back:
    // 8-channel frames as integers at the output word size. Capturing
    // starts with StartCapture (a bounded buffer of inCapacityFrames,
    // 1 .. 2^24, emptied) and stops with StopCapture. ReadCapture takes up
    // to inMaxFrames frames out (one reader at a time) and returns how many.
    virtual OSStatus StartCapture(UInt32 inCapacityFrames) = 0;
    virtual void StopCapture() = 0;
    virtual UInt32 ReadCapture(SInt32* outFrames, UInt32 inMaxFrames) = 0;
    // Frames captured since StartCapture, and frames lost to a full buffer.
    virtual UInt64 GetCapturedFrameCount() const = 0;
    virtual UInt64 GetCaptureOverruns() const = 0;

    // The muxer's answers.
    virtual void SetOutputSkipCount(UInt32 inCount) = 0;
    // Copies inFrames frames of 8 native floats; HasInputSyncPattern answers
    // true once afterwards. paramErr for a null pointer with frames.
    virtual OSStatus SetSyncPattern(const float* inFrames, UInt32 inFrameCount) = 0;
    virtual void SetAcquireRefusal(bool inIsInput, bool inRefuse) = 0;
    // Best set while no audio runs: the driver reads the words unsynchronised.
    virtual void SetDebugWord(DebugWord inWord, SInt32 inValue) = 0;

    // Observation.
    virtual PacketAccounting GetPacketAccounting() const = 0;
    virtual ClientCounts GetClientCounts() const = 0;
    // Packets delivered since the unit was created (per direction).
    virtual UInt64 GetDeliveredPacketCount(bool inIsInput) const = 0;
};

}  // namespace Unit
}  // namespace Kestro
