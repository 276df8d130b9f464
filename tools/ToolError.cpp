#include "tools/ToolError.h"

#include <cctype>

ToolError::ToolError(Kind inKind, std::string inWhat, OSStatus inStatus)
    : std::runtime_error(std::move(inWhat)), mKind(inKind), mStatus(inStatus)
{
}

std::string ToolError::DescribeStatus(OSStatus inStatus)
{
    std::string text = std::to_string(long(inStatus));
    FourCCText chars{UInt32(inStatus)};
    for (int i = 0; i < 4; ++i) {
        if (!std::isprint(static_cast<unsigned char>(chars.text[i]))) {
            return text;
        }
    }
    return text + " ('" + chars.c_str() + "')";
}

std::string ToolError::GetMessage() const
{
    std::string message = what();
    if (mStatus != 0) {
        message += ": error " + DescribeStatus(mStatus);
    }
    return message;
}

void ToolError::Check(OSStatus inStatus, const std::string& inWhat)
{
    if (inStatus != 0) {
        throw System(inWhat, inStatus);
    }
}
