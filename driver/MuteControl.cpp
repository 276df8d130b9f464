#include "driver/MuteControl.h"

#include "platform/AudioHardware.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

MuteControl::MuteControl(UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner)
    : HPBooleanControl(kAudioDevicePropertyMute, inChannel, inSection, inOwner), mValue(false)
{
}

MuteControl::~MuteControl() = default;

void MuteControl::Initialize() { HPBooleanControl::Initialize(); }

void MuteControl::Teardown() { HPBooleanControl::Teardown(); }

bool MuteControl::GetValue() const { return mValue; }

void MuteControl::SetValue(bool inValue)
{
    if (inValue == mValue) {
        return;
    }
    mValue = inValue;
    ValueChanged();
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
