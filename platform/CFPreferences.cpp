// Host-wide preferences in a shared file store (see CFPreferences.h).
//
// File format, one domain per file, UTF-8 text:
//   kestro-preferences 1
//   <key> TAB <type> TAB <value>      one line per entry
// with type i32, i64, f64 or str, and backslash, tab, line feed and carriage
// return in keys and string values written as \\ \t \n \r. A line that does
// not parse is skipped, so a damaged entry costs that entry only.
#include "platform/CFPreferences.h"

#include "platform/CFNumberObject.h"
#include "platform/CFStringObject.h"
#include "platform/PreferencesStore.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

const CFStringRef kCFPreferencesAnyApplication = CFSTR("kCFPreferencesAnyApplication");
const CFStringRef kCFPreferencesCurrentApplication = CFSTR("kCFPreferencesCurrentApplication");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");

namespace {

const char kHeader[] = "kestro-preferences 1";

struct Value {
    enum class Kind { kInt32, kInt64, kFloat64, kString };
    Kind mKind = Kind::kInt32;
    SInt64 mInteger = 0;
    Float64 mFloat = 0;
    std::string mText;
};

using ValueMap = std::map<std::string, Value>;

struct Domain {
    bool mLoaded = false;
    ValueMap mValues;
    // A change per key; no value means removal.
    std::map<std::string, std::optional<Value>> mPending;
};

struct Store {
    std::mutex mMutex;
    std::map<std::string, Domain> mDomains; // by file path
};

Store& TheStore()
{
    static Store* theStore = new Store; // never destroyed: preferences may be used during exit
    return *theStore;
}

std::string TextOf(CFStringRef inString)
{
    const CFStringObject* theObject = CFObjectCast<CFStringObject>(inString);
    return theObject != nullptr ? theObject->ToUTF8() : std::string();
}

// A file name part: letters, digits, '-' and '_' as they are, every other
// byte as %XX, so that distinct names never share a file.
std::string FileNamePart(const std::string& inName)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string theResult;
    for (unsigned char theByte : inName) {
        if ((theByte >= 'a' && theByte <= 'z') || (theByte >= 'A' && theByte <= 'Z') ||
            (theByte >= '0' && theByte <= '9') || theByte == '-' || theByte == '_') {
            theResult += char(theByte);
        } else {
            theResult += '%';
            theResult += kHex[theByte >> 4];
            theResult += kHex[theByte & 15];
        }
    }
    return theResult;
}

std::string ApplicationName(CFStringRef inApplication)
{
    if (CFEqual(inApplication, kCFPreferencesAnyApplication)) {
        return "AnyApplication";
    }
    if (CFEqual(inApplication, kCFPreferencesCurrentApplication)) {
        char thePath[PATH_MAX];
        const ssize_t theLength = readlink("/proc/self/exe", thePath, sizeof(thePath) - 1);
        if (theLength <= 0) {
            return "UnknownApplication";
        }
        std::string theName(thePath, size_t(theLength));
        return "app." + theName.substr(theName.rfind('/') + 1);
    }
    return "app." + TextOf(inApplication);
}

std::string UserName(CFStringRef inUser)
{
    if (CFEqual(inUser, kCFPreferencesAnyUser)) {
        return "AnyUser";
    }
    if (CFEqual(inUser, kCFPreferencesCurrentUser)) {
        return "user." + std::to_string(unsigned(getuid()));
    }
    return "user." + TextOf(inUser);
}

std::string HostName(CFStringRef inHost)
{
    if (CFEqual(inHost, kCFPreferencesAnyHost)) {
        return "AnyHost";
    }
    if (CFEqual(inHost, kCFPreferencesCurrentHost)) {
        char theName[256] = {};
        if (gethostname(theName, sizeof(theName) - 1) != 0) {
            return "host.localhost";
        }
        return std::string("host.") + theName;
    }
    return "host." + TextOf(inHost);
}

