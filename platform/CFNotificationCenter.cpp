// The distributed notification center (see CFNotificationCenter.h).
//
// Wire format of one notification, one datagram:
//   "KNT1", flags (1 byte: 1 deliver immediately, 2 has object),
//   name length and object length (2 bytes each, little-endian),
//   the name's and the object's UTF-8 bytes.
//
// Threads: posting threads send datagrams; one receiving thread per process
// (started with the first socket) reads them and queues their delivery on
// the notification run loop; callbacks run there only. The center's lock is
// never held while a callback runs.
#include "platform/CFNotificationCenter.h"

#include "platform/CFStringObject.h"
#include "platform/HostRunLoop.h"
#include "platform/PreferencesStore.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct CFNotificationCenterObject {
    int mUnused = 0;
};

namespace {

constexpr char kMagic[4] = {'K', 'N', 'T', '1'};
constexpr size_t kHeaderSize = 9;
constexpr size_t kMaximumText = 4000;
constexpr UInt8 kFlagDeliverImmediately = 1;
constexpr UInt8 kFlagHasObject = 2;
// A full receiver is retried every millisecond for this many tries.
constexpr int kSendTries = 1000;

struct Notification {
    std::string mName;
    bool mHasObject = false;
    std::string mObject;
    bool mDeliverImmediately = false;
};

struct Registration {
    const void* mObserver;
    CFNotificationCallback mCallback;
    CFStringRef mName;   // retained; null: any
    CFStringRef mObject; // retained; null: any
    CFNotificationSuspensionBehavior mBehavior;
    std::string mNameText;
    std::string mObjectText;
    // Under the center's lock.
    bool mRemoved = false;
    int mActiveCalls = 0;
    std::deque<Notification> mHeld;

    ~Registration()
    {
        if (mName != nullptr) {
            CFRelease(mName);
        }
        if (mObject != nullptr) {
            CFRelease(mObject);
        }
    }

