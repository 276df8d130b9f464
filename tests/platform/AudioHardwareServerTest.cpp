// The host audio server's services for plug-ins: ID claims, announcements,
// the record of notifications, listener delivery on the notification thread
// and run-loop sources.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareServer.h"
#include "platform/HostRunLoop.h"
#include "platform/Mach.h"

namespace {

constexpr OSStatus kNope = kAudioHardwareIllegalOperationError;
constexpr OSStatus kBadDevice = kAudioHardwareBadDeviceError;
constexpr OSStatus kBadStream = kAudioHardwareBadStreamError;
constexpr OSStatus kWho = kAudioHardwareUnknownPropertyError;

// The server never looks behind a plug-in reference, so each test names its
// own plug-ins with the addresses of a few words, and forgets them at the end.
class AudioHardwareServerTest : public testing::Test {
protected:
    void SetUp() override { AudioHardwareServerClearEvents(); }
    void TearDown() override
    {
        AudioHardwareServerForgetPlugIn(PlugIn());
        AudioHardwareServerForgetPlugIn(OtherPlugIn());
        HostRunLoopFlush();
        AudioHardwareServerClearEvents();
    }

    AudioHardwarePlugInRef PlugIn() { return reinterpret_cast<AudioHardwarePlugInRef>(&mNames[0]); }
    AudioHardwarePlugInRef OtherPlugIn() { return reinterpret_cast<AudioHardwarePlugInRef>(&mNames[1]); }

    AudioDeviceID ClaimDevice(AudioHardwarePlugInRef inPlugIn)
    {
        AudioDeviceID device = 0;
        EXPECT_EQ(AudioHardwareClaimAudioDeviceID(inPlugIn, &device), 0);
        return device;
    }
    AudioDeviceID CreateDevice(AudioHardwarePlugInRef inPlugIn)
    {
        AudioDeviceID device = ClaimDevice(inPlugIn);
        EXPECT_EQ(AudioHardwareDevicesCreated(inPlugIn, 1, &device), 0);
        return device;
    }
    AudioStreamID ClaimStream(AudioHardwarePlugInRef inPlugIn, AudioDeviceID inDevice)
    {
        AudioStreamID stream = 0;
        EXPECT_EQ(AudioHardwareClaimAudioStreamID(inPlugIn, inDevice, &stream), 0);
        return stream;
    }
    static bool Contains(const std::vector<UInt32>& inList, UInt32 inValue)
    {
        return std::find(inList.begin(), inList.end(), inValue) != inList.end();
    }

    void* mNames[2] = {};
};

// What listeners heard, and on which thread.
struct Heard {
    std::mutex mMutex;
    std::vector<UInt32> mSelectors;
    std::vector<UInt32> mChannels;
    bool mOffThread = false;

    void Add(UInt32 inSelector, UInt32 inChannel)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSelectors.push_back(inSelector);
        mChannels.push_back(inChannel);
        mOffThread = mOffThread || !HostRunLoopIsNotificationThread();
    }
    std::vector<UInt32> Selectors()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mSelectors;
    }
};

OSStatus DeviceListener(AudioDeviceID, UInt32 inChannel, Boolean, AudioDevicePropertyID inSelector, void* inHeard)
{
    static_cast<Heard*>(inHeard)->Add(inSelector, inChannel);
    return 0;
}

OSStatus OtherDeviceListener(AudioDeviceID, UInt32 inChannel, Boolean, AudioDevicePropertyID inSelector,
                             void* inHeard)
{
    static_cast<Heard*>(inHeard)->Add(inSelector, inChannel);
    return 0;
}

OSStatus StreamListener(AudioStreamID, UInt32 inChannel, AudioDevicePropertyID inSelector, void* inHeard)
{
    static_cast<Heard*>(inHeard)->Add(inSelector, inChannel);
    return 0;
}

