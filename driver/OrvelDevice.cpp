// OrvelDevice: construction, Initialize and Teardown, identity, its own
// properties, stream publishing, settings for the muxer, buffer sizes and
// the command bracket.
#include "driver/OrvelDevice.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"
#include "driver/DataSourceControl.h"
#include "driver/MuteControl.h"
#include "driver/Stream.h"
#include "framework/HPPlugIn.h"
#include "platform/HostRunLoop.h"
#include "support/CAAudioStreamBasicDescription.h"
#include "support/CAAudioTimeStamp.h"
#include "support/CAException.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

namespace {

constexpr UInt32 kSignedIntegerPackedFlags = 12;
constexpr UInt32 kAudioClientOptions = 1;
constexpr AudioDevicePropertyID kStreamConfigurationChangedSelector = FourCC("dch2");
constexpr AudioDevicePropertyID kDeviceFormatChangedSelector = FourCC("diff");

void WriteUInt32(void* outData, UInt32 inValue) { std::memcpy(outData, &inValue, sizeof(inValue)); }

}  // namespace

OrvelDevice::OrvelDevice(HPPlugIn* inPlugIn, Zent::Mux::Orvel::BaseMuxer* inMuxer,
                         Zent::Mux::Orvel::FWDevice* inUnit, AudioDeviceID inDeviceID, bool inIsInput)
    : HPDevice(inPlugIn, inDeviceID),
      mDeviceName(inIsInput ? CFSTR("Kestro In") : CFSTR("Kestro Out")),
      mManufacturerName(CFSTR("Haldrix Computer, Inc.")),
      mDeviceUID(nullptr),
      mSettingsFormat{},
      mIsInput(inIsInput),
      mCommandLockHeld(false),
      mIOGuard("IOGuard"),
      mAnchorTime(CAAudioTimeStamp::kZero),
      mFramesProcessed(0.0),
      mInputBufferList(nullptr),
      mOutputBufferList(nullptr),
      mOutputMixBufferList(nullptr),
      mIsRunningAddress(nullptr),
      mMeasuredRate(0.0),
      mWindowSampleTotal(0),
      mRateWindowMinimum(kRateWindowMinimum),
      mCurrentStreamCode(0),
      mCurrentStream(nullptr),
      mOutputSkipCounter(0),
      mMuxer(inMuxer),
      mAudioClient(0),
      mUnit(inUnit),
      mInputSource(1),
      mStopPort(&OrvelDevice::ExecuteStopCallbackEntry, this),
      mPhysicalFormat{},
      mVirtualFormat{},
      mSyncActive(false),
      mSyncBuffer(nullptr),
      mSyncBufferSize(0),
      mSyncReadOffset(0),
      mSyncRepeatCount(0),
      mDataTransferActive(false),
      mDataTransferClosing(false),
      mRunLoopSourceAdded(false),
      mCommandNestingDepth(0)
{
    SetIOBufferFrameSize(kMaximumIOBufferFrameSize);
    mDeviceUID = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("com_haldrix_Kestro_%s:0"),
                                          mIsInput ? "In" : "Out");
    mAudioClient = mMuxer->AttachAudioClient(mUnit, kAudioClientOptions);
    mRunLoopSourceAdded = (AudioHardwareAddRunLoopSource(mStopPort.GetRunLoopSource()) == 0);
}

OrvelDevice::~OrvelDevice()
{
    // A stop still pending dies with the stop port: complete it here so the
    // muxer never calls a destroyed device.
    {
        IOGuardHolder theGuard(mIOGuard);
        StopEverythingNow();
    }
    if (mRunLoopSourceAdded) {
        AudioHardwareRemoveRunLoopSource(mStopPort.GetRunLoopSource());
        mRunLoopSourceAdded = false;
        // A stop callback already running on the run loop finishes before
        // the device goes away.
        HostRunLoopFlush();
    }
    mMuxer->DetachAudioClient(mAudioClient);
    mAudioClient = 0;
    DeallocateBuffers();
    for (auto& theEntry : mStreams) {
        delete theEntry.second;
    }
    mStreams.clear();
    if (mDeviceUID != nullptr) {
        CFRelease(mDeviceUID);
    }
}

