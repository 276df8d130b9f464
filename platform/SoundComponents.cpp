// Sound components: a table of info handlers keyed by the refcon the layer
// gives each component it registers. A lookup copies the handler's record
// under the lock and calls it without, so a handler may call back into the
// component manager.
#include "platform/SoundComponents.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct SoundComponentRecord {
    SoundComponentInfoHandler mHandler;
    void* mHandlerData;
};

struct SoundComponentTable {
    std::mutex mMutex;
    long mNextKey = 1;
    std::map<long, std::shared_ptr<SoundComponentRecord>> mRecords; // by refcon
};

SoundComponentTable& TheTable()
{
    static SoundComponentTable* theTable = new SoundComponentTable; // never destroyed
    return *theTable;
}

} // namespace

Component RegisterSoundComponent(const ComponentDescription* description, SoundComponentInfoHandler handler,
                                 void* handlerData)
{
    if (description == nullptr || handler == nullptr) {
        return nullptr;
    }
    SoundComponentTable& theTable = TheTable();
    long theKey;
    {
        std::lock_guard<std::mutex> theLock(theTable.mMutex);
        theKey = theTable.mNextKey++;
        theTable.mRecords[theKey] = std::make_shared<SoundComponentRecord>(SoundComponentRecord{handler, handlerData});
    }
    Component theComponent = RegisterComponent(description, theKey);
    if (theComponent == nullptr) {
        std::lock_guard<std::mutex> theLock(theTable.mMutex);
        theTable.mRecords.erase(theKey);
    }
    return theComponent;
}

OSErr UnregisterSoundComponent(Component component)
{
    const long theKey = GetComponentRefcon(component);
    const OSErr theResult = UnregisterComponent(component);
    if (theResult == noErr) {
        SoundComponentTable& theTable = TheTable();
        std::lock_guard<std::mutex> theLock(theTable.mMutex);
        theTable.mRecords.erase(theKey);
    }
    return theResult;
}

ComponentResult SoundComponentGetInfo(ComponentInstance instance, SoundSource sourceID, OSType selector,
                                      void* infoPtr)
{
    const long theKey = GetComponentRefcon(instance);
    std::shared_ptr<SoundComponentRecord> theRecord;
    {
        SoundComponentTable& theTable = TheTable();
        std::lock_guard<std::mutex> theLock(theTable.mMutex);
        auto theFound = theTable.mRecords.find(theKey);
        if (theFound != theTable.mRecords.end()) {
            theRecord = theFound->second;
        }
    }
    if (theRecord == nullptr) {
        return invalidComponentID;
    }
    if (infoPtr == nullptr) {
        return paramErr;
    }
    return theRecord->mHandler(theRecord->mHandlerData, sourceID, selector, infoPtr);
}

OSErr SndManagerStatus(SInt16 totalLength, SMStatus* status)
{
    if (status == nullptr || totalLength < 1) {
        return paramErr;
    }
    SMStatus theStatus{};
    theStatus.smMaxCPULoad = 100;
    {
        SoundComponentTable& theTable = TheTable();
        std::lock_guard<std::mutex> theLock(theTable.mMutex);
        theStatus.smNumChannels = SInt16(std::min<size_t>(theTable.mRecords.size(), 0x7FFF));
    }
    theStatus.smCurCPULoad = 0;
    std::memcpy(status, &theStatus, std::min<size_t>(size_t(totalLength), sizeof(theStatus)));
    return noErr;
}
