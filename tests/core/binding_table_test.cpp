#include "binding_table.h"

#include <gtest/gtest.h>

namespace hotrelay {
namespace {

constexpr WindowId kWindow = 0x1000;
constexpr WindowId kOtherWindow = 0x2000;
constexpr ProcAddress kHostProc = 0x401000;
using Action = BindingTable::Leaving::Action;

HotkeyRecord Settings(std::uint32_t kind) {
    return {kModControl, 'A', kind, 0, {0, 0}, 0};
}

// A window bound once, as QVInit leaves it.
void BindNew(BindingTable& table, const HotkeyRecord& record, WindowId window, std::uint16_t atom) {
    ASSERT_TRUE(table.HasRoomFor(window));
    if (!table.InChain(window)) table.EnterChain(window, kHostProc);
    table.Add(&record, window, atom);
}

TEST(BindingTableRoute, NextIsWhatOursReplacedNotTheRecord) {
    BindingTable table;
    HotkeyRecord record = Settings(kSingleClick);
    BindNew(table, record, kWindow, 0xC001);
    // The host writes an old copy of the record back: nothing of it is read for forwarding.
    record.previousProc = 0x10;
    record.atom = 0xC0FF;
    const BindingTable::Route route = table.RouteOf(kWindow);
    EXPECT_EQ(route.next, kHostProc);
    EXPECT_EQ(route.record, &record);
    EXPECT_EQ(table.RouteOf(kOtherWindow).next, 0u);
    EXPECT_EQ(table.RouteOf(kOtherWindow).record, nullptr);
}

TEST(BindingTableRoute, TheMostRecentBindingOnAWindowIsInForce) {
    BindingTable table;
    HotkeyRecord a = Settings(kSingleClick), b = Settings(kMouseOver);
    BindNew(table, a, kWindow, 1);
    BindNew(table, b, kWindow, 2);
    EXPECT_EQ(table.RouteOf(kWindow).record, &b);

    const auto releaseB = table.Remove(&b);
    ASSERT_TRUE(releaseB);
    EXPECT_EQ(releaseB->atom, 2u);
    EXPECT_EQ(releaseB->property, &a);
    EXPECT_FALSE(releaseB->lastOnWindow);
    EXPECT_EQ(table.RouteOf(kWindow).record, &a);
    EXPECT_EQ(table.Leave(kWindow, true).action, Action::Stay);  // a is still bound

    const auto releaseA = table.Remove(&a);
    ASSERT_TRUE(releaseA);
    EXPECT_EQ(releaseA->property, nullptr);
    EXPECT_TRUE(releaseA->lastOnWindow);
    EXPECT_FALSE(table.Remove(&a));
}

TEST(BindingTableLeave, LastBindingGoneByWhatIsOnTop) {
    const struct {
        const char* what;
        bool oursInstalled;
        Action action;
        ProcAddress next;
    } cases[] = {
        {"ours installed: the window is handed back", true, Action::Restore, kHostProc},
        {"another procedure on top: ours stays and the library mapped", false, Action::Pin, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BindingTable table;
        HotkeyRecord record = Settings(kSingleClick);
        BindNew(table, record, kWindow, 1);
        ASSERT_TRUE(table.Remove(&record));
        const BindingTable::Leaving leaving = table.Leave(kWindow, c.oursInstalled);
        EXPECT_EQ(leaving.action, c.action);
        EXPECT_EQ(leaving.next, c.next);
        // Until the window is forgotten, a message that entered ours still goes on to the host's
        // procedure, with nothing to act on.
        EXPECT_TRUE(table.InChain(kWindow));
        EXPECT_EQ(table.RouteOf(kWindow).next, kHostProc);
        EXPECT_EQ(table.RouteOf(kWindow).record, nullptr);
        EXPECT_EQ(table.NextProc(kWindow), kHostProc);
        table.ForgetChain(kWindow);
        EXPECT_FALSE(table.InChain(kWindow));
        EXPECT_TRUE(table.Empty());
    }
}

TEST(BindingTableRoute, UnroutedGoesToTheProcedureInstalled) {
    constexpr ProcAddress kOurs = 0x10001000;
    const struct {
        const char* what;
        ProcAddress installed;
        ProcAddress expected;
    } cases[] = {
        {"handed back to the host", kHostProc, kHostProc},
        {"another procedure on top", 0x402000, 0x402000},
        {"still ours: default processing", kOurs, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BindingTable::Unrouted(c.installed, kOurs), c.expected);
    }
}

TEST(BindingTableLeave, PinnedWindowBindsAgainWithoutReinstall) {
    BindingTable table;
    HotkeyRecord record = Settings(kSingleClick);
    BindNew(table, record, kWindow, 1);
    ASSERT_TRUE(table.Remove(&record));
    ASSERT_EQ(table.Leave(kWindow, false).action, Action::Pin);

    // Bound again (how a changed hotkey takes effect): ours is not installed a second time, and
    // messages still go on to the host's procedure, never round the chain.
    HotkeyRecord again = Settings(kDoubleClick);
    ASSERT_TRUE(table.HasRoomFor(kWindow));
    EXPECT_TRUE(table.InChain(kWindow));
    table.Add(&again, kWindow, 3);
    EXPECT_EQ(table.RouteOf(kWindow).next, kHostProc);
    EXPECT_EQ(table.RouteOf(kWindow).record, &again);
    EXPECT_EQ(table.NextProc(kWindow), kHostProc);
}

TEST(BindingTableDestroy, OursInstalledRestoresAndUnbinds) {
    BindingTable table;
    HotkeyRecord record = Settings(kSingleClick);
    BindNew(table, record, kWindow, 1);
    const BindingTable::Destroying destroying = table.OnDestroy(kWindow, true);
    EXPECT_TRUE(destroying.restore);
    EXPECT_EQ(destroying.next, kHostProc);
    EXPECT_FALSE(table.InChain(kWindow));
    // The hotkey and atom wait for QVUninit, which must not touch the dead window's property.
    const auto release = table.Remove(&record);
    ASSERT_TRUE(release);
    EXPECT_EQ(release->atom, 1u);
    EXPECT_FALSE(release->windowAlive);
    EXPECT_EQ(table.Leave(kWindow, false).action, Action::Stay);
}

TEST(BindingTableDestroy, UnderAnotherForwardsUntilTheEnd) {
    BindingTable table;
    HotkeyRecord record = Settings(kSingleClick);
    BindNew(table, record, kWindow, 1);
    const BindingTable::Destroying destroying = table.OnDestroy(kWindow, false);
    EXPECT_FALSE(destroying.restore);
    EXPECT_EQ(destroying.next, kHostProc);
    EXPECT_EQ(table.RouteOf(kWindow).next, kHostProc);
    EXPECT_EQ(table.RouteOf(kWindow).record, nullptr);
    EXPECT_EQ(table.OnFinalDestroy(kWindow), kHostProc);
    // The handle may name a new window from now on: it starts afresh.
    EXPECT_FALSE(table.InChain(kWindow));
    HotkeyRecord fresh = Settings(kMouseOver);
    BindNew(table, fresh, kWindow, 2);
    EXPECT_EQ(table.RouteOf(kWindow).record, &fresh);
}

TEST(BindingTableUnload, HandsOutEverythingMostRecentFirst) {
    BindingTable table;
    HotkeyRecord a = Settings(kSingleClick), b = Settings(kSingleClick);
    BindNew(table, a, kWindow, 1);
    BindNew(table, b, kOtherWindow, 2);
    const auto first = table.TakeLastBinding();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->record, &b);
    EXPECT_EQ(first->window, kOtherWindow);
    ASSERT_TRUE(table.TakeLastBinding());
    EXPECT_FALSE(table.TakeLastBinding());
    const auto chain = table.LastChain();
    ASSERT_TRUE(chain);
    EXPECT_EQ(chain->window, kOtherWindow);
    EXPECT_EQ(chain->next, kHostProc);
    // Still routed until forgotten: a message on its way in finds where to go on to.
    EXPECT_EQ(table.RouteOf(kOtherWindow).next, kHostProc);
    table.ForgetChain(chain->window);
    ASSERT_TRUE(table.LastChain());
    table.ForgetChain(table.LastChain()->window);
    EXPECT_TRUE(table.Empty());
}

TEST(BindingTableChain, AFailedInstallLeavesNoTrace) {
    BindingTable table;
    ASSERT_TRUE(table.HasRoomFor(kWindow));
    table.EnterChain(kWindow, kHostProc);
    table.ForgetChain(kWindow);
    EXPECT_FALSE(table.InChain(kWindow));
    EXPECT_TRUE(table.Empty());
}

TEST(BindingTableCapacity, FullTableRefusesOneAndKeepsTheRest) {
    BindingTable table;
    static HotkeyRecord records[kMaxBindings + 1];
    // Stacked on one window: one chain, every binding in force in turn.
    for (std::size_t i = 0; i < kMaxBindings; ++i)
        BindNew(table, records[i], kWindow, static_cast<std::uint16_t>(i + 1));
    EXPECT_FALSE(table.HasRoomFor(kWindow));
    EXPECT_FALSE(table.HasRoomFor(kOtherWindow));
    EXPECT_EQ(table.RouteOf(kWindow).record, &records[kMaxBindings - 1]);
    ASSERT_TRUE(table.Remove(&records[kMaxBindings - 1]));
    EXPECT_EQ(table.RouteOf(kWindow).record, &records[kMaxBindings - 2]);
    EXPECT_EQ(table.RouteOf(kWindow).next, kHostProc);
    // Room again: the refused binding can be made now.
    BindNew(table, records[kMaxBindings], kOtherWindow, 0xC000);
    EXPECT_EQ(table.RouteOf(kOtherWindow).record, &records[kMaxBindings]);
}

TEST(BindingTableCapacity, ChainedWindowsCountAgainstChainLimit) {
    BindingTable table;
    HotkeyRecord record = Settings(kSingleClick);
    // Every window keeps ours under another procedure after its binding went.
    for (std::size_t i = 0; i < kMaxChains; ++i) {
        const WindowId window = kWindow + i;
        BindNew(table, record, window, 1);
        ASSERT_TRUE(table.Remove(&record));
        ASSERT_EQ(table.Leave(window, false).action, Action::Pin);
    }
    EXPECT_FALSE(table.HasRoomFor(kWindow + kMaxChains)) << "a new window needs a chain entry";
    EXPECT_TRUE(table.HasRoomFor(kWindow)) << "a window already in the chain does not";
    EXPECT_EQ(table.OnFinalDestroy(kWindow), kHostProc);
    EXPECT_TRUE(table.HasRoomFor(kWindow + kMaxChains));
}

}  // namespace
}  // namespace hotrelay
