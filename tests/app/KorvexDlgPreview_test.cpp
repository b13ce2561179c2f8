#include "app/KorvexDlg.h"
#include "platform/SystemColors.h"
#include "preview/PreviewRender.h"
#include "raster/PaintBox32.h"

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

std::string WriteJob(const std::string& name, const std::string& bytes) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

}  // namespace

TEST(KorvexFrmPreview, BoxesSitAtTheFormPositionsAndWaitForTheFirstPaint) {
  TKorvexFrm frm;
  EXPECT_EQ(frm.pb->geometry(), QRect(468, 32, 413, 473));
  EXPECT_EQ(frm.pbTopRuler->geometry(), QRect(468, 13, 413, 19));
  EXPECT_EQ(frm.pbLeftRuler->geometry(), QRect(449, 32, 19, 473));
  EXPECT_EQ(frm.pb->property("Tag").toInt(), 1);
  EXPECT_FALSE(frm.pbTopRuler->isVisibleTo(&frm));
  EXPECT_FALSE(frm.pbLeftRuler->isVisibleTo(&frm));
  ASSERT_NE(frm.FViewMatrix, nullptr);
  EXPECT_EQ(frm.FViewMatrix->Classification(), mcPositiveAxes | mcRectilinear | mcUnitScale | mcIdentity);
  EXPECT_EQ(WorkSpace().UnitIndex(), 0);
  EXPECT_EQ(WorkSpace().UnitAbbrev(), u" mm");
}

TEST(KorvexFrmPreview, FirstPaintDrawsTheJobAndShowsTheRulers) {
  TKorvexFrm frm;
  frm.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frm.pb->property("Tag").toInt() == 0; }));
  EXPECT_TRUE(frm.pbTopRuler->isVisible());
  EXPECT_TRUE(frm.pbLeftRuler->isVisible());
  EXPECT_FLOAT_EQ(frm.FViewMatrix->GetElements().dx, 40.0f);

  TBitmap32 box(413, 473), top(413, 19), left(19, 473);
  RebuildPreview(frm.JobText(), {box, top, left}, TMatrixObj::CreateIdentity(), WorkSpace());
  EXPECT_TRUE(SamePixels(frm.pb->Buffer(), box));
  EXPECT_TRUE(SamePixels(frm.pbTopRuler->Buffer(), top));
  EXPECT_TRUE(SamePixels(frm.pbLeftRuler->Buffer(), left));
  // Later paints draw nothing new.
  const IMatrixRef view = frm.FViewMatrix;
  frm.pb->repaint();
  EXPECT_EQ(frm.FViewMatrix, view);
}

TEST(KorvexFrmPreview, RedrawLoadAndEditing) {
  TKorvexFrm frm;
  frm.pbGDIOverlay();
  const TBitmap32 first = frm.pb->Buffer();
  frm.SpeedButton2->click();
  frm.SpeedButton2->click();
  EXPECT_TRUE(SamePixels(frm.pb->Buffer(), first));

  const std::string tall = WriteJob("korvex-tall.plt", "IN;PU0,0;PD8000,4000;");
  ASSERT_TRUE(frm.LoadJob(tall));
  EXPECT_FLOAT_EQ(frm.FViewMatrix->GetElements().m11, 393.0f / 200.0f);
  const IMatrixRef loaded = frm.FViewMatrix;
  const TBitmap32 top = frm.pbTopRuler->Buffer(), left = frm.pbLeftRuler->Buffer();

  frm.TntMemo1->setPlainText(QStringLiteral("IN;PU0,0;PD40,40;"));  // editing does not redraw
  EXPECT_EQ(frm.FViewMatrix, loaded);

  const std::string empty = WriteJob("korvex-empty.plt", "");
  ASSERT_TRUE(frm.LoadJob(empty));
  EXPECT_EQ(frm.FViewMatrix, loaded);  // the rulers keep the tall job's scale
  EXPECT_TRUE(SamePixels(frm.pbTopRuler->Buffer(), top));
  EXPECT_TRUE(SamePixels(frm.pbLeftRuler->Buffer(), left));
  EXPECT_EQ(frm.pb->Buffer().Pixel(206, 236), clBtnFace);  // the empty box
  std::filesystem::remove(tall);
  std::filesystem::remove(empty);
}
