#include "framework/HPDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

#include "framework/HPAddIOProcCommand.h"
#include "framework/HPChangeIOProcStreamUsageCommand.h"
#include "framework/HPCommand.h"
#include "framework/HPDeviceFormatProperty.h"
#include "framework/HPIOBufferSizeProperty.h"
#include "framework/HPPlugIn.h"
#include "framework/HPRemoveIOProcCommand.h"
#include "framework/HPStartIOProcCommand.h"
#include "framework/HPStopIOProcCommand.h"
#include "framework/HPStream.h"
#include "framework/HPStreamListProperty.h"
#include "framework/controls/HPControl.h"
#include "framework/controls/HPDeviceClockSourceProperty.h"
#include "framework/controls/HPDeviceDataSourceProperty.h"
#include "framework/controls/HPDeviceMuteProperty.h"
#include "framework/controls/HPDevicePlayThruProperty.h"
#include "framework/controls/HPDeviceVolumeProperty.h"
#include "support/CAAudioBufferList.h"
#include "support/CACFString.h"
#include "support/CAException.h"

namespace {

constexpr UInt32 kMinimumIOBufferFrameSize = 2;
constexpr UInt32 kMaximumIOBufferFrameSize = 65536;
constexpr UInt32 kInitialIOBufferFrameSize = 512;

// The selectors whose PropertyIsSettable answer is false here.
constexpr UInt32 kReadOnlySelectors[] = {
    kAudioDevicePropertyDeviceName,
    kAudioDevicePropertyDeviceNameCFString,
    kAudioDevicePropertyDeviceManufacturer,
    kAudioDevicePropertyDeviceManufacturerCFString,
    kAudioDevicePropertyDeviceUID,
    kAudioDevicePropertyTransportType,
    kAudioDevicePropertyDeviceIsAlive,
    kAudioDevicePropertyDeviceIsRunning,
    kAudioDevicePropertyDeviceIsRunningSomewhere,
    kAudioDevicePropertyDeviceCanBeDefaultDevice,
    kAudioDevicePropertyDeviceCanBeDefaultSystemDevice,
    kAudioDevicePropertyLatency,
    kAudioDevicePropertySafetyOffset,
    kAudioDevicePropertyActualSampleRate,
};

bool IsReadOnlySelector(UInt32 inSelector)
{
    return std::find(std::begin(kReadOnlySelectors), std::end(kReadOnlySelectors), inSelector) !=
           std::end(kReadOnlySelectors);
}

void CheckDataSize(UInt32 inDataSize, UInt32 inExpectedSize, const char* inMessage)
{
    if (inDataSize != inExpectedSize) {
        CAThrowWithMessage(inMessage, kAudioHardwareBadPropertySizeError);
    }
}

void CheckDataPointer(const void* inData, UInt32 inDataSize, const char* inMessage)
{
    if ((inData == nullptr) && (inDataSize != 0)) {
        CAThrowWithMessage(inMessage, kAudioHardwareIllegalOperationError);
    }
}

void WriteUInt32(void* outData, UInt32 inValue) { std::memcpy(outData, &inValue, sizeof(inValue)); }

// The length + 1 of the string as a NUL-terminated ASCII string of at most
// 255 characters. Releases the string.
UInt32 GetCStringSize(CFStringRef inString)
{
    CACFString theString(inString, true);
    char theBuffer[256];
    UInt32 theSize = sizeof(theBuffer);
    theString.GetCString(theBuffer, theSize);
    return theSize;
}

// Converts the string into the caller's buffer and releases it.
void GetCStringData(CFStringRef inString, UInt32& ioDataSize, void* outData)
{
    CACFString theString(inString, true);
    theString.GetCString(static_cast<char*>(outData), ioDataSize);
}

AudioDeviceIOProc ReadIOProc(const void* inData)
{
    static_assert(sizeof(AudioDeviceIOProc) == sizeof(void*), "an IOProc travels in a pointer field");
    AudioDeviceIOProc theIOProc = nullptr;
    std::memcpy(&theIOProc, static_cast<const char*>(inData) + offsetof(AudioHardwareIOProcStreamUsage, mIOProc),
                sizeof(theIOProc));
    return theIOProc;
}

// Where the flag word of stream inIndex lies in a usage record.
void* StreamUsageWord(void* inData, UInt32 inIndex)
{
    return static_cast<char*>(inData) + offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) +
           inIndex * sizeof(UInt32);
}

UInt32 ReadStreamUsageWord(const void* inData, UInt32 inIndex)
{
    UInt32 theWord = 0;
    std::memcpy(&theWord,
                static_cast<const char*>(inData) + offsetof(AudioHardwareIOProcStreamUsage, mStreamIsOn) +
                    inIndex * sizeof(UInt32),
                sizeof(theWord));
    return theWord;
}

}  // namespace

