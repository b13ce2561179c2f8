#include "geometry/VirtualCutterPort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

void PrintTo(const TVector2D& V, std::ostream* Os) { *Os << "(" << V.X << ", " << V.Y << ")"; }

namespace {

struct TContourSeen {
  std::int32_t Pen;
  std::vector<TVector2D> Points;
  bool operator==(const TContourSeen&) const = default;
};

struct TParseResult {
  std::vector<std::int32_t> Events;
  std::vector<TVector2D> EventPoints;
  bool HasList = false;
  std::vector<TContourSeen> Contours;
};

std::vector<TContourSeen> ContoursOf(const TSimpleContourList* List) {
  std::vector<TContourSeen> seen;
  for (std::ptrdiff_t i = 0; List && i < List->ContourCount(); ++i) {
    const TSimpleContour* c = List->ContourAt(i);
    TContourSeen s{c->Pen, {}};
    for (std::ptrdiff_t j = 0; j < c->PointCount(); ++j) s.Points.push_back(AsVector(c->PointAt(j)));
    seen.push_back(s);
  }
  return seen;
}

TParseResult Parse(const std::string& Text, bool ResetOrigin = false) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  TParseResult r;
  cutter->BuildContours = true;
  cutter->ResetOriginOnPage = ResetOrigin;
  cutter->OnCutterEvent = [&](std::int32_t Code, TVector2D Point, const std::string& EventText) {
    EXPECT_TRUE(EventText.empty());
    r.Events.push_back(Code);
    r.EventPoints.push_back(Point);
    return true;
  };
  cutter->ParseJobText(Text);
  r.HasList = cutter->Contours() != nullptr;
  r.Contours = ContoursOf(cutter->Contours());
  return r;
}

struct TJobCase {
  const char* Name;
  std::string Text;
  bool ResetOrigin;
  std::vector<TContourSeen> Contours;
  std::vector<std::int32_t> Events;
};

void PrintTo(const TJobCase& C, std::ostream* Os) { *Os << C.Name; }

class JobText : public testing::TestWithParam<TJobCase> {};

TEST_P(JobText, ContoursAndEvents) {
  const TJobCase& c = GetParam();
  const TParseResult r = Parse(c.Text, c.ResetOrigin);
  EXPECT_TRUE(r.HasList);
  EXPECT_EQ(r.Contours, c.Contours);
  EXPECT_EQ(r.Events, c.Events);
}