bool UsesDefaultFolder() { return std::getenv("KESTRO_PREFS_DIR") == nullptr; }

// The domain's file path; empty for a null name.
std::string DomainPath(CFStringRef inApplication, CFStringRef inUser, CFStringRef inHost)
{
    if (inApplication == nullptr || inUser == nullptr || inHost == nullptr) {
        return std::string();
    }
    return PreferencesStoreGetFolder() + "/" + FileNamePart(ApplicationName(inApplication)) + "." +
           FileNamePart(UserName(inUser)) + "." + FileNamePart(HostName(inHost)) + ".prefs";
}

std::string Escape(const std::string& inText)
{
    std::string theResult;
    for (char theChar : inText) {
        switch (theChar) {
        case '\\': theResult += "\\\\"; break;
        case '\t': theResult += "\\t"; break;
        case '\n': theResult += "\\n"; break;
        case '\r': theResult += "\\r"; break;
        default: theResult += theChar; break;
        }
    }
    return theResult;
}

bool Unescape(const std::string& inText, std::string& outText)
{
    outText.clear();
    for (size_t theIndex = 0; theIndex < inText.size(); ++theIndex) {
        char theChar = inText[theIndex];
        if (theChar != '\\') {
            outText += theChar;
            continue;
        }
        if (++theIndex == inText.size()) {
            return false;
        }
        switch (inText[theIndex]) {
        case '\\': outText += '\\'; break;
        case 't': outText += '\t'; break;
        case 'n': outText += '\n'; break;
        case 'r': outText += '\r'; break;
        default: return false;
        }
    }
    return true;
}

std::string FormatValue(const Value& inValue)
{
    char theBuffer[64];
    switch (inValue.mKind) {
    case Value::Kind::kInt32:
        return "i32\t" + std::to_string(inValue.mInteger);
    case Value::Kind::kInt64:
        return "i64\t" + std::to_string(inValue.mInteger);
    case Value::Kind::kFloat64: {
        auto theResult = std::to_chars(theBuffer, theBuffer + sizeof(theBuffer), inValue.mFloat);
        return "f64\t" + std::string(theBuffer, theResult.ptr);
    }
    case Value::Kind::kString:
        return "str\t" + Escape(inValue.mText);
    }
    return std::string();
}

bool ParseLine(const std::string& inLine, std::string& outKey, Value& outValue)
{
    const size_t theFirstTab = inLine.find('\t');
    const size_t theSecondTab = (theFirstTab == std::string::npos) ? theFirstTab : inLine.find('\t', theFirstTab + 1);
    if (theSecondTab == std::string::npos || !Unescape(inLine.substr(0, theFirstTab), outKey)) {
        return false;
    }
    const std::string theType = inLine.substr(theFirstTab + 1, theSecondTab - theFirstTab - 1);
    const std::string theText = inLine.substr(theSecondTab + 1);
    const char* theBegin = theText.data();
    const char* theEnd = theText.data() + theText.size();
    if (theType == "i32" || theType == "i64") {
        outValue.mKind = (theType == "i32") ? Value::Kind::kInt32 : Value::Kind::kInt64;
        auto theResult = std::from_chars(theBegin, theEnd, outValue.mInteger);
        if (theResult.ec != std::errc() || theResult.ptr != theEnd) {
            return false;
        }
        return theType == "i64" || (outValue.mInteger >= INT32_MIN && outValue.mInteger <= INT32_MAX);
    }
    if (theType == "f64") {
        outValue.mKind = Value::Kind::kFloat64;
        auto theResult = std::from_chars(theBegin, theEnd, outValue.mFloat);
        return theResult.ec == std::errc() && theResult.ptr == theEnd;
    }
    if (theType == "str") {
        outValue.mKind = Value::Kind::kString;
        return Unescape(theText, outValue.mText);
    }
    return false;
}