HPDevice::HPDevice(HPPlugIn* inPlugIn, AudioDeviceID inDeviceID)
    : HPPropertyObject(inDeviceID),
      HPControlOwner(),
      mPlugIn(inPlugIn),
      mNumberStartedIOProcs(0),
      mHostStartCount(0),
      mIsEngineRunning(false),
      mIOBufferFrameSize(kInitialIOBufferFrameSize)
{
}

HPDevice::~HPDevice()
{
    // What only the device holds: commands never drained, the usage arrays
    // of IOProcs never removed, and handlers of a device never torn down.
    for (HPCommand* theCommand : mCommandList) {
        delete theCommand;
    }
    for (auto& theEntry : mIOProcMap) {
        delete[] theEntry.second.mInputStreamUsage;
        delete[] theEntry.second.mOutputStreamUsage;
    }
    for (HPProperty* theProperty : mPropertyList) {
        delete theProperty;
    }
}

void HPDevice::Initialize()
{
    HPPropertyObject::Initialize();

    HPProperty* const theProperties[] = {
        new HPIOBufferSizeProperty(this),   new HPStreamListProperty(this),    new HPDeviceFormatProperty(this),
        new HPDeviceVolumeProperty(this),   new HPDeviceMuteProperty(this),    new HPDevicePlayThruProperty(this),
        new HPDeviceDataSourceProperty(this), new HPDeviceClockSourceProperty(this),
    };
    size_t theIndex = 0;
    try {
        for (; theIndex < std::size(theProperties); ++theIndex) {
            HPProperty* theProperty = theProperties[theIndex];
            theProperty->Initialize();
            mPropertyList.push_back(theProperty);
            AddProperty(theProperty);
        }
    } catch (...) {
        // The handler that failed is already in the list (Teardown removes it
        // with the others); the ones not reached were never used.
        for (++theIndex; theIndex < std::size(theProperties); ++theIndex) {
            delete theProperties[theIndex];
        }
        throw;
    }
}

void HPDevice::Teardown()
{
    for (HPProperty* theProperty : mPropertyList) {
        RemoveProperty(theProperty);
        theProperty->Teardown();
        delete theProperty;
    }
    mPropertyList.clear();

    HPPropertyObject::Teardown();
}

bool HPDevice::HasProperty(const HPPropertyAddress& inAddress) const
{
    bool isInput = inAddress.mSection != 0;
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyDeviceName:
    case kAudioDevicePropertyDeviceNameCFString:
    case kAudioDevicePropertyDeviceManufacturer:
    case kAudioDevicePropertyDeviceManufacturerCFString:
    case kAudioDevicePropertyDeviceUID:
    case kAudioDevicePropertyTransportType:
    case kAudioDevicePropertyDeviceIsAlive:
    case kAudioDevicePropertyDeviceIsRunning:
    case kAudioDevicePropertyDeviceIsRunningSomewhere:
    case kAudioDevicePropertyDeviceCanBeDefaultDevice:
    case kAudioDevicePropertyIOProcStreamUsage:
    case kAudioDevicePropertyActualSampleRate:
        return true;
    case kAudioDevicePropertyDeviceCanBeDefaultSystemDevice:
        return inAddress.mSection == 0;
    case kAudioDevicePropertyLatency:
    case kAudioDevicePropertySafetyOffset:
        return HasSection(isInput);
    case kAudioDevicePropertyStreamFormats:
        // Always present; the handler's IsActive may still throw ('nope' on
        // a section without streams), and that passes through.
        HPPropertyObject::HasProperty(inAddress);
        return true;
    default:
        return HPPropertyObject::HasProperty(inAddress);
    }
}

bool HPDevice::PropertyIsSettable(const HPPropertyAddress& inAddress) const
{
    if (inAddress.mSelector == kAudioDevicePropertyIOProcStreamUsage) {
        return true;
    }
    if (IsReadOnlySelector(inAddress.mSelector)) {
        return false;
    }
    return HPPropertyObject::PropertyIsSettable(inAddress);
}

UInt32 HPDevice::GetPropertyDataSize(const HPPropertyAddress& inAddress) const
{
    bool isInput = inAddress.mSection != 0;
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyDeviceName:
        return GetCStringSize(CopyDeviceName());
    case kAudioDevicePropertyDeviceManufacturer:
        return GetCStringSize(CopyDeviceManufacturerName());
    case kAudioDevicePropertyDeviceNameCFString:
    case kAudioDevicePropertyDeviceManufacturerCFString:
    case kAudioDevicePropertyDeviceUID:
        return sizeof(CFStringRef);
    case kAudioDevicePropertyTransportType:
    case kAudioDevicePropertyDeviceIsAlive:
    case kAudioDevicePropertyDeviceIsRunning:
    case kAudioDevicePropertyDeviceIsRunningSomewhere:
    case kAudioDevicePropertyDeviceCanBeDefaultDevice:
    case kAudioDevicePropertyDeviceCanBeDefaultSystemDevice:
    case kAudioDevicePropertyLatency:
    case kAudioDevicePropertySafetyOffset:
        return sizeof(UInt32);
    case kAudioDevicePropertyIOProcStreamUsage:
        return AudioHardwareIOProcStreamUsageSize(GetNumberStreams(isInput));
    case kAudioDevicePropertyActualSampleRate:
        return sizeof(Float64);
    default:
        return HPPropertyObject::GetPropertyDataSize(inAddress);
    }
}

