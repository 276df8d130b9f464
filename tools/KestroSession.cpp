#include "tools/KestroSession.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/AudioHardwareHost.h"
#include "platform/HostClock.h"
#include "platform/HostRunLoop.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"

using Kestro::Unit::SimulatedUnit;
using Kestro::Unit::UnitControl;
using Zent::Orvel::Settings;

namespace {

std::string Lower(std::string inText)
{
    std::transform(inText.begin(), inText.end(), inText.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return inText;
}

struct Connector {
    const char* name;
    UInt32 code;
    UInt32 item;
};

constexpr Connector kConnectors[] = {
    {"sdi", Settings::kAudioFormatSDI, FourCC("isdi")},
    {"aes", Settings::kAudioFormatAES, FourCC("iaes")},
    {"adat", Settings::kAudioFormatADAT, FourCC("iadt")},
    {"spdif", Settings::kAudioFormatSPDIF, FourCC("ispd")},
    {"analog", Settings::kAudioFormatAnalog, FourCC("ialg")},
};

const Connector& FindConnector(const std::string& inName)
{
    std::string name = Lower(inName);
    if (name == "aes/ebu" || name == "aesebu") {
        name = "aes";
    } else if (name == "s/pdif") {
        name = "spdif";
    }
    for (const Connector& connector : kConnectors) {
        if (name == connector.name) {
            return connector;
        }
    }
    throw ToolError::Usage("unknown connector '" + inName + "' (sdi, aes, adat, spdif or analog)");
}

// paramErr means the value is out of the unit's range: the user's mistake.
void CheckedUnitCall(OSStatus inStatus, const std::string& inWhat)
{
    if (inStatus == paramErr) {
        throw ToolError::Usage("the unit can't take " + inWhat);
    }
    ToolError::Check(inStatus, "the unit refused " + inWhat);
}

}  // namespace

UInt32 KestroSession::ConnectorCode(const std::string& inName)
{
    return FindConnector(inName).code;
}

UInt32 KestroSession::ConnectorItem(const std::string& inName)
{
    return FindConnector(inName).item;
}

KestroSession::KestroSession(const SessionOptions& inOptions) : mOptions(inOptions)
{
    // Check what the unit can't take before anything starts.
    UInt32 frameRateCode = 0;
    if (mOptions.frameRate == "29.97") {
        frameRateCode = Settings::kFrameRate2997;
    } else if (mOptions.frameRate == "25") {
        frameRateCode = Settings::kFrameRate25;
    } else {
        throw ToolError::Usage("--frame-rate must be 29.97 or 25, not " + mOptions.frameRate);
    }
    UInt32 connectorMask = 0;
    std::string list = mOptions.connectors;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!name.empty() && name != "none") {
            connectorMask |= ConnectorCode(name);
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }

    HostClockUseVirtual(false);
    mUnit = std::make_unique<SimulatedUnit>();
    CheckedUnitCall(mUnit->SetFrameRate(frameRateCode), "--frame-rate " + mOptions.frameRate);
    CheckedUnitCall(mUnit->SetSampleRate(mOptions.sampleRate),
                    "--sample-rate " + std::to_string(mOptions.sampleRate));
    CheckedUnitCall(mUnit->SetWordSize(mOptions.wordSize), "--word-size " + std::to_string(mOptions.wordSize));
    CheckedUnitCall(mUnit->SetConnectors(connectorMask), "--connectors " + mOptions.connectors);
    CheckedUnitCall(mUnit->SetClockDrift(mOptions.driftPPM), "--drift-ppm " + PropertyCodec::NumberText(mOptions.driftPPM));
    CheckedUnitCall(mUnit->SetTimeStampJitter(mOptions.jitterMicroseconds, 1),
                    "--jitter-us " + std::to_string(mOptions.jitterMicroseconds));
    CheckedUnitCall(mUnit->SetPacing(mOptions.realtime ? UnitControl::Pacing::kRealTime : UnitControl::Pacing::kFast),
                    "the pacing");
    if (mOptions.verbose > 0) {
        mUnit->SetDebugWord(UnitControl::DebugWord::kVerboseWarnings, 1);
        mUnit->SetDebugWord(UnitControl::DebugWord::kPrintSampleRate, 1);
    }
    if (mOptions.verbose > 1) {
        mUnit->SetDebugWord(UnitControl::DebugWord::kPrintPacketInfo, 1);
        mUnit->SetDebugWord(UnitControl::DebugWord::kDumpFrameCount, 1);
    }
    ToolError::Check(mUnit->RegisterUnitComponent(), "couldn't register the unit's muxer component");

    std::string path = mOptions.bundlePath.empty() ? KESTRO_BUNDLE_PATH : mOptions.bundlePath;
    OSStatus status = 0;
    AudioHardwarePlugInRef plugIn = AudioHardwareHostLoadPlugIn(path.c_str(), &status);
    if (plugIn == nullptr) {
        throw ToolError::System("couldn't load the plug-in " + path, status);
    }
    mLoaded = true;
    if (status != 0) {
        throw ToolError::System("the plug-in failed to initialize", status);
    }
    Settle();
}

