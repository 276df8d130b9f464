// Hog mode across processes: the preference names the owner, the
// notification tells every process, each device hears exactly one hook per
// change. Each test gets preference and notification folders of its own;
// the second process is the hog_helper program.
#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "HogTestDevice.h"
#include "framework/CAProcess.h"
#include "framework/HPHogMode.h"
#include "platform/CFNotificationCenter.h"
#include "platform/CFPreferences.h"
#include "platform/HostRunLoop.h"
#include "support/CAException.h"

extern char** environ;

namespace {

constexpr const char* kUID = "HogTest:0";
constexpr const char* kKey = "com.haldrix.audio.CoreAudio.HogMode.Owner-HogTest:0";
const HPPropertyAddress kHogAddress(kAudioDevicePropertyHogMode, 0, 0);

CFStringRef MakeString(const char* inText) { return CFStringCreateWithCString(nullptr, inText, kCFStringEncodingUTF8); }

// The preference as another process would read it now: kNoValue when absent,
// kNotANumber for another type.
constexpr SInt64 kNoValue = -1000;
constexpr SInt64 kNotANumber = -2000;
SInt64 ReadPreference()
{
    CFStringRef theKey = MakeString(kKey);
    CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    CFPropertyListRef theValue =
        CFPreferencesCopyValue(theKey, kCFPreferencesAnyApplication, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    CFRelease(theKey);
    if (theValue == nullptr) {
        return kNoValue;
    }
    SInt64 theResult = kNotANumber;
    if (CFGetTypeID(theValue) == CFNumberGetTypeID()) {
        CFNumberGetValue(static_cast<CFNumberRef>(theValue), kCFNumberSInt64Type, &theResult);
    }
    CFRelease(theValue);
    return theResult;
}

void WritePreference(CFPropertyListRef inValue)
{
    CFStringRef theKey = MakeString(kKey);
    CFPreferencesSetValue(theKey, inValue, kCFPreferencesAnyApplication, kCFPreferencesAnyUser,
                          kCFPreferencesCurrentHost);
    CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    CFRelease(theKey);
}

void WriteOwner(SInt32 inOwner)
{
    CFNumberRef theNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &inOwner);
    WritePreference(theNumber);
    CFRelease(theNumber);
}

// The ID of a process that has exited and been reaped.
SInt32 ExitedProcessID()
{
    const pid_t theChild = fork();
    if (theChild == 0) {
        _exit(0);
    }
    int theStatus = 0;
    waitpid(theChild, &theStatus, 0);
    return SInt32(theChild);
}

// Counts the hog-mode notifications this process receives. Since a process
// receives its own posts in order, posting a sentinel and waiting for it
// proves that every notification posted before it has arrived.
class NotificationCounter {
public:
    NotificationCounter()
    {
        CFStringRef theKey = MakeString(kKey);
        mSentinel = MakeString("HogTest.Sentinel");
        CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), this, &Callback, theKey, nullptr,
                                        CFNotificationSuspensionBehaviorDeliverImmediately);
        CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), this, &Callback, mSentinel,
                                        nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);
        CFRelease(theKey);
    }
    ~NotificationCounter()
    {
        CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDistributedCenter(), this);
        CFRelease(mSentinel);
    }

    // The number of hog-mode notifications received once every post made
    // before this call has arrived.
    int SettleAndCount()
    {
        CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), mSentinel, nullptr, nullptr,
                                             true);
        std::unique_lock<std::mutex> theLock(mMutex);
        const int theWanted = ++mSentinelsPosted;
        EXPECT_TRUE(mArrived.wait_for(theLock, std::chrono::seconds(20), [&] { return mSentinels >= theWanted; }));
        HostRunLoopFlush(); // the hog handlers' callbacks of those posts have run as well
        return mHogNotifications;
    }

private:
    static void Callback(CFNotificationCenterRef, const void* inObserver, CFStringRef inName, const void*,
                         CFDictionaryRef)
    {
        auto* theThis = static_cast<NotificationCounter*>(const_cast<void*>(inObserver));
        std::lock_guard<std::mutex> theLock(theThis->mMutex);
        if (CFStringCompare(inName, theThis->mSentinel, 0) == kCFCompareEqualTo) {
            ++theThis->mSentinels;
        } else {
            ++theThis->mHogNotifications;
        }
        theThis->mArrived.notify_all();
    }

    CFStringRef mSentinel;
    std::mutex mMutex;
    std::condition_variable mArrived;
    int mSentinels = 0;
    int mSentinelsPosted = 0;
    int mHogNotifications = 0;
};

