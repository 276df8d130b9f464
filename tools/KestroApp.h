// The kestro command line: the shared options, the subcommands, and the
// conventions every subcommand follows (errors as one line on standard
// error; exit 0 on success, 1 on a usage error, 2 when the system refused).
#pragma once

#include <memory>
#include <vector>

#include "tools/Command.h"
#include "tools/SessionOptions.h"

class KestroApp {
public:
    KestroApp();
    ~KestroApp();
    // Parses the arguments, runs the chosen subcommand and returns the exit code.
    int Run(int argc, char** argv);

private:
    SessionOptions mOptions;
    std::vector<std::unique_ptr<Command>> mCommands;
};
