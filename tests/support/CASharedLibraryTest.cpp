// Finding a routine by loading a library image.
#include <gtest/gtest.h>

#include <cmath>

#include "support/CASharedLibrary.h"

namespace {

TEST(CASharedLibrary, FindsARoutineInALoadableLibrary)
{
    void* address = CASharedLibrary::LoadLibraryAndGetRoutineAddress("cos", "libm", "libm.so.6");
    ASSERT_NE(address, nullptr);
    auto cosine = reinterpret_cast<double (*)(double)>(address);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
}

TEST(CASharedLibrary, MissingRoutineOrLibraryGivesNull)
{
    EXPECT_EQ(CASharedLibrary::LoadLibraryAndGetRoutineAddress("NoSuchRoutineAnywhere", "libm", "libm.so.6"),
              nullptr);
    EXPECT_EQ(CASharedLibrary::LoadLibraryAndGetRoutineAddress("cos", "nothing", "/no/such/library.so"), nullptr);
    EXPECT_EQ(CASharedLibrary::LoadLibraryAndGetRoutineAddress(nullptr, "libm", "libm.so.6"), nullptr);
    EXPECT_EQ(CASharedLibrary::LoadLibraryAndGetRoutineAddress("cos", "libm", nullptr), nullptr);
}

}  // namespace