// The hog_helper program, driven over pipes.
class HelperProcess {
public:
    HelperProcess()
    {
        int theInput[2];
        int theOutput[2];
        EXPECT_EQ(pipe(theInput), 0);
        EXPECT_EQ(pipe(theOutput), 0);
        posix_spawn_file_actions_t theActions;
        posix_spawn_file_actions_init(&theActions);
        posix_spawn_file_actions_adddup2(&theActions, theInput[0], 0);
        posix_spawn_file_actions_adddup2(&theActions, theOutput[1], 1);
        // B's own failure lines would only clutter the test's output.
        posix_spawn_file_actions_addopen(&theActions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&theActions, theInput[1]);
        posix_spawn_file_actions_addclose(&theActions, theOutput[0]);
        char thePath[] = KESTRO_HOG_HELPER_PATH;
        char theUID[] = "HogTest:0";
        char* theArguments[] = {thePath, theUID, nullptr};
        EXPECT_EQ(posix_spawn(&mPID, thePath, &theActions, nullptr, theArguments, environ), 0);
        posix_spawn_file_actions_destroy(&theActions);
        close(theInput[0]);
        close(theOutput[1]);
        mToHelper = theInput[1];
        mFromHelper = theOutput[0];
    }
    ~HelperProcess()
    {
        if (mToHelper >= 0) {
            close(mToHelper);
        }
        close(mFromHelper);
        if (mPID > 0) {
            kill(mPID, SIGKILL);
            waitpid(mPID, nullptr, 0);
        }
    }

    // The next line the helper prints ("" if it printed none in time).
    std::string ReadLine()
    {
        std::string theLine;
        char theChar;
        for (;;) {
            pollfd thePoll{mFromHelper, POLLIN, 0};
            if (poll(&thePoll, 1, 20000) <= 0 || read(mFromHelper, &theChar, 1) != 1) {
                ADD_FAILURE() << "the helper did not answer";
                return theLine;
            }
            if (theChar == '\n') {
                return theLine;
            }
            theLine += theChar;
        }
    }
    std::string Ask(const std::string& inCommand)
    {
        const std::string theLine = inCommand + "\n";
        EXPECT_EQ(write(mToHelper, theLine.data(), theLine.size()), ssize_t(theLine.size()));
        return ReadLine();
    }
    // Ends the helper without releasing anything and reaps it.
    void Quit()
    {
        const std::string theLine = "quit\n";
        EXPECT_EQ(write(mToHelper, theLine.data(), theLine.size()), ssize_t(theLine.size()));
        int theStatus = 0;
        EXPECT_EQ(waitpid(mPID, &theStatus, 0), mPID);
        mPID = -1;
    }
    pid_t GetPID() const { return mPID; }

private:
    pid_t mPID = -1;
    int mToHelper = -1;
    int mFromHelper = -1;
};

