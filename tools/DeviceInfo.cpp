#include "tools/DeviceInfo.h"

#include <cstdio>
#include <cstring>

#include "platform/AudioHardwareHost.h"
#include "tools/KestroSession.h"
#include "tools/PropertyCodec.h"

namespace {

template <typename T>
bool GetDevice(AudioDeviceID inDevice, bool inIsInput, UInt32 inCode, T& outValue)
{
    UInt32 size = sizeof(T);
    T value{};
    if (AudioDeviceGetProperty(inDevice, 0, inIsInput, inCode, &size, &value) != 0 || size != sizeof(T)) {
        return false;
    }
    outValue = value;
    return true;
}

template <typename T>
bool GetStream(AudioStreamID inStream, UInt32 inCode, T& outValue)
{
    UInt32 size = sizeof(T);
    T value{};
    if (AudioStreamGetProperty(inStream, 0, inCode, &size, &value) != 0 || size != sizeof(T)) {
        return false;
    }
    outValue = value;
    return true;
}

template <typename T>
std::vector<T> GetDeviceList(AudioDeviceID inDevice, bool inIsInput, UInt32 inCode)
{
    UInt32 size = 0;
    if (AudioDeviceGetPropertyInfo(inDevice, 0, inIsInput, inCode, &size, nullptr) != 0) {
        return {};
    }
    std::vector<T> values(size / sizeof(T));
    size = UInt32(values.size() * sizeof(T));
    if (values.empty() || AudioDeviceGetProperty(inDevice, 0, inIsInput, inCode, &size, values.data()) != 0) {
        return {};
    }
    values.resize(size / sizeof(T));
    return values;
}

std::string RateText(Float64 inRate)
{
    return PropertyCodec::NumberText(inRate) + " Hz";
}

}  // namespace

DeviceInfo::DeviceInfo(AudioDeviceID inDevice) : id(inDevice)
{
    isInput = KestroSession::IsInputDevice(inDevice);
    name = KestroSession::GetDeviceName(inDevice);
    char text[256] = {};
    UInt32 size = sizeof(text) - 1;
    if (AudioDeviceGetProperty(inDevice, 0, isInput, kAudioDevicePropertyDeviceManufacturer, &size, text) == 0) {
        manufacturer = text;
    }
    CFStringRef string = nullptr;
    if (GetDevice(inDevice, isInput, kAudioDevicePropertyDeviceUID, string)) {
        uid = PropertyCodec::TakeString(string);
    }
    UInt32 value = 0;
    GetDevice(inDevice, isInput, kAudioDevicePropertyTransportType, transport);
    alive = GetDevice(inDevice, isInput, kAudioDevicePropertyDeviceIsAlive, value) && value != 0;
    running = GetDevice(inDevice, isInput, kAudioDevicePropertyDeviceIsRunning, value) && value != 0;
    GetDevice(inDevice, isInput, kAudioDevicePropertyLatency, latency);
    GetDevice(inDevice, isInput, kAudioDevicePropertySafetyOffset, safetyOffset);
    GetDevice(inDevice, isInput, kAudioDevicePropertyBufferFrameSize, bufferFrameSize);
    GetDevice(inDevice, isInput, kAudioDevicePropertyBufferFrameSizeRange, bufferFrameSizeRange);
    GetDevice(inDevice, isInput, kAudioDevicePropertyNominalSampleRate, nominalSampleRate);
    GetDevice(inDevice, isInput, kAudioDevicePropertyActualSampleRate, actualSampleRate);
    availableRates = GetDeviceList<AudioValueRange>(inDevice, isInput, kAudioDevicePropertyAvailableNominalSampleRates);

    for (AudioStreamID streamID : GetDeviceList<AudioStreamID>(inDevice, isInput, kAudioDevicePropertyStreams)) {
        StreamInfo stream;
        stream.id = streamID;
        stream.isInput = isInput;
        char streamName[256] = {};
        UInt32 nameSize = sizeof(streamName) - 1;
        if (AudioStreamGetProperty(streamID, 0, kAudioDevicePropertyDeviceName, &nameSize, streamName) == 0) {
            stream.name = streamName;
        } else {
            CFStringRef cfName = nullptr;
            if (GetStream(streamID, kAudioDevicePropertyDeviceNameCFString, cfName)) {
                stream.name = PropertyCodec::TakeString(cfName);
            }
        }
        UInt32 direction = 0;
        if (GetStream(streamID, kAudioStreamPropertyDirection, direction)) {
            stream.isInput = direction != 0;
        }
        GetStream(streamID, kAudioStreamPropertyStartingChannel, stream.startingChannel);
        GetStream(streamID, kAudioStreamPropertyPhysicalFormat, stream.physicalFormat);
        GetStream(streamID, kAudioDevicePropertyStreamFormat, stream.virtualFormat);
        stream.channels = stream.virtualFormat.mChannelsPerFrame != 0 ? stream.virtualFormat.mChannelsPerFrame
                                                                      : stream.physicalFormat.mChannelsPerFrame;
        streams.push_back(stream);
    }

    controls.hasMute = GetDevice(inDevice, isInput, kAudioDevicePropertyMute, value);
    controls.mute = controls.hasMute && value != 0;
    controls.hasDataSource = GetDevice(inDevice, isInput, kAudioDevicePropertyDataSource, controls.dataSource);
    for (UInt32 item : GetDeviceList<UInt32>(inDevice, isInput, kAudioDevicePropertyDataSources)) {
        controls.items.push_back({item, PropertyCodec::ItemName(inDevice, isInput, item)});
    }
}

