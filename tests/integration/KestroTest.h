// The fixture of the end-to-end tests: a simulated unit registered as the
// muxer component, the real bundle loaded through the host layer, and the
// client API to reach the two devices it publishes.
//
// Every test gets a fresh unit in stepped pacing (packets only when the test
// calls Step) with the real host clock; a test that wants other settings
// changes the unit before LoadBundle. TearDown unloads the bundle, lets the
// unit's threads finish and checks the packet accounting. A watchdog aborts
// the process with the test's name when a test runs longer than its bound,
// so a deadlock fails loudly instead of hanging.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "platform/AudioHardwareServer.h"
#include "platform/CoreAudioTypes.h"
#include "unit/SimulatedUnit.h"

namespace KestroIntegration {

using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;
using Zent::Orvel::Settings;

// Aborts the process when not disarmed within the bound. One per test.
class Watchdog {
public:
    Watchdog(std::string inName, std::chrono::seconds inBound);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mDisarmed = false;
    std::thread mThread;
};

// Four characters of a code, for readable failures.
inline std::string CodeText(UInt32 inCode) { return std::string(FourCCText(inCode).text); }

class KestroTest : public testing::Test {
public:
    static constexpr UInt32 kPacketFrames2997[5] = {1602, 1601, 1602, 1601, 1602};

    void SetUp() override;
    void TearDown() override;

    // Registers the unit's component (unless inRegisterUnit is false), loads
    // the bundle, waits for the arrival to be announced and returns
    // Initialize's status. The devices are then found by name.
    OSStatus LoadBundle(bool inRegisterUnit = true);
    // Unloads the bundle if loaded; returns the host's status (0 if nothing
    // was loaded).
    OSStatus UnloadBundle();
    // Waits until the unit's notifications and the host's run loop are idle.
    void Settle();

    SimulatedUnit& Unit() { return *mUnit; }
    AudioDeviceID OutputDevice() const { return mOutputDevice; }
    AudioDeviceID InputDevice() const { return mInputDevice; }
    // Looks the devices up again by name (after an arrival).
    void FindDevices();

    // Client API helpers. Each asserts nothing; it returns what it got.
    static std::vector<AudioDeviceID> GetDevices();
    static std::string GetDeviceString(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector);
    static std::string GetDeviceUID(AudioDeviceID inDevice);
    static OSStatus GetDeviceUInt32(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector,
                                    UInt32& outValue);
    static OSStatus SetDeviceUInt32(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector,
                                    UInt32 inValue);
    static std::vector<AudioStreamID> GetStreams(AudioDeviceID inDevice, bool inIsInput);
    static std::string GetStreamName(AudioStreamID inStream);
    static OSStatus GetStreamFormat(AudioStreamID inStream, AudioDevicePropertyID inSelector,
                                    AudioStreamBasicDescription& outFormat);
    static Float64 GetActualSampleRate(AudioDeviceID inDevice, bool inIsInput);
    // The host's record of announcements and notifications since SetUp (or
    // the last AudioHardwareServerClearEvents), of one kind.
    static std::vector<AudioHardwareServerEvent> EventsOfKind(AudioHardwareServerEvent::Kind inKind);

    // Stepped pacing: delivers packets and fails the test on a bad status.
    void Step(UInt32 inCount);
    // Waits (bounded) until inPredicate holds, polling; false on timeout.
    template <typename Predicate>
    static bool WaitFor(Predicate inPredicate, std::chrono::milliseconds inTimeout = std::chrono::seconds(30))
    {
        const auto deadline = std::chrono::steady_clock::now() + inTimeout;
        while (!inPredicate()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // How long the watchdog lets this test run.
    virtual std::chrono::seconds TimeBound() const { return std::chrono::seconds(120); }
    // Checked by TearDown: every packet handed out came back exactly once.
    void ExpectCleanAccounting();
    // Pulls the unit out and checks that it took everything with it: no
    // device listed, no client attached or running.
    void PullUnitAndExpectItGone();

    std::unique_ptr<SimulatedUnit> mUnit;
    std::unique_ptr<Watchdog> mWatchdog;
    bool mLoaded = false;
    AudioDeviceID mOutputDevice = 0;
    AudioDeviceID mInputDevice = 0;
};

// What an IOProc saw and did, for a test to look at afterwards. The I/O thread
// writes it while the test waits in Step (or after a bounded wait for calls);
// the test reads it once the packets were delivered.
struct IOProcLog {
    // Output: called for each output buffer to fill; inFirstFrame counts the
    // frames this proc wrote before.
    void (*fill)(IOProcLog& ioLog, float* outData, UInt32 inFrames, UInt32 inChannels, UInt64 inFirstFrame) = nullptr;
    std::atomic<UInt32> calls{0};
    std::vector<float> input;          // every input sample, as delivered
    std::vector<UInt32> frames;        // frames per call
    std::vector<UInt32> channels;      // channels of the buffer per call
    std::vector<UInt32> bufferCounts;  // buffers in the list per call
    std::vector<AudioTimeStamp> inputTimes;
    std::vector<AudioTimeStamp> outputTimes;
    std::vector<AudioTimeStamp> nows;
    UInt64 framesWritten = 0;
    AudioDeviceID stopDeviceOnCall = 0;  // calls AudioDeviceStop on this device from inside
    UInt32 stopOnCall = 0;               // ... at this call (1-based)
    OSStatus stopStatus = 0;
    SInt32 value = 0;                    // free for a test's fill function
    AudioDeviceIOProc self = &Proc;      // the proc this log was registered with

    // A second proc function with the same behaviour, for two IOProcs on one
    // device (a device keys its IOProcs by function).
    template <int N>
    static OSStatus Other(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                          const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                          const AudioTimeStamp* inOutputTime, void* inClientData)
    {
        return Proc(inDevice, inNow, inInputData, inInputTime, outOutputData, inOutputTime, inClientData);
    }

    static OSStatus Proc(AudioDeviceID inDevice, const AudioTimeStamp* inNow, const AudioBufferList* inInputData,
                         const AudioTimeStamp* inInputTime, AudioBufferList* outOutputData,
                         const AudioTimeStamp* inOutputTime, void* inClientData);
};

// A float sample the 24-bit path carries exactly: an integer in
// -2^23 .. 2^23-1 scaled by 2^-23.
inline float Sample24(SInt32 inValue) { return float(inValue) / 8388608.0f; }
inline float Sample16(SInt32 inValue) { return float(inValue) / 32768.0f; }

// A deterministic, never-zero 24-bit sample for frame inFrame, channel inChannel.
SInt32 PatternValue24(UInt64 inFrame, UInt32 inChannel);

// Fills an output buffer of interleaved floats with the pattern from frame
// inFirstFrame on; returns the frames written.
UInt32 FillPattern(AudioBuffer& ioBuffer, UInt64 inFirstFrame);

}  // namespace KestroIntegration
