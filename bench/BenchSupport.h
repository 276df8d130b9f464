// Small helpers the benchmark programs share: the median of a run's samples
// and finding the plug-in's devices through the host's client API.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"

namespace BenchSupport {

inline double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The devices the host lists now.
inline std::vector<AudioDeviceID> Devices()
{
    UInt32 size = 0;
    AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, nullptr);
    std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID));
    size = UInt32(devices.size() * sizeof(AudioDeviceID));
    AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data());
    devices.resize(size / sizeof(AudioDeviceID));
    return devices;
}

// The listed device of that name; 0 when there is none.
inline AudioDeviceID FindDevice(const char* inName)
{
    for (AudioDeviceID device : Devices()) {
        char name[64] = {};
        UInt32 size = sizeof(name) - 1;
        if (AudioDeviceGetProperty(device, 0, false, kAudioDevicePropertyDeviceName, &size, name) == noErr &&
            std::strcmp(name, inName) == 0) {
            return device;
        }
    }
    return 0;
}

}  // namespace BenchSupport
