// Calculator: a sample plug-in whose export Key is the relay target of the calculator buttons on the
// reference host's default desktop (each button's parameter 1 is "Calculator.dll(Key)", its
// parameter 2 the character of its key). The object that names Calculator.dll directly is the
// display: QVInit hands the plug-in that object's window, whose text then shows the display.
#include <windows.h>

#include <cstdint>

#include "calculator_core.h"
#include "qv_contract.h"

namespace {

calculator::Calculator g_calculator;
HWND g_display = nullptr;  // the display object's window, from QVInit to QVUninit
std::int32_t g_displayId = 0;
volatile LONG g_keys = 0;  // keys received, for read-back
volatile LONG g_lastKey = 0;

void ShowDisplay() noexcept {
    // Display() views NUL-terminated text.
    if (g_display != nullptr) ::SetWindowTextA(g_display, g_calculator.Display().data());
}

constexpr char kDescription[] =
    "Calculator.\n\nA sample plugin: a small calculator. Give an object of any class this plugin to make "
    "it the calculator's display, and make each button an object of the class custom that relays through "
    "Hotrelay2 with parameter 1 Calculator.dll(Key) and parameter 2 the character code of its key "
    "(48-57 for the digits, 43 +, 45 -, 42 *, 47 /, 61 =, 67 C).";

}  // namespace

extern "C" {

// Relay target: one key, as the character code in the button's parameter 2.
std::int32_t __stdcall Key(std::uint32_t key) noexcept {
    ::InterlockedIncrement(&g_keys);
    ::InterlockedExchange(&g_lastKey, static_cast<LONG>(key));
    if (g_calculator.Press(key)) ShowDisplay();
    return qv::kOk;
}

// Read-back: the number of keys received, and the last one.
std::int32_t __stdcall KeyCount(std::uint32_t /*unused*/) noexcept {
    return g_keys;
}
std::int32_t __stdcall LastKey(std::uint32_t /*unused*/) noexcept {
    return g_lastKey;
}

std::int32_t __stdcall QVGetPluginInfo(std::uint32_t* recordSize, const char** description,
                                       std::uint32_t* flag) noexcept {
    if (recordSize != nullptr) *recordSize = 0;
    if (description != nullptr) *description = kDescription;
    if (flag != nullptr) *flag = 1;
    return qv::kOk;
}
std::int32_t __stdcall QVDefault(std::uint32_t /*hostValue*/, void* /*record*/) noexcept {
    return qv::kOk;
}
std::int32_t __stdcall QVInit(const qv::ObjectRecord* object, void* /*record*/) noexcept {
    if (object == nullptr || object->window == 0) return qv::kOk;
    g_display = reinterpret_cast<HWND>(static_cast<UINT_PTR>(object->window));
    g_displayId = object->id;
    ShowDisplay();
    return qv::kOk;
}
std::int32_t __stdcall QVCommand(std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) noexcept {
    return Key('C');
}
std::int32_t __stdcall QVUninit(const qv::ObjectRecord* object, void* /*record*/) noexcept {
    if (object != nullptr && object->id == g_displayId) g_display = nullptr;
    return qv::kOk;
}

}  // extern "C"
