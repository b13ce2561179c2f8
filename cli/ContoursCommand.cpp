#include "ContoursCommand.h"

#include "geometry/VirtualCutterPort.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>

namespace {

void AppendFloat(std::string& Out, float V) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(V));
  Out.append(buf, static_cast<std::size_t>(n));
}

// False with errno set when the file cannot be opened or read.
bool ReadFileBytes(const std::string& Path, std::string& Bytes) {
  std::FILE* f = std::fopen(Path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) Bytes.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  const int readErrno = errno;
  std::fclose(f);
  errno = readErrno;
  return !failed;
}

}  // namespace

std::string ContoursJson(const std::string& Bytes) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  std::string events;
  cutter->OnCutterEvent = [&events](std::int32_t Code, TVector2D, const std::string&) {
    if (!events.empty()) events += ", ";
    events += std::to_string(Code);
    return true;
  };
  cutter->ParseJobText(Bytes);

  std::string out = "{\"contours\": ";
  const TSimpleContourList* list = cutter->Contours();
  if (!list) {
    out += "null, \"bounds\": null";
  } else {
    out += '[';
    for (std::ptrdiff_t i = 0; i < list->ContourCount(); ++i) {
      const TSimpleContour* c = list->ContourAt(i);
      out += i ? ", {\"pen\": " : "{\"pen\": ";
      out += std::to_string(c->Pen);
      out += ", \"points\": [";
      for (std::ptrdiff_t j = 0; j < c->PointCount(); ++j) {
        const TVector2D p = AsVector(c->PointAt(j));
        out += j ? ", [" : "[";
        AppendFloat(out, p.X);
        out += ", ";
        AppendFloat(out, p.Y);
        out += ']';
      }
      out += "]}";
    }
    const TRect2D b = list->GetBounds();
    out += "], \"bounds\": [";
    AppendFloat(out, b.Left);
    out += ", ";
    AppendFloat(out, b.Top);
    out += ", ";
    AppendFloat(out, b.Right);
    out += ", ";
    AppendFloat(out, b.Bottom);
    out += ']';
  }
  out += ", \"events\": [" + events + "]}\n";
  return out;
}

int RunContoursCommand(const std::vector<std::string>& Args, std::istream& In, std::ostream& Out,
                       std::ostream& Err) {
  if (Args.size() != 1) {
    Err << "usage: korvex-cli contours FILE|-\n";
    return 2;
  }
  std::string bytes;
  if (Args[0] == "-") {
    bytes.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    if (In.bad()) {
      Err << "korvex-cli: cannot read standard input\n";
      return 2;
    }
  } else if (!ReadFileBytes(Args[0], bytes)) {
    Err << "korvex-cli: cannot read " << Args[0] << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  const std::string json = ContoursJson(bytes);
  Out.write(json.data(), static_cast<std::streamsize>(json.size()));
  Out.flush();
  if (!Out) {
    Err << "korvex-cli: cannot write the output\n";
    return 1;
  }
  return 0;
}
