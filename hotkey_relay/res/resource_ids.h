// Resource and control ids of Hotrelay2, shared by the resource script and the code.
#pragma once

#define IDD_HOTKEY_PROPERTIES 101
// Its caption, which the host's tour and the tests find the dialog by.
#define HOTKEY_PROPERTIES_CAPTION "Hotrelay Properties (Version 0.2.2 Build 4 Beta)"

#define IDC_HOTKEY_KEY 1001
#define IDC_MODIFIER_ALT 1002
#define IDC_MODIFIER_CTRL 1003
#define IDC_MODIFIER_SHIFT 1004
#define IDC_MODIFIER_WIN 1005
#define IDC_KIND_SINGLE_CLICK 1006
#define IDC_KIND_DOUBLE_CLICK 1007
#define IDC_KIND_MOUSE_OVER 1008
#define IDC_STATUS 1009

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
