#include "app/JobMemo.h"
#include "app/KorvexDlg.h"
#include "platform/SystemColors.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

bool SamePixels(const TBitmap32& A, const TBitmap32& B) {
  return A.Width() == B.Width() && A.Height() == B.Height() &&
         std::equal(A.Bits(), A.Bits() + std::size_t(A.Width()) * A.Height(), B.Bits());
}

}  // namespace

TEST(KorvexFrmPreview, FirstPaintRedrawAndLoad) {
  TKorvexFrm frm;
  EXPECT_EQ(frm.pb->geometry(), QRect(468, 32, 413, 473));
  EXPECT_EQ(frm.pbTopRuler->geometry(), QRect(468, 13, 413, 19));
  EXPECT_EQ(frm.pbLeftRuler->geometry(), QRect(449, 32, 19, 473));
  EXPECT_FALSE(frm.pbTopRuler->isVisibleTo(&frm));
  EXPECT_EQ(frm.FViewMatrix->Classification(), mcPositiveAxes | mcRectilinear | mcUnitScale | mcIdentity);

  frm.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frm.pb->property("Tag").toInt() == 0; }));
  EXPECT_TRUE(frm.pbTopRuler->isVisible() && frm.pbLeftRuler->isVisible());
  TBitmap32 box(413, 473), top(413, 19), left(19, 473);
  RebuildPreview(frm.JobText(), {box, top, left}, TMatrixObj::CreateIdentity(), WorkSpace());
  EXPECT_TRUE(SamePixels(frm.pb->Buffer(), box) && SamePixels(frm.pbLeftRuler->Buffer(), left));
  frm.pb->repaint();  // later paints draw nothing new
  frm.SpeedButton2->click();
  EXPECT_TRUE(SamePixels(frm.pb->Buffer(), box) && SamePixels(frm.pbTopRuler->Buffer(), top));

  const auto path = std::filesystem::temp_directory_path() / "korvex-preview-load.plt";
  std::ofstream(path, std::ios::binary) << "IN;PU0,0;PD8000,4000;";
  ASSERT_TRUE(frm.LoadJob(path.string()));
  EXPECT_FLOAT_EQ(frm.FViewMatrix->GetElements().m11, 393.0f / 200.0f);
  const IMatrixRef loaded = frm.FViewMatrix;
  frm.TntMemo1->setPlainText(QStringLiteral("IN;PU0,0;PD40,40;"));  // editing does not redraw
  EXPECT_EQ(frm.FViewMatrix, loaded);
  std::filesystem::remove(path);
}

TEST(KorvexFrmPreview, ANoticeSaysWhatThePreviewLeavesOut) {
  TKorvexFrm frm;
  frm.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frm.pb->property("Tag").toInt() == 0; }));
  EXPECT_FALSE(frm.lbPreviewNotice->isVisible());  // the start job is drawn whole
  const auto path = std::filesystem::temp_directory_path() / "korvex-preview-notice.plt";
  auto load = [&](const std::string& Job) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << Job;
    EXPECT_TRUE(frm.LoadJob(path.string()));
    return frm.lbPreviewNotice->isVisible() ? frm.lbPreviewNotice->text().toStdString() : std::string();
  };
  // The jobs a cutter cuts while the preview shows nothing or only part of them.
  const char* partly[] = {"PD;PA0,4000,2000,4000;",
                          "PU;PA2000,0;PD;PA2000,4000;",
                          "PU0,0;PD;PR0,4000,2000,0;",
                          "PU0,0;PD0,4000 2000,4000;",
                          "pu0,0;pd0,4000,2000,4000;",
                          "PU0,0;PD0,4000,2000,4000",
                          "PU0,0;CI400;",
                          "PU0,0;AA0,0,90;",
                          "PU0,0;AR400,0,90;",
                          "PU0,0;PE<=_>;"};
  for (const char* job : partly) EXPECT_NE(load(job).find(" a cutter may act on (first: "), std::string::npos) << job;
  EXPECT_EQ(load("PU0,0;PD40,40;CI400;"),
            "The preview leaves out 1 command a cutter may act on (first: CI400 at byte offset 14).");
  EXPECT_EQ(load("IN;PU0,0;PD0,4000,2000,4000;PU0,0;SP1;@"), "");
  EXPECT_EQ(
      load("PU0,0;CI400;"),
      "The preview shows no cut, but the job holds 1 command a cutter may act on (first: CI400 at byte offset 6).");
  frm.SpeedButton2->click();  // Redraw keeps it
  EXPECT_TRUE(frm.lbPreviewNotice->isVisible());
  std::filesystem::remove(path);
}
