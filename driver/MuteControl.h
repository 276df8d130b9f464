// The device-level mute switch each Orvel device publishes. It only keeps
// its value and tells the owner when it changes; the value is not passed to
// the muxer and does not change the audio.
//
// Host client threads, through the device's mute property.
#pragma once

#include "framework/controls/HPBooleanControl.h"

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

class MuteControl : public HPBooleanControl {
public:
    MuteControl(UInt32 inChannel, UInt8 inSection, HPControlOwner* inOwner);
    ~MuteControl() override;

    void Initialize() override;
    void Teardown() override;
    bool GetValue() const override;
    // A different value is stored and announced (ValueChanged); an equal one
    // changes nothing.
    void SetValue(bool inValue) override;

private:
    bool mValue;
};

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