// Y comes from the first number, X from the second, 40 units to the millimetre.
const TJobCase kJobCases[] = {
    {"WorkedExample", "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;", false,
     {{0, {{0, 0}, {0.025f, 0.025f}}}, {0, {{100, 100}, {100.025f, 100.025f}}}},
     {2, 3, 2, 3, 2, 4}},
    // Pairs and commas
    {"LoneNumberDropped", "PD100,200,300;", false, {{0, {{0, 0}, {5, 2.5f}}}}, {3, 4}},
    {"InvalidPairEndsToken", "PD10,20.5,30,40;", false, {}, {4}},
    {"SpaceSplitsCommandFromNumbers", "PD 100,200;", false, {}, {4}},
    {"DoubleCommaEndsPair", "PD40,,80;", false, {}, {4}},
    {"TrailingCommasHarmless", "PD40,80,,,;", false, {{0, {{0, 0}, {2, 1}}}}, {3, 4}},
    {"HexAndSign", "PD$28,-x50,0x50,+0;", false, {{0, {{0, 0}, {-2, 1}, {0, 2}}}}, {3, 3, 4}},
    {"OutOfRangeNumber", "PD2147483648,0;PD40,-2147483649;", false, {}, {4}},
    {"NulByteInsideNumber", std::string("PD4\0,40;\0;PD40,40;", 18), false,
     {{0, {{0, 0}, {1, 1}}}}, {3, 4}},
    // Pen states
    {"BarePdAndPaDoNotCut", "PU0,0;PD;PA400,0;", false, {}, {2, 2, 4}},
    // A bare U raises nothing, so the contour stays open.
    {"OneLetterCommands", "U40,40;D80,80;U;D120,120;", false,
     {{0, {{1, 1}, {2, 2}, {3, 3}}}}, {2, 3, 3, 4}},
    {"ZeroLengthCutKeepsOnePoint", "PD0,0;", false, {{0, {{0, 0}}}}, {3, 4}},
    {"LowerCaseIgnored", "pd40,40;", false, {}, {4}},
    {"LastTokenWithoutSeparatorDropped", "PU0,0;PD40,40", false, {}, {2, 4}},
    // Relative mode
    {"RelativeMode", "PU0,0;PR;PD40,0,40,0;", false, {{0, {{0, 0}, {0, 1}, {0, 2}}}},
     {2, 3, 3, 4}},
    {"RelativeUntilAbsolute", "PR;PD40,0;R;PD40,0;PA;PD40,0;A;D0,40;", false,
     {{0, {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {1, 0}}}}, {3, 3, 3, 3, 4}},
    {"OneLetterMoveKeepsMode", "PR;PU40,0;UA;PD40,0;", false, {{0, {{0, 1}, {0, 2}}}},
     {2, 3, 4}},
    {"PrTakesNoNumbers", "PR40,0;PD40,0;", false, {{0, {{0, 0}, {0, 1}}}}, {3, 4}},
    // Page ends
    {"PageEndMovesOrigin", "PU400,0;PG;PD400,0;", false, {{0, {{0, 10}, {0, 20}}}},
     {2, 1, 3, 4}},
    {"PageEndResetsOrigin", "PU400,0;PG;PD400,0;", true, {{0, {{0, 0}, {0, 10}}}},
     {2, 1, 3, 4}},
    {"PageEndKeepsContourOpen", "PD40,0;!PG;PD40,0;@;PD40,0;", false,
     {{0, {{0, 0}, {0, 1}, {0, 2}, {0, 3}}}}, {3, 1, 3, 1, 3, 4}},
    {"RelativeIgnoresOrigin", "PU400,0;PG;PR;PD40,0;", false, {{0, {{0, 10}, {0, 11}}}},
     {2, 1, 3, 4}},
    // Pen changes close contours
    {"PenChangeClosesContour", "SP1;PU0,0;PD40,40;SP2;PD80,80;", false,
     {{1, {{0, 0}, {1, 1}}}, {2, {{1, 1}, {2, 2}}}}, {5, 2, 3, 5, 3, 4}},
    {"OnlyThreePens", "SP3;SP0;PD40,0;", false, {{0, {{0, 0}, {0, 1}}}}, {5, 3, 4}},
    {"CutterCommands", "CMD:10;FRAME;CMD:1;", false, {}, {6, 7, 4}},
    {"OnlySeparators", " ;\r\n;; ", false, {}, {4}},
};

INSTANTIATE_TEST_SUITE_P(Parse, JobText, testing::ValuesIn(kJobCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace

TEST(VirtCutter, EmptyTextRaisesNothingAndMakesNoList) {
  const TParseResult r = Parse("");
  EXPECT_FALSE(r.HasList);
  EXPECT_TRUE(r.Events.empty());
}

TEST(VirtCutter, EventPoints) {
  const TParseResult r = Parse("PU80,40;SP2;PG;PD40,0;");
  ASSERT_EQ(r.Events, (std::vector<std::int32_t>{2, 5, 1, 3, 4}));
  const std::vector<TVector2D> expected{{1, 2}, {2, 0}, {1, 2}, {1, 3}, {1, 3}};
  EXPECT_EQ(r.EventPoints, expected);
}

TEST(VirtCutter, StatePersistsAcrossCalls) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText("SP1;PU40,0;PD80,0;");
  // A new call closes the open contour but keeps position, pen and list.
  cutter->ParseJobText("PD120,0;");
  const auto seen = ContoursOf(cutter->Contours());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], (TContourSeen{1, {{0, 2}, {0, 3}}}));
}

TEST(VirtCutter, WithoutBuildContoursOnlyTheHookSees) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  int calls = 0;
  cutter->OnCutterEvent = [&](std::int32_t, TVector2D, const std::string&) {
    ++calls;
    return false;
  };
  cutter->ParseJobText("PD40,40;");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(cutter->Contours(), nullptr);
  EXPECT_FALSE(cutter->RaiseCutterEvent(ceFrame, {}, "x"));
  cutter->OnCutterEvent = nullptr;
  EXPECT_TRUE(cutter->RaiseCutterEvent(ceFrame, {}, "x"));
}

