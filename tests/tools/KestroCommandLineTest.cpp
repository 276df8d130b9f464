// The kestro tool as a new user meets it: the listing (as text and as JSON
// read back by another program), get and set by readable names and by codes,
// and the conventions for refusals and usage errors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/tools/ToolRunner.h"

namespace {

int LineCount(const std::string& inText)
{
    int lines = 0;
    for (char c : inText) {
        lines += c == '\n';
    }
    return lines;
}

TEST(KestroCommandLine, ListShowsBothDevicesWithTheirStreamsAndControls)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro("list");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const char* expected :
         {"Kestro Out (device ", "Kestro In (device ", "manufacturer:     Haldrix Computer, Inc.",
          "uid:              com_haldrix_Kestro_Out:0", "uid:              com_haldrix_Kestro_In:0",
          "transport:        '1394'", "running:          no", "(1471 .. 3840)", "48000 Hz nominal",
          "\"8 channels\", output, channels 1-8", "\"SDI - 8 channels\", input, channels 1-8",
          "physical format: 48000 Hz, 8 ch, 24-bit signed integer, little-endian, packed",
          "virtual format:  48000 Hz, 8 ch, 32-bit float, little-endian, packed", "mute:             off",
          "data source:      isdi", "* isdi  SDI - 8 channels", "  ispd  S/PDIF PCM - 2 channels"}) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
}

TEST(KestroCommandLine, ListOfAUnitWithoutInputsShowsAnInputDeviceWithoutStream)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro("list --connectors none");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("stream:           none published"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("SDI - 8 channels"), std::string::npos) << result.out;
}

TEST(KestroCommandLine, ListAsJsonParsesBackWithTheSameDevices)
{
    ToolRunner runner;
    ASSERT_EQ(runner.Kestro("list --json > list.json").exitCode, 0);
    // Another program reads it back: names, UIDs, stream channels, items.
    ToolRunner::Result parsed = runner.Shell(
        "python3 -c 'import json; d = json.load(open(\"list.json\"))\n"
        "for v in d[\"devices\"]:\n"
        "  s = v[\"streams\"][0]\n"
        "  c = v[\"controls\"]\n"
        "  items = \",\".join(i[\"id\"] for i in c.get(\"data_source\", {}).get(\"items\", []))\n"
        "  print(v[\"name\"], v[\"uid\"], v[\"transport\"], v[\"nominal_sample_rate\"], s[\"channels\"],"
        " s[\"physical_format\"][\"bits_per_channel\"], s[\"virtual_format\"][\"format_flags\"], c[\"mute\"], items)'");
    ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
    EXPECT_EQ(parsed.out,
              "Kestro Out com_haldrix_Kestro_Out:0 1394 48000 8 24 9 False \n"
              "Kestro In com_haldrix_Kestro_In:0 1394 48000 8 24 9 False iadt,iaes,ialg,isdi,ispd\n");
}

struct PropertyCase {
    const char* arguments;
    const char* expected;
};

class KestroGetSet : public testing::TestWithParam<PropertyCase> {};

TEST_P(KestroGetSet, PrintsTheValueReadBack)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro(GetParam().arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, GetParam().expected);
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    NamesCodesAndDevices, KestroGetSet,
    testing::Values(
        PropertyCase{"get out nominal-sample-rate", "48000\n"}, PropertyCase{"get out nsrt", "48000\n"},
        PropertyCase{"get out \"'nsrt'\"", "48000\n"}, PropertyCase{"get out 0x6E737274", "48000\n"},
        PropertyCase{"get \"Kestro In\" name", "Kestro In\n"},
        PropertyCase{"get com_haldrix_Kestro_Out:0 device-name", "Kestro Out\n"},
        PropertyCase{"get in uid", "com_haldrix_Kestro_In:0\n"},
        PropertyCase{"get out transport-type", "1394\n"}, PropertyCase{"get out Dvrv", "1\n"},
        PropertyCase{"get in data-source", "isdi (SDI - 8 channels)\n"},
        PropertyCase{"get in available-nominal-sample-rates", "48000\n"},
        PropertyCase{"get in buffer-frame-size-range", "1471 .. 3840\n"},
        PropertyCase{"get in physical-format", "48000 Hz, 8 ch, 24-bit signed integer, little-endian, packed\n"},
        PropertyCase{"get in sfmt --stream", "48000 Hz, 8 ch, 32-bit float, little-endian, packed\n"},
        PropertyCase{"get in starting-channel", "1\n"}, PropertyCase{"get in direction", "1\n"},
        PropertyCase{"set in data-source spdif", "ispd (S/PDIF PCM - 2 channels)\n"},
        PropertyCase{"set in ssrc iaes", "iaes (AES/EBU - 4 channels)\n"},
        PropertyCase{"set in ssrc \"'ialg'\"", "ialg (Analog - 4 channels)\n"},
        PropertyCase{"set out mute true", "true\n"}, PropertyCase{"set in mute off", "false\n"},
        PropertyCase{"set out buffer-frame-size 2048", "2048\n"}, PropertyCase{"set out fsiz 1471", "1471\n"},
        PropertyCase{"set out nominal-sample-rate 48000", "48000\n"},
        // The printed form of a format reads back.
        PropertyCase{"set in physical-format \"48000 Hz, 8 ch, 24-bit signed integer, little-endian, packed\"",
                     "48000 Hz, 8 ch, 24-bit signed integer, little-endian, packed\n"},
        PropertyCase{"set out pft 48000/8/24", "48000 Hz, 8 ch, 24-bit signed integer, little-endian, packed\n"}));