class HPHogModeTest : public testing::Test {
protected:
    void SetUp() override
    {
        char theTemplate[] = "/tmp/kestro-hog-XXXXXX";
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

    // Toggles 'oink' on the handler; returns the owner written back.
    static SInt32 Toggle(HPHogMode& inHogMode)
    {
        SInt32 theData = 777;
        inHogMode.SetData(kHogAddress, sizeof(theData), &theData, nullptr);
        return theData;
    }
    static SInt32 ReadOwner(const HPHogMode& inHogMode)
    {
        SInt32 theOwner = 0;
        UInt32 theSize = sizeof(theOwner);
        inHogMode.GetData(kHogAddress, theSize, &theOwner);
        return theOwner;
    }

    std::string mFolder;
};

TEST_F(HPHogModeTest, AnswersOnlyTheHogModeSelector)
{
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    EXPECT_EQ(theHogMode.GetNumberAddressesImplemented(), 1u);
    HPPropertyAddress theAddress(1, 2, 3);
    theHogMode.GetImplementedAddressByIndex(1, theAddress);
    EXPECT_EQ(theAddress.mSelector, 1u); // other indexes leave the address alone
    theHogMode.GetImplementedAddressByIndex(0, theAddress);
    EXPECT_EQ(theAddress.mSelector, kAudioDevicePropertyHogMode);
    EXPECT_EQ(theAddress.mChannel, 0xFFFFFFFFu);
    EXPECT_EQ(theAddress.mSection, 0xFF);
    EXPECT_TRUE(theHogMode.IsSettable(kHogAddress));
    EXPECT_EQ(theHogMode.GetDataSize(kHogAddress), 4u);

    const HPPropertyAddress theOther(kAudioDevicePropertyDeviceName, 0, 0);
    EXPECT_FALSE(theHogMode.IsSettable(theOther));
    EXPECT_EQ(theHogMode.GetDataSize(theOther), 0u);
    SInt32 theData = 99;
    UInt32 theSize = 4;
    theHogMode.GetData(theOther, theSize, &theData);
    theHogMode.SetData(theOther, 4, &theData, nullptr);
    EXPECT_EQ(theData, 99);
    EXPECT_EQ(theHogMode.GetOwner(), -1);
    EXPECT_EQ(ReadPreference(), kNoValue);
}

TEST_F(HPHogModeTest, TheKeyIsThePrefixAndTheDeviceUID)
{
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    CFStringRef theExpected = MakeString(kKey);
    EXPECT_EQ(CFStringCompare(theHogMode.GetPreferenceKey(), theExpected, 0), kCFCompareEqualTo);
    CFRelease(theExpected);
}

TEST_F(HPHogModeTest, WrongSizesFailWithTheirMessagesAndChangeNothing)
{
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    SInt64 theData = 5;
    UInt32 theSize = 8;
    testing::internal::CaptureStderr();
    try {
        theHogMode.GetData(kHogAddress, theSize, &theData);
        ADD_FAILURE() << "GetData took 8 bytes";
    } catch (const CAException& inError) {
        EXPECT_EQ(inError.GetError(), kAudioHardwareBadPropertySizeError);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "HPHogMode::GetData: wrong data size for kAudioDevicePropertyHogMode\n");
    EXPECT_EQ(theSize, 8u);
    EXPECT_EQ(theData, 5);

    testing::internal::CaptureStderr();
    try {
        theHogMode.SetData(kHogAddress, 2, &theData, nullptr);
        ADD_FAILURE() << "SetData took 2 bytes";
    } catch (const CAException& inError) {
        EXPECT_EQ(inError.GetError(), kAudioHardwareBadPropertySizeError);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(theHogMode.GetOwner(), -1);
    EXPECT_EQ(ReadPreference(), kNoValue);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{0, 0, 0, 0}));
}

TEST_F(HPHogModeTest, WithNoPreferenceTheOwnerIsFreeAndNothingIsPosted)
{
    NotificationCounter theCounter;
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    EXPECT_EQ(ReadOwner(theHogMode), -1);
    EXPECT_EQ(theCounter.SettleAndCount(), 0);
}

TEST_F(HPHogModeTest, TokensGrowByOne)
{
    HogTestDevice theDevice(kUID);
    HPHogMode theFirst(&theDevice);
    HPHogMode theSecond(&theDevice);
    EXPECT_GE(theFirst.GetToken(), 10u);
    EXPECT_EQ(theSecond.GetToken(), theFirst.GetToken() + 1);
}

// Whatever a dead owner or a foreign writer left is cleared when a handler
// is made, and the other processes are told.
TEST_F(HPHogModeTest, AStaleEntryIsClearedAtConstructionAndPosted)
{
    const SInt32 theDeadProcess = ExitedProcessID();
    ASSERT_FALSE(CAProcess::ProcessExists(theDeadProcess));
    const SInt32 theZero = 0;
    const Float64 theFraction = 1.5;
    struct Case {
        const char* mWhat;
        CFPropertyListRef mValue;
    } const theCases[] = {
        {"an exited process", CFNumberCreate(nullptr, kCFNumberSInt32Type, &theDeadProcess)},
        {"process ID 0", CFNumberCreate(nullptr, kCFNumberSInt32Type, &theZero)},
        {"a fraction", CFNumberCreate(nullptr, kCFNumberFloat64Type, &theFraction)},
        {"a string", MakeString("not a process")},
    };
    NotificationCounter theCounter;
    int thePosts = 0;
    for (const Case& theCase : theCases) {
        SCOPED_TRACE(theCase.mWhat);
        WritePreference(theCase.mValue);
        CFRelease(theCase.mValue);
        HogTestDevice theDevice(kUID);
        HPHogMode theHogMode(&theDevice);
        EXPECT_EQ(theHogMode.GetOwner(), -1);
        EXPECT_EQ(ReadPreference(), kNoValue);
        EXPECT_EQ(theCounter.SettleAndCount(), ++thePosts);
        EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{0, 0, 0, 0}));
    }
}

