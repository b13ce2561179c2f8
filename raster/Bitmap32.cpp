#include "Bitmap32.h"

#include "Bitmap32Image.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

using i64 = std::int64_t;

// Half-open range [Lo, Hi) of Begin + Dir * t that lies in [0, Size), for t >= 0.
void StepRange(i64 Begin, int Dir, i64 Size, i64& Lo, i64& Hi) {
  if (Dir > 0) {
    Lo = std::max(Lo, -Begin);
    Hi = std::min(Hi, Size - Begin);
  } else if (Dir < 0) {
    Lo = std::max(Lo, Begin - Size + 1);
    Hi = std::min(Hi, Begin + 1);
  }
}

// Cuts the segment to the rectangle, one edge at a time and always from the end that
// stays, so that ends far out (1e30) still give exact cuts; false when nothing of it
// is inside.
bool ClipSegment(double& X0, double& Y0, double& X1, double& Y1, double Left, double Top, double Right, double Bottom) {
  // Moves end a to Edge along the line to end b; t stays within [0, 1].
  auto cut = [](double& A0, double& B0, double A1, double B1, double Edge) {
    B0 += (Edge - A0) / (A1 - A0) * (B1 - B0);
    A0 = Edge;
  };
  auto clip = [&](double& A0, double& B0, double& A1, double& B1, double Low, double High) {
    if ((A0 < Low && A1 < Low) || (A0 > High && A1 > High)) return false;
    if (A0 < Low)
      cut(A0, B0, A1, B1, Low);
    else if (A0 > High)
      cut(A0, B0, A1, B1, High);
    if (A1 < Low)
      cut(A1, B1, A0, B0, Low);
    else if (A1 > High)
      cut(A1, B1, A0, B0, High);
    return true;
  };
  if (!clip(X0, Y0, X1, Y1, Left, Right) || !clip(Y0, X0, Y1, X1, Top, Bottom)) return false;
  // A line that passes the rectangle by a corner leaves an end outside after both cuts.
  constexpr double slack = 1e-6;
  return X0 >= Left - slack && X0 <= Right + slack && X1 >= Left - slack && X1 <= Right + slack;
}

// Windows-style point sizes: pixels = points * 96 / 72, rounded.
QFont MakeFont(const TFont32& Font) {
  QFont font(QString::fromStdString(Font.Name));
  font.setPixelSize(std::max(1, (std::clamp(Font.Size, 1, 1000) * 96 + 36) / 72));
  font.setBold(Font.Bold);
  return font;
}

QString ToQString(std::u16string_view Text) {
  return QString::fromUtf16(Text.data(), static_cast<qsizetype>(Text.size()));
}

// Fonts exist only once a GUI application does; without one text is not drawn and
// measures 0.
bool FontsAvailable() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace

void TBitmap32::SetSize(int Width, int Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Width == FWidth && Height == FHeight) return;
  FBits.assign(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height), 0);
  FWidth = Width;
  FHeight = Height;
}

TColor32 TBitmap32::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  return FBits[static_cast<std::size_t>(Y) * FWidth + X];
}

void TBitmap32::SetPixel(int X, int Y, TColor32 Color) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  FBits[static_cast<std::size_t>(Y) * FWidth + X] = Color;
}

void TBitmap32::Clear(TColor32 Color) { std::fill(FBits.begin(), FBits.end(), Color); }

void TBitmap32::FillRect(int Left, int Top, int Right, int Bottom, TColor32 Color) {
  const int l = std::max(Left, 0), t = std::max(Top, 0);
  const int r = std::min(Right, FWidth), b = std::min(Bottom, FHeight);
  if (l >= r) return;
  for (int y = t; y < b; ++y) {
    TColor32* row = FBits.data() + static_cast<std::size_t>(y) * FWidth;
    std::fill(row + l, row + r, Color);
  }
}