OSStatus HardwareListener(AudioHardwarePropertyID inSelector, void* inHeard)
{
    static_cast<Heard*>(inHeard)->Add(inSelector, 0);
    return 0;
}

TEST_F(AudioHardwareServerTest, ClaimedIDsAreUniqueAndNonZeroAcrossThreads)
{
    AudioDeviceID device = ClaimDevice(PlugIn());
    constexpr int kThreads = 4;
    constexpr int kClaims = 500;
    std::vector<std::vector<UInt32>> claimed(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kClaims; ++i) {
                UInt32 id = 0;
                if (i % 2 == 0) {
                    AudioHardwareClaimAudioDeviceID(PlugIn(), &id);
                } else {
                    AudioHardwareClaimAudioStreamID(PlugIn(), device, &id);
                }
                claimed[t].push_back(id);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<UInt32> all{device};
    for (const auto& ids : claimed) {
        all.insert(ids.begin(), ids.end());
    }
    EXPECT_EQ(all.size(), size_t(kThreads * kClaims + 1));
    EXPECT_EQ(all.count(0), 0u);
}

TEST_F(AudioHardwareServerTest, BadClaimsAreRefusedAndLeaveTheOutputAlone)
{
    AudioDeviceID id = 99;
    EXPECT_EQ(AudioHardwareClaimAudioDeviceID(nullptr, &id), kNope);
    EXPECT_EQ(AudioHardwareClaimAudioDeviceID(PlugIn(), nullptr), kNope);
    AudioDeviceID device = ClaimDevice(PlugIn());
    EXPECT_EQ(AudioHardwareClaimAudioStreamID(OtherPlugIn(), device, &id), kBadDevice) << "not its device";
    EXPECT_EQ(AudioHardwareClaimAudioStreamID(PlugIn(), device + 100000, &id), kBadDevice);
    EXPECT_EQ(AudioHardwareClaimAudioStreamID(PlugIn(), device, nullptr), kNope);
    EXPECT_EQ(id, 99u);
}

TEST_F(AudioHardwareServerTest, AnnouncedDevicesAreListedInOrderAndRecorded)
{
    AudioDeviceID first = ClaimDevice(PlugIn());
    AudioDeviceID second = ClaimDevice(PlugIn());
    EXPECT_EQ(AudioHardwareServerFindDevicePlugIn(first), nullptr) << "claimed is not yet alive";

    EXPECT_EQ(AudioHardwareDevicesCreated(PlugIn(), 1, &second), 0);
    EXPECT_EQ(AudioHardwareDevicesCreated(PlugIn(), 1, &first), 0);
    std::vector<AudioDeviceID> devices = AudioHardwareServerCopyDevices();
    auto at = std::find(devices.begin(), devices.end(), second);
    ASSERT_NE(at, devices.end());
    ASSERT_NE(at + 1, devices.end());
    EXPECT_EQ(*(at + 1), first);
    EXPECT_EQ(AudioHardwareServerFindDevicePlugIn(first), PlugIn());

    EXPECT_EQ(AudioHardwareDevicesDied(PlugIn(), 1, &second), 0);
    EXPECT_FALSE(Contains(AudioHardwareServerCopyDevices(), second));
    EXPECT_EQ(AudioHardwareServerFindDevicePlugIn(second), nullptr);

    std::vector<AudioHardwareServerEvent> events = AudioHardwareServerCopyEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].mKind, AudioHardwareServerEvent::kDevicesCreated);
    EXPECT_EQ(events[0].mDevice, second);
    EXPECT_EQ(events[0].mPlugIn, PlugIn());
    EXPECT_EQ(events[1].mKind, AudioHardwareServerEvent::kDevicesCreated);
    EXPECT_EQ(events[1].mDevice, first);
    EXPECT_EQ(events[2].mKind, AudioHardwareServerEvent::kDevicesDied);
    EXPECT_EQ(events[2].mDevice, second);

    AudioHardwareServerClearEvents();
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
}

