// A progress bar with elapsed and total time and one level meter per channel,
// redrawn in place on the real standard error. It draws only when that is a
// terminal; otherwise every call does nothing.
//
// Update is called by the main thread; the levels come from the IOProc
// through IOProcTransfer's peak readings.
#pragma once

#include <string>
#include <vector>

class Meter {
public:
    // inLabel: "playing f.wav", inTotalSeconds: the length of the job.
    Meter(std::string inLabel, double inTotalSeconds, unsigned inChannels);
    ~Meter();

    bool IsActive() const { return mActive; }
    // Redraws with the audio time done and each channel's peak (0 .. 1).
    void Update(double inDoneSeconds, const std::vector<float>& inPeaks);
    // Clears the lines drawn; called by the destructor too.
    void Finish();

    // "00:03.2"
    static std::string TimeText(double inSeconds);
    // A bar of inWidth cells for a level in dBFS from -60 to 0.
    static std::string LevelBar(float inPeak, unsigned inWidth);

private:
    std::string mLabel;
    double mTotal;
    unsigned mChannels;
    bool mActive;
    bool mDrawn = false;
};
