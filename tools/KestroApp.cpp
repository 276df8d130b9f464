#include "tools/KestroApp.h"

#include <cstdio>

#include "tools/ToolConsole.h"
#include "tools/ToolError.h"
#include "tools/commands/Commands.h"

namespace {

struct Subcommand {
    const char* name;
    const char* description;
    std::unique_ptr<Command> (*make)();
};

const Subcommand kSubcommands[] = {
    {"list", "List the devices with their streams and controls", &MakeListCommand},
    {"get", "Print a property of a device or of its stream", &MakeGetCommand},
    {"set", "Set a property of a device or of its stream", &MakeSetCommand},
    {"play", "Play an audio file through Kestro Out", &MakePlayCommand},
    {"record", "Record Kestro In to a WAV file", &MakeRecordCommand},
    {"loopback", "Play through Kestro Out, loop back in the unit, record Kestro In and compare", &MakeLoopbackCommand},
    {"monitor", "Print property changes and device arrivals and departures as they happen", &MakeMonitorCommand},
    {"demo", "The whole tour: arrival, listing, a verified loopback, a summary, departure", &MakeDemoCommand},
};

}  // namespace

KestroApp::KestroApp() = default;
KestroApp::~KestroApp() = default;

int KestroApp::Run(int argc, char** argv)
{
    CLI::App app{"kestro: the Kestro audio devices from the command line.\n"
                 "Each run loads the Kestro plug-in with a simulated unit attached, as any client process would.",
                 "kestro"};
    app.require_subcommand(1);
    app.fallthrough();
    app.footer("Run 'kestro COMMAND --help' for a command's options and examples.\n"
               "Exit status: 0 success, 1 usage error, 2 the system refused.");
    // Usage errors as one line.
    app.failure_message([](const CLI::App* inApp, const CLI::Error& inError) {
        std::string name = inApp->get_name();
        return "kestro" + (name == "kestro" ? std::string() : " " + name) + ": " + inError.what() +
               " (see --help)\n";
    });

    // The shared options.
    app.add_flag("--realtime", mOptions.realtime, "Pace the unit by the host clock (default: as fast as it goes)");
    app.add_option("--frame-rate", mOptions.frameRate, "Video frame rate of the unit")
        ->check(CLI::IsMember({"29.97", "25"}))
        ->capture_default_str();
    app.add_option("--sample-rate", mOptions.sampleRate, "The unit's sample rate")
        ->check(CLI::IsMember({44100, 48000, 96000}))
        ->capture_default_str();
    app.add_option("--word-size", mOptions.wordSize, "The unit's word size in bits")
        ->check(CLI::IsMember({16, 24}))
        ->capture_default_str();
    app.add_option("--connectors", mOptions.connectors, "Input connectors present, comma-separated")
        ->capture_default_str();
    CLI::Option* drift = app.add_option("--drift-ppm", mOptions.driftPPM,
                                        "The unit's clock drift in parts per million")
                             ->check(CLI::Range(-999.0, 999.0));
    app.add_option("--jitter-us", mOptions.jitterMicroseconds, "Time-stamp jitter in microseconds")
        ->check(CLI::Range(0u, 10000u));
    app.add_flag("-v,--verbose", mOptions.verbose,
                 "Show the plug-in's and the unit's diagnostics; turns on the unit's debug words (twice: packet details)");
    app.add_option("--bundle", mOptions.bundlePath, "The plug-in bundle to load (default: the one built with kestro)");

    std::vector<CLI::App*> subcommands;
    for (const Subcommand& entry : kSubcommands) {
        CLI::App* sub = app.add_subcommand(entry.name, entry.description);
        mCommands.push_back(entry.make());
        mCommands.back()->Configure(*sub);
        subcommands.push_back(sub);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? 0 : 1;
    }
    mOptions.driftGiven = drift->count() > 0;

    for (size_t i = 0; i < subcommands.size(); ++i) {
        if (!subcommands[i]->parsed()) {
            continue;
        }
        std::string name = subcommands[i]->get_name();
        if (mOptions.verbose == 0) {
            ToolConsole::Quieten();
        }
        int code = 0;
        try {
            code = mCommands[i]->Run(mOptions);
        } catch (const ToolError& error) {
            std::fflush(stdout);
            std::fprintf(ToolConsole::Err(), "kestro %s: %s\n", name.c_str(), error.GetMessage().c_str());
            code = error.GetExitCode();
        } catch (const std::exception& error) {
            std::fflush(stdout);
            std::fprintf(ToolConsole::Err(), "kestro %s: %s\n", name.c_str(), error.what());
            code = 2;
        }
        std::fflush(stdout);
        ToolConsole::Restore();
        return code;
    }
    return 1;
}
