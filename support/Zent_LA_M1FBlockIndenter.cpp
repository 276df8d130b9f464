#include "support/Zent_LA_M1FBlockIndenter.h"

#include <string>
#include <vector>

namespace Zent {
namespace LA {

namespace {

// The text as UTF-8.
std::string TextOf(CFStringRef inText)
{
    const CFIndex theLength = CFStringGetLength(inText);
    CFIndex theBytes = 0;
    CFStringGetBytes(inText, CFRangeMake(0, theLength), kCFStringEncodingUTF8, '?', false, nullptr, 0, &theBytes);
    std::vector<UInt8> theBuffer(size_t(theBytes) + 1);
    CFStringGetBytes(inText, CFRangeMake(0, theLength), kCFStringEncodingUTF8, '?', false, theBuffer.data(),
                     theBytes, &theBytes);
    return std::string(reinterpret_cast<const char*>(theBuffer.data()), size_t(theBytes));
}

}  // namespace

M1FBlockIndenter::M1FBlockIndenter(M1FIndenter* inIndenter, CFStringRef inText)
    : mIndenter(inIndenter), mText(inText)
{
}

M1FBlockIndenter::~M1FBlockIndenter()
{
    if (mText != nullptr) {
        CFRelease(mText);
    }
}

M1FBlockIndenter& M1FBlockIndenter::operator++()
{
    if (mIndenter != nullptr) {
        ++*mIndenter;
    }
    return *this;
}

M1FBlockIndenter& M1FBlockIndenter::operator--()
{
    if (mIndenter != nullptr) {
        --*mIndenter;
    }
    return *this;
}

std::ostream& operator<<(std::ostream& inStream, const M1FBlockIndenter& inBlock)
{
    if (inBlock.GetText() == nullptr) {
        return inStream;
    }
    const std::string theText = TextOf(inBlock.GetText());
    size_t theStart = 0;
    for (;;) {
        const size_t theEnd = theText.find('\n', theStart);
        inStream << inBlock.GetIndenter() << theText.substr(theStart, theEnd - theStart);
        if (theEnd == std::string::npos) {
            break;
        }
        inStream << std::endl;
        theStart = theEnd + 1;
    }
    return inStream;
}

}  // namespace LA
}  // namespace Zent