TEST_F(HPHogModeTest, AStaleEntryFoundByANotificationIsClearedWithoutPosting)
{
    NotificationCounter theCounter;
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    WriteOwner(ExitedProcessID());
    CFStringRef theKey = MakeString(kKey);
    CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), theKey, nullptr, nullptr, false);
    CFRelease(theKey);
    EXPECT_EQ(theCounter.SettleAndCount(), 1); // ours only
    EXPECT_EQ(ReadPreference(), kNoValue);
    EXPECT_EQ(theHogMode.GetOwner(), -1);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{0, 0, 0, 0}));
}

// Take, then release: the caller's data gets this process and then -1, each
// change posts once, and the process's own notifications call no hook.
TEST_F(HPHogModeTest, SettingTwiceTakesThenReleases)
{
    NotificationCounter theCounter;
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    const SInt32 theSelf = SInt32(getpid());

    EXPECT_EQ(Toggle(theHogMode), theSelf);
    EXPECT_EQ(ReadOwner(theHogMode), theSelf);
    EXPECT_EQ(ReadPreference(), theSelf);
    EXPECT_EQ(theCounter.SettleAndCount(), 1);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{1, 0, 0, 0}));

    EXPECT_EQ(Toggle(theHogMode), -1);
    EXPECT_EQ(ReadOwner(theHogMode), -1);
    EXPECT_EQ(ReadPreference(), kNoValue);
    EXPECT_EQ(theCounter.SettleAndCount(), 2);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{1, 0, 1, 0}));
}

TEST_F(HPHogModeTest, AnotherLiveOwnerRefusesTheSetAndKeepsThePreference)
{
    const SInt32 theOther = SInt32(getppid());
    ASSERT_TRUE(CAProcess::ProcessExists(theOther));
    WriteOwner(theOther);
    NotificationCounter theCounter;
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    EXPECT_EQ(ReadOwner(theHogMode), theOther);

    SInt32 theData = 777;
    testing::internal::CaptureStderr();
    try {
        theHogMode.SetData(kHogAddress, sizeof(theData), &theData, nullptr);
        ADD_FAILURE() << "took hog mode from a live owner";
    } catch (const CAException& inError) {
        EXPECT_EQ(inError.GetError(), kAudioDevicePermissionsError);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPHogMode::SetData: hog mode owned by another process\n");
    EXPECT_EQ(theData, 777);
    EXPECT_EQ(ReadPreference(), theOther);
    EXPECT_EQ(ReadOwner(theHogMode), theOther);
    EXPECT_EQ(theCounter.SettleAndCount(), 0);
}

// The owner this process last heard of has exited: the set clears the entry
// and takes hog mode instead of failing for good.
TEST_F(HPHogModeTest, ASetAfterTheOwnerExitedTakesHogMode)
{
    HelperProcess theHelper;
    ASSERT_EQ(theHelper.ReadLine().rfind("ready ", 0), 0u);
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    const std::string theHelperPID = std::to_string(theHelper.GetPID());
    EXPECT_EQ(theHelper.Ask("set"), "ok " + theHelperPID);
    ASSERT_TRUE(theDevice.WaitForHook(HogTestDevice::kTakenByOther, 1));
    theHelper.Quit();

    EXPECT_EQ(Toggle(theHogMode), SInt32(getpid()));
    EXPECT_EQ(ReadPreference(), SInt32(getpid()));
}

TEST_F(HPHogModeTest, ANotificationAfterDestructionDoesNothing)
{
    HogTestDevice theDevice(kUID);
    auto theHogMode = std::make_unique<HPHogMode>(&theDevice);
    const UInt32 theToken = theHogMode->GetToken();
    theHogMode.reset();

    WriteOwner(SInt32(getppid())); // a live handler would now hear TakenByOther
    CFStringRef theKey = MakeString(kKey);
    HPHogMode::ChangeNotification(CFNotificationCenterGetDistributedCenter(),
                                  reinterpret_cast<const void*>(uintptr_t(theToken)), theKey, nullptr, nullptr);
    NotificationCounter theCounter;
    CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), theKey, nullptr, nullptr, false);
    CFRelease(theKey);
    EXPECT_EQ(theCounter.SettleAndCount(), 1);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{0, 0, 0, 0}));
    EXPECT_EQ(ReadPreference(), SInt32(getppid()));
}