TEST_F(AudioHardwareServerTest, BadAnnouncementsChangeNothing)
{
    AudioDeviceID mine = ClaimDevice(PlugIn());
    AudioDeviceID theirs = ClaimDevice(OtherPlugIn());
    AudioDeviceID alive = CreateDevice(PlugIn());
    AudioHardwareServerClearEvents();
    std::vector<AudioDeviceID> before = AudioHardwareServerCopyDevices();

    const struct {
        const char* mName;
        OSStatus mStatus;
        std::vector<AudioDeviceID> mDevices;
        bool mDied;
    } cases[] = {
        {"created: another plug-in's device", kBadDevice, {mine, theirs}, false},
        {"created: never claimed", kBadDevice, {mine, 0}, false},
        {"created: already alive", kNope, {mine, alive}, false},
        {"created: listed twice", kNope, {mine, mine}, false},
        {"died: not alive", kBadDevice, {alive, mine}, true},
        {"died: another plug-in's device", kBadDevice, {alive, theirs}, true},
        {"died: listed twice", kNope, {alive, alive}, true},
    };
    for (const auto& check : cases) {
        SCOPED_TRACE(check.mName);
        const UInt32 count = UInt32(check.mDevices.size());
        OSStatus status = check.mDied ? AudioHardwareDevicesDied(PlugIn(), count, check.mDevices.data())
                                      : AudioHardwareDevicesCreated(PlugIn(), count, check.mDevices.data());
        EXPECT_EQ(status, check.mStatus);
        EXPECT_EQ(AudioHardwareServerCopyDevices(), before);
        EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());
    }
    EXPECT_EQ(AudioHardwareDevicesCreated(nullptr, 1, &mine), kNope);
    EXPECT_EQ(AudioHardwareDevicesCreated(PlugIn(), 1, nullptr), kNope);
    EXPECT_EQ(AudioHardwareDevicesDied(PlugIn(), 1, nullptr), kNope);
    EXPECT_EQ(AudioHardwareServerCopyDevices(), before);
}

TEST_F(AudioHardwareServerTest, StreamsMayBeAnnouncedBeforeTheirDeviceAndDieWithIt)
{
    AudioDeviceID device = ClaimDevice(PlugIn());
    AudioStreamID stream = ClaimStream(PlugIn(), device);
    EXPECT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 1, &stream), 0);
    EXPECT_EQ(AudioHardwareServerFindStreamPlugIn(stream), nullptr) << "its device is not alive yet";

    EXPECT_EQ(AudioHardwareDevicesCreated(PlugIn(), 1, &device), 0);
    EXPECT_EQ(AudioHardwareServerFindStreamPlugIn(stream), PlugIn());
    EXPECT_EQ(AudioHardwareServerCopyStreams(device), std::vector<AudioStreamID>{stream});

    EXPECT_EQ(AudioHardwareDevicesDied(PlugIn(), 1, &device), 0);
    EXPECT_EQ(AudioHardwareServerFindStreamPlugIn(stream), nullptr);
    EXPECT_TRUE(AudioHardwareServerCopyStreams(device).empty());

    std::vector<AudioHardwareServerEvent> events = AudioHardwareServerCopyEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].mKind, AudioHardwareServerEvent::kStreamsCreated);
    EXPECT_EQ(events[0].mDevice, device);
    EXPECT_EQ(events[0].mStream, stream);
}

