// One run of the tool as a host client: the simulated unit registered as the
// muxer component, the Kestro bundle loaded through the host layer, and the
// devices it announced. The destructor unloads the bundle and lets the unit
// go, in that order.
//
// Main thread only (the unit's and the host's threads do their own work).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "tools/SessionOptions.h"
#include "unit/SimulatedUnit.h"

class KestroSession {
public:
    // Sets the unit up from the options (usage errors for values it can't
    // take), registers it, loads the bundle and waits until the arrival has
    // been handled. Throws ToolError.
    explicit KestroSession(const SessionOptions& inOptions);
    ~KestroSession();

    KestroSession(const KestroSession&) = delete;
    KestroSession& operator=(const KestroSession&) = delete;

    Kestro::Unit::SimulatedUnit& GetUnit() { return *mUnit; }
    const SessionOptions& GetOptions() const { return mOptions; }

    // The devices alive, in the order they were announced.
    std::vector<AudioDeviceID> GetDevices() const;
    // DEVICE as the user wrote it: a name ("Kestro Out", any case), a UID, an
    // ID, or "in"/"out". Throws a system error ('!dev') when none matches.
    AudioDeviceID FindDevice(const std::string& inWhich) const;
    // The output or input device; throws '!dev' when it isn't there.
    AudioDeviceID GetDevice(bool inIsInput) const;
    // Whether a device is an input device (it has input streams).
    static bool IsInputDevice(AudioDeviceID inDevice);
    // The device's name, or "device N".
    static std::string GetDeviceName(AudioDeviceID inDevice);

    // The stream a device publishes (0 when it publishes none) and a
    // stream's virtual or physical format; throw ToolError when refused.
    static AudioStreamID GetPublishedStream(AudioDeviceID inDevice);
    static AudioStreamBasicDescription GetStreamFormat(AudioStreamID inStream, bool inPhysical);
    // Selects an input connector on the input device's data-source control.
    void SelectSource(const std::string& inConnector);

    // Plugs the unit out / in and waits until the plug-in has handled it.
    void RemoveUnit();
    void PresentUnit();
    // Waits until the unit's and the host's notifications have been handled.
    void Settle();

    // The unit's input connector code for a name (sdi, aes, adat, spdif,
    // analog); usage error otherwise.
    static UInt32 ConnectorCode(const std::string& inName);
    // The data-source item of a connector name ('isdi', ...).
    static UInt32 ConnectorItem(const std::string& inName);

private:
    SessionOptions mOptions;
    std::unique_ptr<Kestro::Unit::SimulatedUnit> mUnit;
    bool mLoaded = false;
};
