#include "cli/PreviewCommand.h"

#include "platform/SystemColors.h"
#include "raster/HeadlessFonts.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

constexpr const char* kDefaultJob = "IN;PU0,0;PD1,1;PU4000,4000;PD4001,4001;PU0,0;@";

// Files of their own per test, since CTest runs the tests side by side.
std::string TempPath(const char* Ext) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return (std::filesystem::temp_directory_path() / ("korvex-cli-" + std::string(test->name()) + Ext)).string();
}

class PreviewCommand : public ::testing::Test {
protected:
  void SetUp() override { std::ofstream(job, std::ios::binary) << kDefaultJob; }
  void TearDown() override {
    std::filesystem::remove(job);
    std::filesystem::remove(png);
  }

  int Run(std::vector<std::string> Args) {
    std::istringstream in;
    std::ostringstream out;
    err.str("");
    return RunPreviewCommand(Args, in, out, err);
  }

  std::string job = TempPath(".plt");
  std::string png = TempPath(".png");
  std::ostringstream err;
};

}  // namespace

TEST_F(PreviewCommand, ComposesBoxAndRulersAsTheWindowPlacesThem) {
  ASSERT_EQ(Run({job, png}), 0) << err.str();
  const QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), QSize(413 + 19, 473 + 19));
  const THeadlessFonts fonts;
  const TBitmap32 box = PreviewPicture(kDefaultJob, 413, 473, true);
  for (int y = 0; y < 473; y += 3)
    for (int x = 0; x < 413; x += 3) ASSERT_EQ(image.pixel(19 + x, 19 + y), box.Pixel(x, y)) << x << "," << y;
  for (int y = 0; y < 19; ++y)
    for (int x = 0; x < 19; ++x) ASSERT_EQ(image.pixel(x, y), clBtnFace) << "corner " << x << "," << y;
  // The base lines of both rulers run along the box's top and left edges.
  EXPECT_EQ(image.pixel(19 + 200, 18), 0xFF000000u);
  EXPECT_EQ(image.pixel(18, 19 + 200), 0xFF000000u);
}

TEST_F(PreviewCommand, SizesAndBoxOnly) {
  struct TCase {
    std::vector<std::string> Options;
    QSize Size;
  } cases[] = {
      {{"--box-only"}, {413, 473}},
      {{"--width", "200", "--height", "300"}, {219, 319}},
      {{"--height", "81", "--box-only", "--width", "10000"}, {10000, 81}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {job, png};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    ASSERT_EQ(Run(args), 0) << err.str();
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), c.Size) << c.Options[0];
  }
}

TEST_F(PreviewCommand, RefusesBadUsageAndReportsUnwritableOutput) {
  const std::vector<std::vector<std::string>> usage = {
      {},
      {job},
      {job, png, "third"},
      {job, png, "--width"},
      {job, png, "--width", "80"},  // inside the fitting margin: the picture would turn over
      {job, png, "--height", "10001"},
      {job, png, "--width", "2O0"},
      {job, png, "--width", "-300"},
      {job, png, "--frame"},
      {job + ".missing", png},
  };
  for (const auto& args : usage) {
    EXPECT_EQ(Run(args), 2) << (args.empty() ? "no arguments" : args.back());
    EXPECT_FALSE(err.str().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(png));
  EXPECT_EQ(Run({job, "/nonexistent-folder/out.png"}), 1);
  EXPECT_NE(err.str().find("cannot write"), std::string::npos);
}

TEST_F(PreviewCommand, BinaryDrawsWithoutADisplay) {
  const std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY " + std::string(KORVEX_CLI) +
                              " preview '" + job + "' '" + png + "' 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0);
  EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(432, 492));
}