    bool Matches(const Notification& inNotification) const
    {
        return (mName == nullptr || mNameText == inNotification.mName) &&
               (mObject == nullptr || (inNotification.mHasObject && mObjectText == inNotification.mObject));
    }
};

using RegistrationPtr = std::shared_ptr<Registration>;

struct Endpoint {
    int mSocket;
    std::string mPath;
};

struct Center {
    CFNotificationCenterObject mObject;
    std::mutex mMutex;
    std::condition_variable mCallEnded;
    std::vector<RegistrationPtr> mRegistrations;
    bool mSuspended = false;
    // Receiving sockets by folder.
    std::map<std::string, Endpoint> mEndpoints;
    // Sockets of vanished folders, kept open until exit.
    std::vector<int> mRetiredSockets;
    int mEpoll = -1;
    int mWake = -1;
    int mSendSocket = -1;
    std::thread mReceiver;
    bool mShuttingDown = false;
};

Center& TheCenter()
{
    static Center* theCenter = new Center; // never destroyed; its thread is stopped by CenterShutdown
    return *theCenter;
}

std::string TextOf(const void* inString)
{
    const CFStringObject* theObject = CFObjectCast<CFStringObject>(static_cast<CFTypeRef>(inString));
    return theObject != nullptr ? theObject->ToUTF8() : std::string();
}

CFStringRef MakeString(const std::string& inText)
{
    return CFStringCreateWithCString(nullptr, inText.c_str(), kCFStringEncodingUTF8);
}

bool MakeAddress(const std::string& inPath, sockaddr_un& outAddress)
{
    std::memset(&outAddress, 0, sizeof(outAddress));
    outAddress.sun_family = AF_UNIX;
    if (inPath.size() >= sizeof(outAddress.sun_path)) {
        return false;
    }
    std::memcpy(outAddress.sun_path, inPath.c_str(), inPath.size() + 1);
    return true;
}

bool ParseDatagram(const char* inData, size_t inSize, Notification& outNotification)
{
    if (inSize < kHeaderSize || std::memcmp(inData, kMagic, 4) != 0) {
        return false;
    }
    const UInt8 theFlags = UInt8(inData[4]);
    const size_t theNameLength = size_t(UInt8(inData[5])) | (size_t(UInt8(inData[6])) << 8);
    const size_t theObjectLength = size_t(UInt8(inData[7])) | (size_t(UInt8(inData[8])) << 8);
    if (kHeaderSize + theNameLength + theObjectLength != inSize) {
        return false;
    }
    outNotification.mDeliverImmediately = (theFlags & kFlagDeliverImmediately) != 0;
    outNotification.mHasObject = (theFlags & kFlagHasObject) != 0;
    outNotification.mName.assign(inData + kHeaderSize, theNameLength);
    outNotification.mObject.assign(inData + kHeaderSize + theNameLength, theObjectLength);
    return true;
}

// Calls one registration for one notification, on the notification run loop,
// unless it was removed meanwhile. The lock is held on entry and on return,
// and released around the callback.
void CallLocked(Center& ioCenter, std::unique_lock<std::mutex>& ioLock, const RegistrationPtr& inRegistration,
                const Notification& inNotification)
{
    if (inRegistration->mRemoved) {
        return;
    }
    ++inRegistration->mActiveCalls;
    ioLock.unlock();
    CFStringRef theName = MakeString(inNotification.mName);
    CFStringRef theObject = inNotification.mHasObject ? MakeString(inNotification.mObject) : nullptr;
    inRegistration->mCallback(reinterpret_cast<CFNotificationCenterRef>(&ioCenter.mObject),
                              inRegistration->mObserver, theName, theObject, nullptr);
    if (theObject != nullptr) {
        CFRelease(theObject);
    }
    if (theName != nullptr) {
        CFRelease(theName);
    }
    ioLock.lock();
    --inRegistration->mActiveCalls;
    ioCenter.mCallEnded.notify_all();
}

// Notification run loop: delivers, holds or drops one notification for every
// matching registration.
void Deliver(const Notification& inNotification)
{
    Center& theCenter = TheCenter();
    std::unique_lock<std::mutex> theLock(theCenter.mMutex);
    const std::vector<RegistrationPtr> theRegistrations = theCenter.mRegistrations;
    for (const RegistrationPtr& theRegistration : theRegistrations) {
        if (theRegistration->mRemoved || !theRegistration->Matches(inNotification)) {
            continue;
        }
        const bool theNow = !theCenter.mSuspended || inNotification.mDeliverImmediately ||
                            theRegistration->mBehavior == CFNotificationSuspensionBehaviorDeliverImmediately;
        if (theNow) {
            CallLocked(theCenter, theLock, theRegistration, inNotification);
            continue;
        }
        std::deque<Notification>& theHeld = theRegistration->mHeld;
        switch (theRegistration->mBehavior) {
        case CFNotificationSuspensionBehaviorCoalesce:
            if (std::none_of(theHeld.begin(), theHeld.end(), [&](const Notification& inHeld) {
                    return inHeld.mName == inNotification.mName && inHeld.mHasObject == inNotification.mHasObject &&
                           inHeld.mObject == inNotification.mObject;
                })) {
                theHeld.push_back(inNotification);
            }
            break;
        case CFNotificationSuspensionBehaviorHold:
            theHeld.push_back(inNotification);
            break;
        default: // drop
            break;
        }
    }
}

// Notification run loop, after resumption: the held notifications, oldest
// first per registration.
void DeliverHeld()
{
    Center& theCenter = TheCenter();
    std::unique_lock<std::mutex> theLock(theCenter.mMutex);
    const std::vector<RegistrationPtr> theRegistrations = theCenter.mRegistrations;
    for (const RegistrationPtr& theRegistration : theRegistrations) {
        while (!theCenter.mSuspended && !theRegistration->mRemoved && !theRegistration->mHeld.empty()) {
            Notification theNotification = theRegistration->mHeld.front();
            theRegistration->mHeld.pop_front();
            CallLocked(theCenter, theLock, theRegistration, theNotification);
        }
    }
}

void ReceiverLoop(Center* inCenter)
{
    std::vector<char> theBuffer(kHeaderSize + kMaximumText + 16);
    for (;;) {
        epoll_event theEvents[8];
        const int theCount = epoll_wait(inCenter->mEpoll, theEvents, 8, -1);
        if (theCount < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (int theIndex = 0; theIndex < theCount; ++theIndex) {
            const int theSocket = theEvents[theIndex].data.fd;
            if (theSocket == inCenter->mWake) {
                return;
            }
            for (;;) {
                const ssize_t theSize = recv(theSocket, theBuffer.data(), theBuffer.size(), MSG_DONTWAIT);
                if (theSize < 0) {
                    break; // EAGAIN: drained (a socket closed meanwhile reports EBADF: also done)
                }
                auto theNotification = std::make_shared<Notification>();
                if (ParseDatagram(theBuffer.data(), size_t(theSize), *theNotification)) {
                    HostRunLoopPerform([theNotification] { Deliver(*theNotification); });
                }
            }
        }
    }
}

// Stops the receiving thread and removes this process's sockets at exit.
struct CenterShutdown {
    ~CenterShutdown()
    {
        Center& theCenter = TheCenter();
        std::thread theReceiver;
        {
            std::lock_guard<std::mutex> theLock(theCenter.mMutex);
            theCenter.mShuttingDown = true;
            theReceiver.swap(theCenter.mReceiver);
            for (auto& [theFolder, theEndpoint] : theCenter.mEndpoints) {
                unlink(theEndpoint.mPath.c_str());
            }
        }
        if (theReceiver.joinable()) {
            const UInt64 theOne = 1;
            if (write(theCenter.mWake, &theOne, sizeof(theOne)) == ssize_t(sizeof(theOne))) {
                theReceiver.join();
            } else {
                theReceiver.detach();
            }
        }
    }
};

// Makes sure this process has a socket in the current notification folder.
// Sockets of folders that have vanished are closed on the way. False when
// no socket could be bound.
bool EnsureEndpoint(Center& ioCenter)
{
    const std::string theFolder = PreferencesStoreGetNotifyFolder();
    const bool theIsDefault = std::getenv("KESTRO_NOTIFY_DIR") == nullptr && std::getenv("KESTRO_PREFS_DIR") == nullptr;
    std::lock_guard<std::mutex> theLock(ioCenter.mMutex);
    if (ioCenter.mShuttingDown) {
        return false;
    }
    for (auto theIterator = ioCenter.mEndpoints.begin(); theIterator != ioCenter.mEndpoints.end();) {
        struct stat theInfo;
        if (lstat(theIterator->second.mPath.c_str(), &theInfo) != 0) {
            // Not closed: the receiving thread may be reading it right now,
            // and a reused descriptor would hand it someone else's data.
            epoll_ctl(ioCenter.mEpoll, EPOLL_CTL_DEL, theIterator->second.mSocket, nullptr);
            ioCenter.mRetiredSockets.push_back(theIterator->second.mSocket);
            theIterator = ioCenter.mEndpoints.erase(theIterator);
        } else {
            ++theIterator;
        }
    }
    if (ioCenter.mEndpoints.count(theFolder) != 0) {
        return true;
    }
    if (ioCenter.mEpoll < 0) {
        // The notification thread first, so that it outlives the receiving
        // thread at exit (statics go in reverse order of construction).
        HostGetNotificationRunLoop();
        static CenterShutdown theShutdown;
        ioCenter.mEpoll = epoll_create1(EPOLL_CLOEXEC);
        ioCenter.mWake = eventfd(0, EFD_CLOEXEC);
        ioCenter.mSendSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (ioCenter.mEpoll < 0 || ioCenter.mWake < 0 || ioCenter.mSendSocket < 0) {
            std::fprintf(stderr, "CFNotificationCenter: couldn't set up the notification transport\n");
            return false;
        }
        epoll_event theEvent{};
        theEvent.events = EPOLLIN;
        theEvent.data.fd = ioCenter.mWake;
        epoll_ctl(ioCenter.mEpoll, EPOLL_CTL_ADD, ioCenter.mWake, &theEvent);
        ioCenter.mReceiver = std::thread([center = &ioCenter] {
            pthread_setname_np(pthread_self(), "NotifyReceiver");
            ReceiverLoop(center);
        });
    }
    const std::string thePath = theFolder + "/" + std::to_string(getpid()) + ".sock";
    sockaddr_un theAddress;
    if (!PreferencesStoreMakeFolder(theFolder, theIsDefault) || !MakeAddress(thePath, theAddress)) {
        std::fprintf(stderr, "CFNotificationCenter: can't use the notification folder %s\n", theFolder.c_str());
        return false;
    }
    const int theSocket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (theSocket < 0) {
        return false;
    }
    unlink(thePath.c_str()); // left by an earlier process with this ID
    if (bind(theSocket, reinterpret_cast<sockaddr*>(&theAddress), sizeof(theAddress)) != 0) {
        std::fprintf(stderr, "CFNotificationCenter: can't bind %s (%s)\n", thePath.c_str(), std::strerror(errno));
        close(theSocket);
        return false;
    }
    epoll_event theEvent{};
    theEvent.events = EPOLLIN;
    theEvent.data.fd = theSocket;
    epoll_ctl(ioCenter.mEpoll, EPOLL_CTL_ADD, theSocket, &theEvent);
    ioCenter.mEndpoints[theFolder] = Endpoint{theSocket, thePath};
    return true;
}

Center* CenterOf(CFNotificationCenterRef inCenter)
{
    Center& theCenter = TheCenter();
    return (inCenter == reinterpret_cast<CFNotificationCenterRef>(&theCenter.mObject)) ? &theCenter : nullptr;
}

// Removes the registrations that inWhich selects and waits until none of
// their callbacks runs (unless called from a callback on the run loop).
template <typename Predicate>
void RemoveRegistrations(Center& ioCenter, Predicate inWhich)
{
    std::unique_lock<std::mutex> theLock(ioCenter.mMutex);
    std::vector<RegistrationPtr> theRemoved;
    for (auto theIterator = ioCenter.mRegistrations.begin(); theIterator != ioCenter.mRegistrations.end();) {
        if (inWhich(**theIterator)) {
            (*theIterator)->mRemoved = true;
            (*theIterator)->mHeld.clear();
            theRemoved.push_back(*theIterator);
            theIterator = ioCenter.mRegistrations.erase(theIterator);
        } else {
            ++theIterator;
        }
    }
    if (HostRunLoopIsNotificationThread()) {
        return; // callbacks run only on this thread: none of them but the caller is running
    }
    ioCenter.mCallEnded.wait(theLock, [&] {
        return std::all_of(theRemoved.begin(), theRemoved.end(),
                           [](const RegistrationPtr& inRemoved) { return inRemoved->mActiveCalls == 0; });
    });
}

} // namespace

CFNotificationCenterRef CFNotificationCenterGetDistributedCenter()
{
    Center& theCenter = TheCenter();
    EnsureEndpoint(theCenter);
    return reinterpret_cast<CFNotificationCenterRef>(&theCenter.mObject);
}

void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name, const void* object,
                                     CFNotificationSuspensionBehavior suspensionBehavior)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr || observer == nullptr || callBack == nullptr) {
        return;
    }
    CFStringRef theObject = static_cast<CFStringRef>(object);
    if (theObject != nullptr && CFGetTypeID(theObject) != CFStringGetTypeID()) {
        std::fprintf(stderr, "CFNotificationCenterAddObserver: the object of a distributed notification must be "
                             "a string\n");
        return;
    }
    EnsureEndpoint(*theCenter);
    auto theRegistration = std::make_shared<Registration>();
    theRegistration->mObserver = observer;
    theRegistration->mCallback = callBack;
    theRegistration->mName = (name != nullptr) ? static_cast<CFStringRef>(CFRetain(name)) : nullptr;
    theRegistration->mObject = (theObject != nullptr) ? static_cast<CFStringRef>(CFRetain(theObject)) : nullptr;
    theRegistration->mBehavior = suspensionBehavior;
    theRegistration->mNameText = TextOf(name);
    theRegistration->mObjectText = TextOf(theObject);
    std::lock_guard<std::mutex> theLock(theCenter->mMutex);
    theCenter->mRegistrations.push_back(std::move(theRegistration));
}