void OrvelDevice::Initialize()
{
    HPDevice::Initialize();

    const UInt8 theSection = mIsInput ? HPControl::kInputSection : HPControl::kOutputSection;
    {
        std::unique_ptr<MuteControl> theMute(new MuteControl(0, theSection, this));
        theMute->Initialize();
        AddControl(theMute.get());
        theMute.release();
    }

    UInt32 theCodes[5];
    UInt32 theNumberCodes = 0;
    if (mIsInput) {
        if (mMuxer->HasSDIInput()) {
            theCodes[theNumberCodes++] = kStreamCodeSDI;
        }
        if (mMuxer->HasAESInput()) {
            theCodes[theNumberCodes++] = kStreamCodeAES;
        }
        if (mMuxer->HasADATInput()) {
            theCodes[theNumberCodes++] = kStreamCodeADAT;
        }
        if (mMuxer->HasSPDIFInput()) {
            theCodes[theNumberCodes++] = kStreamCodeSPDIF;
        }
        if (mMuxer->HasAnalogInput()) {
            theCodes[theNumberCodes++] = kStreamCodeAnalog;
        }
    } else {
        theCodes[theNumberCodes++] = kStreamCodeOutput;
    }

    for (UInt32 theIndex = 0; theIndex < theNumberCodes; ++theIndex) {
        AudioStreamID theStreamID = 0;
        OSStatus theError = AudioHardwareClaimAudioStreamID(GetPlugIn()->GetInterface(), GetObjectID(), &theStreamID);
        if (theError != 0) {
            std::fprintf(stderr,
                         "OrvelDevice::Initialize: couldn't claim a stream ID for the input stream, Error: %ld (%s)\n",
                         static_cast<long>(theError), FourCCText(UInt32(theError)).c_str());
            throw CAException(theError);
        }
        const UInt32 theCode = theCodes[theIndex];
        std::unique_ptr<Stream> theStream(new Stream(GetPlugIn(), this, theStreamID, mIsInput, 1,
                                                     GetStreamNameForCode(theCode), theCode));
        theStream->Initialize();
        mStreams[theCode] = theStream.release();
    }

    Zent::Orvel::Settings theSettings;
    mMuxer->GetSettings(theSettings);

    if (mIsInput) {
        std::unique_ptr<DataSourceControl> theControl(new DataSourceControl(0, HPControl::kInputSection, this));
        theControl->Initialize(theSettings.GetAudioFormat(true));
        AddControl(theControl.get());
        // The control has published the stream of its current item; the
        // device follows the control so that the data source, the published
        // stream and the source sent to the unit always agree.
        const UInt32 theItem = theControl.release()->GetCurrentItemID();
        ResetStream(theItem);
    } else {
        mInputSource = 1;
        ResetStream(kStreamCodeOutput);
    }

    if (mCurrentStream != nullptr) {
        const UInt32 theChannels = Stream::GetChannelCountForCode(mCurrentStreamCode);
        const UInt32 theWordSize = theSettings.GetWordSizeAsBytes(mIsInput);
        AudioStreamBasicDescription theFormat{};
        theFormat.mSampleRate = Float64(theSettings.GetSampleRate(mIsInput));
        theFormat.mFormatID = kAudioFormatLinearPCM;
        theFormat.mFormatFlags = kSignedIntegerPackedFlags;
        theFormat.mFramesPerPacket = 1;
        theFormat.mChannelsPerFrame = theChannels;
        theFormat.mBitsPerChannel = theWordSize * 8;
        theFormat.mBytesPerFrame = theWordSize * theChannels;
        theFormat.mBytesPerPacket = theFormat.mBytesPerFrame;
        mCurrentStream->SetCurrentPhysicalFormat(theFormat);
    }
}

