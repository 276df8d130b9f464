// The host-wide preference store: values kept per domain in files that
// several processes share, merged under a file lock and replaced whole.
// Every test works in a folder of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/CFPreferences.h"

namespace {

CFStringRef MakeString(const char* inText) { return CFStringCreateWithCString(nullptr, inText, kCFStringEncodingUTF8); }

std::string TextOf(CFTypeRef inString)
{
    char theBuffer[512] = {};
    CFStringGetCString(static_cast<CFStringRef>(inString), theBuffer, sizeof(theBuffer), kCFStringEncodingUTF8);
    return theBuffer;
}

// The shared domain of hog mode and of most tests here.
struct Domain {
    CFStringRef mApplication = kCFPreferencesAnyApplication;
    CFStringRef mUser = kCFPreferencesAnyUser;
    CFStringRef mHost = kCFPreferencesCurrentHost;
};

CFPropertyListRef Copy(const char* inKey, Domain inDomain = Domain())
{
    CFStringRef theKey = MakeString(inKey);
    CFPropertyListRef theValue = CFPreferencesCopyValue(theKey, inDomain.mApplication, inDomain.mUser, inDomain.mHost);
    CFRelease(theKey);
    return theValue;
}

void Set(const char* inKey, CFPropertyListRef inValue, Domain inDomain = Domain())
{
    CFStringRef theKey = MakeString(inKey);
    CFPreferencesSetValue(theKey, inValue, inDomain.mApplication, inDomain.mUser, inDomain.mHost);
    CFRelease(theKey);
}

// Set, then releases the value made for it.
void SetMade(const char* inKey, CFPropertyListRef inValue, Domain inDomain = Domain())
{
    Set(inKey, inValue, inDomain);
    CFRelease(inValue);
}

bool Sync(Domain inDomain = Domain())
{
    return CFPreferencesSynchronize(inDomain.mApplication, inDomain.mUser, inDomain.mHost) != 0;
}

// The integer held under the key after a synchronisation; -1 when absent.
SInt64 SyncedInteger(const char* inKey)
{
    Sync();
    CFPropertyListRef theValue = Copy(inKey);
    SInt64 theResult = -1;
    if (theValue != nullptr) {
        CFNumberGetValue(static_cast<CFNumberRef>(theValue), kCFNumberSInt64Type, &theResult);
        CFRelease(theValue);
    }
    return theResult;
}

void SetInteger(const char* inKey, SInt32 inValue)
{
    CFNumberRef theNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &inValue);
    Set(inKey, theNumber);
    CFRelease(theNumber);
}

// Runs inBody in a child process and returns its exit code.
template <typename Body>
int InChild(Body inBody)
{
    const pid_t theChild = fork();
    if (theChild == 0) {
        _exit(inBody());
    }
    int theStatus = 0;
    waitpid(theChild, &theStatus, 0);
    return WIFEXITED(theStatus) ? WEXITSTATUS(theStatus) : 100;
}

class PreferencesTest : public testing::Test {
protected:
    void SetUp() override
    {
        char theTemplate[] = "/tmp/kestro-prefs-test-XXXXXX";
        ASSERT_NE(mkdtemp(theTemplate), nullptr);
        mFolder = theTemplate;
        setenv("KESTRO_PREFS_DIR", mFolder.c_str(), 1);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(mFolder);
        unsetenv("KESTRO_PREFS_DIR");
    }

    // The one domain file in the folder.
    std::string DomainFile() const
    {
        for (const auto& theEntry : std::filesystem::directory_iterator(mFolder)) {
            if (theEntry.path().extension() == ".prefs") {
                return theEntry.path().string();
            }
        }
        return std::string();
    }

    std::string FileText() const
    {
        std::ifstream theFile(DomainFile());
        std::stringstream theContents;
        theContents << theFile.rdbuf();
        return theContents.str();
    }

    std::string mFolder;
};

TEST_F(PreferencesTest, AMissingValueIsNull)
{
    EXPECT_EQ(Copy("nothing"), nullptr);
    EXPECT_TRUE(Sync());
    EXPECT_EQ(Copy("nothing"), nullptr);
}

