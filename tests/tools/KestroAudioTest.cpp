// Audio through the kestro tool, checked with sox as a user would: a file
// made by sox played and captured, a tone recorded and measured, and the
// loopback through the unit compared bit for bit; and the main job.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/tools/ToolRunner.h"

namespace {

TEST(KestroAudio, PlayedFilesReachTheUnitAsSoxReadsThem)
{
    // 24-bit WAV and 16-bit FLAC, both as sox writes them.
    for (const char* file : {"music.wav", "music.flac"}) {
        ToolRunner runner;
        std::string bits = std::string(file) == "music.wav" ? "24" : "16";
        ASSERT_EQ(runner.Shell("sox -n -r 48000 -b " + bits + " -c 2 " + file +
                               " synth 1.5 sine 440 sine 1234 vol 0.7").exitCode, 0);
        ToolRunner::Result played = runner.Kestro(std::string("play ") + file + " --capture received.wav");
        ASSERT_EQ(played.exitCode, 0) << played.err;
        EXPECT_EQ(played.err, "");  // not a terminal: no progress bar, no meter
        EXPECT_NE(played.out.find("played " + std::string(file) + ": 72000 frames, 2 ch"), std::string::npos)
            << played.out;
        EXPECT_NE(played.out.find("captured 72000 frames (8 ch, 24-bit) to received.wav"), std::string::npos)
            << played.out;

        // The unit's first two channels are the file, sample for sample.
        ASSERT_EQ(runner.Shell("sox received.wav -t s32 received.raw remix 1 2").exitCode, 0);
        ASSERT_EQ(runner.Shell(std::string("sox ") + file + " -t s32 sent.raw").exitCode, 0);
        std::string received = ToolRunner::Slurp(runner.Path("received.raw"));
        std::string sent = ToolRunner::Slurp(runner.Path("sent.raw"));
        EXPECT_EQ(received.size(), 72000u * 2 * 4) << file;
        EXPECT_TRUE(received == sent) << file;
        // The other six stay silent.
        ToolRunner::Result rest = runner.Shell("sox received.wav -n remix 3-8 stat");
        EXPECT_EQ(ToolRunner::SoxStat(rest.err, "Maximum amplitude"), 0.0) << rest.err;
    }
}

TEST(KestroAudio, PlayRefusesAFileAtAnotherRate)
{
    ToolRunner runner;
    ASSERT_EQ(runner.Shell("sox -n -r 44100 -c 2 cd.wav synth 0.1 sine 440").exitCode, 0);
    ToolRunner::Result result = runner.Kestro("play cd.wav");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "kestro play: cd.wav is at 44100 Hz but Kestro Out runs at 48000 Hz (convert it first, e.g. sox IN -r "
              "48000 OUT.wav): error 560226676 ('!dat')\n");
}

TEST(KestroAudio, ARecordedToneHasItsFrequencyAndLevel)
{
    ToolRunner runner;
    ToolRunner::Result recorded = runner.Kestro("record tone.wav --tone 1000 --level -6 --seconds 2");
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    EXPECT_EQ(recorded.out.rfind("recorded tone.wav: 96000 frames, 8 ch, 24-bit, 48000 Hz from sdi", 0), 0u)
        << recorded.out;
    ToolRunner::Result info = runner.Shell("soxi -c tone.wav && soxi -r tone.wav && soxi -b tone.wav && soxi -s tone.wav");
    EXPECT_EQ(info.out, "8\n48000\n24\n96000\n");
    for (const char* channel : {"1", "8"}) {
        ToolRunner::Result stat = runner.Shell(std::string("sox tone.wav -n remix ") + channel + " stat");
        ASSERT_EQ(stat.exitCode, 0) << stat.err;
        EXPECT_NEAR(ToolRunner::SoxStat(stat.err, "Rough   frequency"), 1000, 5) << stat.err;
        EXPECT_NEAR(ToolRunner::SoxStat(stat.err, "Maximum amplitude"), std::pow(10.0, -6.0 / 20), 0.001)
            << stat.err;
        EXPECT_NEAR(ToolRunner::SoxStat(stat.err, "RMS     amplitude"), std::pow(10.0, -6.0 / 20) / std::sqrt(2.0),
                    0.002)
            << stat.err;
    }
}

TEST(KestroAudio, RecordingAConnectorGivesItsChannelsAndTheUnitsInput)
{
    ToolRunner runner;
    ASSERT_EQ(runner.Shell("sox -n -r 48000 -b 24 -c 2 in.wav synth 1 sine 300 sine 700 vol 0.5").exitCode, 0);
    ToolRunner::Result recorded = runner.Kestro("record back.wav --source spdif --unit-input in.wav --seconds 1");
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    EXPECT_EQ(runner.Shell("soxi -c back.wav").out, "2\n");
    ASSERT_EQ(runner.Shell("sox back.wav -t s32 back.raw && sox in.wav -t s32 in.raw").exitCode, 0);
    EXPECT_TRUE(ToolRunner::Slurp(runner.Path("back.raw")) == ToolRunner::Slurp(runner.Path("in.raw")));

    ToolRunner::Result silent = runner.Kestro("record quiet.wav --source aes --seconds 0.5");
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    ToolRunner::Result stat = runner.Shell("soxi -c quiet.wav && sox quiet.wav -n stat");
    EXPECT_EQ(stat.out, "4\n");
    EXPECT_EQ(ToolRunner::SoxStat(stat.err, "Maximum amplitude"), 0.0) << stat.err;
}

TEST(KestroAudio, LoopbackIsBitExactOnEveryConnector)
{
    struct Case {
        const char* connector;
        const char* expected;
    };
    for (Case c : {Case{"sdi", "bit-exact: 48000 frames x 8 channels identical"},
                   Case{"aes", "bit-exact: 48000 frames x 4 channels identical"},
                   Case{"spdif", "bit-exact: 48000 frames x 2 channels identical"}}) {
        ToolRunner runner;
        ToolRunner::Result result =
            runner.Kestro(std::string("loopback --seconds 1 --connector ") + c.connector + " --output back.wav");
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find(c.expected), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("saved the recording to back.wav"), std::string::npos) << result.out;
    }
}

TEST(KestroAudio, LoopbackOfAFileWithDriftAndJitterIsBitExact)
{
    ToolRunner runner;
    ASSERT_EQ(runner.Shell("sox -n -r 48000 -b 24 -c 2 in.wav synth 0.8 pinknoise vol 0.3").exitCode, 0);
    ToolRunner::Result result = runner.Kestro("--drift-ppm -200 --jitter-us 300 loopback in.wav");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("bit-exact: 38400 frames x 2 channels identical"), std::string::npos) << result.out;
}

TEST(KestroAudio, TheDemoRunsToTheEnd)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro("demo --seconds 6");
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    for (const char* expected :
         {"== 1. The unit arrives", "2 devices appeared", "== 2. The devices", "Kestro Out (device",
          "bit-exact: 288000 frames x 8 channels identical", "saved the recording to kestro-demo.wav",
          "| bit errors             | 0 of 2304000 samples", "| unit's true rate       | 48002.400 Hz",
          "| sample rate measured   | 48002.4", "measured +50.0 ppm", "| real-time factor",
          "Kestro unit unplugged: 0 devices left", "demo passed"}) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
    EXPECT_EQ(runner.Shell("soxi -c kestro-demo.wav").out, "8\n");
}

}  // namespace
