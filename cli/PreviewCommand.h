#pragma once
// `korvex-cli preview FILE OUT.png|- [--width W --height H] [--box-only]`: the preview box
// with its two rulers as the window places them, written as PNG without a display.

#include "preview/PreviewNotice.h"
#include "raster/Bitmap32.h"

#include <iosfwd>
#include <string>
#include <vector>

// What `korvex-cli preview --help` prints; its first line is the synopsis.
extern const char kPreviewHelp[];

// The job's preview in a Width x Height box. With rulers the picture is (Width + 19) x
// (Height + 19): the top ruler at (19, 0), the left ruler at (0, 19), the box at
// (19, 19) and the corner in the button-face colour. Needs fonts (THeadlessFonts).
// Notice, when given, learns what the picture leaves out of the job.
TBitmap32 PreviewPicture(const std::string& JobText, int Width, int Height, bool BoxOnly,
                         TPreviewNotice* Notice = nullptr);

// Args follow the subcommand name. Answers the exit status: 0, 1 when the picture
// cannot be written, 2 for bad usage or an unreadable file.
int RunPreviewCommand(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out, std::ostream& Err);