TEST_F(AudioHardwareServerTest, BadStreamAnnouncementsChangeNothing)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    AudioDeviceID otherDevice = CreateDevice(PlugIn());
    AudioStreamID stream = ClaimStream(PlugIn(), device);
    AudioStreamID alive = ClaimStream(PlugIn(), device);
    AudioStreamID elsewhere = ClaimStream(PlugIn(), otherDevice);
    ASSERT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 1, &alive), 0);
    AudioHardwareServerClearEvents();

    AudioStreamID pair[2] = {stream, elsewhere};
    EXPECT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 2, pair), kBadStream) << "not this device's stream";
    EXPECT_EQ(AudioHardwareStreamsCreated(OtherPlugIn(), device, 1, &stream), kBadDevice);
    AudioStreamID twice[2] = {stream, stream};
    EXPECT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 2, twice), kNope);
    AudioStreamID again[2] = {stream, alive};
    EXPECT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 2, again), kNope);
    EXPECT_EQ(AudioHardwareStreamsDied(PlugIn(), device, 1, &stream), kBadStream) << "not alive";
    EXPECT_EQ(AudioHardwareServerCopyStreams(device), std::vector<AudioStreamID>{alive});
    EXPECT_TRUE(AudioHardwareServerCopyEvents().empty());

    EXPECT_EQ(AudioHardwareStreamsDied(PlugIn(), device, 1, &alive), 0);
    EXPECT_TRUE(AudioHardwareServerCopyStreams(device).empty());
    ASSERT_EQ(AudioHardwareServerCopyEvents().size(), 1u);
    EXPECT_EQ(AudioHardwareServerCopyEvents()[0].mKind, AudioHardwareServerEvent::kStreamsDied);
}

TEST_F(AudioHardwareServerTest, PropertyChangesAreRecordedWithTheirAddress)
{
    EXPECT_EQ(AudioHardwareDevicePropertyChanged(PlugIn(), 5, 2, 1, FourCC("sfmt")), 0);
    EXPECT_EQ(AudioHardwareStreamPropertyChanged(PlugIn(), 5, 6, 3, FourCC("pft ")), 0);
    EXPECT_EQ(AudioHardwareDevicePropertyChanged(nullptr, 5, 2, 1, FourCC("sfmt")), kNope);
    EXPECT_EQ(AudioHardwareStreamPropertyChanged(nullptr, 5, 6, 3, FourCC("pft ")), kNope);

    std::vector<AudioHardwareServerEvent> events = AudioHardwareServerCopyEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].mKind, AudioHardwareServerEvent::kDevicePropertyChanged);
    EXPECT_EQ(events[0].mPlugIn, PlugIn());
    EXPECT_EQ(events[0].mDevice, 5u);
    EXPECT_EQ(events[0].mChannel, 2u);
    EXPECT_EQ(events[0].mIsInput, 1);
    EXPECT_EQ(events[0].mSelector, FourCC("sfmt"));
    EXPECT_EQ(events[1].mKind, AudioHardwareServerEvent::kStreamPropertyChanged);
    EXPECT_EQ(events[1].mDevice, 5u);
    EXPECT_EQ(events[1].mStream, 6u);
    EXPECT_EQ(events[1].mChannel, 3u);
    EXPECT_EQ(events[1].mSelector, FourCC("pft "));
}

TEST_F(AudioHardwareServerTest, DeviceListenersHearMatchingChangesInOrderOnTheNotificationThread)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    Heard exact, anyChannel, anySelector, input;
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("nsrt"), DeviceListener, &exact), 0);
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, kAudioPropertyWildcardChannel, 0, FourCC("nsrt"),
                                                   DeviceListener, &anyChannel),
              0);
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, kAudioPropertyWildcardPropertyID, DeviceListener,
                                                   &anySelector),
              0);
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 1, FourCC("nsrt"), DeviceListener, &input), 0);

    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("nsrt"));
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 2, 0, FourCC("nsrt"));
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("mute"));
    AudioHardwareDevicePropertyChanged(PlugIn(), device + 1, 0, 0, FourCC("nsrt"));
    HostRunLoopFlush();

    EXPECT_EQ(exact.mSelectors, std::vector<UInt32>{FourCC("nsrt")});
    EXPECT_EQ(anyChannel.mChannels, (std::vector<UInt32>{0, 2}));
    EXPECT_EQ(anySelector.mSelectors, (std::vector<UInt32>{FourCC("nsrt"), FourCC("mute")}));
    EXPECT_TRUE(input.mSelectors.empty()) << "the section must match";
    for (Heard* heard : {&exact, &anyChannel, &anySelector}) {
        EXPECT_FALSE(heard->mOffThread);
    }
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("nsrt"), DeviceListener), 0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, kAudioPropertyWildcardChannel, 0, FourCC("nsrt"),
                                                      DeviceListener),
              0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, kAudioPropertyWildcardPropertyID, DeviceListener),
              0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 1, FourCC("nsrt"), DeviceListener), 0);
}