// Every kind of value the store keeps survives a trip through the file (the
// synchronisation reloads the domain from it).
TEST_F(PreferencesTest, NumbersAndStringsSurviveTheFile)
{
    const SInt32 theInt32 = -2147483647 - 1;
    const SInt64 theInt64 = 9007199254740993LL;
    const Float64 theFloat = 0.1;
    SetMade("i32", CFNumberCreate(nullptr, kCFNumberSInt32Type, &theInt32));
    SetMade("i64", CFNumberCreate(nullptr, kCFNumberSInt64Type, &theInt64));
    SetMade("f64", CFNumberCreate(nullptr, kCFNumberFloat64Type, &theFloat));
    const char* const theText = "tab\there\nnew line \\ back slash \xC3\xA9";
    SetMade("text", MakeString(theText));
    SetMade("key with\ttab\nand line", MakeString(""));
    ASSERT_TRUE(Sync());

    // The synchronisation reloaded the domain from the file: what is read
    // now (here in a child process) is what the file held.
    EXPECT_EQ(InChild([&] {
                  CFPropertyListRef theValue = Copy("i32");
                  SInt32 theReadInt32 = 0;
                  if (CFGetTypeID(theValue) != CFNumberGetTypeID() ||
                      !CFNumberGetValue(static_cast<CFNumberRef>(theValue), kCFNumberSInt32Type, &theReadInt32) ||
                      theReadInt32 != theInt32) {
                      return 1;
                  }
                  SInt64 theReadInt64 = 0;
                  if (!CFNumberGetValue(static_cast<CFNumberRef>(Copy("i64")), kCFNumberSInt64Type, &theReadInt64) ||
                      theReadInt64 != theInt64) {
                      return 2;
                  }
                  Float64 theReadFloat = 0;
                  if (!CFNumberGetValue(static_cast<CFNumberRef>(Copy("f64")), kCFNumberFloat64Type, &theReadFloat) ||
                      theReadFloat != theFloat) {
                      return 3;
                  }
                  CFPropertyListRef theString = Copy("text");
                  if (CFGetTypeID(theString) != CFStringGetTypeID() || TextOf(theString) != theText) {
                      return 4;
                  }
                  return Copy("key with\ttab\nand line") != nullptr ? 0 : 5;
              }),
              0);
}

TEST_F(PreferencesTest, AChangeReachesOtherProcessesOnlyWhenSynchronised)
{
    SetInteger("pending", 7);
    EXPECT_EQ(SyncedInteger("never") , -1);
    // Synchronising the domain wrote the pending value as well.
    EXPECT_EQ(InChild([] { return SyncedInteger("pending") == 7 ? 0 : 1; }), 0);

    SetInteger("later", 8);
    CFPropertyListRef theOwn = Copy("later");
    ASSERT_NE(theOwn, nullptr); // this process sees its pending change at once
    CFRelease(theOwn);
    EXPECT_EQ(FileText().find("later\t"), std::string::npos); // the file, which other processes read, does not
    EXPECT_TRUE(Sync());
    EXPECT_NE(FileText().find("later\ti32\t8\n"), std::string::npos);
}

TEST_F(PreferencesTest, ANullValueRemovesTheKeyEverywhere)
{
    SetInteger("gone", 1);
    ASSERT_TRUE(Sync());
    Set("gone", nullptr);
    EXPECT_EQ(Copy("gone"), nullptr);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(InChild([] { return SyncedInteger("gone") == -1 ? 0 : 1; }), 0);
}