void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer, CFStringRef name,
                                        const void* object)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr) {
        return;
    }
    const std::string theName = TextOf(name);
    const std::string theObject = TextOf(object);
    RemoveRegistrations(*theCenter, [&](const Registration& inRegistration) {
        return inRegistration.mObserver == observer &&
               (name == nullptr || (inRegistration.mName != nullptr && inRegistration.mNameText == theName)) &&
               (object == nullptr || (inRegistration.mObject != nullptr && inRegistration.mObjectText == theObject));
    });
}

void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr) {
        return;
    }
    RemoveRegistrations(*theCenter,
                        [&](const Registration& inRegistration) { return inRegistration.mObserver == observer; });
}

void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name, const void* object,
                                          CFDictionaryRef, Boolean deliverImmediately)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr || name == nullptr) {
        return;
    }
    CFStringRef theObject = static_cast<CFStringRef>(object);
    if (theObject != nullptr && CFGetTypeID(theObject) != CFStringGetTypeID()) {
        std::fprintf(stderr, "CFNotificationCenterPostNotification: the object of a distributed notification "
                             "must be a string\n");
        return;
    }
    const std::string theName = TextOf(name);
    const std::string theObjectText = TextOf(theObject);
    if (theName.size() + theObjectText.size() > kMaximumText) {
        std::fprintf(stderr, "CFNotificationCenterPostNotification: the name and object are too long to send\n");
        return;
    }
    if (!EnsureEndpoint(*theCenter)) {
        return;
    }
    std::string theDatagram(kMagic, 4);
    theDatagram += char((deliverImmediately ? kFlagDeliverImmediately : 0) | (theObject != nullptr ? kFlagHasObject : 0));
    theDatagram += char(theName.size() & 0xFF);
    theDatagram += char(theName.size() >> 8);
    theDatagram += char(theObjectText.size() & 0xFF);
    theDatagram += char(theObjectText.size() >> 8);
    theDatagram += theName;
    theDatagram += theObjectText;

    const std::string theFolder = PreferencesStoreGetNotifyFolder();
    DIR* theDirectory = opendir(theFolder.c_str());
    if (theDirectory == nullptr) {
        return;
    }
    std::vector<std::string> thePaths;
    while (dirent* theEntry = readdir(theDirectory)) {
        const std::string theFile = theEntry->d_name;
        if (theFile.size() > 5 && theFile.compare(theFile.size() - 5, 5, ".sock") == 0) {
            thePaths.push_back(theFolder + "/" + theFile);
        }
    }
    closedir(theDirectory);

    for (const std::string& thePath : thePaths) {
        sockaddr_un theAddress;
        if (!MakeAddress(thePath, theAddress)) {
            continue;
        }
        for (int theTry = 0; theTry < kSendTries; ++theTry) {
            const ssize_t theSent = sendto(theCenter->mSendSocket, theDatagram.data(), theDatagram.size(),
                                           MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&theAddress),
                                           sizeof(theAddress));
            if (theSent >= 0) {
                break;
            }
            if (errno == ECONNREFUSED) {
                unlink(thePath.c_str()); // its process has gone
                break;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                break; // removed meanwhile, or not a socket: nobody to tell
            }
            if (theTry + 1 == kSendTries) {
                std::fprintf(stderr, "CFNotificationCenterPostNotification: %s stays full; notification dropped\n",
                             thePath.c_str());
                break;
            }
            usleep(1000);
        }
    }
}

void CFNotificationCenterSetSuspended(CFNotificationCenterRef center, Boolean suspended)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> theLock(theCenter->mMutex);
        const bool theWasSuspended = theCenter->mSuspended;
        theCenter->mSuspended = suspended != 0;
        if (!theWasSuspended || theCenter->mSuspended) {
            return;
        }
    }
    HostRunLoopPerform([] { DeliverHeld(); });
}

Boolean CFNotificationCenterIsSuspended(CFNotificationCenterRef center)
{
    Center* theCenter = CenterOf(center);
    if (theCenter == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> theLock(theCenter->mMutex);
    return theCenter->mSuspended;
}
