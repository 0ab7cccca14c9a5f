#pragma once

#include "forms/Control.h"

#include <cstdint>
#include <string>

namespace kestovan::dialogs {

// Colours of the dialogs (&H00BBGGRR&).
inline constexpr std::uint32_t LightGrey = 0x00C0C0C0u;
inline constexpr std::uint32_t White = 0x00FFFFFFu;
inline constexpr std::uint32_t Black = 0x00000000u;
inline constexpr std::uint32_t DarkGrey = 0x00404040u;
inline constexpr std::uint32_t DarkBlue = 0x00400000u;
inline constexpr std::uint32_t DarkRed = 0x00000040u;
inline constexpr std::uint32_t MidGrey = 0x00808080u;
inline constexpr std::uint32_t DarkPurple = 0x00404080u;

// Sets a control's place, size and tab index (twips).
inline forms::Control& Place(forms::Control& control, int left, int top, int width, int height,
                             int tabIndex) {
    control.Position = {left, top, width, height};
    control.TabIndex = tabIndex;
    return control;
}

inline void SetFont(forms::Control& control, double size, bool bold) {
    control.Font.size = size;
    control.Font.bold = bold;
}

} // namespace kestovan::dialogs