TEST_F(AudioHardwareServerTest, ARemovedListenerHearsNothingMoreAndAnotherStillDoes)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    Heard removed, kept;
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener, &removed), 0);
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), OtherDeviceListener, &kept), 0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener), 0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener), kWho);
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("mute"));
    HostRunLoopFlush();
    EXPECT_TRUE(removed.mSelectors.empty());
    EXPECT_EQ(kept.mSelectors.size(), 1u);
    AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), OtherDeviceListener);
}

TEST_F(AudioHardwareServerTest, AddingTheSameListenerTwiceKeepsOneWithTheNewerClientData)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    Heard older, newer;
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener, &older), 0);
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener, &newer), 0);
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("mute"));
    HostRunLoopFlush();
    EXPECT_TRUE(older.mSelectors.empty());
    EXPECT_EQ(newer.mSelectors.size(), 1u);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener), 0);
    EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), DeviceListener), kWho);
}

TEST_F(AudioHardwareServerTest, ListenersNeedALiveObjectAndAProc)
{
    AudioDeviceID claimed = ClaimDevice(PlugIn());
    AudioDeviceID device = CreateDevice(PlugIn());
    AudioStreamID stream = ClaimStream(PlugIn(), device);
    Heard heard;
    EXPECT_EQ(AudioHardwareServerAddDeviceListener(claimed, 0, 0, FourCC("mute"), DeviceListener, &heard), kBadDevice);
    EXPECT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), nullptr, &heard), kNope);
    EXPECT_EQ(AudioHardwareServerAddStreamListener(stream, 0, FourCC("pft "), StreamListener, &heard), kBadStream)
        << "claimed but not announced";
    ASSERT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 1, &stream), 0);
    EXPECT_EQ(AudioHardwareServerAddStreamListener(stream, 0, FourCC("pft "), nullptr, &heard), kNope);
    EXPECT_EQ(AudioHardwareServerAddHardwareListener(kAudioHardwarePropertyDevices, nullptr, &heard), kNope);
    EXPECT_EQ(AudioHardwareServerRemoveStreamListener(stream, 0, FourCC("pft "), StreamListener), kWho);
    EXPECT_EQ(AudioHardwareServerRemoveHardwareListener(kAudioHardwarePropertyDevices, HardwareListener), kWho);
}

TEST_F(AudioHardwareServerTest, StreamListenersHearTheirStream)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    AudioStreamID stream = ClaimStream(PlugIn(), device);
    ASSERT_EQ(AudioHardwareStreamsCreated(PlugIn(), device, 1, &stream), 0);
    Heard heard;
    ASSERT_EQ(AudioHardwareServerAddStreamListener(stream, kAudioPropertyWildcardChannel, FourCC("pft "),
                                                   StreamListener, &heard),
              0);
    AudioHardwareStreamPropertyChanged(PlugIn(), device, stream, 1, FourCC("pft "));
    AudioHardwareStreamPropertyChanged(PlugIn(), device, stream + 1000, 1, FourCC("pft "));
    AudioHardwareStreamPropertyChanged(PlugIn(), device, stream, 1, FourCC("sfmt"));
    HostRunLoopFlush();
    EXPECT_EQ(heard.mSelectors, std::vector<UInt32>{FourCC("pft ")});
    EXPECT_EQ(heard.mChannels, std::vector<UInt32>{1});
    EXPECT_FALSE(heard.mOffThread);
    EXPECT_EQ(AudioHardwareServerRemoveStreamListener(stream, kAudioPropertyWildcardChannel, FourCC("pft "),
                                                      StreamListener),
              0);
}

