#include "tools/ToolConsole.h"

#include <unistd.h>

namespace {

int sRealErr = -1;     // a duplicate of the real descriptor 2 while quiet
FILE* sErr = nullptr;  // the stream on it

}  // namespace

FILE* ToolConsole::Err()
{
    return sErr != nullptr ? sErr : stderr;
}

bool ToolConsole::ErrIsTerminal()
{
    return isatty(sRealErr >= 0 ? sRealErr : 2) != 0;
}

void ToolConsole::Quieten()
{
    if (sRealErr >= 0) {
        return;
    }
    FILE* aside = std::tmpfile();
    if (aside == nullptr) {
        return;
    }
    std::fflush(stderr);
    sRealErr = dup(2);
    if (sRealErr < 0) {
        std::fclose(aside);
        return;
    }
    sErr = fdopen(dup(sRealErr), "w");
    setvbuf(sErr, nullptr, _IOLBF, 0);
    dup2(fileno(aside), 2);
    std::fclose(aside);
}

void ToolConsole::Restore()
{
    if (sRealErr < 0) {
        return;
    }
    std::fflush(stderr);
    std::fflush(sErr);
    dup2(sRealErr, 2);
    close(sRealErr);
    sRealErr = -1;
    std::fclose(sErr);
    sErr = nullptr;
}
