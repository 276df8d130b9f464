// kestro monitor [--seconds N] [--unplug-after S] [--replug-after S]
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/AudioHardwareHost.h"
#include "tools/KestroSession.h"
#include "tools/PropertyCodec.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

namespace {

std::atomic<bool> sInterrupted{false};

void OnInterrupt(int)
{
    sInterrupted.store(true);
}

// Prints what the host tells its listeners. The listeners run on the host's
// notification thread; the printing and the device table are under mMutex.
class MonitorCommand final : public Command {
public:
    void Configure(CLI::App& ioApp) override
    {
        ioApp.add_option("--seconds", mSeconds, "Stop after this long (default: at Ctrl-C, or 1 s after the replug)");
        ioApp.add_option("--unplug-after", mUnplugAfter, "Pull the unit out after this many seconds");
        ioApp.add_option("--replug-after", mReplugAfter, "Plug it back in this many seconds after pulling it out");
        ioApp.add_option("--set", mSets, "Set PROPERTY=VALUE on a device after the start, to watch the change "
                                         "(DEVICE:PROPERTY=VALUE; repeatable)");
        ioApp.footer("Examples:\n"
                     "  kestro monitor\n"
                     "  kestro monitor --unplug-after 1 --replug-after 1\n"
                     "  kestro monitor --seconds 1 --set in:data-source=spdif --set out:mute=true");
    }

    int Run(const SessionOptions& inOptions) override
    {
        if (mSeconds <= 0 && mUnplugAfter < 0 && !mSets.empty()) {
            mSeconds = 1;
        }
        mStart = std::chrono::steady_clock::now();
        KestroSession session(inOptions);
        for (AudioDeviceID device : session.GetDevices()) {
            Watch(device, "present");
        }
        ToolError::Check(AudioHardwareAddPropertyListener(kAudioHardwarePropertyDevices, &DevicesChanged, this),
                         "couldn't listen for devices");
        std::signal(SIGINT, OnInterrupt);
        for (const std::string& set : mSets) {
            Apply(session, set);
        }

        using Seconds = std::chrono::duration<double>;
        double stopAt = mSeconds > 0 ? mSeconds : -1;
        bool unplugged = false;
        bool replugged = false;
        double unpluggedAt = 0;
        if (stopAt < 0 && mUnplugAfter >= 0) {
            stopAt = mUnplugAfter + (mReplugAfter >= 0 ? mReplugAfter : 0) + 1;
        }
        while (!sInterrupted.load()) {
            double now = Seconds(std::chrono::steady_clock::now() - mStart).count();
            if (stopAt >= 0 && now >= stopAt) {
                break;
            }
            if (!unplugged && mUnplugAfter >= 0 && now >= mUnplugAfter) {
                unplugged = true;
                unpluggedAt = now;
                Print("unplugging the unit");
                session.RemoveUnit();
            }
            if (unplugged && !replugged && mReplugAfter >= 0 && now >= unpluggedAt + mReplugAfter) {
                replugged = true;
                Print("plugging the unit back in");
                session.PresentUnit();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        session.Settle();
        AudioHardwareRemovePropertyListener(kAudioHardwarePropertyDevices, &DevicesChanged);
        std::signal(SIGINT, SIG_DFL);
        // Removing a listener waits for a delivery in progress, and that
        // delivery may be waiting for mMutex: the names are copied out first.
        std::vector<AudioDeviceID> watched;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            for (const auto& entry : mNames) {
                watched.push_back(entry.first);
            }
        }
        for (AudioDeviceID device : watched) {
            AudioDeviceRemovePropertyListener(device, kAudioPropertyWildcardChannel, true,
                                              kAudioPropertyWildcardPropertyID, &DevicePropertyChanged);
            AudioDeviceRemovePropertyListener(device, kAudioPropertyWildcardChannel, false,
                                              kAudioPropertyWildcardPropertyID, &DevicePropertyChanged);
        }
        Print("done");
        return 0;
    }

private:
    void Print(const std::string& inLine)
    {
        double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - mStart).count();
        std::lock_guard<std::mutex> lock(mPrintMutex);
        std::printf("[%7.3f] %s\n", now, inLine.c_str());
        std::fflush(stdout);
    }

