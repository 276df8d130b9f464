// The subcommands of the kestro tool, one per source file in this folder.
#pragma once

#include <memory>

#include "tools/Command.h"

std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeGetCommand();
std::unique_ptr<Command> MakeSetCommand();
std::unique_ptr<Command> MakePlayCommand();
std::unique_ptr<Command> MakeRecordCommand();
std::unique_ptr<Command> MakeLoopbackCommand();
std::unique_ptr<Command> MakeMonitorCommand();
std::unique_ptr<Command> MakeDemoCommand();
