#include "PreviewCommand.h"

#include "cli/CommandArgs.h"
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

bool ParseSide(const std::string& Text, int& Side) {
  const char* end = Text.data() + Text.size();
  const auto result = std::from_chars(Text.data(), end, Side);
  return result.ec == std::errc() && result.ptr == end && Side >= kMinBoxSide && Side <= kMaxBoxSide;
}

// The help states these.
static_assert(PreviewBoxWidth == 413 && PreviewBoxHeight == 473 && RulerBoxThickness == 19 && kMinBoxSide == 81 &&
              kMaxBoxSide == 10000);

}  // namespace

const char kPreviewHelp[] =
    "usage: korvex-cli preview FILE OUT.png|- [--width W] [--height H] [--box-only]\n"
    "Draws the job in FILE as the window's preview box shows it, with its two rulers where the\n"
    "window places them, into the PNG file OUT.png (\"-\" writes it to standard output). Needs no\n"
    "display, whatever the environment names, and writes nothing else. When the job holds\n"
    "commands a cutter may act on that the preview does not draw, a sentence on standard error\n"
    "says how many and where the first one is.\n"
    "\n"
    "Options:\n"
    "  --width W        width of the preview box in pixels, 81 to 10000 (default 413)\n"
    "  --height H       height of the preview box in pixels, 81 to 10000 (default 473)\n"
    "  --box-only       only the box; by default the rulers are drawn above and left of it, 19\n"
    "                   pixels each\n"
    "  -h, --help       print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0    the PNG was written\n"
    "  1    the PNG could not be written\n"
    "  2    bad arguments or an unreadable file\n";

TBitmap32 PreviewPicture(const std::string& JobText, int Width, int Height, bool BoxOnly, TPreviewNotice* Notice) {
  TBitmap32 box(Width, Height), top(Width, RulerBoxThickness), left(RulerBoxThickness, Height);
  TWorkSpace& space = WorkSpace();
  space.UseMillimetres();
  RebuildPreview(JobText, {box, top, left}, TMatrixObj::CreateIdentity(), space, Notice);
  if (BoxOnly) return box;
  TBitmap32 picture(Width + RulerBoxThickness, Height + RulerBoxThickness);
  picture.Clear(clBtnFace);
  top.CopyTo(picture, RulerBoxThickness, 0);
  left.CopyTo(picture, 0, RulerBoxThickness);
  box.CopyTo(picture, RulerBoxThickness, RulerBoxThickness);
  return picture;
}

int RunPreviewCommand(const std::vector<std::string>& Args, std::istream&, std::ostream& Out, std::ostream& Err) {
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
            << "\n";
        WriteUsage(Err, kPreviewHelp);
        return 2;
      }
    } else if (a.size() > 1 && a.starts_with("--")) {
      Err << "korvex-cli: unknown option " << a << "\n";
      WriteUsage(Err, kPreviewHelp);
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) {
    Err << "korvex-cli: " << (files.empty()       ? "no job file given"
                              : files.size() == 1 ? "no picture file given (OUT.png, or - for standard output)"
                                                  : "unexpected argument: " + files[2])
        << "\n";
    WriteUsage(Err, kPreviewHelp);
    return 2;
  }
  std::string bytes, reason;
  if (!LoadJobFile(files[0], bytes, reason)) {
    Err << "korvex-cli: cannot read " << files[0] << ": " << reason << "\n";
    return 2;
  }
  const THeadlessFonts fonts;
  TPreviewNotice notice;
  const TBitmap32 picture = PreviewPicture(bytes, width, height, boxOnly, &notice);
  // Written whatever comes of the picture: it is about the job, not the file.
  if (!notice.Empty()) Err << notice.Text() << "\n";
  if (files[1] == "-") {
    std::string png;
    if (!EncodePng(picture, png)) {
      Err << "korvex-cli: the picture could not be encoded as PNG\n";
      return 1;
    }
    return WriteOutput(Out, png, Err) ? 0 : 1;
  }
  if (!SavePng(picture, files[1], &reason)) {
    Err << "korvex-cli: cannot write " << files[1] << ": " << reason << "\n";
    return 1;
  }
  return 0;
}
