// The distributed notification center: posts reach every process with a
// socket in the folder, the poster included, on the notification run loop;
// observers filter by name and object; suspension drops, coalesces, holds or
// passes notifications as each observer asked. Each test uses folders of its
// own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/CFNotificationCenter.h"
#include "platform/HostRunLoop.h"

extern char** environ;

namespace {

CFStringRef MakeString(const char* inText) { return CFStringCreateWithCString(nullptr, inText, kCFStringEncodingUTF8); }

std::string TextOf(const void* inString)
{
    if (inString == nullptr) {
        return "(none)";
    }
    char theBuffer[512] = {};
    CFStringGetCString(static_cast<CFStringRef>(inString), theBuffer, sizeof(theBuffer), kCFStringEncodingUTF8);
    return theBuffer;
}

CFNotificationCenterRef Center() { return CFNotificationCenterGetDistributedCenter(); }

void Post(const char* inName, const char* inObject = nullptr, bool inImmediately = false)
{
    CFStringRef theName = MakeString(inName);
    CFStringRef theObject = (inObject != nullptr) ? MakeString(inObject) : nullptr;
    CFNotificationCenterPostNotification(Center(), theName, theObject, nullptr, inImmediately);
    if (theObject != nullptr) {
        CFRelease(theObject);
    }
    CFRelease(theName);
}

// An observer that records what it hears: "name/object" per delivery.
class Recorder {
public:
    ~Recorder() { CFNotificationCenterRemoveEveryObserver(Center(), this); }

    void Observe(const char* inName, const char* inObject = nullptr,
                 CFNotificationSuspensionBehavior inBehavior = CFNotificationSuspensionBehaviorDeliverImmediately)
    {
        CFStringRef theName = (inName != nullptr) ? MakeString(inName) : nullptr;
        CFStringRef theObject = (inObject != nullptr) ? MakeString(inObject) : nullptr;
        CFNotificationCenterAddObserver(Center(), this, &Callback, theName, theObject, inBehavior);
        if (theObject != nullptr) {
            CFRelease(theObject);
        }
        if (theName != nullptr) {
            CFRelease(theName);
        }
    }

    // True once inCount deliveries have arrived (the limit only keeps a
    // broken build from hanging the suite).
    bool WaitFor(size_t inCount)
    {
        std::unique_lock<std::mutex> theLock(mMutex);
        return mArrived.wait_for(theLock, std::chrono::seconds(20), [&] { return mHeard.size() >= inCount; });
    }
    std::vector<std::string> Heard()
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        return mHeard;
    }
    bool AllOnTheRunLoop()
    {
        std::lock_guard<std::mutex> theLock(mMutex);
        return mAllOnRunLoop;
    }

    // Called at the start of each callback (on the run loop), if set.
    std::function<void()> mOnCall;

private:
    static void Callback(CFNotificationCenterRef inCenter, const void* inObserver, CFStringRef inName,
                         const void* inObject, CFDictionaryRef inUserInfo)
    {
        auto* theThis = static_cast<Recorder*>(const_cast<void*>(inObserver));
        if (theThis->mOnCall) {
            theThis->mOnCall();
        }
        std::lock_guard<std::mutex> theLock(theThis->mMutex);
        theThis->mAllOnRunLoop = theThis->mAllOnRunLoop && HostRunLoopIsNotificationThread() &&
                                 inCenter == Center() && inUserInfo == nullptr;
        theThis->mHeard.push_back(TextOf(inName) + "/" + TextOf(inObject));
        theThis->mArrived.notify_all();
    }

    std::mutex mMutex;
    std::condition_variable mArrived;
    std::vector<std::string> mHeard;
    bool mAllOnRunLoop = true;
};

