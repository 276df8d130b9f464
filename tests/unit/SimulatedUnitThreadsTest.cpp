// The simulated unit's own threads against real client threads: arrival and
// departure on the notification thread, departure while packets flow, and
// the promise of StopAudio and ClearIOCallback that no callback runs or
// follows once they return.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/HostClock.h"
#include "tests/unit/RecordingClient.h"

namespace {

using Kestro::Unit::RecordingClient;
using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;
using Zent::Mux::Orvel::MuxPacket;

// Records the notifications one registration receives.
struct Listener {
    struct Heard {
        unsigned kind;
        void* data;
        bool onOwnThread;
    };
    static void Entry(void* inRefCon, unsigned inKind, void* inData)
    {
        Listener* listener = static_cast<Listener*>(inRefCon);
        std::lock_guard<std::mutex> lock(listener->mutex);
        listener->heard.push_back({inKind, inData, std::this_thread::get_id() != listener->testThread &&
                                                       !pthread_equal(pthread_self(), listener->ioThread)});
        if (listener->onHeard) {
            listener->onHeard(inKind);
        }
    }
    std::vector<Heard> Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return heard;
    }
    std::mutex mutex;
    std::vector<Heard> heard;
    std::thread::id testThread = std::this_thread::get_id();
    pthread_t ioThread{};
    std::function<void(unsigned)> onHeard;
};

// Waits (without a deadline of its own) until inDone holds, letting other
// threads run.
template <typename Condition>
void WaitUntil(Condition inDone)
{
    while (!inDone()) {
        std::this_thread::yield();
    }
}

// Fast pacing moves the virtual host clock; put the real one back after.
class FastPacing {
public:
    explicit FastPacing(SimulatedUnit& inUnit) { EXPECT_EQ(inUnit.SetPacing(UnitControl::Pacing::kFast), noErr); }
    ~FastPacing() { HostClockUseVirtual(false); }
};

TEST(SimulatedUnitThreads, ArrivalIsAnnouncedRightAfterRegistrationOnTheNotificationThread)
{
    Listener listener;  // outlives the unit, whose thread calls it
    SimulatedUnit unit;
    listener.ioThread = unit.GetIOThread();
    const UInt32 handle = unit.RegisterNotification(&Listener::Entry, &listener);
    ASSERT_NE(handle, 0u);
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    auto heard = listener.Take();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].kind, Zent::Mux::Orvel::kNotificationUnitArrived);
    EXPECT_EQ(heard[0].data, unit.GetUnitHandle());
    EXPECT_TRUE(heard[0].onOwnThread);

    ASSERT_EQ(unit.RemoveUnit(), noErr);
    ASSERT_EQ(unit.PresentUnit(), noErr);
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    heard = listener.Take();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[1].kind, Zent::Mux::Orvel::kNotificationUnitGone);
    EXPECT_EQ(heard[2].kind, Zent::Mux::Orvel::kNotificationUnitArrived);

    unit.UnregisterNotification(handle);
    ASSERT_EQ(unit.RemoveUnit(), noErr);
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    EXPECT_EQ(listener.Take().size(), 3u);
}

