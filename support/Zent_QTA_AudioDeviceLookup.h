// Finds the sound component that belongs to an audio device: the device is
// chosen by name and manufacturer from the host's device list, the
// component among those of a type with subtype 'halx' by the device UID it
// reports ('huid').
//
// Client thread; calls into the host and the component manager, and opens
// and closes components: may block.
#pragma once

#include "platform/AudioHardware.h"
#include "platform/Components.h"

namespace Zent {
namespace QTA {

// 0 with *outComponent and *outDevice set on success; -50 when no device has
// both the name and the manufacturer; -200 when the device's UID can't be
// read or no component reports it; an error of the host's device list as it
// came. *outComponent is null on every failure. outComponent, outDevice,
// name and manufacturer must not be null (paramErr, nothing written).
OSStatus GetAssociatedAudioDeviceByNameAndManufacturer(char* inName, char* inManufacturer, UInt32 inComponentType,
                                                       Component* outComponent, AudioDeviceID* outDevice);

}  // namespace QTA
}  // namespace Zent