void HPDevice::GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    static const char kNullDataMessage[] = "HPDevice::GetPropertyData: the data can't be NULL";
    bool isInput = inAddress.mSection != 0;
    switch (inAddress.mSelector) {
    case kAudioDevicePropertyDeviceName:
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        GetCStringData(CopyDeviceName(), ioDataSize, outData);
        break;

    case kAudioDevicePropertyDeviceManufacturer:
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        GetCStringData(CopyDeviceManufacturerName(), ioDataSize, outData);
        break;

    case kAudioDevicePropertyDeviceNameCFString:
    case kAudioDevicePropertyDeviceManufacturerCFString:
    case kAudioDevicePropertyDeviceUID: {
        const char* theMessage = "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceUID";
        if (inAddress.mSelector == kAudioDevicePropertyDeviceNameCFString) {
            theMessage = "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceNameCFString";
        } else if (inAddress.mSelector == kAudioDevicePropertyDeviceManufacturerCFString) {
            theMessage =
                "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceManufacturerCFString";
        }
        CheckDataSize(ioDataSize, sizeof(CFStringRef), theMessage);
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        CFStringRef theString = nullptr;
        if (inAddress.mSelector == kAudioDevicePropertyDeviceNameCFString) {
            theString = CopyDeviceName();
        } else if (inAddress.mSelector == kAudioDevicePropertyDeviceManufacturerCFString) {
            theString = CopyDeviceManufacturerName();
        } else {
            theString = CopyDeviceUID();
        }
        std::memcpy(outData, &theString, sizeof(theString));
        break;
    }

    case kAudioDevicePropertyTransportType:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyTransportType");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, GetTransportType());
        break;

    case kAudioDevicePropertyDeviceIsAlive:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceIsAlive");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, IsAlive() ? 1 : 0);
        break;

    case kAudioDevicePropertyDeviceIsRunning:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceIsRunning");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, IsEngineRunning() ? 1 : 0);
        break;

    case kAudioDevicePropertyDeviceIsRunningSomewhere:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceIsRunningSomewhere");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, IsEngineRunning() ? 1 : 0);
        break;

    case kAudioDevicePropertyDeviceCanBeDefaultDevice:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceCanBeDefaultDevice");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, CanBeDefaultDevice(isInput, false) ? 1 : 0);
        break;

    case kAudioDevicePropertyDeviceCanBeDefaultSystemDevice:
        CheckDataSize(
            ioDataSize, sizeof(UInt32),
            "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyDeviceCanBeDefaultSystemDevice");
        if (isInput) {
            CAThrowWithMessage("HPDevice::GetPropertyData: kAudioDevicePropertyDeviceCanBeDefaultSystemDevice only "
                               "exists for output",
                               kAudioHardwareBadPropertySizeError);
        }
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, CanBeDefaultDevice(false, true) ? 1 : 0);
        break;

    case kAudioDevicePropertyLatency:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyLatency");
        if (!HasSection(isInput)) {
            CAThrowWithMessage("HPDevice::GetPropertyData: kAudioDevicePropertyLatency: device doesn't have given "
                               "section",
                               kAudioHardwareUnknownPropertyError);
        }
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, GetLatency(isInput));
        break;

    case kAudioDevicePropertySafetyOffset:
        CheckDataSize(ioDataSize, sizeof(UInt32),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertySafetyOffset");
        if (!HasSection(isInput)) {
            CAThrowWithMessage("HPDevice::GetPropertyData: kAudioDevicePropertySafetyOffset: device doesn't have "
                               "given section",
                               kAudioHardwareUnknownPropertyError);
        }
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        WriteUInt32(outData, GetSafetyOffset(isInput));
        break;

    case kAudioDevicePropertyIOProcStreamUsage: {
        UInt32 theNumberStreams = GetNumberStreams(isInput);
        CheckDataSize(ioDataSize, AudioHardwareIOProcStreamUsageSize(theNumberStreams),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyIOProcStreamUsage");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        std::unique_ptr<bool[]> theUsage(new bool[theNumberStreams > 0 ? theNumberStreams : 1]);
        GetIOProcStreamUsage(ReadIOProc(outData), isInput, theUsage.get());
        WriteUInt32(static_cast<char*>(outData) + offsetof(AudioHardwareIOProcStreamUsage, mNumberStreams),
                    theNumberStreams);
        for (UInt32 theIndex = 0; theIndex < theNumberStreams; ++theIndex) {
            WriteUInt32(StreamUsageWord(outData, theIndex), theUsage[theIndex] ? 1 : 0);
        }
        break;
    }

    case kAudioDevicePropertyActualSampleRate: {
        CheckDataSize(ioDataSize, sizeof(Float64),
                      "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyActualSampleRate");
        CheckDataPointer(outData, ioDataSize, kNullDataMessage);
        Float64 theRate = GetActualSampleRate();
        std::memcpy(outData, &theRate, sizeof(theRate));
        break;
    }

    default:
        HPPropertyObject::GetPropertyData(inAddress, ioDataSize, outData);
        break;
    }
}

