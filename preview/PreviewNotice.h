#pragma once
// The one line under the preview that says what it leaves out of a job, so that nobody
// takes a picture with missing cuts for the whole job.

#include "geometry/RawCutGeo.h"
#include "geometry/VirtualCutterPort.h"

#include <string>

class TPreviewNotice {
public:
  TPreviewNotice() = default;
  // From what the interpreter left out and the contour list it made (nil for an empty
  // text).
  TPreviewNotice(const TUnreadCommands& Unread, const TSimpleContourList* List);

  bool Empty() const { return FUnread.Count == 0; }
  const TUnreadCommands& Unread() const { return FUnread; }
  // Whether the picture holds at least one cut.
  bool DrawsCut() const { return FDrawsCut; }
  // "The preview leaves out 12 commands a cutter may act on (first: PA0,4000 at byte
  // offset 4)."; a job whose preview draws no cut at all says so. Empty when nothing is
  // left out.
  std::string Text() const;

private:
  TUnreadCommands FUnread;
  bool FDrawsCut = false;
};
