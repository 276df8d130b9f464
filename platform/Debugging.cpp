#include "platform/Debugging.h"

#include <cstdio>
#include <string>

namespace {

void AppendText(std::string& line, const char* text)
{
    for (const char* p = (text != nullptr ? text : "(null)"); *p != '\0'; ++p) {
        line += (*p == '\n' || *p == '\r') ? ' ' : *p;
    }
}

} // namespace

void DebugAssert(OSType componentSignature, UInt32, const char* assertionString, const char* exceptionLabelString,
                 const char* errorString, const char* fileName, long lineNumber, void*)
{
    std::string line = "DebugAssert: ";
    AppendText(line, assertionString);
    if (exceptionLabelString != nullptr && *exceptionLabelString != '\0') {
        line += ", label: ";
        AppendText(line, exceptionLabelString);
    }
    if (errorString != nullptr && *errorString != '\0') {
        line += ", message: ";
        AppendText(line, errorString);
    }
    line += ", file ";
    AppendText(line, fileName);
    line += ", line " + std::to_string(lineNumber) + ", component '";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((componentSignature >> shift) & 0xFF);
        line += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    line += "'\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