void TBitmap32::Line(int X1, int Y1, int X2, int Y2, TColor32 Color) {
  const i64 dx = i64(X2) - X1, dy = i64(Y2) - Y1;
  const i64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int sx = dx < 0 ? -1 : dx > 0, sy = dy < 0 ? -1 : dy > 0;
  const bool xMajor = adx >= ady;
  const i64 steps = xMajor ? adx : ady, minor = xMajor ? ady : adx;
  // Only the steps whose major coordinate lies inside are walked, so a line reaching
  // far outside costs no more than one across the bitmap.
  i64 lo = 0, hi = steps;
  if (xMajor)
    StepRange(X1, sx, FWidth, lo, hi);
  else
    StepRange(Y1, sy, FHeight, lo, hi);
  for (i64 t = lo; t < hi; ++t) {
    // The minor coordinate rounded from the exact slope; 128 bits since both factors
    // may span the whole 32-bit range.
    const i64 m = static_cast<i64>((static_cast<__int128>(2 * t) * minor + steps) / (2 * steps));
    const i64 x = xMajor ? X1 + sx * t : X1 + sx * m;
    const i64 y = xMajor ? Y1 + sy * m : Y1 + sy * t;
    if (x >= 0 && y >= 0 && x < FWidth && y < FHeight) FBits[static_cast<std::size_t>(y * FWidth + x)] = Color;
  }
}

void TBitmap32::Blend(int X, int Y, TColor32 Color, unsigned Alpha) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight || Alpha == 0) return;
  TColor32& p = FBits[static_cast<std::size_t>(Y) * FWidth + X];
  // Per channel (c * (255 - Alpha) + n * Alpha + 127) / 255, the four channels side by
  // side in 16-bit lanes of one 64-bit word: a lane never exceeds 65152, so nothing
  // carries into the next, and (x + 1 + (x >> 8)) >> 8 is x / 255 exactly up to there.
  constexpr std::uint64_t lanes = 0x00FF00FF00FF00FFull, ones = 0x0001000100010001ull;
  auto spread = [](std::uint64_t C) {
    C = (C | (C << 16)) & 0x0000FFFF0000FFFFull;
    return (C | (C << 8)) & lanes;
  };
  const std::uint64_t x = spread(p) * (255 - Alpha) + spread(Color) * Alpha + 127 * ones;
  std::uint64_t q = ((x + ones + ((x >> 8) & lanes)) >> 8) & lanes;
  q = (q | (q >> 8)) & 0x0000FFFF0000FFFFull;
  p = static_cast<TColor32>(q | (q >> 16));
}

void TBitmap32::BlendTile(const TTile8& Opacity, int X, int Y, int Width, int Height) {
  if (Width <= 0 || Height <= 0) return;
  const i64 x0 = std::max<i64>(X, 0), y0 = std::max<i64>(Y, 0);
  const i64 x1 = std::min<i64>(i64(X) + Width, FWidth), y1 = std::min<i64>(i64(Y) + Height, FHeight);
  for (i64 y = y0; y < y1; ++y) {
    const i64 row = (y - Y) * 8 / Height;
    for (i64 x = x0; x < x1; ++x)
      Blend(int(x), int(y), 0xFF000000, Opacity[static_cast<std::size_t>(row * 8 + (x - X) * 8 / Width)]);
  }
}

// Xiaolin Wu's line: two pixels across the line at each step, shared by coverage; the
// ends are weighted by how far the line reaches into their pixels.
void TBitmap32::LineAA(float X1, float Y1, float X2, float Y2, TColor32 Color) {
  double x0 = X1, y0 = Y1, x1 = X2, y1 = Y2;
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
  if (FWidth == 0 || FHeight == 0) return;
  // Cut to the bitmap grown by two pixels: the cut ends then lie outside it.
  if (!ClipSegment(x0, y0, x1, y1, -2.0, -2.0, FWidth + 1.0, FHeight + 1.0)) return;
  const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
  }
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const double dx = x1 - x0;
  const double gradient = dx == 0.0 ? 0.0 : (y1 - y0) / dx;
  const unsigned alpha = Color >> 24;
  const TColor32 opaque = Color | 0xFF000000;
  auto plot = [&](i64 Major, i64 Minor, double Coverage) {
    const auto a = static_cast<unsigned>(Coverage * alpha + 0.5);
    if (steep)
      Blend(int(Minor), int(Major), opaque, a);
    else
      Blend(int(Major), int(Minor), opaque, a);
  };
  auto plotEnd = [&](double X, double Y, bool First) {
    const double xEnd = std::floor(X + 0.5);
    const double yEnd = Y + gradient * (xEnd - X);
    const double frac = X + 0.5 - std::floor(X + 0.5);
    const double gap = First ? 1.0 - frac : frac;
    const double yFloor = std::floor(yEnd);
    const double f = yEnd - yFloor;
    plot(i64(xEnd), i64(yFloor), (1.0 - f) * gap);
    plot(i64(xEnd), i64(yFloor) + 1, f * gap);
    return i64(xEnd);
  };
  const i64 first = plotEnd(x0, y0, true);
  const i64 last = plotEnd(x1, y1, false);
  double y = y0 + gradient * (double(first) - x0) + gradient;
  for (i64 x = first + 1; x < last; ++x, y += gradient) {
    const double yFloor = std::floor(y);
    const double f = y - yFloor;
    plot(x, i64(yFloor), 1.0 - f);
    plot(x, i64(yFloor) + 1, f);
  }
}

