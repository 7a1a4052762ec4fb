#include "dialog_template.h"

#include <cstring>

namespace qvtest {

namespace {

// A bounded cursor over the resource bytes: every read checks the remaining length first.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t offset() const { return offset_; }

    template <typename T>
    T Read() {
        T value{};
        if (!ok_ || size_ - offset_ < sizeof(T)) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }

    void AlignTo(std::size_t alignment) {
        const std::size_t aligned = (offset_ + alignment - 1) / alignment * alignment;
        if (aligned > size_) {
            ok_ = false;
            return;
        }
        offset_ = aligned;
    }

    void Skip(std::size_t count) {
        if (!ok_ || size_ - offset_ < count) {
            ok_ = false;
            return;
        }
        offset_ += count;
    }

    // A NUL-terminated UTF-16 string, converted to the ANSI code page.
    std::string ReadWideString() {
        std::wstring wide;
        for (;;) {
            const auto unit = Read<std::uint16_t>();
            if (!ok_ || unit == 0) break;
            wide.push_back(static_cast<wchar_t>(unit));
        }
        if (wide.empty()) return {};
        const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                                 nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        if (length > 0) {
            ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length, nullptr,
                                  nullptr);
        }
        return narrow;
    }

    // sz_Or_Ord: 0x0000 (absent), 0xFFFF followed by an ordinal, or a string.
    std::string ReadNameOrOrdinal(bool predefinedClass = false) {
        const auto first = Read<std::uint16_t>();
        if (!ok_ || first == 0) return {};
        if (first == 0xFFFF) {
            const auto ordinal = Read<std::uint16_t>();
            if (predefinedClass) {
                static const char* const kClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
                if (ordinal >= 0x80 && ordinal <= 0x85) return kClasses[ordinal - 0x80];
            }
            std::string text = std::to_string(ordinal);
            text.insert(text.begin(), '#');
            return text;
        }
        offset_ -= sizeof(std::uint16_t);
        return ReadWideString();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

}  // namespace

std::optional<DialogTemplate> ReadDialogTemplate(HMODULE module, int id, WORD language) {
    HRSRC info = ::FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(id), language);
    if (info == nullptr) return std::nullopt;
    const DWORD size = ::SizeofResource(module, info);
    HGLOBAL handle = ::LoadResource(module, info);
    const void* bytes = handle != nullptr ? ::LockResource(handle) : nullptr;
    if (bytes == nullptr || size == 0) return std::nullopt;

    Reader in(static_cast<const std::uint8_t*>(bytes), size);
    DialogTemplate dialog;
    std::uint16_t count = 0;
    const auto first = in.Read<std::uint16_t>();
    const auto second = in.Read<std::uint16_t>();
    dialog.extended = first == 1 && second == 0xFFFF;
    if (dialog.extended) {
        in.Read<std::uint32_t>();  // the dialog's help id
        dialog.exStyle = in.Read<std::uint32_t>();
        dialog.style = in.Read<std::uint32_t>();
    } else {
        dialog.style = static_cast<std::uint32_t>(first) | (static_cast<std::uint32_t>(second) << 16);
        dialog.exStyle = in.Read<std::uint32_t>();
    }
    count = in.Read<std::uint16_t>();
    dialog.x = in.Read<std::int16_t>();
    dialog.y = in.Read<std::int16_t>();
    dialog.cx = in.Read<std::int16_t>();
    dialog.cy = in.Read<std::int16_t>();
    dialog.menu = in.ReadNameOrOrdinal();
    dialog.className = in.ReadNameOrOrdinal();
    dialog.caption = in.ReadWideString();
    if ((dialog.style & (DS_SETFONT | DS_SHELLFONT)) != 0) {
        dialog.pointSize = in.Read<std::uint16_t>();
        if (dialog.extended) {
            dialog.weight = in.Read<std::uint16_t>();
            dialog.italic = in.Read<std::uint8_t>();
            dialog.charset = in.Read<std::uint8_t>();
        }
        dialog.font = in.ReadWideString();
    }
    if (!in.ok()) return std::nullopt;

    for (std::uint16_t i = 0; i < count; ++i) {
        in.AlignTo(4);
        DialogControl control;
        if (dialog.extended) {
            control.helpId = in.Read<std::uint32_t>();
            control.exStyle = in.Read<std::uint32_t>();
            control.style = in.Read<std::uint32_t>();
        } else {
            control.style = in.Read<std::uint32_t>();
            control.exStyle = in.Read<std::uint32_t>();
        }
        control.x = in.Read<std::int16_t>();
        control.y = in.Read<std::int16_t>();
        control.cx = in.Read<std::int16_t>();
        control.cy = in.Read<std::int16_t>();
        control.id = dialog.extended ? in.Read<std::uint32_t>() : in.Read<std::uint16_t>();
        control.className = in.ReadNameOrOrdinal(true);
        control.text = in.ReadNameOrOrdinal();
        const auto extra = in.Read<std::uint16_t>();
        in.Skip(extra);
        if (!in.ok()) return std::nullopt;
        dialog.controls.push_back(std::move(control));
    }
    return dialog;
}

}  // namespace qvtest
