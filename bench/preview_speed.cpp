// The preview of the generated one-line job of 1,000,000 cut segments in the window's
// 413 x 473 box: parse, DrawPreview and both rulers, against hp2xx drawing the same
// file as PNG in the same run (when it is installed: scripts/install-bench-deps).
//
// The anti-aliased lines alone are also timed two ways on the same contours: the kit's
// line on the pixel array, and QPainter on an image over the same buffer (one drawLine
// per segment, and one drawPolyline per contour).
//
// preview_speed [DIR] also writes the two line pictures to DIR to compare them by eye.

#include "bench/BenchJobs.h"
#include "geometry/VirtualCutterPort.h"
#include "preview/PreviewRender.h"
#include "raster/Bitmap32Image.h"
#include "raster/HeadlessFonts.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr int kHp2xxRuns = 3;

template <class F>
double BestSeconds(int Runs, F&& Pass) {
  double best = 1e30;
  for (int run = 0; run < Runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    Pass();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

enum class TPainterLines { Segments, Polylines };

void PainterContours(TBitmap32& Box, const TSimpleContourList& List, const IMatrix& View, TPainterLines How) {
  QImage image = ImageView(Box);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1.0));
  // Pixel centres at whole coordinates, as for the kit's line.
  painter.translate(0.5, 0.5);
  QPolygonF line;
  for (std::ptrdiff_t i = 0; i < List.ContourCount(); ++i) {
    const auto points = List.ContourAt(i)->Points();
    if (points.size() < 2) continue;
    line.clear();
    for (const TSimplePt& p : points) {
      const TVector2D q = View.TransformXY(p.X, p.Y);
      line.append(QPointF(q.X, q.Y));
    }
    if (How == TPainterLines::Polylines) {
      painter.drawPolyline(line);
    } else {
      for (qsizetype j = 1; j < line.size(); ++j) painter.drawLine(line[j - 1], line[j]);
    }
  }
}

bool Hp2xxInstalled() { return std::system("command -v hp2xx > /dev/null 2>&1") == 0; }

}  // namespace

int main(int argc, char** argv) {
  const THeadlessFonts fonts;
  const std::string job = MillionSegmentJob();
  const auto dir = std::filesystem::temp_directory_path() / "korvex-preview-speed";
  std::filesystem::create_directories(dir);
  const auto jobPath = dir / "million.plt", pngPath = dir / "million.png";
  WriteJobFile(jobPath, job);

  TWorkSpace& space = WorkSpace();
  space.UseMillimetres();
  TBitmap32 box(PreviewBoxWidth, PreviewBoxHeight), top(PreviewBoxWidth, RulerBoxThickness),
      left(RulerBoxThickness, PreviewBoxHeight);
  IMatrixRef view;
  const double previewSeconds = BestSeconds(kRuns, [&] {
    view = RebuildPreview(job, {box, top, left}, TMatrixObj::CreateIdentity(), space);
  });

  // The lines alone, on the same page background each time.
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText(job);
  const TSimpleContourList& list = *cutter->Contours();
  std::ptrdiff_t segments = 0;
  for (std::ptrdiff_t i = 0; i < list.ContourCount(); ++i)
    segments += std::max<std::ptrdiff_t>(list.ContourAt(i)->PointCount() - 1, 0);
  TBitmap32 wu = box, painted = box;
  const double wuSeconds = BestSeconds(kRuns, [&] {
    wu.Clear(0xFFFAFAFA);
    DrawContours(wu, list, *view);
  });
  const double segmentSeconds = BestSeconds(kRuns, [&] {
    painted.Clear(0xFFFAFAFA);
    PainterContours(painted, list, *view, TPainterLines::Segments);
  });
  const double polylineSeconds = BestSeconds(kRuns, [&] {
    painted.Clear(0xFFFAFAFA);
    PainterContours(painted, list, *view, TPainterLines::Polylines);
  });
  if (argc > 1) {
    SavePng(wu, (std::filesystem::path(argv[1]) / "lines-wu.png").string());
    SavePng(painted, (std::filesystem::path(argv[1]) / "lines-qpainter.png").string());
    SavePng(box, (std::filesystem::path(argv[1]) / "preview.png").string());
  }

  std::printf("job: %.1f MB on one line, %td segments\n", double(job.size()) / 1e6, segments);
  std::printf("parse + DrawPreview + rulers, 413 x 473:  %8.1f ms\n", previewSeconds * 1e3);
  std::printf("lines only, kit (Wu) on the pixel array:  %8.1f ms\n", wuSeconds * 1e3);
  std::printf("lines only, QPainter drawLine each:       %8.1f ms  (%.2f x the kit's time)\n", segmentSeconds * 1e3,
              segmentSeconds / wuSeconds);
  std::printf("lines only, QPainter drawPolyline:        %8.1f ms  (%.2f x the kit's time)\n", polylineSeconds * 1e3,
              polylineSeconds / wuSeconds);
  if (!Hp2xxInstalled()) {
    std::printf("hp2xx: not installed (scripts/install-bench-deps), no comparison\n");
    return 0;
  }
  const std::string command =
      "hp2xx -q -m png -f '" + pngPath.string() + "' '" + jobPath.string() + "' > /dev/null 2>&1";
  int status = 0;
  const double hp2xxSeconds = BestSeconds(kHp2xxRuns, [&] { status = std::system(command.c_str()); });
  if (status != 0) {
    std::printf("hp2xx failed (status %d), no comparison\n", status);
    return 1;
  }
  std::printf("hp2xx -m png of the same file:            %8.1f ms\n", hp2xxSeconds * 1e3);
  std::printf("ratio preview / hp2xx:                    %8.3f  (target: at most 0.5)\n",
              previewSeconds / hp2xxSeconds);
  return 0;
}
