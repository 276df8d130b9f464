// The image loader over dlopen and dlsym.
#include "platform/ImageLoader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

typedef double (*CosineFunction)(double);

TEST(ImageLoaderTest, FindsSymbolsWithOrWithoutTheLeadingUnderscore)
{
    NSImageRef image = NSAddImage("libm.so.6", NSADDIMAGE_OPTION_RETURN_ON_ERROR);
    ASSERT_NE(image, nullptr);
    for (const char* name : {"cos", "_cos"}) {
        ASSERT_TRUE(NSIsSymbolNameDefinedInImage(image, name)) << name;
        NSSymbol symbol = NSLookupSymbolInImage(image, name, NSLOOKUPSYMBOLINIMAGE_OPTION_BIND);
        auto cosine = reinterpret_cast<CosineFunction>(NSAddressOfSymbol(symbol));
        ASSERT_NE(cosine, nullptr);
        EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    }
    EXPECT_EQ(NSAddImage("libm.so.6", NSADDIMAGE_OPTION_RETURN_ON_ERROR), image);
}

TEST(ImageLoaderTest, MissingImagesAndSymbolsGiveNull)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(NSAddImage("/nonexistent/libnothing.so", NSADDIMAGE_OPTION_RETURN_ON_ERROR), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(NSAddImage("/nonexistent/libnothing.so", NSADDIMAGE_OPTION_NONE), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("NSAddImage: couldn't load /nonexistent/libnothing.so: ", 0),
              0u);
    EXPECT_EQ(NSAddImage(nullptr, NSADDIMAGE_OPTION_RETURN_ON_ERROR), nullptr);

    NSImageRef image = NSAddImage("libm.so.6", NSADDIMAGE_OPTION_RETURN_ON_ERROR);
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(NSIsSymbolNameDefinedInImage(image, "no_such_routine_here"));
    EXPECT_FALSE(NSIsSymbolNameDefinedInImage(image, "_"));
    EXPECT_FALSE(NSIsSymbolNameDefinedInImage(nullptr, "cos"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(NSLookupSymbolInImage(image, "no_such_routine_here", NSLOOKUPSYMBOLINIMAGE_OPTION_RETURN_ON_ERROR),
              nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

} // namespace
