// A unit handle of the muxer. Opaque to the driver, which only passes it back
// (AttachAudioClient) after receiving it with an arrival notification.
#pragma once

namespace Zent {
namespace Mux {
namespace Orvel {

class FWDevice;

}  // namespace Orvel
}  // namespace Mux
}  // namespace Zent