void HPDevice::SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                               const AudioTimeStamp* inWhen)
{
    if (!HogModeOwnedBySelfOrIsFree()) {
        CAThrowWithMessage("HPDevice::SetPropertyData: can't set property because hog mode is owned by another "
                           "process",
                           kAudioDevicePermissionsError);
    }

    if (inAddress.mSelector == kAudioDevicePropertyIOProcStreamUsage) {
        bool isInput = inAddress.mSection != 0;
        UInt32 theNumberStreams = GetNumberStreams(isInput);
        CheckDataSize(inDataSize, AudioHardwareIOProcStreamUsageSize(theNumberStreams),
                      "HPDevice::SetPropertyData: wrong data size for kAudioDevicePropertyIOProcStreamUsage");
        CheckDataPointer(inData, inDataSize, "HPDevice::SetPropertyData: the data can't be NULL");
        std::unique_ptr<bool[]> theUsage(new bool[theNumberStreams > 0 ? theNumberStreams : 1]);
        for (UInt32 theIndex = 0; theIndex < theNumberStreams; ++theIndex) {
            theUsage[theIndex] = ReadStreamUsageWord(inData, theIndex) != 0;
        }
        HPCommand* theCommand = new HPChangeIOProcStreamUsageCommand(this, ReadIOProc(inData), isInput, theUsage.get());
        theUsage.release();
        ExecuteCommand(theCommand);
        return;
    }

    HPPropertyObject::SetPropertyData(inAddress, inDataSize, inData, inWhen);
}

void HPDevice::PropertyChanged(const HPPropertyAddress& inAddress) const
{
    AudioHardwarePlugInRef theInterface = (mPlugIn != nullptr) ? mPlugIn->GetInterface() : nullptr;
    OSStatus theError = AudioHardwareDevicePropertyChanged(theInterface, GetObjectID(), inAddress.mChannel,
                                                           inAddress.mSection != 0, inAddress.mSelector);
    if (theError != 0) {
        std::fprintf(stderr, "HPDevice::PropertyChanged: got an error from AudioHardwareDevicePropertyChanged, "
                             "Error: %ld\n",
                     static_cast<long>(theError));
    }
}

CFStringRef HPDevice::CopyDeviceName() const { return nullptr; }

CFStringRef HPDevice::CopyDeviceManufacturerName() const { return nullptr; }

CFStringRef HPDevice::CopyDeviceUID() const { return nullptr; }

UInt32 HPDevice::GetTransportType() const { return 0; }

bool HPDevice::IsAlive() const { return true; }

bool HPDevice::CanBeDefaultDevice(bool, bool) const { return false; }

HPControl* HPDevice::GetControl(UInt32 inSelector, UInt32 inChannel, UInt8 inSection) const
{
    HPControl* theControl = HPControlOwner::GetControl(inSelector, inChannel, inSection);
    if ((theControl == nullptr) && (inChannel != 0) && (inSection != HPControl::kAllSections)) {
        HPStream* theStream = GetStreamByDeviceChannel(inSection == HPControl::kInputSection, inChannel);
        // A channel below the stream's first one belongs to no channel of it.
        if ((theStream != nullptr) && (inChannel >= theStream->GetStartingChannel())) {
            theControl = theStream->GetControl(inSelector, inChannel - theStream->GetStartingChannel() + 1, inSection);
        }
    }
    return theControl;
}

bool HPDevice::GetControlDeviceChannel(HPControl* inControl, UInt32& outChannel) const
{
    if (inControl->GetOwner() == static_cast<const HPControlOwner*>(this)) {
        outChannel = inControl->GetChannel();
        return true;
    }
    return GetControlOwnerIfStream(inControl, outChannel) != nullptr;
}

void HPDevice::SendControlNotification(UInt32 inSelector, UInt32 inChannel, UInt8 inSection) const
{
    PropertyChanged(HPPropertyAddress(inSelector, inChannel, inSection));
}