void OrvelDevice::Teardown()
{
    {
        IOGuardHolder theGuard(mIOGuard);
        Zent::PTA::Synchronizable::Locker theSettingsLocker(mSettingsLock);
        StopEverythingNow();
    }
    ResetStream(0);
    for (auto& theEntry : mStreams) {
        theEntry.second->Teardown();
        delete theEntry.second;
    }
    mStreams.clear();
    HPDevice::Teardown();
}

// Properties

bool OrvelDevice::HasProperty(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
    case kDovekinRequiresVideo:
    case kAudioDevicePropertyUsesVariableBufferFrameSizes:
        return true;
    case kAudioDevicePropertyStreamFormats:
        try {
            return HPDevice::HasProperty(inAddress);
        } catch (...) {
            return true;
        }
    default:
        return HPDevice::HasProperty(inAddress);
    }
}

bool OrvelDevice::PropertyIsSettable(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
    case kDovekinRequiresVideo:
    case kAudioDevicePropertyUsesVariableBufferFrameSizes:
        return false;
    default:
        return HPDevice::PropertyIsSettable(inAddress);
    }
}

UInt32 OrvelDevice::GetPropertyDataSize(const HPPropertyAddress& inAddress) const
{
    switch (inAddress.mSelector) {
    case kDovekinRequiresVideo:
    case kAudioDevicePropertyUsesVariableBufferFrameSizes:
        return sizeof(UInt32);
    default:
        return HPDevice::GetPropertyDataSize(inAddress);
    }
}

void OrvelDevice::GetPropertyData(const HPPropertyAddress& inAddress, UInt32& ioDataSize, void* outData) const
{
    switch (inAddress.mSelector) {
    case kDovekinRequiresVideo:
        if (ioDataSize != sizeof(UInt32)) {
            CAThrowWithMessage("HPDevice::GetPropertyData: wrong data size for kDovekinRequiresVideo",
                               kAudioHardwareBadPropertySizeError);
        }
        WriteUInt32(outData, 1);
        break;
    case kAudioDevicePropertyUsesVariableBufferFrameSizes:
        if (ioDataSize != sizeof(UInt32)) {
            CAThrowWithMessage(
                "HPDevice::GetPropertyData: wrong data size for kAudioDevicePropertyUsesVariableBufferFrameSizes",
                kAudioHardwareBadPropertySizeError);
        }
        WriteUInt32(outData, kMaximumIOBufferFrameSize);
        break;
    default:
        HPDevice::GetPropertyData(inAddress, ioDataSize, outData);
        break;
    }
}

void OrvelDevice::SetPropertyData(const HPPropertyAddress& inAddress, UInt32 inDataSize, const void* inData,
                                  const AudioTimeStamp* inWhen)
{
    HPDevice::SetPropertyData(inAddress, inDataSize, inData, inWhen);
    PropertyChanged(inAddress);
}

// Identity

CFStringRef OrvelDevice::CopyDeviceName() const
{
    CFRetain(mDeviceName);
    return mDeviceName;
}

CFStringRef OrvelDevice::CopyDeviceManufacturerName() const
{
    CFRetain(mManufacturerName);
    return mManufacturerName;
}

CFStringRef OrvelDevice::CopyDeviceUID() const
{
    if (mDeviceUID != nullptr) {
        CFRetain(mDeviceUID);
    }
    return mDeviceUID;
}

UInt32 OrvelDevice::GetTransportType() const { return kAudioDeviceTransportTypeFireWire; }

bool OrvelDevice::HogModeOwnedBySelfOrIsFree() { return true; }

void OrvelDevice::Read(const AudioTimeStamp&, AudioBufferList*) { throw OSStatus(kAudioHardwareIllegalOperationError); }

UInt32 OrvelDevice::GetLatency(bool) const { return kLatencyFrames; }

// Commands

bool OrvelDevice::IsSafeToExecuteCommand(HPCommand*)
{
    return pthread_equal(pthread_self(), mMuxer->GetIOThread()) == 0;
}

bool OrvelDevice::StartCommandExecution()
{
    if (mIOGuard.Lock()) {
        mCommandLockHeld = true;
    } else {
        // The guard's holder opens a bracket inside its own: the outer
        // bracket keeps the duty to unlock.
        ++mCommandNestingDepth;
    }
    return true;
}

