#include "tools/Meter.h"

#include <cmath>
#include <cstdio>

#include "tools/ToolConsole.h"

Meter::Meter(std::string inLabel, double inTotalSeconds, unsigned inChannels)
    : mLabel(std::move(inLabel)), mTotal(inTotalSeconds), mChannels(inChannels),
      mActive(ToolConsole::ErrIsTerminal())
{
}

Meter::~Meter()
{
    Finish();
}

std::string Meter::TimeText(double inSeconds)
{
    if (inSeconds < 0) {
        inSeconds = 0;
    }
    int tenths = int(std::lround(inSeconds * 10));
    char text[32];
    std::snprintf(text, sizeof(text), "%02d:%02d.%d", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

std::string Meter::LevelBar(float inPeak, unsigned inWidth)
{
    double db = inPeak > 0 ? 20 * std::log10(double(inPeak)) : -100;
    double fill = (db + 60) / 60;
    unsigned cells = fill <= 0 ? 0 : fill >= 1 ? inWidth : unsigned(fill * inWidth + 0.5);
    std::string bar;
    for (unsigned i = 0; i < inWidth; ++i) {
        bar += i < cells ? "#" : "-";
    }
    return bar;
}

void Meter::Update(double inDoneSeconds, const std::vector<float>& inPeaks)
{
    if (!mActive) {
        return;
    }
    FILE* out = ToolConsole::Err();
    if (mDrawn) {
        // Back to the first line drawn.
        std::fprintf(out, "\x1b[%uA", mChannels + 1);
    }
    double fraction = mTotal > 0 ? std::min(1.0, inDoneSeconds / mTotal) : 1.0;
    const unsigned width = 30;
    unsigned filled = unsigned(fraction * width);
    std::string bar(filled, '=');
    if (filled < width) {
        bar += '>';
        bar.append(width - filled - 1, ' ');
    }
    std::fprintf(out, "\r\x1b[K%s [%s] %s / %s %3d%%\n", mLabel.c_str(), bar.c_str(), TimeText(inDoneSeconds).c_str(),
                 TimeText(mTotal).c_str(), int(fraction * 100));
    for (unsigned c = 0; c < mChannels; ++c) {
        float peak = c < inPeaks.size() ? inPeaks[c] : 0.0f;
        double db = peak > 0 ? 20 * std::log10(double(peak)) : -INFINITY;
        char level[16];
        if (std::isfinite(db)) {
            std::snprintf(level, sizeof(level), "%6.1f dB", db);
        } else {
            std::snprintf(level, sizeof(level), "  -inf dB");
        }
        std::fprintf(out, "\r\x1b[K  ch %u |%s| %s\n", c + 1, LevelBar(peak, 40).c_str(), level);
    }
    std::fflush(out);
    mDrawn = true;
}

void Meter::Finish()
{
    if (!mActive || !mDrawn) {
        return;
    }
    FILE* out = ToolConsole::Err();
    std::fprintf(out, "\x1b[%uA\x1b[J", mChannels + 1);
    std::fflush(out);
    mDrawn = false;
}