void HPDevice::ControlValueChanged(HPControl* inControl)
{
    UInt32 theChannel = 0;
    if ((inControl == nullptr) || !GetControlDeviceChannel(inControl, theChannel)) {
        return;
    }
    UInt32 theSelectors[2] = {0, 0};
    switch (inControl->GetClassID()) {
    case kAudioDevicePropertyVolumeScalar:
        theSelectors[0] = kAudioDevicePropertyVolumeScalar;
        theSelectors[1] = kAudioDevicePropertyVolumeDecibels;
        break;
    case kAudioDevicePropertyMute:
    case kAudioDevicePropertyPlayThru:
    case kAudioDevicePropertyDataSource:
    case kAudioDevicePropertyClockSource:
        theSelectors[0] = inControl->GetClassID();
        break;
    default:
        return;
    }
    UInt8 theSection = inControl->GetSection();
    const UInt8 theAllSections[] = {HPControl::kInputSection, HPControl::kOutputSection};
    const UInt8* theSections = (theSection == HPControl::kAllSections) ? theAllSections : &theSection;
    size_t theNumberSections = (theSection == HPControl::kAllSections) ? 2 : 1;
    for (size_t theSectionIndex = 0; theSectionIndex < theNumberSections; ++theSectionIndex) {
        for (UInt32 theSelector : theSelectors) {
            if (theSelector != 0) {
                SendControlNotification(theSelector, theChannel, theSections[theSectionIndex]);
            }
        }
    }
}

void HPDevice::ControlRangeChanged(HPControl* inControl)
{
    UInt32 theChannel = 0;
    if ((inControl == nullptr) || !GetControlDeviceChannel(inControl, theChannel)) {
        return;
    }
    UInt32 theSelector = 0;
    switch (inControl->GetClassID()) {
    case kAudioDevicePropertyVolumeScalar:
        theSelector = kAudioDevicePropertyVolumeRangeDecibels;
        break;
    case kAudioDevicePropertyDataSource:
        theSelector = kAudioDevicePropertyDataSources;
        break;
    case kAudioDevicePropertyClockSource:
        theSelector = kAudioDevicePropertyClockSources;
        break;
    default:
        return;
    }
    UInt8 theSection = inControl->GetSection();
    if (theSection == HPControl::kAllSections) {
        SendControlNotification(theSelector, theChannel, HPControl::kInputSection);
        SendControlNotification(theSelector, theChannel, HPControl::kOutputSection);
    } else {
        SendControlNotification(theSelector, theChannel, theSection);
    }
}

