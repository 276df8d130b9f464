// Broken invariants of the settings record: reported on standard error in the
// assertion form, then the program carries on with a documented fallback.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "Digitizers/Orvel/Zent_Orvel_Settings.h"

using Zent::Orvel::Settings;

namespace {

// The source line the report names, so the test checks the whole text.
std::string SourceLine(unsigned inLine)
{
    std::ifstream file(KESTRO_SOURCE_DIR "/Digitizers/Orvel/Zent_Orvel_Settings.cpp");
    std::string line;
    for (unsigned n = 1; n <= inLine && std::getline(file, line); ++n) {
    }
    return line;
}

// Checks that text is exactly one assertion line with the given condition and
// that its line number points at that check in the source.
void ExpectAssertionLine(const std::string& inText, const std::string& inCondition)
{
    const std::string prefix = "Digitizers/Orvel/Zent_VDO_Orvel_VideoUnitRegisters:";
    ASSERT_EQ(inText.compare(0, prefix.size(), prefix), 0) << inText;
    const std::size_t digitsEnd = inText.find_first_not_of("0123456789", prefix.size());
    ASSERT_NE(digitsEnd, prefix.size()) << inText;
    ASSERT_NE(digitsEnd, std::string::npos) << inText;
    const unsigned line = unsigned(std::stoul(inText.substr(prefix.size(), digitsEnd - prefix.size())));
    EXPECT_EQ(inText, prefix + std::to_string(line) + ": failed assertion `" + inCondition + "'\n");
    EXPECT_NE(SourceLine(line).find("ZENT_ORVEL_CHECK(" + inCondition + ")"), std::string::npos)
        << "line " << line << ": " << SourceLine(line);
}

struct InvariantCase {
    const char* name;
    std::function<void(Settings&)> breakIt;
    std::function<UInt32(const Settings&)> access;
    UInt32 fallback;
    const char* stdoutText;
    const char* condition;
};

class SettingsInvariant : public testing::TestWithParam<InvariantCase> {};

TEST_P(SettingsInvariant, ReportsOnStandardErrorAndCarriesOn)
{
    const InvariantCase& c = GetParam();
    Settings s;
    c.breakIt(s);
    const Settings before = s;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const UInt32 result = c.access(s);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.fallback);
    EXPECT_EQ(out, c.stdoutText);
    ExpectAssertionLine(err, c.condition);
    EXPECT_EQ(s, before);
}

const char kFormatCondition[] = "format == kVideoFormat2vuy || format == kVideoFormatv210";
const char kRateCondition[] =
    "rateCode == kSampleRate44100 || rateCode == kSampleRate48000 || rateCode == kSampleRate96000";

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsInvariant,
    testing::Values(
        // An unknown frame format is treated as '2vuy'.
        InvariantCase{"BytesPerPacket", [](Settings& s) { s.videoinformat = 2; },
                      [](const Settings& s) { return s.GetBytesPerPacket(true); }, 3008, "unknown frame format\n",
                      kFormatCondition},
        InvariantCase{"FourCC", [](Settings& s) { s.videooutformat = 0xFFFF; },
                      [](const Settings& s) { return s.GetFourCC(false); }, FourCC("2vuy"), "unknown frame format\n",
                      kFormatCondition},
        InvariantCase{"RowBytes", [](Settings& s) { s.videooutformat = 7; },
                      [](const Settings& s) { return s.GetRowBytes(false); }, 1440, "unknown frame format\n",
                      kFormatCondition},
        // An unknown sample rate at a known frame rate carries no samples.
        InvariantCase{"SampleCount2997", [](Settings& s) { s.audioinsamplerate = 0x3000; },
                      [](const Settings& s) { return s.GetSampleCountForSequence(true, 1); }, 0, "", kRateCondition},
        InvariantCase{"SampleCount25",
                      [](Settings& s) {
                          s.framerate = Settings::kFrameRate25;
                          s.audiooutsamplerate = 0x1001;
                      },
                      [](const Settings& s) { return s.GetSampleCountForSequence(false, 1); }, 0, "",
                      kRateCondition},
        InvariantCase{"CadenceCount2997", [](Settings& s) { s.audiooutsamplerate = 0xF000; },
                      [](const Settings& s) { return s.GetFrameCadenceCountForSequence(false, 4); }, 0, "",
                      kRateCondition},
        InvariantCase{"CadenceCount25",
                      [](Settings& s) {
                          s.framerate = Settings::kFrameRate25;
                          s.audioinsamplerate = 0x4000;
                      },
                      [](const Settings& s) { return s.GetFrameCadenceCountForSequence(true, 4); }, 0, "",
                      kRateCondition}),
    [](const testing::TestParamInfo<InvariantCase>& info) { return std::string(info.param.name); });

TEST(SettingsInvariant, KnownCodesReportNothing)
{
    Settings s;
    s.videoinformat = Settings::kVideoFormatv210;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    s.GetBytesPerPacket(true);
    s.GetFourCC(false);
    s.GetRowBytes(true);
    s.GetSampleCountForSequence(true, 0);
    s.GetFrameCadenceCountForSequence(false, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SettingsInvariant, NullRegisterImageIsReportedAndChangesNothing)
{
    Settings s;
    s.framerate = Settings::kFrameRate25;
    const Settings before = s;
    testing::internal::CaptureStderr();
    s.GetRegisterSettings(nullptr);
    ExpectAssertionLine(testing::internal::GetCapturedStderr(), "inRegisters != nullptr");
    EXPECT_EQ(s, before);
}

}  // namespace