TEST(KestroCommandLine, SetDataSourcePublishesTheOtherStream)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro("--connectors sdi,spdif set in data-source spdif && "
                                              KESTRO_TOOL_PATH " --connectors sdi,spdif get in data-sources");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "ispd (S/PDIF PCM - 2 channels)\nisdi (SDI - 8 channels)\nispd (S/PDIF PCM - 2 channels)\n");
}

struct RefusalCase {
    const char* arguments;
    const char* message;
};

class KestroRefusal : public testing::TestWithParam<RefusalCase> {};

// The system refused: one line naming what failed with the status and its
// four characters, exit code 2, nothing on standard output.
TEST_P(KestroRefusal, IsOneLineWithTheStatusAndExitCodeTwo)
{
    ToolRunner runner;
    ToolRunner::Result result = runner.Kestro(GetParam().arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, GetParam().message);
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, KestroRefusal,
    testing::Values(
        RefusalCase{"set out nominal-sample-rate 44100",
                    "kestro set: Kestro Out refused nominal-sample-rate ('nsrt') = 44100: error 560226676 ('!dat')\n"},
        RefusalCase{"set out buffer-frame-size 1470",
                    "kestro set: Kestro Out refused buffer-frame-size ('fsiz') = 1470: error 1852797029 ('nope')\n"},
        RefusalCase{"--connectors sdi,aes set in data-source spdif",
                    "kestro set: Kestro In refused data-source ('ssrc') = spdif: error 1852797029 ('nope')\n"},
        RefusalCase{"get nowhere name", "kestro get: no device 'nowhere' (try 'kestro list'): error 560227702 ('!dev')\n"}));

// A usage error: one line, exit code 1, and nothing was loaded or changed.
TEST(KestroCommandLine, UsageErrorsAreOneLineWithExitCodeOne)
{
    const std::vector<std::string> usages = {
        "",
        "frobnicate",
        "get",
        "get out no-such-property",
        "set out mute",
        "set out mute perhaps",
        "set out nominal-sample-rate fast",
        "set out pft \"eight channels\"",
        "set out streams 7",
        "--frame-rate 30 list",
        "--word-size 20 list",
        "--connectors sdi,firewire list",
        "record x.wav --source firewire",
        "record x.wav --tone 440 --unit-input y.wav",
        "play",
        "play no-such-file.wav",
    };
    for (const std::string& usage : usages) {
        ToolRunner runner;
        ToolRunner::Result result = runner.Kestro(usage);
        EXPECT_EQ(result.exitCode, 1) << usage << "\n" << result.err;
        EXPECT_EQ(LineCount(result.err), 1) << usage << "\n" << result.err;
        EXPECT_EQ(result.err.rfind("kestro", 0), 0u) << usage << "\n" << result.err;
        EXPECT_EQ(result.out, "") << usage;
    }
}

TEST(KestroCommandLine, EveryCommandHasHelpWithExamples)
{
    for (const char* command : {"list", "get", "set", "play", "record", "loopback", "monitor", "demo"}) {
        ToolRunner runner;
        ToolRunner::Result result = runner.Kestro(std::string(command) + " --help");
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_NE(result.out.find("Examples:\n  kestro " + std::string(command)), std::string::npos)
            << command << "\n" << result.out;
    }
}

TEST(KestroCommandLine, MonitorReportsChangesDeparturesAndArrivals)
{
    ToolRunner runner;
    ToolRunner::Result result =
        runner.Kestro("monitor --set in:data-source=aes --unplug-after 0.2 --replug-after 0.2");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const char* inOrder[] = {"present: Kestro Out", "present: Kestro In", "setting data-source ('ssrc') of Kestro In",
                             "Kestro In (input, channel 0): data-source ('ssrc') changed", "unplugging the unit",
                             "left: Kestro Out", "left: Kestro In", "plugging the unit back in",
                             "arrived: Kestro Out", "arrived: Kestro In", "done"};
    size_t position = 0;
    for (const char* expected : inOrder) {
        size_t found = result.out.find(expected, position);
        ASSERT_NE(found, std::string::npos) << expected << "\n" << result.out;
        position = found;
    }
}

}  // namespace
