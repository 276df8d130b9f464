// The text indenters: four spaces a step within a 256-byte buffer, and
// blocks of text written line by line at the current indentation.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/Zent_LA_M1FBlockIndenter.h"
#include "support/Zent_LA_M1FIndenter.h"

namespace {

using Zent::LA::M1FBlockIndenter;
using Zent::LA::M1FIndenter;

TEST(M1FIndenterTest, SixtyThreeStepsFillItAndTheSixtyFourthDoesNothing)
{
    M1FIndenter theIndenter;
    EXPECT_EQ(theIndenter.GetLength(), 0u);
    for (int theStep = 0; theStep < 63; ++theStep) {
        ++theIndenter; // the 63rd starts at 248, below 250
    }
    EXPECT_EQ(theIndenter.GetLength(), 252u);
    EXPECT_EQ(std::string(theIndenter.GetString()), std::string(252, ' '));
    ++theIndenter;
    theIndenter++;
    EXPECT_EQ(theIndenter.GetLength(), 252u);
    --theIndenter;
    EXPECT_EQ(theIndenter.GetLength(), 248u);
}

TEST(M1FIndenterTest, OutdentingRemovesFourOrEmptiesAShortString)
{
    const struct Case {
        int mSteps;
        unsigned mAfter;
    } theCases[] = {{0, 0}, {1, 0}, {2, 4}, {3, 8}};
    for (const Case& theCase : theCases) {
        M1FIndenter theIndenter;
        for (int theStep = 0; theStep < theCase.mSteps; ++theStep) {
            ++theIndenter;
        }
        --theIndenter;
        EXPECT_EQ(theIndenter.GetLength(), theCase.mAfter) << theCase.mSteps << " steps";
    }
}

TEST(M1FIndenterTest, PostfixFormsReturnTheStringAsItWas)
{
    M1FIndenter theIndenter;
    EXPECT_EQ(theIndenter++, "");
    EXPECT_EQ(theIndenter++, "    ");
    EXPECT_EQ(theIndenter.GetLength(), 8u);
    EXPECT_EQ(theIndenter--, "        ");
    EXPECT_EQ(theIndenter.GetLength(), 4u);
}

TEST(M1FIndenterTest, WritesItsStringThroughAReferenceOrAPointer)
{
    M1FIndenter theIndenter;
    ++theIndenter;
    std::ostringstream theStream;
    const M1FIndenter* theNull = nullptr;
    theStream << theIndenter << "a|" << &theIndenter << "b|" << theNull << "c";
    EXPECT_EQ(theStream.str(), "    a|    b|c");
}

TEST(M1FBlockIndenterTest, WritesEachLineAfterTheIndentation)
{
    const struct Case {
        const char* mText;
        const char* mWritten;
    } theCases[] = {
        {"one", "    one"},
        {"one\ntwo\nthree", "    one\n    two\n    three"},
        {"one\n", "    one\n    "},
        {"\n\n", "    \n    \n    "},
        {"", "    "},
    };
    M1FIndenter theIndenter;
    ++theIndenter;
    for (const Case& theCase : theCases) {
        M1FBlockIndenter theBlock(&theIndenter,
                                  CFStringCreateWithCString(nullptr, theCase.mText, kCFStringEncodingUTF8));
        std::ostringstream theStream;
        theStream << theBlock;
        EXPECT_EQ(theStream.str(), theCase.mWritten) << '"' << theCase.mText << '"';
    }
}

TEST(M1FBlockIndenterTest, StepsTheIndenterItRefersTo)
{
    M1FIndenter theIndenter;
    M1FBlockIndenter theBlock(&theIndenter, CFStringCreateWithCString(nullptr, "a\nb", kCFStringEncodingUTF8));
    ++theBlock;
    ++theBlock;
    EXPECT_EQ(theIndenter.GetLength(), 8u);
    --theBlock;
    std::ostringstream theStream;
    theStream << theBlock;
    EXPECT_EQ(theStream.str(), "    a\n    b");
}

TEST(M1FBlockIndenterTest, ReleasesItsTextAndToleratesNulls)
{
    CFStringRef theText = CFStringCreateWithCString(nullptr, "kept", kCFStringEncodingUTF8);
    CFRetain(theText);
    {
        M1FBlockIndenter theBlock(nullptr, theText);
        ++theBlock; // no indenter: nothing to step
        std::ostringstream theStream;
        theStream << theBlock;
        EXPECT_EQ(theStream.str(), "kept");
        EXPECT_EQ(CFGetRetainCount(theText), 2);
    }
    EXPECT_EQ(CFGetRetainCount(theText), 1);
    CFRelease(theText);

    M1FIndenter theIndenter;
    M1FBlockIndenter theEmpty(&theIndenter, nullptr);
    std::ostringstream theStream;
    theStream << theEmpty;
    EXPECT_EQ(theStream.str(), "");
}

} // namespace
