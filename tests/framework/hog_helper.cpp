// The second process of the hog-mode tests: a test device with an HPHogMode
// attached, driven line by line over standard input. It inherits the test's
// preference and notification folders through the environment.
//
//   usage: hog_helper <device UID>
//   prints "ready <pid> <token> <owner>" once the handler is attached, then
//   answers each command with one line:
//     set              "ok <owner>" or "error <status>"   (toggles 'oink')
//     owner            "<owner>"                          ('oink' read)
//     start            "<started IOProcs>"                (adds and starts one IOProc)
//     started          "<started IOProcs>"
//     wait <hook> <n>  "ok" or "timeout"                  (hook: 0..3 as HogTestDevice::Hook)
//     hooks            "<4 counts>"
//     second           "<token>"                          (a second handler's token)
//     quit             exits at once, leaving the preference as it is
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "HogTestDevice.h"
#include "framework/HPHogMode.h"
#include "support/CAException.h"

namespace {

OSStatus HelperIOProc(AudioDeviceID, const AudioTimeStamp*, const AudioBufferList*, const AudioTimeStamp*,
                      AudioBufferList*, const AudioTimeStamp*, void*)
{
    return 0;
}

void Reply(const std::string& inLine)
{
    std::cout << inLine << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: hog_helper <device UID>\n");
        return 2;
    }
    HogTestDevice theDevice(argv[1]);
    auto theHogMode = std::make_unique<HPHogMode>(&theDevice);
    theDevice.AddProperty(theHogMode.get());
    const HPPropertyAddress theAddress(kAudioDevicePropertyHogMode, 0, 0);
    std::unique_ptr<HPHogMode> theSecond;

    Reply("ready " + std::to_string(getpid()) + " " + std::to_string(theHogMode->GetToken()) + " " +
          std::to_string(theHogMode->GetOwner()));

    std::string theLine;
    while (std::getline(std::cin, theLine)) {
        std::istringstream theWords(theLine);
        std::string theCommand;
        theWords >> theCommand;
        try {
            if (theCommand == "set") {
                SInt32 theData = 12345;
                theDevice.SetPropertyData(theAddress, sizeof(theData), &theData, nullptr);
                Reply("ok " + std::to_string(theData));
            } else if (theCommand == "owner") {
                SInt32 theOwner = 0;
                UInt32 theSize = sizeof(theOwner);
                theDevice.GetPropertyData(theAddress, theSize, &theOwner);
                Reply(std::to_string(theOwner));
            } else if (theCommand == "start") {
                theDevice.DoAddIOProc(&HelperIOProc, nullptr);
                theDevice.DoStartIOProc(&HelperIOProc);
                Reply(std::to_string(theDevice.GetNumberStartedIOProcs()));
            } else if (theCommand == "started") {
                Reply(std::to_string(theDevice.GetNumberStartedIOProcs()));
            } else if (theCommand == "wait") {
                int theHook = 0;
                UInt32 theCount = 0;
                theWords >> theHook >> theCount;
                const bool theOK = theHook >= 0 && theHook < HogTestDevice::kHookCount &&
                                   theDevice.WaitForHook(HogTestDevice::Hook(theHook), theCount);
                Reply(theOK ? "ok" : "timeout");
            } else if (theCommand == "hooks") {
                const auto theCounts = theDevice.GetHookCounts();
                Reply(std::to_string(theCounts[0]) + " " + std::to_string(theCounts[1]) + " " +
                      std::to_string(theCounts[2]) + " " + std::to_string(theCounts[3]));
            } else if (theCommand == "second") {
                theSecond = std::make_unique<HPHogMode>(&theDevice);
                Reply(std::to_string(theSecond->GetToken()));
            } else if (theCommand == "quit") {
                std::fflush(nullptr);
                _exit(0); // no teardown: the preference stays as a crashed owner would leave it
            } else {
                Reply("unknown");
            }
        } catch (const CAException& inError) {
            Reply("error " + std::to_string(inError.GetError()));
        }
    }
    theDevice.RemoveProperty(theHogMode.get());
    return 0;
}
