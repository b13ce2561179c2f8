#include "PreviewNotice.h"

#include "platform/NumberText.h"

TPreviewNotice::TPreviewNotice(const TUnreadCommands& Unread, const TSimpleContourList* List) : FUnread(Unread) {
  for (std::ptrdiff_t i = 0; List && i < List->ContourCount() && !FDrawsCut; ++i)
    FDrawsCut = List->ContourAt(i)->PointCount() >= 2;
}

std::string TPreviewNotice::Text() const {
  if (Empty()) return {};
  const std::string commands =
      WholeNumber(FUnread.Count) + (FUnread.Count == 1 ? " command a cutter may act on" : " commands a cutter may act on");
  // The token as it stands in the job, control bytes shown as "?".
  std::string token = FUnread.FirstToken;
  for (char& c : token)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  if (FUnread.FirstLength > token.size()) token += "...";
  const std::string first = " (first: " + token + " at byte offset " + WholeNumber(FUnread.FirstOffset) + ").";
  if (!FDrawsCut) return "The preview shows no cut, but the job holds " + commands + first;
  return "The preview leaves out " + commands + first;
}