TEST(VirtCutter, ReplacingTheListFromTheHookClosesTheOpenContour) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  int cuts = 0;
  cutter->OnCutterEvent = [&](std::int32_t Code, TVector2D, const std::string&) {
    if (Code == ceCutMove && ++cuts == 1) cutter->SetContours(nullptr);
    return true;
  };
  cutter->ParseJobText("PD40,0,80,0;");
  // The second cut starts a contour in a fresh list instead of touching the freed one.
  EXPECT_EQ(ContoursOf(cutter->Contours()), (std::vector<TContourSeen>{{0, {{0, 1}, {0, 2}}}}));
}

TEST(VirtCutter, SetContoursTakesAndKeepsOwnership) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  auto list = std::make_unique<TSimpleContourList>();
  TSimpleContourList* raw = list.get();
  cutter->SetContours(std::move(list));
  EXPECT_EQ(cutter->Contours(), raw);
  cutter->SetContours(std::unique_ptr<TSimpleContourList>(raw));  // same list: no free
  EXPECT_EQ(cutter->Contours(), raw);
  cutter->BuildContours = true;
  cutter->ParseJobText("PD40,0;");
  EXPECT_EQ(raw->ContourCount(), 1);
}

namespace {

struct TPairCase {
  std::string Params;
  bool Ok;
  std::int32_t A, B;
  std::string Rest;
};

void PrintTo(const TPairCase& C, std::ostream* Os) { *Os << '"' << C.Params << '"'; }

class CoordPair : public testing::TestWithParam<TPairCase> {};

TEST_P(CoordPair, TakesOnePair) {
  const TPairCase& c = GetParam();
  std::string_view text = c.Params;
  std::int32_t a = 12345, b = 12345;
  ASSERT_EQ(TVirtCutterObj::TakeCoordPair(text, a, b), c.Ok);
  EXPECT_EQ(text, c.Rest);
  if (c.Ok) {
    EXPECT_EQ(a, c.A);
    EXPECT_EQ(b, c.B);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, CoordPair,
    testing::Values(TPairCase{"", false, 0, 0, ""}, TPairCase{"1,2", true, 1, 2, ""},
                    TPairCase{"1,2,3", true, 1, 2, "3"}, TPairCase{"1,2,,,3,4", true, 1, 2, "3,4"},
                    TPairCase{"1,2,", true, 1, 2, ""}, TPairCase{"1,,2", false, 0, 0, "2"},
                    TPairCase{",1,2", false, 0, 0, "2"}, TPairCase{"7", false, 0, 0, ""},
                    TPairCase{"$1F,x1f", true, 31, 31, ""},
                    TPairCase{"0x10,-0X10", true, 16, -16, ""},
                    TPairCase{"  -7, +8", true, -7, 8, ""},
                    TPairCase{"2147483647,-2147483648", true, 2147483647, INT32_MIN, ""},
                    TPairCase{"-$80000000,0", true, INT32_MIN, 0, ""},
                    TPairCase{"000000000000000000000001,2", true, 1, 2, ""},
                    TPairCase{"2147483648,0", false, 0, 0, ""},
                    TPairCase{"0,-2147483649", false, 0, 0, ""},
                    TPairCase{"$80000000,0", false, 0, 0, ""},
                    TPairCase{"99999999999999999999999,1", false, 0, 0, ""},
                    TPairCase{"1.5,2", false, 0, 0, ""}, TPairCase{"1e3,2", false, 0, 0, ""},
                    TPairCase{"-,1", false, 0, 0, ""}, TPairCase{"$,1", false, 0, 0, ""},
                    TPairCase{"0x,1", false, 0, 0, ""}, TPairCase{"5 ,1", false, 0, 0, ""},
                    TPairCase{"$G,1", false, 0, 0, ""}, TPairCase{"--1,1", false, 0, 0, ""}));

}  // namespace

TEST(VirtCutter, LongPolylinesWithFieldsOfEveryLength) {
  // Long tokens take most pairs on a fast path; it must read exactly what the plain
  // pair rule reads, including ten-digit, zero-padded and comma-run fields.
  const std::string digits = "1234567890";
  std::string text = "PD";
  std::vector<TVector2D> expected{{0, 0}};
  for (std::size_t n = 1; n <= digits.size(); ++n) {
    const std::string a = digits.substr(0, n), b = "000" + digits.substr(10 - n);
    text += a + "," + b + (n % 3 ? "," : ",,,");
    expected.push_back({float(std::stoll(b) / 40.0), float(std::stoll(a) / 40.0)});
  }
  text += "40,40;";
  expected.push_back({1, 1});
  const TParseResult r = Parse(text);
  ASSERT_EQ(r.Contours.size(), 1u);
  EXPECT_EQ(r.Contours[0].Points, expected);

  // The same polyline left open at the end of the text cuts nothing.
  text.pop_back();
  EXPECT_TRUE(Parse(text).Contours.empty());
  // An eleven-digit field ends the token like any other bad pair.
  EXPECT_EQ(Parse("PD40,40,12345678901,40,80,80;").Contours[0].Points,
            (std::vector<TVector2D>{{0, 0}, {1, 1}}));
}

TEST(VirtCutter, HugeTokenWithoutSeparatorIsLinear) {
  // Megabytes of digits and commas in one token must neither hang nor cut anything.
  std::string text = "PD";
  text.append(4 << 20, '9');
  text += ",1;PD";
  for (int i = 0; i < (1 << 20); ++i) text += "1,";
  text += ";";
  const TParseResult r = Parse(text);
  EXPECT_EQ(r.Events.size(), (1u << 19) + 1);
}

namespace {

struct TUnreadCase {
  const char* Text;
  std::size_t Count;
  std::size_t FirstOffset;
  const char* FirstToken;
};

TUnreadCommands UnreadOf(const std::string& Text, std::vector<TContourSeen>* Contours = nullptr) {
  TReleasePtr<TVirtCutterObj> cutter(new TVirtCutterObj);
  cutter->BuildContours = true;
  cutter->ParseJobText(Text);
  if (Contours) *Contours = ContoursOf(cutter->Contours());
  return cutter->Unread();
}

}  // namespace

TEST(VirtCutter, CountsWhatACutterActsOnAndTheContoursLeaveOut) {
  const TUnreadCase cases[] = {
      // Drawn whole: nothing to count.
      {"IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@", 0, 0, ""},
      {"SP1;PU0,0;PD40,40;SP2;PD80,80;PG;PU400,0;PR;PD40,0,40,0;A;", 0, 0, ""},
      {"IN;DF;PU0,0\r\nPD40,40 \r\nPU;PA0,0;PD40,40;PA;PU0,0", 0, 0, ""},
      {"PD40,40;PU;R40,0;A40,0;PD;SP1;", 0, 0, ""},
      // Moves by PA, PR, A and R while the pen is down.
      {"PD;PA0,4000,2000,4000;", 1, 3, "PA0,4000,2000,4000"},
      {"PU;PA2000,0;PD;PA2000,4000;", 1, 15, "PA2000,4000"},
      {"PU0,0;PD;PR0,4000,2000,0;", 1, 9, "PR0,4000,2000,0"},
      {"PD40,40;R40,0;A80,80;U;A0,0;", 2, 8, "R40,0"},
      // Pen and move commands in lower case, which also put the pen down.
      {"pu0,0;pd40,40;Pd;PA0,0;", 4, 0, "pu0,0"},
      // Pairs split off by a blank or a line break, not by a semicolon.
      {"PD0,4000 2000,4000;", 1, 9, "2000,4000"},
      {"PU0,0;PD 100,200\n300,400;", 2, 9, "100,200"},
      {"PD0,4000;2000,4000;IN 100;", 0, 0, ""},
      // Arcs, circles, rectangles, wedges, curves, encoded polylines.
      {"PU0,0;CI400;AA0,0,90;AR1,1,9;AT1,1,2,2;EA4,4;ER4,4;RA4,4;RR4,4;EW5,0,90;WG5,0,90;", 10, 6, "CI400"},
      {"BZ1,1,2,2,3,3;BR1,1,2,2,3,3;PE<=_>;ci400;", 4, 0, "BZ1,1,2,2,3,3"},
      // A cutting move that no separator ends; an open pen-up move or page end is harmless.
      {"PU0,0;PD40,40", 1, 6, "PD40,40"},
      {"PU0,0;PD40,40;D80,80", 1, 14, "D80,80"},
      {"PD0,0;PA40,40", 1, 6, "PA40,40"},
      {"PU0,0;CI4", 1, 6, "CI4"},
  };
  for (const TUnreadCase& c : cases) {
    const TUnreadCommands unread = UnreadOf(c.Text);
    EXPECT_EQ(unread.Count, c.Count) << c.Text;
    if (c.Count == 0) continue;
    EXPECT_EQ(unread.FirstOffset, c.FirstOffset) << c.Text;
    EXPECT_EQ(unread.FirstToken, c.FirstToken) << c.Text;
  }
}

TEST(VirtCutter, CountingLeavesTheContoursAsTheyWere) {
  // The same cuts with and without commands the contours leave out between them.
  std::vector<TContourSeen> plain, mixed;
  UnreadOf("PU0,0;PD40,40,80,0;PU0,0;PD0,40;", &plain);
  const TUnreadCommands unread = UnreadOf("PU0,0;PD40,40,80,0;CI40;pd4,4;PU0,0;PD0,40 4,4;PA9,9;", &mixed);
  EXPECT_EQ(unread.Count, 4u);
  EXPECT_EQ(mixed, plain);
  // A long first token is cut for showing; its length is kept.
  const std::string pe = "PE" + std::string(100, '?') + ";";
  const TUnreadCommands encoded = UnreadOf("PU0,0;" + pe);
  EXPECT_EQ(encoded.FirstToken, pe.substr(0, TUnreadCommands::kShownToken));
  EXPECT_EQ(encoded.FirstLength, pe.size() - 1);
}

TEST(VirtCutter, ParsingInPartsIsParsingAtOnce) {
  const std::string jobs[] = {
      "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@",
      "PR;PD40,0;R;PD40,0;PA;PD40,0;A;D0,40;PU400,0;PG;PD400,0;SP2;PD80,80;CI40;pd4,4 8,8;PA1,1;PD40,40",
      "PU0,0;PD" + std::string(3000, '1') + ",2;PD40,40,80,80,120,0;ci1;",
      ";;\r\n",
  };
  for (const std::string& job : jobs)
    for (const std::size_t part : {std::size_t{1}, std::size_t{5}, std::size_t{64}}) {
      TReleasePtr<TVirtCutterObj> whole(new TVirtCutterObj), parts(new TVirtCutterObj);
      std::vector<std::int32_t> wholeEvents, partEvents;
      whole->BuildContours = parts->BuildContours = true;
      whole->OnCutterEvent = [&](std::int32_t Code, TVector2D, const std::string&) {
        wholeEvents.push_back(Code);
        return true;
      };
      parts->OnCutterEvent = [&](std::int32_t Code, TVector2D, const std::string&) {
        partEvents.push_back(Code);
        return true;
      };
      whole->ParseJobText(job);
      parts->BeginParse(job);
      int calls = 0;
      double progress = 0.0;
      while (parts->ParseSome(part)) {
        ++calls;
        EXPECT_GE(parts->ParseProgress(), progress);
        progress = parts->ParseProgress();
      }
      EXPECT_EQ(parts->ParseProgress(), 1.0);
      if (part == 1) {
        EXPECT_GE(calls, 3) << job;  // a token is never split, however long
      }
      EXPECT_EQ(partEvents, wholeEvents) << job << " " << part;
      EXPECT_EQ(ContoursOf(parts->Contours()), ContoursOf(whole->Contours())) << job << " " << part;
      EXPECT_EQ(parts->Unread().Count, whole->Unread().Count) << job << " " << part;
      EXPECT_EQ(parts->Unread().FirstOffset, whole->Unread().FirstOffset) << job << " " << part;
    }
}