KestroSession::~KestroSession()
{
    if (mLoaded) {
        AudioHardwareHostUnloadPlugIn();
    }
    mUnit.reset();
}

void KestroSession::Settle()
{
    mUnit->WaitForNotifications();
    HostRunLoopFlush();
}

void KestroSession::RemoveUnit()
{
    ToolError::Check(mUnit->RemoveUnit(), "couldn't unplug the unit");
    Settle();
}

void KestroSession::PresentUnit()
{
    ToolError::Check(mUnit->PresentUnit(), "couldn't plug the unit in");
    Settle();
}

std::vector<AudioDeviceID> KestroSession::GetDevices() const
{
    UInt32 size = 0;
    ToolError::Check(AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, nullptr),
                     "couldn't read the device list");
    std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID));
    size = UInt32(devices.size() * sizeof(AudioDeviceID));
    if (!devices.empty()) {
        ToolError::Check(AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data()),
                         "couldn't read the device list");
    }
    devices.resize(size / sizeof(AudioDeviceID));
    return devices;
}

bool KestroSession::IsInputDevice(AudioDeviceID inDevice)
{
    UInt32 size = 0;
    return AudioDeviceGetPropertyInfo(inDevice, 0, true, kAudioDevicePropertyStreams, &size, nullptr) == 0 &&
           size > 0;
}

std::string KestroSession::GetDeviceName(AudioDeviceID inDevice)
{
    char name[256] = {};
    UInt32 size = sizeof(name) - 1;
    if (AudioDeviceGetProperty(inDevice, 0, false, kAudioDevicePropertyDeviceName, &size, name) == 0 && name[0]) {
        return name;
    }
    return "device " + std::to_string(inDevice);
}

namespace {

std::string DeviceString(AudioDeviceID inDevice, AudioDevicePropertyID inSelector)
{
    PropertyCodec::Target target;
    target.device = inDevice;
    std::vector<UInt8> bytes;
    if (PropertyCodec::ReadBytes(target, inSelector, bytes) != 0) {
        return {};
    }
    if (bytes.size() == sizeof(CFStringRef)) {
        CFStringRef string = nullptr;
        std::memcpy(&string, bytes.data(), sizeof(string));
        return PropertyCodec::TakeString(string);
    }
    return {};
}

}  // namespace

AudioDeviceID KestroSession::FindDevice(const std::string& inWhich) const
{
    std::vector<AudioDeviceID> devices = GetDevices();
    std::string which = Lower(inWhich);
    for (AudioDeviceID device : devices) {
        bool isInput = IsInputDevice(device);
        if ((which == "in" || which == "input") && isInput) {
            return device;
        }
        if ((which == "out" || which == "output") && !isInput) {
            return device;
        }
        if (which == std::to_string(device) || which == Lower(GetDeviceName(device)) ||
            inWhich == DeviceString(device, kAudioDevicePropertyDeviceUID)) {
            return device;
        }
    }
    throw ToolError::System("no device '" + inWhich + "' (try 'kestro list')", kAudioHardwareBadDeviceError);
}

AudioDeviceID KestroSession::GetDevice(bool inIsInput) const
{
    return FindDevice(inIsInput ? "in" : "out");
}

AudioStreamID KestroSession::GetPublishedStream(AudioDeviceID inDevice)
{
    bool isInput = IsInputDevice(inDevice);
    AudioStreamID streams[8] = {};
    UInt32 size = sizeof(streams);
    ToolError::Check(AudioDeviceGetProperty(inDevice, 0, isInput, kAudioDevicePropertyStreams, &size, streams),
                     "couldn't read the streams of " + GetDeviceName(inDevice));
    return size >= sizeof(AudioStreamID) ? streams[0] : 0;
}

AudioStreamBasicDescription KestroSession::GetStreamFormat(AudioStreamID inStream, bool inPhysical)
{
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof(format);
    UInt32 selector = inPhysical ? UInt32(kAudioStreamPropertyPhysicalFormat) : UInt32(kAudioDevicePropertyStreamFormat);
    ToolError::Check(AudioStreamGetProperty(inStream, 0, selector, &size, &format),
                     std::string("couldn't read the ") + (inPhysical ? "physical" : "virtual") + " format of stream " +
                         std::to_string(inStream));
    return format;
}

void KestroSession::SelectSource(const std::string& inConnector)
{
    UInt32 item = ConnectorItem(inConnector);
    AudioDeviceID device = GetDevice(true);
    UInt32 current = 0;
    UInt32 size = sizeof(current);
    if (AudioDeviceGetProperty(device, 0, true, kAudioDevicePropertyDataSource, &size, &current) == 0 &&
        current == item) {
        return;
    }
    ToolError::Check(AudioDeviceSetProperty(device, nullptr, 0, true, kAudioDevicePropertyDataSource, sizeof(item),
                                            &item),
                     GetDeviceName(device) + " refused the data source '" + PropertyCodec::FourCCString(item) + "' (" +
                         inConnector + ")");
    Settle();
}
