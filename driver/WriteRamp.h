// The test ramp the muxer can ask for in outgoing packets (its writeTestRamp
// word): channel 0 of frame 0 is all one bits, channel 0 of frame i > 0 is
// i, every other channel 0; little-endian samples of 2 or 3 bytes.
//
// I/O thread; writes only into inData. Any other sample size prints a line
// per sample (a debug aid only reached when the muxer asks for the ramp).
#pragma once

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

void WriteRamp(char* inData, unsigned long inFrames, unsigned long inBytesPerSample, unsigned long inChannels);

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
