// Hotrelay2's module-wide state and the pieces of the DLL that call each other.
#pragma once

#include <windows.h>

#include "hotkey_record.h"
#include "qv_contract.h"

namespace hotrelay {

extern HINSTANCE g_instance;

// Window properties: the bound record, and the procedure ours replaced (kept while ours is installed).
inline constexpr char kRecordProperty[] = "Hotrelay";
inline constexpr char kPreviousProcProperty[] = "HotrelayPreviousProc";

LRESULT CALLBACK HotrelayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Binding of a record's hotkey to its object's window, and its release.
void Bind(const qv::ObjectRecord& object, HotkeyRecord& record);
void Unbind(HotkeyRecord& record);
// At library unload: releases every binding still in force and hands every window back its own
// procedure, without touching records the host may already have freed.
void ReleaseAllBindings();

}  // namespace hotrelay
