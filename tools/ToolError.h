// The tool's failures: what went wrong, the status the system answered with,
// and whether the user or the system is to blame. KestroApp turns one into a
// single line on standard error and the exit code (1 for a usage error, 2
// when the system refused).
#pragma once

#include <stdexcept>
#include <string>

#include "platform/MacTypes.h"

class ToolError : public std::runtime_error {
public:
    enum class Kind {
        kUsage,   // the command line asked for something that can't be (exit 1)
        kSystem,  // the host, the plug-in or the unit refused (exit 2)
    };

    // inWhat names what failed ("couldn't set nominal-sample-rate on Kestro Out").
    ToolError(Kind inKind, std::string inWhat, OSStatus inStatus = 0);

    static ToolError Usage(std::string inWhat) { return ToolError(Kind::kUsage, std::move(inWhat)); }
    static ToolError System(std::string inWhat, OSStatus inStatus)
    {
        return ToolError(Kind::kSystem, std::move(inWhat), inStatus);
    }

    Kind GetKind() const { return mKind; }
    OSStatus GetStatus() const { return mStatus; }
    int GetExitCode() const { return mKind == Kind::kUsage ? 1 : 2; }

    // "what: error 1852797029 ('nope')" (the status part only when non-zero).
    std::string GetMessage() const;

    // The status as "1852797029 ('nope')", or as "-50" when its bytes aren't
    // printable characters.
    static std::string DescribeStatus(OSStatus inStatus);

    // Throws a system error when inStatus is not 0.
    static void Check(OSStatus inStatus, const std::string& inWhat);

private:
    Kind mKind;
    OSStatus mStatus;
};
