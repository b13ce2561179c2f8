#include "preview/PreviewNotice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string NoticeOf(const std::string& Job) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText(Job);
  return TPreviewNotice(cutter->Unread(), cutter->Contours()).Text();
}

}  // namespace

TEST(TPreviewNotice, SaysWhatThePictureLeavesOut) {
  EXPECT_EQ(NoticeOf("IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@"), "");
  EXPECT_EQ(NoticeOf(""), "");
  EXPECT_EQ(NoticeOf("PU0,0;PD40,40;CI40;"),
            "The preview leaves out 1 command a cutter may act on (first: CI40 at byte offset 14).");
  EXPECT_EQ(NoticeOf("PU0,0;PD40,40;ci40;pa0,0;"),
            "The preview leaves out 2 commands a cutter may act on (first: ci40 at byte offset 14).");
  // No cut at all: the empty page is not left to speak for itself. A contour of one
  // point draws nothing either.
  EXPECT_EQ(NoticeOf("PD;PA0,4000,2000,4000;"),
            "The preview shows no cut, but the job holds 1 command a cutter may act on (first: PA0,4000,2000,4000 at "
            "byte offset 3).");
  EXPECT_EQ(NoticeOf("PU0,0;PD0,0;CI40"),
            "The preview shows no cut, but the job holds 1 command a cutter may act on "
            "(first: CI40 at byte offset 12).");
}

TEST(TPreviewNotice, ShowsALongOrOddTokenShortAndPrintable) {
  EXPECT_EQ(NoticeOf("PD40,40;PE\x01\x7f" + std::string(40, '?') + ";"),
            "The preview leaves out 1 command a cutter may act on (first: PE??" + std::string(20, '?') +
                "... at byte offset 8).");
}