// Other processes' changes of other keys are merged, never overwritten: four
// processes each write their own keys, one synchronisation per write.
TEST_F(PreferencesTest, ConcurrentProcessesLoseNoKey)
{
    constexpr int kProcesses = 4;
    constexpr int kKeys = 15;
    std::vector<pid_t> theChildren;
    for (int theProcess = 0; theProcess < kProcesses; ++theProcess) {
        const pid_t theChild = fork();
        if (theChild == 0) {
            for (int theKey = 0; theKey < kKeys; ++theKey) {
                const std::string theName = "p" + std::to_string(theProcess) + "k" + std::to_string(theKey);
                SetInteger(theName.c_str(), theProcess * 1000 + theKey);
                if (!Sync()) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        theChildren.push_back(theChild);
    }
    for (pid_t theChild : theChildren) {
        int theStatus = 0;
        waitpid(theChild, &theStatus, 0);
        EXPECT_TRUE(WIFEXITED(theStatus) && WEXITSTATUS(theStatus) == 0);
    }
    for (int theProcess = 0; theProcess < kProcesses; ++theProcess) {
        for (int theKey = 0; theKey < kKeys; ++theKey) {
            const std::string theName = "p" + std::to_string(theProcess) + "k" + std::to_string(theKey);
            EXPECT_EQ(SyncedInteger(theName.c_str()), theProcess * 1000 + theKey) << theName;
        }
    }
}

// The file is replaced whole: a reader racing a writer always finds the
// header and a complete last line.
TEST_F(PreferencesTest, ReadersNeverSeeHalfAFile)
{
    SetInteger("seed", 0);
    ASSERT_TRUE(Sync());
    const std::string thePath = DomainFile();
    ASSERT_FALSE(thePath.empty());
    std::atomic<bool> theDone{false};
    std::thread theWriter([&] {
        for (int theRound = 0; theRound < 60; ++theRound) {
            SetInteger(("w" + std::to_string(theRound)).c_str(), theRound);
            Sync();
        }
        theDone = true;
    });
    int theBadReads = 0;
    int theReads = 0;
    while (!theDone || theReads == 0) {
        std::ifstream theFile(thePath);
        std::stringstream theContents;
        theContents << theFile.rdbuf();
        const std::string theText = theContents.str();
        ++theReads;
        if (theText.rfind("kestro-preferences 1\n", 0) != 0 || theText.back() != '\n') {
            ++theBadReads;
        }
    }
    theWriter.join();
    EXPECT_EQ(theBadReads, 0);
    EXPECT_EQ(SyncedInteger("w59"), 59);
}

TEST_F(PreferencesTest, DomainsAreSeparate)
{
    Domain theOther;
    CFStringRef theApplication = MakeString("com.example.other");
    theOther.mApplication = theApplication;
    SetInteger("shared", 1);
    SInt32 theTwo = 2;
    SetMade("shared", CFNumberCreate(nullptr, kCFNumberSInt32Type, &theTwo), theOther);
    ASSERT_TRUE(Sync());
    ASSERT_TRUE(Sync(theOther));
    EXPECT_EQ(SyncedInteger("shared"), 1);
    SInt32 theRead = 0;
    CFPropertyListRef theValue = Copy("shared", theOther);
    ASSERT_NE(theValue, nullptr);
    CFNumberGetValue(static_cast<CFNumberRef>(theValue), kCFNumberSInt32Type, &theRead);
    CFRelease(theValue);
    EXPECT_EQ(theRead, 2);
    CFRelease(theApplication);
}

TEST_F(PreferencesTest, BadRequestsChangeNothing)
{
    SetInteger("kept", 5);
    ASSERT_TRUE(Sync());

    testing::internal::CaptureStderr();
    CFUUIDRef theUUID = CFUUIDCreateWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    Set("kept", theUUID);
    CFRelease(theUUID);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CFPreferencesSetValue: only numbers and strings can be stored\n");

    SInt32 theSix = 6;
    CFNumberRef theNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &theSix);
    CFPreferencesSetValue(nullptr, theNumber, kCFPreferencesAnyApplication, kCFPreferencesAnyUser,
                          kCFPreferencesCurrentHost);
    CFStringRef theKey = MakeString("kept");
    CFPreferencesSetValue(theKey, theNumber, nullptr, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
    EXPECT_EQ(CFPreferencesCopyValue(theKey, kCFPreferencesAnyApplication, nullptr, kCFPreferencesCurrentHost),
              nullptr);
    EXPECT_FALSE(CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesAnyUser, nullptr));
    CFRelease(theKey);
    CFRelease(theNumber);
    EXPECT_EQ(SyncedInteger("kept"), 5);
}

// A line that does not parse costs that line only; a file that is not ours
// reads as an empty domain.
TEST_F(PreferencesTest, DamagedFilesAreReadAsFarAsTheyGo)
{
    SetInteger("good", 1);
    ASSERT_TRUE(Sync());
    const std::string thePath = DomainFile();
    {
        std::ofstream theFile(thePath, std::ios::app);
        theFile << "no tabs at all\n"
                << "bad\ti32\t12x\n"
                << "big\ti32\t99999999999\n"
                << "escape\tstr\tbad \\q escape\n"
                << "kind\tobject\t1\n"
                << "also\ti32\t3\n";
    }
    EXPECT_EQ(InChild([] {
                  for (const char* theBad : {"bad", "big", "escape", "kind"}) {
                      if (Copy(theBad) != nullptr) {
                          return 1;
                      }
                  }
                  return (SyncedInteger("good") == 1 && SyncedInteger("also") == 3) ? 0 : 2;
              }),
              0);

    {
        std::ofstream theFile(thePath, std::ios::trunc);
        theFile << "something else\ngood\ti32\t1\n";
    }
    EXPECT_EQ(InChild([] { return SyncedInteger("good") == -1 ? 0 : 1; }), 0);
}

// A folder that can't be made fails the synchronisation and keeps the
// change for the next one.
TEST_F(PreferencesTest, AFailedSynchronisationKeepsTheChange)
{
    const std::string theBlocker = mFolder + "/blocker";
    std::ofstream(theBlocker) << "a file where the folder should be";
    setenv("KESTRO_PREFS_DIR", (theBlocker + "/prefs").c_str(), 1);
    SetInteger("waiting", 9);
    EXPECT_FALSE(Sync());
    std::filesystem::remove(theBlocker);
    EXPECT_TRUE(Sync());
    EXPECT_EQ(InChild([] { return SyncedInteger("waiting") == 9 ? 0 : 1; }), 0);
}

} // namespace