TEST(SimulatedUnitThreads, AnAbsentUnitIsAnnouncedOnlyWhenItArrives)
{
    Listener listener;
    SimulatedUnit unit;
    ASSERT_EQ(unit.RemoveUnit(), noErr);
    const UInt32 handle = unit.RegisterNotification(&Listener::Entry, &listener);
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    EXPECT_TRUE(listener.Take().empty());
    ASSERT_EQ(unit.PresentUnit(), noErr);
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    ASSERT_EQ(listener.Take().size(), 1u);
    unit.UnregisterNotification(handle);

    // A null callback registers nothing.
    testing::internal::CaptureStderr();
    EXPECT_EQ(unit.RegisterNotification(nullptr, nullptr), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SimulatedUnit::RegisterNotification: no callback\n");
}

TEST(SimulatedUnitThreads, UnregisterWaitsForTheCallbackInFlight)
{
    Listener listener;
    SimulatedUnit unit;
    std::atomic<bool> inside{false};
    std::atomic<bool> go{false};
    std::atomic<bool> returned{false};
    listener.onHeard = [&](unsigned) {
        inside = true;
        WaitUntil([&] { return go.load(); });
        returned = true;
    };
    const UInt32 handle = unit.RegisterNotification(&Listener::Entry, &listener);
    WaitUntil([&] { return inside.load(); });
    std::atomic<bool> sawReturned{false};
    std::thread unregister([&] {
        unit.UnregisterNotification(handle);
        sawReturned = returned.load();
    });
    go = true;
    unregister.join();
    EXPECT_TRUE(sawReturned.load());
}

TEST(SimulatedUnitThreads, DepartureWhileRunningStopsDeliveryBeforeItIsAnnounced)
{
    Listener listener;
    SimulatedUnit unit;
    FastPacing fast(unit);
    RecordingClient input(unit, true);
    RecordingClient output(unit, false);
    input.record = false;
    output.record = false;
    std::atomic<UInt64> callsAtDeparture{~0ull};
    listener.onHeard = [&](unsigned inKind) {
        if (inKind == Zent::Mux::Orvel::kNotificationUnitGone) {
            callsAtDeparture = input.calls.load() + output.calls.load();
        }
    };
    unit.RegisterNotification(&Listener::Entry, &listener);
    ASSERT_TRUE(input.Start());
    ASSERT_TRUE(output.Start());
    WaitUntil([&] { return input.calls.load() > 50 && output.calls.load() > 50; });

    ASSERT_EQ(unit.RemoveUnit(), noErr);
    const UInt64 callsAtRemoval = input.calls.load() + output.calls.load();
    ASSERT_EQ(unit.WaitForNotifications(), noErr);
    EXPECT_EQ(callsAtDeparture.load(), callsAtRemoval);
    EXPECT_EQ(input.calls.load() + output.calls.load(), callsAtRemoval);
    EXPECT_EQ(unit.GetClientCounts().running, 0u);
    const auto accounting = unit.GetPacketAccounting();
    EXPECT_EQ(accounting.outstanding, 0u);
    EXPECT_EQ(accounting.handedOut, callsAtRemoval);
    // The old clients stay unplugged after the unit comes back.
    ASSERT_EQ(unit.PresentUnit(), noErr);
    EXPECT_FALSE(unit.AcquireAudio(input.GetHandle(), true));
}

TEST(SimulatedUnitThreads, NoCallbackRunsOrFollowsOnceClearIOCallbackOrStopAudioReturns)
{
    SimulatedUnit unit;
    FastPacing fast(unit);
    RecordingClient other(unit, false);  // keeps the I/O thread busy throughout
    other.record = false;
    ASSERT_TRUE(other.Start());
    for (int round = 0; round < 100; ++round) {
        RecordingClient client(unit, true);
        client.record = false;
        std::atomic<bool> cleared{false};
        std::atomic<int> lateCalls{0};
        client.onPacket = [&](MuxPacket*) {
            if (cleared.load()) {
                lateCalls.fetch_add(1);
            }
        };
        ASSERT_TRUE(client.Start());
        WaitUntil([&] { return client.calls.load() >= 2; });
        if (round % 2 == 0) {
            unit.ClearIOCallback(client.GetHandle());
        } else {
            unit.StopAudio(client.GetHandle());
        }
        cleared = true;
        const UInt64 callsAtReturn = client.calls.load();
        // Let the unit deliver a few more packets to the other client.
        const UInt64 otherCalls = other.calls.load();
        WaitUntil([&] { return other.calls.load() > otherCalls + 3; });
        EXPECT_EQ(client.calls.load(), callsAtReturn) << round;
        EXPECT_EQ(lateCalls.load(), 0) << round;
    }
}

TEST(SimulatedUnitThreads, ACallbackMayStopItselfOrUnplugTheUnit)
{
    SimulatedUnit unit;
    ASSERT_EQ(unit.SetPacing(UnitControl::Pacing::kStepped), noErr);
    RecordingClient input(unit, true);
    input.onPacket = [&](MuxPacket*) {
        if (input.calls.load() == 1) {
            unit.StopAudio(input.GetHandle());
            unit.ClearIOCallback(input.GetHandle());
        }
    };
    ASSERT_TRUE(input.Start());
    ASSERT_EQ(unit.Step(5), noErr);
    EXPECT_EQ(input.calls.load(), 2u);

    input.Stop();
    RecordingClient output(unit, false);
    RecordingClient lateInput(unit, true);
    output.onPacket = [&](MuxPacket*) { EXPECT_EQ(unit.RemoveUnit(), noErr); };
    ASSERT_TRUE(output.Start());
    ASSERT_TRUE(lateInput.Start());
    EXPECT_EQ(unit.Step(1), noErr);
    EXPECT_EQ(output.calls.load(), 1u);
    EXPECT_EQ(lateInput.calls.load(), 0u);  // unplugged before its turn came
    EXPECT_FALSE(unit.IsUnitPresent());
    EXPECT_EQ(unit.GetPacketAccounting().outstanding, 0u);
}

TEST(SimulatedUnitThreads, RealTimePacingDeliversAgainstTheHostClock)
{
    HostClockUseVirtual(false);
    SimulatedUnit unit;
    RecordingClient input(unit, true);
    ASSERT_TRUE(input.Start());
    WaitUntil([&] { return input.calls.load() >= 3; });
    input.Stop();
    ASSERT_GE(input.records.size(), 3u);
    EXPECT_LT(input.records[0].time, input.records[1].time);
    // The first packet of a run starts at the host time it was made.
    EXPECT_LE(input.records[2].time, HostClockNanos());
}

TEST(SimulatedUnitThreads, FastPacingAdvancesTheVirtualHostClockByEachPacket)
{
    SimulatedUnit unit;
    RecordingClient input(unit, true);
    std::vector<UInt64> hostAtCallback;
    input.onPacket = [&](MuxPacket*) { hostAtCallback.push_back(HostClockNanos()); };
    {
        FastPacing fast(unit);
        ASSERT_TRUE(input.Start());
        WaitUntil([&] { return input.calls.load() >= 20; });
        input.Stop();
        ASSERT_TRUE(HostClockIsVirtual());
    }
    // Each packet is delivered at the host time of its first frame.
    for (size_t i = 0; i < input.records.size(); ++i) {
        EXPECT_EQ(input.records[i].time, hostAtCallback[i]) << i;
    }
}

}  // namespace