TEST_F(AudioHardwareServerTest, DeviceListListenersHearArrivalsDeparturesAndForgetting)
{
    Heard heard;
    ASSERT_EQ(AudioHardwareServerAddHardwareListener(kAudioHardwarePropertyDevices, HardwareListener, &heard), 0);
    AudioDeviceID device = CreateDevice(PlugIn());
    AudioHardwareDevicesDied(PlugIn(), 1, &device);
    CreateDevice(PlugIn());
    AudioHardwareServerForgetPlugIn(PlugIn());
    HostRunLoopFlush();
    EXPECT_EQ(heard.Selectors(), std::vector<UInt32>(4, kAudioHardwarePropertyDevices));
    EXPECT_FALSE(heard.mOffThread);
    EXPECT_EQ(AudioHardwareServerRemoveHardwareListener(kAudioHardwarePropertyDevices, HardwareListener), 0);
}

TEST_F(AudioHardwareServerTest, ForgettingAPlugInDropsOnlyItsObjects)
{
    AudioDeviceID mine = CreateDevice(PlugIn());
    AudioStreamID stream = ClaimStream(PlugIn(), mine);
    ASSERT_EQ(AudioHardwareStreamsCreated(PlugIn(), mine, 1, &stream), 0);
    AudioDeviceID theirs = CreateDevice(OtherPlugIn());
    AudioHardwareServerForgetPlugIn(PlugIn());
    EXPECT_EQ(AudioHardwareServerFindDevicePlugIn(mine), nullptr);
    EXPECT_EQ(AudioHardwareServerFindStreamPlugIn(stream), nullptr);
    EXPECT_EQ(AudioHardwareServerFindDevicePlugIn(theirs), OtherPlugIn());
    // Its IDs are gone for good: announcing them again fails.
    EXPECT_EQ(AudioHardwareDevicesCreated(PlugIn(), 1, &mine), kBadDevice);
}

// A listener being delivered when another thread removes it: the removal
// returns only after the listener has finished.
struct SlowListener {
    std::atomic<bool> mEntered{false};
    std::atomic<bool> mRemoverStarted{false};
    std::atomic<bool> mFinished{false};
    std::atomic<int> mCalls{0};
};

OSStatus SlowDeviceListener(AudioDeviceID, UInt32, Boolean, AudioDevicePropertyID, void* inState)
{
    SlowListener* state = static_cast<SlowListener*>(inState);
    ++state->mCalls;
    state->mEntered = true;
    while (!state->mRemoverStarted.load()) {
        std::this_thread::yield();
    }
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    state->mFinished = true;
    return 0;
}

TEST_F(AudioHardwareServerTest, RemovalWaitsForTheListenerBeingDelivered)
{
    AudioDeviceID device = CreateDevice(PlugIn());
    SlowListener state;
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(device, 0, 0, FourCC("mute"), SlowDeviceListener, &state), 0);
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("mute"));
    while (!state.mEntered.load()) {
        std::this_thread::yield();
    }
    bool finishedWhenRemoved = false;
    std::thread remover([&] {
        state.mRemoverStarted = true;
        EXPECT_EQ(AudioHardwareServerRemoveDeviceListener(device, 0, 0, FourCC("mute"), SlowDeviceListener), 0);
        finishedWhenRemoved = state.mFinished.load();
    });
    remover.join();
    EXPECT_TRUE(finishedWhenRemoved);
    AudioHardwareDevicePropertyChanged(PlugIn(), device, 0, 0, FourCC("mute"));
    HostRunLoopFlush();
    EXPECT_EQ(state.mCalls.load(), 1);
}