void OrvelDevice::FinishCommandExecution()
{
    if (mCommandNestingDepth != 0) {
        --mCommandNestingDepth;
        return;
    }
    if (mCommandLockHeld) {
        mCommandLockHeld = false;
        mIOGuard.Unlock();
    }
}

// Buffer sizes

void OrvelDevice::SetIOBufferFrameSize(UInt32 inFrameSize)
{
    if (inFrameSize < GetMinimumIOBufferFrameSize()) {
        CAThrowWithMessage("HPSampleDevice::SetIOBufferFrameSize: requested size is too small",
                           kAudioHardwareIllegalOperationError);
    }
    if (inFrameSize > GetMaximumIOBufferFrameSize()) {
        CAThrowWithMessage("HPSampleDevice::SetIOBufferFrameSize: requested size is too large",
                           kAudioHardwareIllegalOperationError);
    }
    if (inFrameSize == GetIOBufferFrameSize()) {
        return;
    }
    HPDevice::SetIOBufferFrameSize(inFrameSize);
    if (IsEngineRunning()) {
        DeallocateBuffers();
        AllocateBuffers();
    }
    const UInt8 theSection = mIsInput ? 1 : 0;
    PropertyChanged(HPPropertyAddress(kAudioDevicePropertyBufferSize, 0, theSection));
    PropertyChanged(HPPropertyAddress(kAudioDevicePropertyBufferFrameSize, 0, theSection));
}

UInt32 OrvelDevice::GetMinimumIOBufferFrameSize() const { return kMinimumIOBufferFrameSize; }

UInt32 OrvelDevice::GetMaximumIOBufferFrameSize() const { return kMaximumIOBufferFrameSize; }

void OrvelDevice::PhysicalFormatChanged(HPStream*, const AudioStreamBasicDescription&,
                                        const AudioStreamBasicDescription&)
{
    if (IsEngineRunning()) {
        DeallocateBuffers();
        AllocateBuffers();
    }
}

// Streams

UInt32 OrvelDevice::GetStreamCodeForSource(UInt32 inSourceCode)
{
    switch (inSourceCode) {
    case 2:
        return kStreamCodeAES;
    case 4:
        return kStreamCodeADAT;
    case 8:
        return kStreamCodeAnalog;
    case 16:
        return kStreamCodeSPDIF;
    default:
        return kStreamCodeSDI;
    }
}

CFStringRef OrvelDevice::GetStreamNameForCode(UInt32 inCode)
{
    switch (inCode) {
    case kStreamCodeSDI:
        return CFSTR("SDI - 8 channels");
    case kStreamCodeAES:
        return CFSTR("AES/EBU - 4 channels");
    case kStreamCodeADAT:
        return CFSTR("ADAT - 8 channels");
    case kStreamCodeSPDIF:
        return CFSTR("S/PDIF PCM - 2 channels");
    case kStreamCodeAnalog:
        return CFSTR("Analog - 4 channels");
    default:
        return CFSTR("8 channels");
    }
}

Stream* OrvelDevice::GetStreamForCode(UInt32 inCode) const
{
    auto theIterator = mStreams.find(inCode);
    return (theIterator != mStreams.end()) ? theIterator->second : nullptr;
}

DataSourceControl* OrvelDevice::GetDataSourceControl() const
{
    return dynamic_cast<DataSourceControl*>(
        GetSelectorControl(kAudioDevicePropertyDataSource, 0, HPControl::kInputSection));
}

