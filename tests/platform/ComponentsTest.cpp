// The component manager: registration, lookup with wildcards, open and close.
#include "platform/Components.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr OSType kMuxer = FourCC("muxr");
constexpr OSType kOrvel = FourCC("orvl");
constexpr OSType kDove = FourCC("Dove");

// Registers components for one test and unregisters them after it.
class ComponentsTest : public testing::Test {
protected:
    Component Register(OSType type, OSType subType, OSType manufacturer, long refcon, UInt32 flags = 0)
    {
        ComponentDescription description{type, subType, manufacturer, flags, 0};
        Component component = RegisterComponent(&description, refcon);
        mRegistered.push_back(component);
        return component;
    }
    void TearDown() override
    {
        for (Component component : mRegistered) {
            UnregisterComponent(component);
        }
    }
    // The components the description finds, in order, among this test's.
    std::vector<Component> FindAll(ComponentDescription description)
    {
        std::vector<Component> found;
        for (Component c = FindNextComponent(nullptr, &description); c != nullptr;
             c = FindNextComponent(c, &description)) {
            for (Component mine : mRegistered) {
                if (c == mine) {
                    found.push_back(c);
                }
            }
        }
        return found;
    }

    std::vector<Component> mRegistered;
};

TEST_F(ComponentsTest, FindTreatsZeroFieldsAsWildcardsAndKeepsRegistrationOrder)
{
    Component muxer = Register(kMuxer, kOrvel, kDove, 1);
    Component otherMuxer = Register(kMuxer, FourCC("abcd"), kDove, 2);
    Component sound = Register(FourCC("sdev"), FourCC("halx"), FourCC("xxxx"), 3, 0x4);
    Component second = Register(kMuxer, kOrvel, FourCC("Othr"), 4);

    struct Case {
        ComponentDescription looking;
        std::vector<Component> expected;
    } cases[] = {
        {{kMuxer, kOrvel, kDove, 0, 0}, {muxer}},
        {{kMuxer, 0, 0, 0, 0}, {muxer, otherMuxer, second}},
        {{kMuxer, kOrvel, 0, 0, 0}, {muxer, second}},
        {{0, 0, kDove, 0, 0}, {muxer, otherMuxer}},
        {{0, 0, 0, 0, 0}, {muxer, otherMuxer, sound, second}},
        {{0, 0, 0, 0x4, 0x4}, {sound}},
        {{0, 0, 0, 0x0, 0x4}, {muxer, otherMuxer, second}},
        {{FourCC("none"), 0, 0, 0, 0}, {}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(FindAll(test.looking), test.expected);
    }
    // A component the manager does not know ends the walk.
    ComponentDescription any{};
    EXPECT_EQ(FindNextComponent(reinterpret_cast<Component>(&any), &any), nullptr);
}

TEST_F(ComponentsTest, OpenGivesAnInstanceThatReadsItsComponentsRefcon)
{
    int muxerObject = 0;
    Component muxer = Register(kMuxer, kOrvel, kDove, reinterpret_cast<long>(&muxerObject));
    ComponentInstance instance = OpenComponent(muxer);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(CountComponentInstances(muxer), 1);
    EXPECT_EQ(GetComponentRefcon(instance), reinterpret_cast<long>(&muxerObject));
    EXPECT_EQ(GetComponentRefcon(muxer), reinterpret_cast<long>(&muxerObject));
    // The driver passes the component where an instance is expected.
    EXPECT_EQ(GetComponentRefcon(reinterpret_cast<ComponentInstance>(muxer)), reinterpret_cast<long>(&muxerObject));
    SetComponentRefcon(instance, 77);
    EXPECT_EQ(GetComponentRefcon(muxer), 77);
    EXPECT_EQ(CloseComponent(instance), noErr);
    EXPECT_EQ(CountComponentInstances(muxer), 0);
}

TEST_F(ComponentsTest, UnknownReferencesGetAStatusAndChangeNothing)
{
    Component muxer = Register(kMuxer, kOrvel, kDove, 5);
    ComponentInstance instance = OpenComponent(muxer);
    EXPECT_EQ(CloseComponent(instance), noErr);
    EXPECT_EQ(CloseComponent(instance), invalidComponentID);
    EXPECT_EQ(CloseComponent(nullptr), invalidComponentID);
    EXPECT_EQ(GetComponentRefcon(static_cast<ComponentInstance>(nullptr)), 0);
    SetComponentRefcon(static_cast<ComponentInstance>(nullptr), 9);
    EXPECT_EQ(GetComponentRefcon(muxer), 5);
    EXPECT_EQ(OpenComponent(nullptr), nullptr);
    EXPECT_EQ(RegisterComponent(nullptr, 0), nullptr);
}

struct HookLog {
    std::vector<ComponentInstance> opened;
    std::vector<ComponentInstance> closed;
};

void OnOpen(Component, ComponentInstance instance, void* data) { static_cast<HookLog*>(data)->opened.push_back(instance); }
void OnClose(Component component, ComponentInstance instance, void* data)
{
    // The manager's lock is not held: the hook may call back into it.
    EXPECT_NE(GetComponentRefcon(component), 0);
    static_cast<HookLog*>(data)->closed.push_back(instance);
}

TEST_F(ComponentsTest, HooksTellTheProviderWhoOpensAndClosesEvenAfterUnregistering)
{
    HookLog log;
    ComponentDescription description{kMuxer, kOrvel, kDove, 0, 0};
    Component muxer = RegisterComponent(&description, 8, OnOpen, OnClose, &log);
    ComponentInstance first = OpenComponent(muxer);
    ComponentInstance second = OpenComponent(muxer);
    EXPECT_EQ(log.opened, (std::vector<ComponentInstance>{first, second}));

    EXPECT_EQ(UnregisterComponent(muxer), noErr);
    EXPECT_EQ(UnregisterComponent(muxer), invalidComponentID);
    EXPECT_EQ(FindNextComponent(nullptr, &description) == muxer, false);
    EXPECT_EQ(OpenComponent(muxer), nullptr);
    // Open instances stay usable until closed.
    EXPECT_EQ(GetComponentRefcon(first), 8);
    EXPECT_EQ(CloseComponent(first), noErr);
    EXPECT_EQ(CloseComponent(second), noErr);
    EXPECT_EQ(log.closed, (std::vector<ComponentInstance>{first, second}));
}

TEST_F(ComponentsTest, OpenAndCloseFromManyThreads)
{
    Component muxer = Register(kMuxer, kOrvel, kDove, 6);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ComponentInstance instance = OpenComponent(muxer);
                if (instance == nullptr || GetComponentRefcon(instance) != 6 || CloseComponent(instance) != noErr) {
                    ++failures;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(CountComponentInstances(muxer), 0);
}

} // namespace
