// kestro-host-demo [bundle]: loads the plug-in bundle through the host layer,
// prints the status of its Initialize and every device it announced with its
// name, manufacturer and streams, then unloads it. Exits non-zero when the
// bundle can't be loaded or unloaded cleanly.
#include <cstdio>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "platform/HostRunLoop.h"

namespace {

void PrintStatus(const char* inWhat, OSStatus inStatus)
{
    if (inStatus == 0) {
        std::printf("%s: 0\n", inWhat);
    } else {
        std::printf("%s: %ld (%s)\n", inWhat, long(inStatus), FourCCText(UInt32(inStatus)).c_str());
    }
}

// A device's C-string property, or "?" when the device doesn't answer it.
void PrintDeviceString(AudioDeviceID inDevice, bool inIsInput, AudioDevicePropertyID inSelector, const char* inLabel)
{
    char text[256] = {};
    UInt32 size = sizeof(text) - 1;
    OSStatus status = AudioDeviceGetProperty(inDevice, 0, inIsInput, inSelector, &size, text);
    if (status == 0) {
        std::printf("    %s: %s\n", inLabel, text);
    } else {
        std::printf("    %s: ? (%s)\n", inLabel, FourCCText(UInt32(status)).c_str());
    }
}

void PrintStreams(AudioDeviceID inDevice, bool inIsInput)
{
    UInt32 size = 0;
    if (AudioDeviceGetPropertyInfo(inDevice, 0, inIsInput, kAudioDevicePropertyStreams, &size, nullptr) != 0) {
        return;
    }
    std::vector<AudioStreamID> streams(size / sizeof(AudioStreamID));
    size = UInt32(streams.size() * sizeof(AudioStreamID));
    if (streams.empty() ||
        AudioDeviceGetProperty(inDevice, 0, inIsInput, kAudioDevicePropertyStreams, &size, streams.data()) != 0) {
        return;
    }
    for (AudioStreamID stream : streams) {
        std::printf("    %s stream %u\n", inIsInput ? "input" : "output", unsigned(stream));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : KESTRO_BUNDLE_PATH;
    std::printf("bundle: %s\n", path);

    OSStatus status = 0;
    AudioHardwarePlugInRef plugIn = AudioHardwareHostLoadPlugIn(path, &status);
    if (plugIn == nullptr) {
        PrintStatus("load failed", status);
        return 1;
    }
    PrintStatus("Initialize", status);
    // Announcements made during Initialize are delivered on the notification
    // thread; let them settle before looking.
    HostRunLoopFlush();

    UInt32 size = 0;
    AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, nullptr);
    std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID));
    size = UInt32(devices.size() * sizeof(AudioDeviceID));
    AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data());
    devices.resize(size / sizeof(AudioDeviceID));
    std::printf("devices: %zu\n", devices.size());
    for (AudioDeviceID device : devices) {
        std::printf("  device %u\n", unsigned(device));
        PrintDeviceString(device, false, kAudioDevicePropertyDeviceName, "name");
        PrintDeviceString(device, false, kAudioDevicePropertyDeviceManufacturer, "manufacturer");
        PrintStreams(device, false);
        PrintStreams(device, true);
    }

    OSStatus unloaded = AudioHardwareHostUnloadPlugIn();
    PrintStatus("Teardown and unload", unloaded);
    return unloaded == 0 ? 0 : 1;
}