// Reads the domain file; a missing file is an empty domain. False when the
// file exists but can't be read.
bool ReadDomainFile(const std::string& inPath, ValueMap& outValues)
{
    outValues.clear();
    FILE* theFile = std::fopen(inPath.c_str(), "re");
    if (theFile == nullptr) {
        return errno == ENOENT;
    }
    std::string theContents;
    char theBuffer[4096];
    size_t theCount;
    while ((theCount = std::fread(theBuffer, 1, sizeof(theBuffer), theFile)) > 0) {
        theContents.append(theBuffer, theCount);
    }
    const bool theReadFailed = std::ferror(theFile) != 0;
    std::fclose(theFile);
    if (theReadFailed) {
        return false;
    }
    size_t theStart = 0;
    bool theIsFirstLine = true;
    while (theStart < theContents.size()) {
        size_t theEnd = theContents.find('\n', theStart);
        if (theEnd == std::string::npos) {
            theEnd = theContents.size();
        }
        const std::string theLine = theContents.substr(theStart, theEnd - theStart);
        theStart = theEnd + 1;
        if (theIsFirstLine) {
            theIsFirstLine = false;
            if (theLine != kHeader) {
                return true; // not a file of ours: an empty domain, replaced on the next write
            }
            continue;
        }
        std::string theKey;
        Value theValue;
        if (ParseLine(theLine, theKey, theValue)) {
            outValues[theKey] = theValue;
        }
    }
    return true;
}

