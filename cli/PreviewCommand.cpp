#include "PreviewCommand.h"

#include "platform/JobFile.h"
#include "platform/SystemColors.h"
#include "preview/PreviewRender.h"
#include "raster/HeadlessFonts.h"

#include <charconv>
#include <ostream>

namespace {

// The box must leave something inside its 80-pixel fitting margin, or the fit turns the
// picture over.
constexpr int kMinBoxSide = 81;
constexpr int kMaxBoxSide = 10000;

constexpr const char* kUsage = "usage: korvex-cli preview FILE OUT.png [--width W --height H] [--box-only]\n";

bool ParseSide(const std::string& Text, int& Side) {
  const char* end = Text.data() + Text.size();
  const auto result = std::from_chars(Text.data(), end, Side);
  return result.ec == std::errc() && result.ptr == end && Side >= kMinBoxSide && Side <= kMaxBoxSide;
}

}  // namespace

TBitmap32 PreviewPicture(const std::string& JobText, int Width, int Height, bool BoxOnly) {
  TBitmap32 box(Width, Height), top(Width, RulerBoxThickness), left(RulerBoxThickness, Height);
  TWorkSpace& space = WorkSpace();
  space.UseMillimetres();
  RebuildPreview(JobText, {box, top, left}, TMatrixObj::CreateIdentity(), space);
  if (BoxOnly) return box;
  TBitmap32 picture(Width + RulerBoxThickness, Height + RulerBoxThickness);
  picture.Clear(clBtnFace);
  top.CopyTo(picture, RulerBoxThickness, 0);
  left.CopyTo(picture, 0, RulerBoxThickness);
  box.CopyTo(picture, RulerBoxThickness, RulerBoxThickness);
  return picture;
}

int RunPreviewCommand(const std::vector<std::string>& Args, std::istream&, std::ostream&, std::ostream& Err) {
  std::vector<std::string> files;
  int width = PreviewBoxWidth, height = PreviewBoxHeight;
  bool boxOnly = false;
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    if (a == "--box-only") {
      boxOnly = true;
    } else if (a == "--width" || a == "--height") {
      if (i + 1 == Args.size() || !ParseSide(Args[++i], a == "--width" ? width : height)) {
        Err << "korvex-cli: " << a << " takes a whole number of pixels from " << kMinBoxSide << " to " << kMaxBoxSide
            << "\n"
            << kUsage;
        return 2;
      }
    } else if (a.size() > 1 && a.starts_with("--")) {
      Err << "korvex-cli: unknown option " << a << "\n" << kUsage;
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) {
    Err << kUsage;
    return 2;
  }
  std::string bytes, reason;
  if (!LoadJobFile(files[0], bytes, reason)) {
    Err << "korvex-cli: cannot read " << files[0] << ": " << reason << "\n";
    return 2;
  }
  const THeadlessFonts fonts;
  if (!SavePng(PreviewPicture(bytes, width, height, boxOnly), files[1], &reason)) {
    Err << "korvex-cli: cannot write " << files[1] << ": " << reason << "\n";
    return 1;
  }
  return 0;
}
