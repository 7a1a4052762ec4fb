// Reads a dialog template back from a loaded module's resources and parses it, so that tests can
// compare what the build put into the DLL with the expected layout. Classic DLGTEMPLATE and extended
// DLGTEMPLATEEX templates are both understood.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvtest {

struct DialogControl {
    std::uint32_t style = 0, exStyle = 0, helpId = 0;  // helpId: extended templates only
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t id = 0;  // 16 bits in classic templates, 32 in extended ones
    // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the predefined ordinals,
    // "#n" for any other ordinal, else the name as written.
    std::string className;
    std::string text;  // "#n" when the text is an ordinal (a resource id)
};

struct DialogTemplate {
    bool extended = false;
    std::uint32_t style = 0, exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption;     // "#n" for ordinals, empty when absent
    std::uint16_t pointSize = 0, weight = 0;  // font fields only with DS_SETFONT (weight: extended only)
    std::uint8_t italic = 0, charset = 0;
    std::string font;
    std::vector<DialogControl> controls;
};

// The RT_DIALOG resource `id` in `language` of `module`; nothing if it is missing or malformed
// (every read is bounded by the resource's size).
std::optional<DialogTemplate> ReadDialogTemplate(HMODULE module, int id, WORD language);

}  // namespace qvtest