// Writes the domain to a temporary file beside inPath and renames it over
// inPath, so that readers see the old or the new file whole.
bool WriteDomainFile(const std::string& inPath, const ValueMap& inValues)
{
    std::string theContents = std::string(kHeader) + "\n";
    for (const auto& [theKey, theValue] : inValues) {
        theContents += Escape(theKey) + "\t" + FormatValue(theValue) + "\n";
    }
    const std::string theTemporary =
        inPath + ".tmp." + std::to_string(getpid()) + "." + std::to_string(long(syscall(SYS_gettid)));
    const int theFile = open(theTemporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (theFile < 0) {
        return false;
    }
    size_t theWritten = 0;
    while (theWritten < theContents.size()) {
        const ssize_t theCount = write(theFile, theContents.data() + theWritten, theContents.size() - theWritten);
        if (theCount < 0 && errno == EINTR) {
            continue;
        }
        if (theCount <= 0) {
            close(theFile);
            unlink(theTemporary.c_str());
            return false;
        }
        theWritten += size_t(theCount);
    }
    const bool theSynced = fsync(theFile) == 0;
    if (close(theFile) != 0 || !theSynced || rename(theTemporary.c_str(), inPath.c_str()) != 0) {
        unlink(theTemporary.c_str());
        return false;
    }
    return true;
}

// Holds an exclusive flock on the domain's lock file for a scope.
class DomainLock {
public:
    explicit DomainLock(const std::string& inPath)
        : mFile(open((inPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (mFile >= 0) {
            int theResult;
            do {
                theResult = flock(mFile, LOCK_EX);
            } while (theResult != 0 && errno == EINTR);
            if (theResult != 0) {
                close(mFile);
                mFile = -1;
            }
        }
    }
    ~DomainLock()
    {
        if (mFile >= 0) {
            flock(mFile, LOCK_UN);
            close(mFile);
        }
    }
    DomainLock(const DomainLock&) = delete;
    DomainLock& operator=(const DomainLock&) = delete;
    bool IsHeld() const { return mFile >= 0; }

private:
    int mFile;
};

bool ValueFromObject(CFPropertyListRef inObject, Value& outValue)
{
    if (const CFNumberObject* theNumber = CFObjectCast<CFNumberObject>(inObject)) {
        switch (theNumber->mNumberType) {
        case kCFNumberSInt32Type: outValue.mKind = Value::Kind::kInt32; break;
        case kCFNumberSInt64Type: outValue.mKind = Value::Kind::kInt64; break;
        default: outValue.mKind = Value::Kind::kFloat64; break;
        }
        outValue.mInteger = theNumber->mInteger;
        outValue.mFloat = theNumber->mFloat;
        return true;
    }
    if (const CFStringObject* theString = CFObjectCast<CFStringObject>(inObject)) {
        outValue.mKind = Value::Kind::kString;
        outValue.mText = theString->ToUTF8();
        return true;
    }
    return false;
}

CFPropertyListRef ObjectFromValue(const Value& inValue)
{
    switch (inValue.mKind) {
    case Value::Kind::kInt32: {
        const SInt32 theNumber = SInt32(inValue.mInteger);
        return CFNumberCreate(nullptr, kCFNumberSInt32Type, &theNumber);
    }
    case Value::Kind::kInt64:
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &inValue.mInteger);
    case Value::Kind::kFloat64:
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &inValue.mFloat);
    case Value::Kind::kString:
        return CFStringCreateWithCString(nullptr, inValue.mText.c_str(), kCFStringEncodingUTF8);
    }
    return nullptr;
}

} // namespace

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID, CFStringRef userName,
                                         CFStringRef hostName)
{
    const std::string thePath = DomainPath(applicationID, userName, hostName);
    if (key == nullptr || thePath.empty()) {
        return nullptr;
    }
    const std::string theKey = TextOf(key);
    Store& theStore = TheStore();
    std::lock_guard<std::mutex> theLock(theStore.mMutex);
    Domain& theDomain = theStore.mDomains[thePath];
    if (!theDomain.mLoaded) {
        // Files are replaced whole by rename: a read needs no lock.
        theDomain.mLoaded = ReadDomainFile(thePath, theDomain.mValues);
    }
    auto thePending = theDomain.mPending.find(theKey);
    if (thePending != theDomain.mPending.end()) {
        return thePending->second ? ObjectFromValue(*thePending->second) : nullptr;
    }
    auto theValue = theDomain.mValues.find(theKey);
    return theValue != theDomain.mValues.end() ? ObjectFromValue(theValue->second) : nullptr;
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID, CFStringRef userName,
                           CFStringRef hostName)
{
    const std::string thePath = DomainPath(applicationID, userName, hostName);
    if (key == nullptr || thePath.empty()) {
        return;
    }
    std::optional<Value> theChange;
    if (value != nullptr) {
        Value theValue;
        if (!ValueFromObject(value, theValue)) {
            std::fprintf(stderr, "CFPreferencesSetValue: only numbers and strings can be stored\n");
            return;
        }
        theChange = theValue;
    }
    Store& theStore = TheStore();
    std::lock_guard<std::mutex> theLock(theStore.mMutex);
    theStore.mDomains[thePath].mPending[TextOf(key)] = theChange;
}

Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName)
{
    const std::string thePath = DomainPath(applicationID, userName, hostName);
    if (thePath.empty()) {
        return false;
    }
    if (!PreferencesStoreMakeFolder(PreferencesStoreGetFolder(), UsesDefaultFolder())) {
        return false;
    }
    Store& theStore = TheStore();
    std::lock_guard<std::mutex> theLock(theStore.mMutex);
    Domain& theDomain = theStore.mDomains[thePath];
    DomainLock theFileLock(thePath);
    if (!theFileLock.IsHeld()) {
        return false;
    }
    ValueMap theValues;
    if (!ReadDomainFile(thePath, theValues)) {
        return false;
    }
    if (!theDomain.mPending.empty()) {
        for (const auto& [theKey, theChange] : theDomain.mPending) {
            if (theChange) {
                theValues[theKey] = *theChange;
            } else {
                theValues.erase(theKey);
            }
        }
        if (!WriteDomainFile(thePath, theValues)) {
            return false;
        }
        theDomain.mPending.clear();
    }
    theDomain.mValues.swap(theValues);
    theDomain.mLoaded = true;
    return true;
}
