// The tool's own standard error. The plug-in and the unit run inside the
// tool's process and write their diagnostic lines to standard error; unless
// the user asked for --verbose, those lines are set aside (in an anonymous
// temporary file) so that a failure shows as the one line the tool writes.
// The tool's own messages, its progress bar and its meter always go to the
// real standard error through Err().
//
// Main thread only: Quieten and Restore swap file descriptor 2.
#pragma once

#include <cstdio>

class ToolConsole {
public:
    // The real standard error, whatever Quieten did.
    static FILE* Err();
    // True when the real standard error is a terminal.
    static bool ErrIsTerminal();
    // Points descriptor 2 at a temporary file; the real one stays reachable
    // through Err(). Does nothing when already quiet.
    static void Quieten();
    // Points descriptor 2 back at the real standard error.
    static void Restore();
};