// Two real processes: this one (A) and the helper (B), each with its own
// device and handler for the same UID.
TEST_F(HPHogModeTest, TwoProcessesTakeAndReleaseInTurn)
{
    HelperProcess theHelper;
    const std::string theReady = theHelper.ReadLine();
    std::istringstream theWords(theReady);
    std::string theWord;
    int thePID = 0, theToken = 0, theOwner = 0;
    theWords >> theWord >> thePID >> theToken >> theOwner;
    ASSERT_EQ(theWord, "ready");
    EXPECT_EQ(thePID, theHelper.GetPID());
    EXPECT_EQ(theToken, 10); // the first handler of a process
    EXPECT_EQ(theOwner, -1);
    EXPECT_EQ(theHelper.Ask("second"), "11");
    EXPECT_EQ(theHelper.Ask("start"), "1");

    NotificationCounter theCounter;
    HogTestDevice theDevice(kUID);
    HPHogMode theHogMode(&theDevice);
    const SInt32 theSelf = SInt32(getpid());
    const std::string theHelperPID = std::to_string(theHelper.GetPID());

    // A takes: B hears TakenByOther and stops its IOProc; B's set fails.
    EXPECT_EQ(Toggle(theHogMode), theSelf);
    EXPECT_EQ(theHelper.Ask("wait 1 2"), "ok");
    EXPECT_EQ(theHelper.Ask("started"), "0");
    EXPECT_EQ(theHelper.Ask("owner"), std::to_string(theSelf));
    EXPECT_EQ(theHelper.Ask("set"), "error " + std::to_string(kAudioDevicePermissionsError));
    EXPECT_EQ(ReadPreference(), theSelf);
    EXPECT_EQ(theHogMode.GetOwner(), theSelf);

    // A releases: B hears ReleasedByOther.
    EXPECT_EQ(Toggle(theHogMode), -1);
    EXPECT_EQ(theHelper.Ask("wait 3 2"), "ok");
    EXPECT_EQ(theHelper.Ask("owner"), "-1");
    // B's first handler heard one hook per change; the second handler of B
    // (same UID, same process) heard them too.
    EXPECT_EQ(theHelper.Ask("hooks"), "0 2 0 2");

    // A's own two notifications have arrived and called no hook.
    EXPECT_EQ(theCounter.SettleAndCount(), 2);
    EXPECT_EQ(theDevice.GetHookCounts(), (std::array<UInt32, 4>{1, 0, 1, 0}));

    // B takes: A hears TakenByOther, and A's set fails.
    EXPECT_EQ(theHelper.Ask("set"), "ok " + theHelperPID);
    ASSERT_TRUE(theDevice.WaitForHook(HogTestDevice::kTakenByOther, 1));
    EXPECT_EQ(theHogMode.GetOwner(), theHelper.GetPID());
    testing::internal::CaptureStderr();
    EXPECT_THROW(Toggle(theHogMode), CAException);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "HPHogMode::SetData: hog mode owned by another process\n");
    EXPECT_EQ(ReadPreference(), theHelper.GetPID());

    // B exits still owning it: a handler made now clears the entry and posts.
    theHelper.Quit();
    const int thePostsBefore = theCounter.SettleAndCount();
    HogTestDevice theLaterDevice(kUID);
    HPHogMode theLater(&theLaterDevice);
    EXPECT_EQ(theLater.GetOwner(), -1);
    EXPECT_EQ(ReadPreference(), kNoValue);
    EXPECT_EQ(theCounter.SettleAndCount(), thePostsBefore + 1);
    // That notification told A's first handler, which saw B leave.
    EXPECT_EQ(theHogMode.GetOwner(), -1);
    EXPECT_EQ(theDevice.GetHookCount(HogTestDevice::kReleasedByOther), 1u);
}

} // namespace
