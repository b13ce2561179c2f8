#pragma once
// The system colours the preview and its rulers read, fixed to the classic scheme so
// that the same job always gives the same picture. Colours are 0xAARRGGBB.

#include <cstdint>

inline constexpr std::uint32_t clBtnFace = 0xFFF0F0F0;
inline constexpr std::uint32_t clBtnShadow = 0xFFA0A0A0;
inline constexpr std::uint32_t cl3DDkShadow = 0xFF696969;
inline constexpr std::uint32_t cl3DLight = 0xFFE3E3E3;