    // Main thread, or the notification thread (DevicesChanged).
    void Watch(AudioDeviceID inDevice, const char* inHow)
    {
        std::string name = KestroSession::GetDeviceName(inDevice);
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mNames[inDevice] = name;
        }
        AudioDeviceAddPropertyListener(inDevice, kAudioPropertyWildcardChannel, true, kAudioPropertyWildcardPropertyID,
                                       &DevicePropertyChanged, this);
        AudioDeviceAddPropertyListener(inDevice, kAudioPropertyWildcardChannel, false,
                                       kAudioPropertyWildcardPropertyID, &DevicePropertyChanged, this);
        Print("device " + std::to_string(inDevice) + " " + inHow + ": " + name);
    }

    static OSStatus DevicesChanged(AudioHardwarePropertyID, void* inClientData)
    {
        auto* self = static_cast<MonitorCommand*>(inClientData);
        std::set<AudioDeviceID> alive;
        UInt32 size = 0;
        if (AudioHardwareGetPropertyInfo(kAudioHardwarePropertyDevices, &size, nullptr) == 0 && size > 0) {
            std::vector<AudioDeviceID> devices(size / sizeof(AudioDeviceID));
            if (AudioHardwareGetProperty(kAudioHardwarePropertyDevices, &size, devices.data()) == 0) {
                devices.resize(size / sizeof(AudioDeviceID));
                alive.insert(devices.begin(), devices.end());
            }
        }
        std::vector<std::pair<AudioDeviceID, std::string>> gone;
        std::vector<AudioDeviceID> arrived;
        {
            std::lock_guard<std::mutex> lock(self->mMutex);
            for (auto it = self->mNames.begin(); it != self->mNames.end();) {
                if (alive.count(it->first) == 0) {
                    gone.push_back(*it);
                    it = self->mNames.erase(it);
                } else {
                    ++it;
                }
            }
            for (AudioDeviceID device : alive) {
                if (self->mNames.count(device) == 0) {
                    arrived.push_back(device);
                }
            }
        }
        for (const auto& [device, name] : gone) {
            self->Print("device " + std::to_string(device) + " left: " + name);
        }
        for (AudioDeviceID device : arrived) {
            self->Watch(device, "arrived");
        }
        return 0;
    }

    static OSStatus DevicePropertyChanged(AudioDeviceID inDevice, UInt32 inChannel, Boolean isInput,
                                          AudioDevicePropertyID inPropertyID, void* inClientData)
    {
        auto* self = static_cast<MonitorCommand*>(inClientData);
        std::string name;
        {
            std::lock_guard<std::mutex> lock(self->mMutex);
            auto it = self->mNames.find(inDevice);
            name = it != self->mNames.end() ? it->second : "device " + std::to_string(inDevice);
        }
        std::string property = "'" + PropertyCodec::FourCCString(inPropertyID) + "'";
        for (const PropertyCodec::Property& entry : PropertyCodec::GetTable()) {
            if (entry.code == inPropertyID) {
                property = PropertyCodec::Describe(entry);
            }
        }
        self->Print(name + " (" + (isInput ? "input" : "output") + ", channel " + std::to_string(inChannel) +
                    "): " + property + " changed");
        return 0;
    }

    void Apply(KestroSession& ioSession, const std::string& inSet)
    {
        size_t colon = inSet.find(':');
        size_t equals = inSet.find('=', colon == std::string::npos ? 0 : colon);
        if (colon == std::string::npos || equals == std::string::npos) {
            throw ToolError::Usage("--set wants DEVICE:PROPERTY=VALUE, not " + inSet);
        }
        std::string device = inSet.substr(0, colon);
        PropertyCodec::Property property = PropertyCodec::Find(inSet.substr(colon + 1, equals - colon - 1));
        PropertyCodec::Target target;
        target.device = ioSession.FindDevice(device);
        target.isInput = KestroSession::IsInputDevice(target.device);
        if (property.scope == PropertyCodec::Scope::kStream) {
            target.stream = KestroSession::GetPublishedStream(target.device);
        }
        Print("setting " + PropertyCodec::Describe(property) + " of " + KestroSession::GetDeviceName(target.device) +
              " to " + inSet.substr(equals + 1));
        PropertyCodec::SetText(target, property, inSet.substr(equals + 1));
        ioSession.Settle();
    }

    double mSeconds = 0;
    double mUnplugAfter = -1;
    double mReplugAfter = -1;
    std::vector<std::string> mSets;
    std::chrono::steady_clock::time_point mStart;
    std::mutex mMutex;       // mNames
    std::mutex mPrintMutex;  // one line at a time
    std::map<AudioDeviceID, std::string> mNames;
};

}  // namespace

std::unique_ptr<Command> MakeMonitorCommand()
{
    return std::make_unique<MonitorCommand>();
}