void OrvelDevice::ResetStream(UInt32 inCode)
{
    if (inCode == mCurrentStreamCode) {
        return;
    }
    AudioHardwarePlugInRef theInterface = GetPlugIn()->GetInterface();
    if (mCurrentStream != nullptr) {
        if (GetStreamForCode(mCurrentStreamCode) != mCurrentStream) {
            std::printf("something is terribly wrong\n");
            throw OSStatus(kAudioHardwareUnspecifiedError);
        }
        Stream* theOldStream = mCurrentStream;
        GetPlugIn()->RemoveStream(theOldStream);
        RemoveStream(theOldStream);
        mCurrentStream = nullptr;
        mCurrentStreamCode = 0;
        // The host forgets the stream too, so that its view of the device
        // matches what the device publishes.
        AudioStreamID theOldID = theOldStream->GetObjectID();
        AudioHardwareStreamsDied(theInterface, GetObjectID(), 1, &theOldID);
    }
    // The current stream and its code change together, before anything
    // below can throw (the unit may refuse the settings while it leaves), so
    // the next switch or the teardown always finds the published stream.
    Stream* theNewStream = (inCode != 0) ? GetStreamForCode(inCode) : nullptr;
    mCurrentStreamCode = inCode;
    try {
        PublishStream(theNewStream);
    } catch (...) {
        FollowStreamWhileRunning();
        throw;
    }
    FollowStreamWhileRunning();
}

void OrvelDevice::PublishStream(Stream* inStream)
{
    if (inStream == nullptr) {
        return;
    }
    mCurrentStream = inStream;
    AddStream(inStream);
    GetPlugIn()->AddStream(inStream);
    AudioStreamID theNewID = inStream->GetObjectID();
    OSStatus theError = AudioHardwareStreamsCreated(GetPlugIn()->GetInterface(), GetObjectID(), 1, &theNewID);
    if (theError != 0) {
        std::fprintf(stderr, "OrvelDevice::Initialize: couldn't tell the HAL about the streams, Error: %ld (%s)\n",
                     static_cast<long>(theError), FourCCText(UInt32(theError)).c_str());
        throw CAException(theError);
    }
    AudioStreamBasicDescription theFormat;
    inStream->GetCurrentPhysicalFormat(theFormat);
    SetSettings(theFormat);
    PropertyChanged(HPPropertyAddress(kAudioDevicePropertyStreamFormat, 0, 1));
    PropertyChanged(HPPropertyAddress(kStreamConfigurationChangedSelector, 0, 1));
    PropertyChanged(HPPropertyAddress(kDeviceFormatChangedSelector, 0, 1));
}

void OrvelDevice::FollowStreamWhileRunning()
{
    // IOProcs must never see buffers laid out for another stream: while the
    // engine runs, buffers and converters follow before the next packet,
    // also when publishing the new stream failed half-way.
    if (IsEngineRunning()) {
        DeallocateBuffers();
        AllocateBuffers();
    }
}

// Settings

void OrvelDevice::SetSettings(const AudioStreamBasicDescription& inFormat)
{
    Zent::PTA::Synchronizable::Locker theLocker(mSettingsLock);

    UInt32 theWordSizeCode = 0;
    switch (inFormat.mBitsPerChannel) {
    case 16:
        theWordSizeCode = Zent::Orvel::Settings::kWordSize16;
        break;
    case 24:
        theWordSizeCode = Zent::Orvel::Settings::kWordSize24;
        break;
    default:
        throw OSStatus(kAudioHardwareUnspecifiedError);
    }
    UInt32 theRateCode = 0;
    if (inFormat.mSampleRate == 44100.0) {
        theRateCode = Zent::Orvel::Settings::kSampleRate44100;
    } else if (inFormat.mSampleRate == 48000.0) {
        theRateCode = Zent::Orvel::Settings::kSampleRate48000;
    } else if (inFormat.mSampleRate == 96000.0) {
        theRateCode = Zent::Orvel::Settings::kSampleRate96000;
    } else {
        throw OSStatus(kAudioHardwareUnspecifiedError);
    }

    mSettingsFormat = inFormat;
    Zent::Orvel::Settings theSettings;
    theSettings.SetAudioFormat(mIsInput, mIsInput ? mInputSource : 1);
    theSettings.SetWordSizeCode(mIsInput, theWordSizeCode);
    theSettings.SetSampleRateCode(mIsInput, theRateCode);
    mMuxer->ApplySettings(mIsInput, theSettings);

    if (IsEngineRunning()) {
        StopDataTransfer();
        StartDataTransfer();
    }
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
