#pragma once
// The preview of a job: its contours fitted into the preview box, drawn over a page area
// with a grid and a soft shadow inside a sunken frame, and the two rulers that give the
// millimetres at the box's edges. Everything is drawn into buffers; showing them is the
// caller's.

#include "geometry/RawCutGeo.h"
#include "geometry/VirtualCutterPort.h"
#include "preview/GlobalUnits.h"
#include "preview/MatrixClass.h"
#include "preview/PreviewNotice.h"
#include "raster/Bitmap32.h"

#include <cstddef>
#include <string_view>

// The window's preview box and the thickness of the ruler boxes beside it.
inline constexpr int PreviewBoxWidth = 413;
inline constexpr int PreviewBoxHeight = 473;
inline constexpr int RulerBoxThickness = 19;

// The buffers of the preview box and its two rulers, each of its paint box's size.
struct TPreviewBoxes {
  TBitmap32& Box;
  TBitmap32& TopRuler;
  TBitmap32& LeftRuler;
};

// Paints Box, which keeps its size, and answers the view matrix that fits List into it;
// a nil List paints the empty box and answers nullptr.
IMatrixRef DrawPreview(TBitmap32& Box, const TSimpleContourList* List);
// Both rulers from the view matrix, counting in the workspace's unit. A ruler that
// fails to draw shows its background only.
void DrawRulers(TBitmap32& TopRuler, TBitmap32& LeftRuler, const IMatrix& ViewMatrix, TWorkSpace& Space);
// A rebuild of the preview in steps, so that the window can go on answering between
// them while a big job is drawn. Step by step it paints exactly what RebuildPreview
// paints at once; the boxes show nothing of it until the caller shows them.
class TPreviewRebuild {
 public:
  TPreviewRebuild(std::string_view JobText, const TPreviewBoxes& Boxes, IMatrixRef ViewMatrix, TWorkSpace& Space);
  TPreviewRebuild(const TPreviewRebuild&) = delete;
  TPreviewRebuild& operator=(const TPreviewRebuild&) = delete;

  // Does the next part: the tokens in about Bytes more of the text, the page, at most
  // Segments line segments of the contours, or the frame and rulers. The text must stay
  // as it is until the interpretation is done. False once the picture is complete.
  bool Step(std::size_t Segments, std::size_t Bytes);
  // The share of the work done, from 0 to 1.
  double Progress() const;
  // Whether the next step may still read the job text.
  bool ReadsText() const { return FPhase == TPhase::Begin || FPhase == TPhase::Interpret; }
  // Once complete: the view matrix to keep (as RebuildPreview answers it) and what the
  // picture leaves out.
  const IMatrixRef& ViewMatrix() const { return FViewMatrix; }
  const TPreviewNotice& Notice() const { return FNotice; }

 private:
  enum class TPhase { Begin, Interpret, Page, Contours, Finish, Done };

  std::string_view FJobText;
  TPreviewBoxes FBoxes;
  IMatrixRef FViewMatrix;
  TWorkSpace& FSpace;
  TPhase FPhase = TPhase::Begin;
  TReleasePtr<TVirtCutterObj> FCutter;  // with the contour list, lives as long as the rebuild
  TPreviewNotice FNotice;
  IMatrixRef FFitted;           // the job's own matrix, nullptr for an empty text
  std::ptrdiff_t FContour = 0;  // the next segment to draw: contour, then point
  std::size_t FPoint = 1;
  std::size_t FSegments = 0, FSegmentsDrawn = 0;
};

// Interprets the job text, draws box and rulers and answers the view matrix to keep:
// the job's own, or ViewMatrix itself (and so the old ruler scale) for an empty text.
// Notice, when given, learns what the picture leaves out.
IMatrixRef RebuildPreview(std::string_view JobText, const TPreviewBoxes& Boxes, IMatrixRef ViewMatrix,
                          TWorkSpace& Space, TPreviewNotice* Notice = nullptr);

// The page area: filled, with a grid line every 10 pixels from its bottom-right corner
// and every tenth line darker; none when it is under 20 pixels either way.
void DrawGrid(TBitmap32& Box, const TIntRect& Page);
// A soft shadow along the bottom and right of R, fading over 8 pixels.
void DrawDropShadow(TBitmap32& Box, const TIntRect& R);
// Every contour of two or more points as anti-aliased black lines from point to point,
// in list order; pen-up moves are not in the list, so they are not drawn.
void DrawContours(TBitmap32& Box, const TSimpleContourList& List, const IMatrix& ViewMatrix);
// The same from segment Point (ending at that point) of contour Contour on, at most
// Segments of them; moves both to the next segment and answers how many it drew.
std::size_t DrawContourSegments(TBitmap32& Box, const TSimpleContourList& List, const IMatrix& ViewMatrix,
                                std::ptrdiff_t& Contour, std::size_t& Point, std::size_t Segments);
// Two pixels of shade at the top and left, one of light at the bottom and right.
void DrawSunkenBorder(TBitmap32& Box);