HPStream* HPDevice::GetControlOwnerIfStream(HPControl* inControl, UInt32& ioChannel) const
{
    for (bool isInput : {true, false}) {
        for (HPStream* theStream : GetStreamList(isInput)) {
            if (static_cast<HPControlOwner*>(theStream) == inControl->GetOwner()) {
                ioChannel = theStream->GetStartingChannel() + inControl->GetChannel() - 1;
                return theStream;
            }
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Commands

void HPDevice::ExecuteCommand(HPCommand* inCommand)
{
    std::unique_ptr<HPCommand> theCommand(inCommand);
    if (!IsSafeToExecuteCommand(inCommand)) {
        mCommandList.push_back(inCommand);
        theCommand.release();
        return;
    }

    OSStatus theError = 0;
    if (StartCommandExecution()) {
        try {
            theCommand->Execute();
        } catch (const CAException& theException) {
            theError = theException.GetError();
        } catch (...) {
            theError = kAudioHardwareUnspecifiedError;
        }
        FinishCommandExecution();
    }
    theCommand.reset();

    if (theError != 0) {
        CAThrow(theError);
    }
}

void HPDevice::ExecuteAllCommands()
{
    // A command run here may queue further ones (this is the I/O thread);
    // they wait for the next drain instead of growing the list being walked.
    CommandList theCommands;
    theCommands.swap(mCommandList);
    for (HPCommand* theCommand : theCommands) {
        try {
            theCommand->Execute();
        } catch (...) {
            // Nobody is left to hear about it.
        }
        delete theCommand;
    }
}

bool HPDevice::IsSafeToExecuteCommand(HPCommand*) { return true; }

bool HPDevice::StartCommandExecution() { return true; }

void HPDevice::FinishCommandExecution() {}

void HPDevice::ClearAllCommands()
{
    for (HPCommand* theCommand : mCommandList) {
        delete theCommand;
    }
    mCommandList.clear();
}

void HPDevice::DoAddIOProc(AudioDeviceIOProc inIOProc, void* inClientData)
{
    if (inIOProc == nullptr) {
        CAThrowWithMessage("HPDevice::DoAddIOProc: the IOProc can't be NULL", kAudioHardwareIllegalOperationError);
    }
    if (FindIOProcInfo(inIOProc) != nullptr) {
        CAThrowWithMessage("HPDevice::DoAddIOProc: the IOProc is already added", kAudioHardwareIllegalOperationError);
    }
    ExecuteCommand(new HPAddIOProcCommand(this, inIOProc, inClientData));
}

void HPDevice::DoRemoveIOProc(AudioDeviceIOProc inIOProc)
{
    if (FindIOProcInfo(inIOProc) == nullptr) {
        return;
    }
    ExecuteCommand(new HPRemoveIOProcCommand(this, inIOProc));
}

void HPDevice::DoStartIOProc(AudioDeviceIOProc inIOProc)
{
    if (!HogModeOwnedBySelfOrIsFree()) {
        CAThrowWithMessage("HPDevice::DoStartIOProc: can't start because hog mode is owned by another process",
                           kAudioDevicePermissionsError);
    }
    if ((inIOProc != nullptr) && (FindIOProcInfo(inIOProc) == nullptr)) {
        CAThrowWithMessage("HPDevice::DoStartIOProc: unknown IOProc", kAudioHardwareIllegalOperationError);
    }
    ExecuteCommand(new HPStartIOProcCommand(this, inIOProc));
}

void HPDevice::DoStopIOProc(AudioDeviceIOProc inIOProc)
{
    if ((inIOProc != nullptr) && (FindIOProcInfo(inIOProc) == nullptr)) {
        CAThrowWithMessage("HPDevice::DoStopIOProc: unknown IOProc", kAudioHardwareIllegalOperationError);
    }
    ExecuteCommand(new HPStopIOProcCommand(this, inIOProc));
}

void HPDevice::DoStopAll()
{
    UInt32 theHostStarts = mHostStartCount;
    for (UInt32 theIndex = 0; theIndex < theHostStarts; ++theIndex) {
        DoStopIOProc(nullptr);
    }
    // Collected first: each stop may run at once and call the hooks.
    std::vector<AudioDeviceIOProc> theStartedIOProcs;
    for (const auto& theEntry : mIOProcMap) {
        if (theEntry.second.mIsStarted) {
            theStartedIOProcs.push_back(theEntry.first);
        }
    }
    for (AudioDeviceIOProc theIOProc : theStartedIOProcs) {
        DoStopIOProc(theIOProc);
    }
}

void HPDevice::AddIOProc(AudioDeviceIOProc inIOProc, void* inClientData)
{
    if (inIOProc == nullptr) {
        CAThrowWithMessage("HPDevice::AddIOProc: the IOProc can't be NULL", kAudioHardwareIllegalOperationError);
    }
    if (FindIOProcInfo(inIOProc) != nullptr) {
        CAThrowWithMessage("HPDevice::AddIOProc: the IOProc is already added", kAudioHardwareIllegalOperationError);
    }
    HPIOProcInfo theInfo(inIOProc, inClientData);
    InitializeIOProcInfo(theInfo);
    mIOProcMap.insert(IOProcMap::value_type(inIOProc, theInfo));
}

void HPDevice::RemoveIOProc(AudioDeviceIOProc inIOProc)
{
    HPIOProcInfo* theInfo = FindIOProcInfo(inIOProc);
    if (theInfo == nullptr) {
        return;
    }
    // A started IOProc is stopped first, so that the counts stay true and the
    // engine stops when nothing else runs.
    if (theInfo->mIsStarted) {
        StopIOProc(inIOProc);
    }
    auto theIterator = mIOProcMap.find(inIOProc);
    if (theIterator == mIOProcMap.end()) {
        return;
    }
    HPIOProcInfo theCopy = theIterator->second;
    mIOProcMap.erase(theIterator);
    TeardownIOProcInfo(theCopy);
}

void HPDevice::GetIOProcStreamUsage(AudioDeviceIOProc inIOProc, bool inIsInput, bool* outUsage) const
{
    UInt32 theNumberStreams = GetNumberStreams(inIsInput);
    const HPIOProcInfo* theInfo = FindIOProcInfo(inIOProc);
    for (UInt32 theIndex = 0; theIndex < theNumberStreams; ++theIndex) {
        outUsage[theIndex] = (theInfo != nullptr) && theInfo->IsStreamUsed(inIsInput, theIndex);
    }
}

void HPDevice::SetIOProcStreamUsage(AudioDeviceIOProc inIOProc, bool inIsInput, const bool* inUsage)
{
    HPIOProcInfo* theInfo = FindIOProcInfo(inIOProc);
    if (theInfo == nullptr) {
        return;
    }
    UInt32 theNumberStreams = GetNumberStreams(inIsInput);
    bool* theUsage = new bool[theNumberStreams > 0 ? theNumberStreams : 1];
    std::copy(inUsage, inUsage + theNumberStreams, theUsage);
    if (inIsInput) {
        delete[] theInfo->mInputStreamUsage;
        theInfo->mInputStreamUsage = theUsage;
        theInfo->mInputStreamUsageCount = theNumberStreams;
    } else {
        delete[] theInfo->mOutputStreamUsage;
        theInfo->mOutputStreamUsage = theUsage;
        theInfo->mOutputStreamUsageCount = theNumberStreams;
    }
    IOProcStreamUsageChanged(*theInfo, inIsInput);
}

void HPDevice::StartIOProc(AudioDeviceIOProc inIOProc)
{
    HPIOProcInfo* theInfo = nullptr;
    bool didStartIOProc = false;
    bool didCountHostStart = false;
    if (inIOProc != nullptr) {
        theInfo = FindIOProcInfo(inIOProc);
        if (theInfo == nullptr) {
            CAThrowWithMessage("HPDevice::StartIOProc: unknown IOProc", kAudioHardwareIllegalOperationError);
        }
        if (!theInfo->mIsStarted) {
            theInfo->mIsStarted = true;
            ++mNumberStartedIOProcs;
            didStartIOProc = true;
            try {
                IOProcStarted(*theInfo);
            } catch (...) {
                theInfo->mIsStarted = false;
                --mNumberStartedIOProcs;
                throw;
            }
        }
    } else {
        ++mHostStartCount;
        didCountHostStart = true;
    }

    if (((mNumberStartedIOProcs != 0) || (mHostStartCount != 0)) && !IsEngineRunning()) {
        try {
            StartEngine();
        } catch (...) {
            // Undo this start, so that the IOProc does not run later on
            // somebody else's start.
            if (didStartIOProc) {
                theInfo->mIsStarted = false;
                --mNumberStartedIOProcs;
                try {
                    IOProcStopped(*theInfo);
                } catch (...) {
                    // The start's own failure is the one to report.
                }
            }
            if (didCountHostStart) {
                --mHostStartCount;
            }
            throw;
        }
    }
}

void HPDevice::StopIOProc(AudioDeviceIOProc inIOProc)
{
    if (inIOProc != nullptr) {
        HPIOProcInfo* theInfo = FindIOProcInfo(inIOProc);
        if (theInfo == nullptr) {
            CAThrowWithMessage("HPDevice::StopIOProc: unknown IOProc", kAudioHardwareIllegalOperationError);
        }
        if (theInfo->mIsStarted) {
            theInfo->mIsStarted = false;
            --mNumberStartedIOProcs;
            IOProcStopped(*theInfo);
        }
    } else {
        // A host stop without a matching start changes nothing: the count
        // must not wrap, or the engine could never stop again.
        if (mHostStartCount == 0) {
            return;
        }
        --mHostStartCount;
    }

    if ((mNumberStartedIOProcs == 0) && (mHostStartCount == 0) && IsEngineRunning()) {
        StopEngine();
    }
}

void HPDevice::InitializeIOProcInfo(HPIOProcInfo&) {}

void HPDevice::TeardownIOProcInfo(HPIOProcInfo& ioInfo)
{
    delete[] ioInfo.mInputStreamUsage;
    ioInfo.mInputStreamUsage = nullptr;
    ioInfo.mInputStreamUsageCount = 0;
    delete[] ioInfo.mOutputStreamUsage;
    ioInfo.mOutputStreamUsage = nullptr;
    ioInfo.mOutputStreamUsageCount = 0;
}

void HPDevice::IOProcStreamUsageChanged(HPIOProcInfo&, bool) {}

void HPDevice::IOProcStarted(HPIOProcInfo&) {}

void HPDevice::IOProcStopped(HPIOProcInfo&) {}

void HPDevice::SetIOBufferFrameSize(UInt32 inFrameSize)
{
    if (inFrameSize < GetMinimumIOBufferFrameSize()) {
        CAThrowWithMessage("HPDevice::SetIOBufferFrameSize: requested size is too small",
                           kAudioHardwareIllegalOperationError);
    }
    if (inFrameSize > GetMaximumIOBufferFrameSize()) {
        CAThrowWithMessage("HPDevice::SetIOBufferFrameSize: requested size is too large",
                           kAudioHardwareIllegalOperationError);
    }
    mIOBufferFrameSize = inFrameSize;
}

UInt32 HPDevice::GetMinimumIOBufferFrameSize() const { return kMinimumIOBufferFrameSize; }

UInt32 HPDevice::GetMaximumIOBufferFrameSize() const { return kMaximumIOBufferFrameSize; }

UInt32 HPDevice::GetLatency(bool) const { return 0; }

UInt32 HPDevice::GetSafetyOffset(bool) const { return 0; }

bool HPDevice::IsEngineRunning() const { return mIsEngineRunning; }

void HPDevice::Read(const AudioTimeStamp&, AudioBufferList*) {}

void HPDevice::StartEngine() { mIsEngineRunning = true; }

void HPDevice::StopEngine() { mIsEngineRunning = false; }

void HPDevice::GetCurrentTime(AudioTimeStamp&) {}

void HPDevice::TranslateTime(const AudioTimeStamp&, AudioTimeStamp&) {}

Float64 HPDevice::GetActualSampleRate() const { return GetNominalSampleRate(); }

Float64 HPDevice::GetNominalSampleRate() const
{
    // A device without streams has no rate yet: 0, the host's "unknown".
    const HPStream* theStream = !mOutputStreamList.empty()  ? mOutputStreamList.front()
                                : !mInputStreamList.empty() ? mInputStreamList.front()
                                                            : nullptr;
    return (theStream != nullptr) ? theStream->GetCurrentNominalSampleRate() : 0.0;
}

void HPDevice::PhysicalFormatChanged(HPStream*, const AudioStreamBasicDescription&, const AudioStreamBasicDescription&)
{
}

bool HPDevice::HasSection(bool inIsInput) const { return !GetStreamList(inIsInput).empty(); }

UInt32 HPDevice::GetNumberStreams(bool inIsInput) const { return UInt32(GetStreamList(inIsInput).size()); }

HPStream* HPDevice::GetStreamByIndex(bool inIsInput, UInt32 inIndex) const
{
    const StreamList& theList = GetStreamList(inIsInput);
    return (inIndex < theList.size()) ? theList[inIndex] : nullptr;
}

HPStream* HPDevice::GetStreamByDeviceChannel(bool inIsInput, UInt32 inChannel) const
{
    for (HPStream* theStream : GetStreamList(inIsInput)) {
        if (inChannel < theStream->GetStartingChannel() + theStream->GetCurrentNumberChannels()) {
            return theStream;
        }
    }
    return nullptr;
}

void HPDevice::AddStream(HPStream* inStream)
{
    StreamList& theList = GetStreamList(inStream->IsInput());
    UInt32 theStartingChannel = inStream->GetStartingChannel();
    auto theIterator = std::find_if(theList.begin(), theList.end(), [theStartingChannel](const HPStream* inOther) {
        return inOther->GetStartingChannel() >= theStartingChannel;
    });
    theList.insert(theIterator, inStream);
}

void HPDevice::RemoveStream(HPStream* inStream)
{
    StreamList& theList = GetStreamList(inStream->IsInput());
    auto theIterator = std::find(theList.begin(), theList.end(), inStream);
    if (theIterator != theList.end()) {
        theList.erase(theIterator);
    }
}

bool HPDevice::HogModeOwnedBySelfOrIsFree() { return true; }

void HPDevice::SendHogModeNotifications()
{
    if (HasSection(true)) {
        PropertyChanged(HPPropertyAddress(kAudioDevicePropertyHogMode, 0, 1));
    }
    if (HasSection(false)) {
        PropertyChanged(HPPropertyAddress(kAudioDevicePropertyHogMode, 0, 0));
    }
}

void HPDevice::HogModeTakenBySelf() { SendHogModeNotifications(); }

void HPDevice::HogModeTakenByOther()
{
    DoStopAll();
    SendHogModeNotifications();
}

void HPDevice::HogModeReleasedBySelf() { SendHogModeNotifications(); }

void HPDevice::HogModeReleasedByOther() { SendHogModeNotifications(); }

UInt32 HPDevice::GetTotalNumberChannels(bool inIsInput) const
{
    UInt32 theTotal = 0;
    for (const HPStream* theStream : GetStreamList(inIsInput)) {
        theTotal += theStream->GetCurrentNumberChannels();
    }
    return theTotal;
}

AudioBufferList* HPDevice::AllocateAudioBufferList(bool inIsInput, const bool* inUsage) const
{
    const StreamList& theStreams = GetStreamList(inIsInput);
    AudioBufferList* theList = CAAudioBufferList::Create(UInt32(theStreams.size()));
    if (theList == nullptr) {
        throw std::bad_alloc();
    }
    for (UInt32 theIndex = 0; theIndex < theStreams.size(); ++theIndex) {
        AudioBuffer& theBuffer = theList->mBuffers[theIndex];
        theBuffer.mNumberChannels = theStreams[theIndex]->GetCurrentNumberChannels();
        theBuffer.mDataByteSize = theStreams[theIndex]->CalculateIOBufferByteSize(mIOBufferFrameSize);
        theBuffer.mData = nullptr;
        if ((inUsage == nullptr) || inUsage[theIndex]) {
            theBuffer.mData = std::malloc(theBuffer.mDataByteSize > 0 ? theBuffer.mDataByteSize : 1);
            if (theBuffer.mData == nullptr) {
                FreeAudioBufferList(theList);
                throw std::bad_alloc();
            }
        }
    }
    return theList;
}

void HPDevice::FreeAudioBufferList(AudioBufferList* inList) const
{
    if (inList == nullptr) {
        return;
    }
    for (UInt32 theIndex = 0; theIndex < inList->mNumberBuffers; ++theIndex) {
        std::free(inList->mBuffers[theIndex].mData);
        inList->mBuffers[theIndex].mData = nullptr;
    }
    CAAudioBufferList::Destroy(inList);
}

HPIOProcInfo* HPDevice::FindIOProcInfo(AudioDeviceIOProc inIOProc)
{
    auto theIterator = mIOProcMap.find(inIOProc);
    return (theIterator != mIOProcMap.end()) ? &theIterator->second : nullptr;
}

const HPIOProcInfo* HPDevice::FindIOProcInfo(AudioDeviceIOProc inIOProc) const
{
    auto theIterator = mIOProcMap.find(inIOProc);
    return (theIterator != mIOProcMap.end()) ? &theIterator->second : nullptr;
}
