#pragma once
// 32-bit ARGB off-screen bitmaps (0xAARRGGBB, rows top to bottom, no padding) and the
// drawing the preview and its rulers need. Every operation clips to the bitmap: none
// reads or writes outside it, whatever coordinates it is given.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TColor32 = std::uint32_t;

// Text that RenderText draws and TextWidth and TextHeight measure. Fonts are asked for
// by name and fall back to what the system offers.
struct TFont32 {
  std::string Name = "Tahoma";
  int Size = 8;  // points, at 96 pixels per inch
  bool Bold = false;
  TColor32 Color = 0xFF000000;
};

// Opacity (0 to 255) of each pixel of an 8 x 8 tile of black, row by row.
using TTile8 = std::array<std::uint8_t, 64>;

class TBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int Width, int Height) { SetSize(Width, Height); }

  // A new size; negative sizes count as 0. A changed size leaves every pixel 0.
  void SetSize(int Width, int Height);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TColor32* Bits() { return FBits.data(); }
  const TColor32* Bits() const { return FBits.data(); }

  // 0 outside the bitmap.
  TColor32 Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor32 Color);
  void Clear(TColor32 Color);
  // Right and bottom edges are not filled.
  void FillRect(int Left, int Top, int Right, int Bottom, TColor32 Color);
  // One pixel wide, from (X1, Y1) up to but not including (X2, Y2).
  void Line(int X1, int Y1, int X2, int Y2, TColor32 Color);
  // Darkens the Width x Height rectangle at (X, Y) by black of the tile's opacities,
  // the tile stretched to the rectangle.
  void BlendTile(const TTile8& Opacity, int X, int Y, int Width, int Height);
  // Anti-aliased line one pixel wide; pixel centres lie at whole coordinates. A line
  // with a coordinate that is not finite draws nothing.
  void LineAA(float X1, float Y1, float X2, float Y2, TColor32 Color);
  // A quarter turn counter-clockwise: pixel (x, y) goes to (y, Width - 1 - x).
  TBitmap32 QuarterTurn() const;
  // Copies every pixel into Target with this bitmap's top-left corner at (X, Y).
  void CopyTo(TBitmap32& Target, int X, int Y) const;

  TFont32 Font;
  int TextWidth(std::u16string_view Text) const;
  int TextHeight(std::u16string_view Text) const;
  // (X, Y) is the top-left corner of the text's line.
  void RenderText(int X, int Y, std::u16string_view Text);

 private:
  void Blend(int X, int Y, TColor32 Color, unsigned Alpha);

  int FWidth = 0;
  int FHeight = 0;
  std::vector<TColor32> FBits;
};

// The bitmap as PNG bytes; false when it cannot be encoded.
bool EncodePng(const TBitmap32& Bitmap, std::string& Png);
// Writes the bitmap as a PNG file; false, with the reason when asked for, when the file
// could not be written whole.
bool SavePng(const TBitmap32& Bitmap, const std::string& Path, std::string* Reason = nullptr);
