// One subcommand of the kestro tool: it declares its options and arguments on
// its CLI11 subcommand and runs when the user chose it.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/SessionOptions.h"

class Command {
public:
    virtual ~Command() = default;
    // Adds the subcommand's options to inApp (already named and described).
    virtual void Configure(CLI::App& ioApp) = 0;
    // Runs it; returns the exit code (0) or throws ToolError.
    virtual int Run(const SessionOptions& inOptions) = 0;
};