void DeviceInfo::PrintText(std::string& ioText) const
{
    char line[512];
    auto add = [&](const char* inFormat, auto... inArgs) {
        std::snprintf(line, sizeof(line), inFormat, inArgs...);
        ioText += line;
    };
    add("%s (device %u, %s)\n", name.c_str(), unsigned(id), isInput ? "input" : "output");
    add("  manufacturer:     %s\n", manufacturer.c_str());
    add("  uid:              %s\n", uid.c_str());
    add("  transport:        '%s'\n", PropertyCodec::FourCCString(transport).c_str());
    add("  running:          %s\n", running ? "yes" : "no");
    add("  latency:          %u frames, safety offset %u frames\n", unsigned(latency), unsigned(safetyOffset));
    add("  buffer:           %u frames (%s .. %s)\n", unsigned(bufferFrameSize),
        PropertyCodec::NumberText(bufferFrameSizeRange.mMinimum).c_str(),
        PropertyCodec::NumberText(bufferFrameSizeRange.mMaximum).c_str());
    std::string rates;
    for (const AudioValueRange& range : availableRates) {
        rates += (rates.empty() ? "" : ", ") + PropertyCodec::NumberText(range.mMinimum);
        if (range.mMaximum != range.mMinimum) {
            rates += " .. " + PropertyCodec::NumberText(range.mMaximum);
        }
    }
    // The actual rate is measured only while the device runs.
    std::string actual = running ? RateText(actualSampleRate) : "not measured (not running)";
    add("  sample rate:      %s nominal (offered: %s), actual %s\n", RateText(nominalSampleRate).c_str(),
        rates.empty() ? "-" : rates.c_str(), actual.c_str());
    if (streams.empty()) {
        ioText += "  stream:           none published\n";
    }
    for (const StreamInfo& stream : streams) {
        add("  stream %u: \"%s\", %s, channels %u-%u\n", unsigned(stream.id), stream.name.c_str(),
            stream.isInput ? "input" : "output", unsigned(stream.startingChannel),
            unsigned(stream.startingChannel + stream.channels - 1));
        add("    physical format: %s\n", PropertyCodec::FormatText(stream.physicalFormat).c_str());
        add("    virtual format:  %s\n", PropertyCodec::FormatText(stream.virtualFormat).c_str());
    }
    if (controls.hasMute) {
        add("  mute:             %s\n", controls.mute ? "on" : "off");
    }
    if (controls.hasDataSource) {
        add("  data source:      %s\n", PropertyCodec::FourCCString(controls.dataSource).c_str());
        for (const Item& item : controls.items) {
            add("    %s %s  %s\n", item.id == controls.dataSource ? "*" : " ",
                PropertyCodec::FourCCString(item.id).c_str(), item.name.c_str());
        }
    }
}

void DeviceInfo::WriteJson(JsonWriter& ioJson) const
{
    ioJson.BeginObject();
    ioJson.Key("id").Integer(id);
    ioJson.Key("name").String(name);
    ioJson.Key("direction").String(isInput ? "input" : "output");
    ioJson.Key("manufacturer").String(manufacturer);
    ioJson.Key("uid").String(uid);
    ioJson.Key("transport").String(PropertyCodec::FourCCString(transport));
    ioJson.Key("alive").Bool(alive);
    ioJson.Key("running").Bool(running);
    ioJson.Key("latency").Integer(latency);
    ioJson.Key("safety_offset").Integer(safetyOffset);
    ioJson.Key("buffer_frame_size").Integer(bufferFrameSize);
    ioJson.Key("buffer_frame_size_range").BeginArray();
    ioJson.Number(bufferFrameSizeRange.mMinimum);
    ioJson.Number(bufferFrameSizeRange.mMaximum);
    ioJson.EndArray();
    ioJson.Key("nominal_sample_rate").Number(nominalSampleRate);
    ioJson.Key("actual_sample_rate").Number(actualSampleRate);
    ioJson.Key("available_sample_rates").BeginArray();
    for (const AudioValueRange& range : availableRates) {
        ioJson.BeginArray();
        ioJson.Number(range.mMinimum);
        ioJson.Number(range.mMaximum);
        ioJson.EndArray();
    }
    ioJson.EndArray();
    ioJson.Key("streams").BeginArray();
    for (const StreamInfo& stream : streams) {
        ioJson.BeginObject();
        ioJson.Key("id").Integer(stream.id);
        ioJson.Key("name").String(stream.name);
        ioJson.Key("direction").String(stream.isInput ? "input" : "output");
        ioJson.Key("starting_channel").Integer(stream.startingChannel);
        ioJson.Key("channels").Integer(stream.channels);
        ioJson.Key("physical_format");
        PropertyCodec::FormatJson(stream.physicalFormat, ioJson);
        ioJson.Key("virtual_format");
        PropertyCodec::FormatJson(stream.virtualFormat, ioJson);
        ioJson.EndObject();
    }
    ioJson.EndArray();
    ioJson.Key("controls").BeginObject();
    if (controls.hasMute) {
        ioJson.Key("mute").Bool(controls.mute);
    }
    if (controls.hasDataSource) {
        ioJson.Key("data_source").BeginObject();
        ioJson.Key("current").String(PropertyCodec::FourCCString(controls.dataSource));
        ioJson.Key("items").BeginArray();
        for (const Item& item : controls.items) {
            ioJson.BeginObject();
            ioJson.Key("id").String(PropertyCodec::FourCCString(item.id));
            ioJson.Key("name").String(item.name);
            ioJson.EndObject();
        }
        ioJson.EndArray();
        ioJson.EndObject();
    }
    ioJson.EndObject();
    ioJson.EndObject();
}