// A listener may remove itself while it is being delivered.
struct SelfRemover {
    AudioDeviceID mDevice = 0;
    OSStatus mStatus = -1;
    int mCalls = 0;
};

OSStatus SelfRemovingListener(AudioDeviceID, UInt32, Boolean, AudioDevicePropertyID, void* inState)
{
    SelfRemover* state = static_cast<SelfRemover*>(inState);
    ++state->mCalls;
    state->mStatus = AudioHardwareServerRemoveDeviceListener(state->mDevice, 0, 0, FourCC("mute"), SelfRemovingListener);
    return 0;
}

TEST_F(AudioHardwareServerTest, AListenerMayRemoveItself)
{
    SelfRemover state;
    state.mDevice = CreateDevice(PlugIn());
    ASSERT_EQ(AudioHardwareServerAddDeviceListener(state.mDevice, 0, 0, FourCC("mute"), SelfRemovingListener, &state),
              0);
    AudioHardwareDevicePropertyChanged(PlugIn(), state.mDevice, 0, 0, FourCC("mute"));
    AudioHardwareDevicePropertyChanged(PlugIn(), state.mDevice, 0, 0, FourCC("mute"));
    HostRunLoopFlush();
    EXPECT_EQ(state.mStatus, 0);
    EXPECT_EQ(state.mCalls, 1);
}

struct PortCall {
    std::atomic<int> mCalls{0};
    std::atomic<bool> mOnNotificationThread{false};
};

void PortCallback(CFMachPortRef, void*, CFIndex, void* inInfo)
{
    PortCall* call = static_cast<PortCall*>(inInfo);
    call->mOnNotificationThread = HostRunLoopIsNotificationThread();
    ++call->mCalls;
}

TEST_F(AudioHardwareServerTest, AnAddedRunLoopSourceIsServicedOnTheNotificationThreadUntilRemoved)
{
    PortCall call;
    CFMachPortContext context{0, &call, nullptr, nullptr, nullptr};
    CFMachPortRef port = CFMachPortCreate(nullptr, PortCallback, &context, nullptr);
    CFRunLoopSourceRef source = CFMachPortCreateRunLoopSource(nullptr, port, 0);

    EXPECT_EQ(AudioHardwareRemoveRunLoopSource(source), kNope) << "never added";
    ASSERT_EQ(AudioHardwareAddRunLoopSource(source), 0);
    EXPECT_TRUE(CFRunLoopContainsSource(HostGetNotificationRunLoop(), source, kCFRunLoopDefaultMode));

    mach_msg_header_t message{};
    message.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MAKE_SEND, 0);
    message.msgh_size = sizeof(message);
    message.msgh_remote_port = CFMachPortGetPort(port);
    ASSERT_EQ(mach_msg(&message, MACH_SEND_MSG, sizeof(message), 0, MACH_PORT_NULL, MACH_MSG_TIMEOUT_NONE,
                       MACH_PORT_NULL),
              KERN_SUCCESS);
    HostRunLoopFlush();
    EXPECT_EQ(call.mCalls.load(), 1);
    EXPECT_TRUE(call.mOnNotificationThread.load());

    EXPECT_EQ(AudioHardwareRemoveRunLoopSource(source), 0);
    EXPECT_FALSE(CFRunLoopContainsSource(HostGetNotificationRunLoop(), source, kCFRunLoopDefaultMode));
    EXPECT_EQ(AudioHardwareRemoveRunLoopSource(source), kNope);
    EXPECT_EQ(AudioHardwareAddRunLoopSource(nullptr), kNope);
    EXPECT_EQ(AudioHardwareRemoveRunLoopSource(nullptr), kNope);

    CFMachPortInvalidate(port);
    CFRelease(source);
    CFRelease(port);
}

} // namespace
