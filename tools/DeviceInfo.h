// What `kestro list` shows about one device: its identity, state, timing,
// rates, its published stream and its controls, read through the host's
// client API, printed as text or as JSON.
#pragma once

#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "tools/JsonWriter.h"

class DeviceInfo {
public:
    struct StreamInfo {
        AudioStreamID id = 0;
        std::string name;
        bool isInput = false;
        UInt32 startingChannel = 0;
        UInt32 channels = 0;
        AudioStreamBasicDescription physicalFormat{};
        AudioStreamBasicDescription virtualFormat{};
    };
    struct Item {
        UInt32 id = 0;
        std::string name;
    };
    struct ControlInfo {
        bool hasMute = false;
        bool mute = false;
        bool hasDataSource = false;
        UInt32 dataSource = 0;
        std::vector<Item> items;
    };

    // Reads everything the device answers; parts it refuses stay empty.
    explicit DeviceInfo(AudioDeviceID inDevice);

    void PrintText(std::string& ioText) const;
    void WriteJson(JsonWriter& ioJson) const;

    AudioDeviceID id = 0;
    bool isInput = false;
    std::string name;
    std::string manufacturer;
    std::string uid;
    UInt32 transport = 0;
    bool alive = false;
    bool running = false;
    UInt32 latency = 0;
    UInt32 safetyOffset = 0;
    UInt32 bufferFrameSize = 0;
    AudioValueRange bufferFrameSizeRange{};
    Float64 nominalSampleRate = 0;
    Float64 actualSampleRate = 0;
    std::vector<AudioValueRange> availableRates;
    std::vector<StreamInfo> streams;
    ControlInfo controls;
};