class NotificationCenterTest : public testing::Test {
protected:
    void SetUp() override
    {
        char theTemplate[] = "/tmp/kestro-notify-test-XXXXXX";
        ASSERT_NE(mkdtemp(theTemplate), nullptr);
        mFolder = theTemplate;
        setenv("KESTRO_PREFS_DIR", mFolder.c_str(), 1);
        unsetenv("KESTRO_NOTIFY_DIR");
    }
    void TearDown() override
    {
        HostRunLoopFlush();
        std::filesystem::remove_all(mFolder);
        unsetenv("KESTRO_PREFS_DIR");
    }

    std::string mFolder;
};

TEST_F(NotificationCenterTest, ThePosterHearsItsOwnNotificationOnTheRunLoop)
{
    Recorder theRecorder;
    theRecorder.Observe("Test.Own");
    Post("Test.Own", "thing");
    ASSERT_TRUE(theRecorder.WaitFor(1));
    EXPECT_EQ(theRecorder.Heard(), std::vector<std::string>{"Test.Own/thing"});
    EXPECT_TRUE(theRecorder.AllOnTheRunLoop());
    EXPECT_TRUE(std::filesystem::exists(mFolder + "/notify/" + std::to_string(getpid()) + ".sock"));
}

TEST_F(NotificationCenterTest, ObserversHearOnlyTheNamesAndObjectsTheyAskedFor)
{
    Recorder theByName, theByObject, theEverything;
    theByName.Observe("Test.A");
    theByObject.Observe("Test.A", "one");
    theEverything.Observe(nullptr);
    Post("Test.A", "one");
    Post("Test.A", "two");
    Post("Test.A");
    Post("Test.B", "one");
    ASSERT_TRUE(theEverything.WaitFor(4));
    HostRunLoopFlush();
    EXPECT_EQ(theByName.Heard(), (std::vector<std::string>{"Test.A/one", "Test.A/two", "Test.A/(none)"}));
    EXPECT_EQ(theByObject.Heard(), (std::vector<std::string>{"Test.A/one"}));
    EXPECT_EQ(theEverything.Heard(),
              (std::vector<std::string>{"Test.A/one", "Test.A/two", "Test.A/(none)", "Test.B/one"}));
}

TEST_F(NotificationCenterTest, RemovedObserversHearNothingMore)
{
    Recorder theRemoved, theEveryRemoved, theWitness;
    theRemoved.Observe("Test.R");
    theRemoved.Observe("Test.S");
    theEveryRemoved.Observe("Test.R");
    theEveryRemoved.Observe("Test.S");
    theWitness.Observe("Test.S");
    CFStringRef theName = MakeString("Test.R");
    CFNotificationCenterRemoveObserver(Center(), &theRemoved, theName, nullptr);
    CFRelease(theName);
    CFNotificationCenterRemoveEveryObserver(Center(), &theEveryRemoved);
    Post("Test.R");
    Post("Test.S");
    ASSERT_TRUE(theWitness.WaitFor(1));
    HostRunLoopFlush();
    EXPECT_EQ(theRemoved.Heard(), std::vector<std::string>{"Test.S/(none)"});
    EXPECT_TRUE(theEveryRemoved.Heard().empty());
}