TBitmap32 TBitmap32::QuarterTurn() const {
  TBitmap32 turned(FHeight, FWidth);
  turned.Font = Font;
  for (int y = 0; y < FHeight; ++y)
    for (int x = 0; x < FWidth; ++x)
      turned.FBits[static_cast<std::size_t>(FWidth - 1 - x) * FHeight + y] =
          FBits[static_cast<std::size_t>(y) * FWidth + x];
  return turned;
}

void TBitmap32::CopyTo(TBitmap32& Target, int X, int Y) const {
  const i64 x0 = std::max<i64>(X, 0), y0 = std::max<i64>(Y, 0);
  const i64 x1 = std::min<i64>(i64(X) + FWidth, Target.FWidth), y1 = std::min<i64>(i64(Y) + FHeight, Target.FHeight);
  if (x0 >= x1) return;
  for (i64 y = y0; y < y1; ++y)
    std::memcpy(Target.FBits.data() + y * Target.FWidth + x0, FBits.data() + (y - Y) * FWidth + (x0 - X),
                static_cast<std::size_t>(x1 - x0) * sizeof(TColor32));
}

int TBitmap32::TextWidth(std::u16string_view Text) const {
  if (!FontsAvailable()) return 0;
  return QFontMetrics(MakeFont(Font)).horizontalAdvance(ToQString(Text));
}

int TBitmap32::TextHeight(std::u16string_view Text) const {
  // The height of the font's line, as the text's cell is tall whatever its letters.
  if (!FontsAvailable() || Text.empty()) return 0;
  return QFontMetrics(MakeFont(Font)).height();
}

void TBitmap32::RenderText(int X, int Y, std::u16string_view Text) {
  if (!FontsAvailable() || Text.empty()) return;
  QImage image = ImageView(*this);
  if (image.isNull()) return;
  const QFont font = MakeFont(Font);
  QPainter painter(&image);
  painter.setFont(font);
  painter.setPen(QColor::fromRgba(Font.Color));
  painter.drawText(X, Y + QFontMetrics(font).ascent(), ToQString(Text));
}

bool EncodePng(const TBitmap32& Bitmap, std::string& Png) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  const QImage image = ImageView(Bitmap);
  if (image.isNull() || !image.save(&buffer, "PNG")) return false;
  Png.assign(png.constData(), static_cast<std::size_t>(png.size()));
  return true;
}

bool SavePng(const TBitmap32& Bitmap, const std::string& Path, std::string* Reason) {
  const auto fail = [Reason](std::string why) {
    if (Reason) *Reason = std::move(why);
    return false;
  };
  std::string png;
  if (!EncodePng(Bitmap, png)) return fail("The picture could not be encoded as PNG.");
  // Written here rather than by QImage: its file does not report a write that failed
  // (a full disk gave an empty file and success).
  const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return fail(std::strerror(errno));
  std::size_t done = 0;
  while (done < png.size()) {
    const ssize_t n = ::write(fd, png.data() + done, png.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      return fail(std::strerror(error));
    }
    done += static_cast<std::size_t>(n);
  }
  // Some file systems report a failed write only when the file is closed.
  if (::close(fd) != 0) return fail(std::strerror(errno));
  return true;
}
