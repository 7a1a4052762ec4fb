// Hotrelay2's module-wide state and the pieces of the DLL that call each other.
#pragma once

#include <windows.h>

#include "binding_table.h"
#include "hotkey_record.h"
#include "qv_contract.h"
#include "win32_owner.h"

// The procedure installed on bound windows (assembly entry in window_proc.cpp).
extern "C" LRESULT CALLBACK HotrelayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace hotrelay {

extern HINSTANCE g_instance;

// Window property: the record bound on the window, as the host and other plug-ins may look it up. It is
// only published here: messages are routed through the binding table alone.
inline constexpr char kRecordProperty[] = "Hotrelay";

// The binding table, shared by the host's calls and the window procedure (which runs on whichever
// thread owns a window). Held only for table operations, never across a platform call. Changes take
// it exclusively (LockedTable); lookups share it (ReadTable), so that the messages of windows owned by
// different threads never wait for one another.
class LockedTable {
public:
    LockedTable() noexcept;
    BindingTable* operator->() const noexcept;

private:
    qv::ExclusiveLock lock_;
};

class ReadTable {
public:
    ReadTable() noexcept;
    const BindingTable* operator->() const noexcept;

private:
    qv::SharedLock lock_;
};

// Whether the window's procedure is ours now, not merely somewhere further down its chain.
bool OursInstalled(HWND window) noexcept;

// Binding of a record's hotkey to its object's window, and its release.
void Bind(const qv::ObjectRecord& object, HotkeyRecord& record) noexcept;
void Unbind(HotkeyRecord& record) noexcept;
// At library unload: releases every binding still in force and hands every window back its own
// procedure, without touching records the host may already have freed.
void ReleaseAllBindings() noexcept;

}  // namespace hotrelay