// Removing an observer waits for its callback that is running: afterwards
// the observer may be destroyed safely.
TEST_F(NotificationCenterTest, RemovalWaitsForARunningCallback)
{
    Recorder theRecorder;
    std::mutex theMutex;
    std::condition_variable theChanged;
    bool theEntered = false;
    bool theMayLeave = false;
    theRecorder.mOnCall = [&] {
        std::unique_lock<std::mutex> theLock(theMutex);
        theEntered = true;
        theChanged.notify_all();
        theChanged.wait(theLock, [&] { return theMayLeave; });
    };
    theRecorder.Observe("Test.Slow");
    Post("Test.Slow");
    {
        std::unique_lock<std::mutex> theLock(theMutex);
        ASSERT_TRUE(theChanged.wait_for(theLock, std::chrono::seconds(20), [&] { return theEntered; }));
    }
    std::atomic<bool> theRemoved{false};
    std::thread theRemover([&] {
        CFNotificationCenterRemoveEveryObserver(Center(), &theRecorder);
        theRemoved = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(theRemoved.load()); // still inside the callback
    {
        std::lock_guard<std::mutex> theLock(theMutex);
        theMayLeave = true;
        theChanged.notify_all();
    }
    theRemover.join();
    EXPECT_TRUE(theRemoved.load());
    EXPECT_EQ(theRecorder.Heard().size(), 1u);
}

// While suspended: three ordinary posts of one name, one of another object,
// then one delivered immediately. Each observer gets what its behaviour
// asks for at once and on resumption.
TEST_F(NotificationCenterTest, SuspensionBehavioursDropCoalesceHoldOrDeliver)
{
    Recorder theDrop, theCoalesce, theHold, theImmediate;
    theDrop.Observe("Test.Sus", nullptr, CFNotificationSuspensionBehaviorDrop);
    theCoalesce.Observe("Test.Sus", nullptr, CFNotificationSuspensionBehaviorCoalesce);
    theHold.Observe("Test.Sus", nullptr, CFNotificationSuspensionBehaviorHold);
    theImmediate.Observe("Test.Sus", nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);

    CFNotificationCenterSetSuspended(Center(), true);
    EXPECT_TRUE(CFNotificationCenterIsSuspended(Center()));
    Post("Test.Sus", "a");
    Post("Test.Sus", "a");
    Post("Test.Sus", "b");
    Post("Test.Sus", "a");
    Post("Test.Sus", "now", true);
    ASSERT_TRUE(theImmediate.WaitFor(5));
    HostRunLoopFlush();
    const std::vector<std::string> theNow{"Test.Sus/now"};
    EXPECT_EQ(theDrop.Heard(), theNow);
    EXPECT_EQ(theCoalesce.Heard(), theNow);
    EXPECT_EQ(theHold.Heard(), theNow);

    CFNotificationCenterSetSuspended(Center(), false);
    HostRunLoopFlush();
    EXPECT_FALSE(CFNotificationCenterIsSuspended(Center()));
    EXPECT_EQ(theDrop.Heard(), theNow);
    EXPECT_EQ(theCoalesce.Heard(), (std::vector<std::string>{"Test.Sus/now", "Test.Sus/a", "Test.Sus/b"}));
    EXPECT_EQ(theHold.Heard(), (std::vector<std::string>{"Test.Sus/now", "Test.Sus/a", "Test.Sus/a", "Test.Sus/b",
                                                         "Test.Sus/a"}));
}

// Many threads post at once; every notification arrives exactly once.
TEST_F(NotificationCenterTest, ConcurrentPostsAllArrive)
{
    constexpr int kThreads = 4;
    constexpr int kPosts = 200;
    Recorder theRecorder;
    theRecorder.Observe("Test.Many");
    std::vector<std::thread> thePosters;
    for (int theThread = 0; theThread < kThreads; ++theThread) {
        thePosters.emplace_back([theThread] {
            for (int thePost = 0; thePost < kPosts; ++thePost) {
                Post("Test.Many", (std::to_string(theThread) + ":" + std::to_string(thePost)).c_str());
            }
        });
    }
    for (std::thread& thePoster : thePosters) {
        thePoster.join();
    }
    ASSERT_TRUE(theRecorder.WaitFor(kThreads * kPosts));
    HostRunLoopFlush();
    std::vector<std::string> theHeard = theRecorder.Heard();
    std::sort(theHeard.begin(), theHeard.end());
    EXPECT_EQ(std::unique(theHeard.begin(), theHeard.end()), theHeard.end());
    EXPECT_EQ(theHeard.size(), size_t(kThreads * kPosts));
}

// A socket left by a process that has gone is removed by the next post.
TEST_F(NotificationCenterTest, ADeadProcessesSocketIsRemoved)
{
    Recorder theRecorder;
    theRecorder.Observe("Test.Dead");
    const std::string theDead = mFolder + "/notify/999999999.sock";
    {
        const int theSocket = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un theAddress{};
        theAddress.sun_family = AF_UNIX;
        std::snprintf(theAddress.sun_path, sizeof(theAddress.sun_path), "%s", theDead.c_str());
        ASSERT_EQ(bind(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof(theAddress)), 0);
        close(theSocket);
    }
    ASSERT_TRUE(std::filesystem::exists(theDead));
    Post("Test.Dead");
    ASSERT_TRUE(theRecorder.WaitFor(1));
    EXPECT_FALSE(std::filesystem::exists(theDead));
}

TEST_F(NotificationCenterTest, BadRequestsDoNothing)
{
    Recorder theRecorder;
    theRecorder.Observe(nullptr);
    CFNotificationCenterPostNotification(Center(), nullptr, nullptr, nullptr, true);
    CFStringRef theUnsent = MakeString("Test.Unsent");
    CFNotificationCenterPostNotification(nullptr, theUnsent, nullptr, nullptr, true);
    CFRelease(theUnsent);

    const SInt32 theNumber = 1;
    CFNumberRef theObject = CFNumberCreate(nullptr, kCFNumberSInt32Type, &theNumber);
    CFStringRef theName = MakeString("Test.Bad");
    testing::internal::CaptureStderr();
    CFNotificationCenterPostNotification(Center(), theName, theObject, nullptr, true);
    CFNotificationCenterAddObserver(Center(), &theRecorder, [](CFNotificationCenterRef, const void*, CFStringRef,
                                                               const void*, CFDictionaryRef) {},
                                    theName, theObject, CFNotificationSuspensionBehaviorHold);
    const std::string theLong(5000, 'x');
    Post(theLong.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CFNotificationCenterPostNotification: the object of a distributed notification must be a string\n"
              "CFNotificationCenterAddObserver: the object of a distributed notification must be a string\n"
              "CFNotificationCenterPostNotification: the name and object are too long to send\n");
    CFRelease(theName);
    CFRelease(theObject);

    Post("Test.Last");
    ASSERT_TRUE(theRecorder.WaitFor(1));
    HostRunLoopFlush();
    EXPECT_EQ(theRecorder.Heard(), std::vector<std::string>{"Test.Last/(none)"});
}

// Another process: this test binary again, running the disabled test below.
TEST_F(NotificationCenterTest, NotificationsCrossProcesses)
{
    Recorder theRecorder;
    theRecorder.Observe("Test.FromChild");
    char theSelf[] = "/proc/self/exe";
    char theFilter[] = "--gtest_filter=NotificationCenterChild.DISABLED_EchoesTheParent";
    char theAlso[] = "--gtest_also_run_disabled_tests";
    char* theArguments[] = {theSelf, theFilter, theAlso, nullptr};
    pid_t theChild = -1;
    ASSERT_EQ(posix_spawn(&theChild, theSelf, nullptr, nullptr, theArguments, environ), 0);
    ASSERT_TRUE(theRecorder.WaitFor(1));
    EXPECT_EQ(theRecorder.Heard(), std::vector<std::string>{"Test.FromChild/hello"});
    Post("Test.ToChild", "reply");
    int theStatus = 0;
    ASSERT_EQ(waitpid(theChild, &theStatus, 0), theChild);
    EXPECT_TRUE(WIFEXITED(theStatus) && WEXITSTATUS(theStatus) == 0);
}

TEST(NotificationCenterChild, DISABLED_EchoesTheParent)
{
    Recorder theRecorder;
    theRecorder.Observe("Test.ToChild");
    Post("Test.FromChild", "hello");
    ASSERT_TRUE(theRecorder.WaitFor(1));
    EXPECT_EQ(theRecorder.Heard(), std::vector<std::string>{"Test.ToChild/reply"});
}

} // namespace
