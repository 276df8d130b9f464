#include "driver/WriteRamp.h"

#include <cstdio>

namespace Zent {
namespace CA {
namespace HALPlugIn {
namespace Orvel {

void WriteRamp(char* inData, unsigned long inFrames, unsigned long inBytesPerSample, unsigned long inChannels)
{
    char* theSample = inData;
    for (unsigned long theFrame = 0; theFrame < inFrames; ++theFrame) {
        for (unsigned long theChannel = 0; theChannel < inChannels; ++theChannel) {
            if ((inBytesPerSample != 2) && (inBytesPerSample != 3)) {
                std::printf("bas bytespersample in writeRamp\n");
                theSample += inBytesPerSample;
                continue;
            }
            // Frame 0 is marked with all one bits so the start of the ramp
            // stands out in a capture.
            unsigned long theValue = 0;
            if (theChannel == 0) {
                theValue = (theFrame == 0) ? ~0UL : theFrame;
            }
            for (unsigned long theByte = 0; theByte < inBytesPerSample; ++theByte) {
                theSample[theByte] = char((theValue >> (8 * theByte)) & 0xFF);
            }
            theSample += inBytesPerSample;
        }
    }
}

}  // namespace Orvel
}  // namespace HALPlugIn
}  // namespace CA
}  // namespace Zent
