// The real bundle, loaded the way a host loads it: its factory, its interface
// table's IUnknown entries, its release to zero and its unloading; and its
// exported symbols.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "platform/AudioHardware.h"
#include "platform/AudioHardwareHost.h"
#include "unit/SimulatedUnit.h"

namespace {

CFUUIDRef PlugInType() { return kAudioHardwarePlugInTypeID; }

// The bundle opened directly, for what the host layer does not expose: the
// factory called with other types.
class Bundle {
public:
    Bundle() : mLibrary(dlopen(KESTRO_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Bundle()
    {
        if (mLibrary != nullptr) {
            dlclose(mLibrary);
        }
    }
    CFPlugInFactoryFunction Factory() const
    {
        return reinterpret_cast<CFPlugInFactoryFunction>(dlsym(mLibrary, "NewPlugIn"));
    }
    void* mLibrary;
};

// The driver opens the muxer component in Initialize: a unit is registered
// for the host's loads, but not plugged in, so that nothing is published.
class RegisteredUnit {
public:
    RegisteredUnit()
    {
        mUnit.RemoveUnit();
        mUnit.RegisterUnitComponent();
    }
    Kestro::Unit::SimulatedUnit mUnit;
};

TEST(BundleLoad, TheFactoryRefusesEveryOtherTypeAndCreatesNothing)
{
    Bundle bundle;
    ASSERT_NE(bundle.mLibrary, nullptr) << dlerror();
    CFPlugInFactoryFunction factory = bundle.Factory();
    ASSERT_NE(factory, nullptr);
    CFUUIDRef others[] = {kAudioHardwarePlugInInterfaceID, IUnknownUUID,
                          CFUUIDGetConstantUUIDWithBytes(nullptr, 0xF8, 0xBB, 0x1C, 0x28, 0xBA, 0xE8, 0x11, 0xD6,
                                                         0x9C, 0x31, 0x00, 0x03, 0x93, 0x15, 0xCD, 0x47)};
    for (CFUUIDRef other : others) {
        EXPECT_EQ(factory(nullptr, other), nullptr);
    }
    EXPECT_EQ(factory(nullptr, nullptr), nullptr);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 0);
}

TEST(BundleLoad, TheFactoryCreatesOnePlugInWithOneCount)
{
    Bundle bundle;
    ASSERT_NE(bundle.mLibrary, nullptr) << dlerror();
    AudioHardwarePlugInRef plugIn = static_cast<AudioHardwarePlugInRef>(bundle.Factory()(nullptr, PlugInType()));
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 1);
    EXPECT_EQ((*plugIn)->_reserved, nullptr);
    EXPECT_EQ((*plugIn)->Release(plugIn), 0u);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 0);
}

TEST(BundleLoad, TheHostLoadsQueriesReleasesToZeroAndUnloads)
{
    RegisteredUnit unit;
    OSStatus status = -1;
    AudioHardwarePlugInRef plugIn = AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status);
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(status, 0) << "Initialize";
    EXPECT_EQ(AudioHardwareHostGetPlugIn(), plugIn);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 1);

    // The host holds one count; each successful query adds one and hands out
    // the same reference.
    void* result = nullptr;
    ASSERT_EQ((*plugIn)->QueryInterface(plugIn, CFUUIDGetUUIDBytes(kAudioHardwarePlugInInterfaceID), &result), S_OK);
    EXPECT_EQ(result, plugIn);
    ASSERT_EQ((*plugIn)->QueryInterface(plugIn, CFUUIDGetUUIDBytes(IUnknownUUID), &result), S_OK);
    EXPECT_EQ(result, plugIn);
    EXPECT_EQ((*plugIn)->AddRef(plugIn), 4u);
    EXPECT_EQ((*plugIn)->Release(plugIn), 3u);

    CFUUIDRef refused[] = {PlugInType(), CFUUIDGetConstantUUIDWithBytes(nullptr, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
                                                                        12, 13, 14, 15, 16)};
    for (CFUUIDRef other : refused) {
        result = &status;
        EXPECT_EQ((*plugIn)->QueryInterface(plugIn, CFUUIDGetUUIDBytes(other), &result), HRESULT(0x80000004u));
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_EQ((*plugIn)->Release(plugIn), 2u);
    EXPECT_EQ((*plugIn)->Release(plugIn), 1u);

    EXPECT_EQ(AudioHardwareHostUnloadPlugIn(), 0);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 0);
    EXPECT_EQ(AudioHardwareHostGetPlugIn(), nullptr);
    EXPECT_EQ(AudioHardwareHostUnloadPlugIn(), kAudioHardwareIllegalOperationError) << "nothing loaded";
}

TEST(BundleLoad, TheBundleCanBeLoadedAgainAfterUnloading)
{
    RegisteredUnit unit;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        OSStatus status = -1;
        ASSERT_NE(AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status), nullptr);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(AudioHardwareHostUnloadPlugIn(), 0);
        EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 0);
    }
}

TEST(BundleLoad, ASecondLoadIsRefusedWhileOneIsLoaded)
{
    RegisteredUnit unit;
    OSStatus status = -1;
    AudioHardwarePlugInRef plugIn = AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status);
    ASSERT_NE(plugIn, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioHardwareHostLoadPlugIn(KESTRO_BUNDLE_PATH, &status), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(status, kAudioHardwareIllegalOperationError);
    EXPECT_EQ(AudioHardwareHostGetPlugIn(), plugIn);
    EXPECT_EQ(CFPlugInGetInstanceCountForFactory(PlugInType()), 1);
    EXPECT_EQ(AudioHardwareHostUnloadPlugIn(), 0);
}

TEST(BundleLoad, NewPlugInIsTheOnlySymbolTheBundleExports)
{
    std::string command = std::string("nm -D --defined-only '") + KESTRO_BUNDLE_PATH + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 512> line{};
    while (fgets(line.data(), int(line.size()), pipe) != nullptr) {
        output += line.data();
    }
    ASSERT_EQ(pclose(pipe), 0) << command;

    // Symbols the linker adds to every shared object are not ours.
    const std::set<std::string> linkerSymbols = {"_init", "_fini", "_edata", "_end", "__bss_start"};
    std::set<std::string> ours;
    std::istringstream lines(output);
    std::string text;
    while (std::getline(lines, text)) {
        std::istringstream fields(text);
        std::string field, name;
        while (fields >> field) {
            name = field;  // the name is the last field
        }
        if (!name.empty() && linkerSymbols.count(name) == 0) {
            ours.insert(name);
        }
    }
    EXPECT_EQ(ours, std::set<std::string>{"NewPlugIn"}) << output;
}

} // namespace
