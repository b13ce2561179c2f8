#include "cli/PreviewCommand.h"

#include "platform/SystemColors.h"
#include "raster/HeadlessFonts.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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
    std::stringstream none;
    return RunPreviewCommand(Args, none, none, none);
  }
  QSize WrittenSize() const { return QImage(QString::fromStdString(png)).size(); }

  std::string job = TempPath(".plt"), png = TempPath(".png");
};

}  // namespace

TEST_F(PreviewCommand, ComposesBoxAndRulersAsTheWindowPlacesThem) {
  ASSERT_EQ(Run({job, png}), 0);
  const QImage image(QString::fromStdString(png));
  ASSERT_EQ(image.size(), QSize(413 + 19, 473 + 19));  // the box at (19, 19), the rulers beside it
  const THeadlessFonts fonts;
  const TBitmap32 box = PreviewPicture(kDefaultJob, 413, 473, true);
  for (int y = 0; y < 473; y += 3)
    for (int x = 0; x < 413; x += 3) ASSERT_EQ(image.pixel(19 + x, 19 + y), box.Pixel(x, y)) << x << "," << y;
  EXPECT_EQ(image.pixel(18, 18), clBtnFace);
  EXPECT_EQ(image.pixel(19 + 200, 18), 0xFF000000u);  // the rulers' base lines along the box
  EXPECT_EQ(image.pixel(18, 19 + 200), 0xFF000000u);

  ASSERT_EQ(Run({job, png, "--box-only", "--height", "81"}), 0);
  EXPECT_EQ(WrittenSize(), QSize(413, 81));
}

TEST_F(PreviewCommand, SaysOnStandardErrorWhatThePictureLeavesOut) {
  auto errorText = [&](const std::string& Job) {
    std::ofstream(job, std::ios::binary | std::ios::trunc) << Job;
    std::stringstream none, err;
    EXPECT_EQ(RunPreviewCommand({job, png}, none, none, err), 0);
    return err.str();
  };
  EXPECT_EQ(errorText(kDefaultJob), "");
  EXPECT_EQ(errorText("PU0,0;PD40,40;PD0,4000 2000,4000;"),
            "The preview leaves out 1 command a cutter may act on (first: 2000,4000 at byte offset 23).\n");
  EXPECT_EQ(errorText("IN;CI400;"),
            "The preview shows no cut, but the job holds 1 command a cutter may act on (first: CI400 at byte offset "
            "3).\n");
}

TEST_F(PreviewCommand, RefusesBadUsageAndReportsUnwritableOutput) {
  const std::vector<std::vector<std::string>> usage = {
      {job},
      {job, png, "--width"},
      {job, png, "--width", "80"},  // no room inside the fitting margin: the picture would turn over
      {job, png, "--height", "2O0"},
      {job, png, "--frame"},
      {job + ".missing", png},
  };
  for (const auto& args : usage) EXPECT_EQ(Run(args), 2) << args.back();
  EXPECT_FALSE(std::filesystem::exists(png));
  EXPECT_EQ(Run({job, "/nonexistent-folder/out.png"}), 1);
}

TEST_F(PreviewCommand, APictureNotWrittenWholeIsAFailureWithTheReason) {
  std::stringstream none, err;
  EXPECT_EQ(RunPreviewCommand({job, "/dev/full"}, none, none, err), 1);  // a full disk, every time
  EXPECT_EQ(err.str(), "korvex-cli: cannot write /dev/full: " + std::string(std::strerror(ENOSPC)) + "\n");
}

TEST_F(PreviewCommand, WritesThePictureToStandardOutputForADash) {
  std::stringstream none, out, err;
  ASSERT_EQ(RunPreviewCommand({job, "-", "--box-only"}, none, out, err), 0) << err.str();
  const std::string png = out.str();
  EXPECT_EQ(QImage::fromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size())).size(),
            QSize(413, 473));
  EXPECT_FALSE(std::filesystem::exists("-"));
}

TEST_F(PreviewCommand, UsageErrorsSayWhatIsWrong) {
  const struct {
    std::vector<std::string> args;
    std::string says;
  } rows[] = {
      {{}, "korvex-cli: no job file given\n"},
      {{job}, "korvex-cli: no picture file given (OUT.png, or - for standard output)\n"},
      {{job, png, "more"}, "korvex-cli: unexpected argument: more\n"},
  };
  for (const auto& row : rows) {
    std::stringstream none, err;
    EXPECT_EQ(RunPreviewCommand(row.args, none, none, err), 2);
    EXPECT_TRUE(err.str().starts_with(row.says + "usage: korvex-cli preview ")) << err.str();
  }
}

// Whatever platform the environment names and wherever its display went (su, cron, ssh),
// and without a runtime folder: a picture, no message and no folder left in the temp folder.
TEST_F(PreviewCommand, BinaryDrawsWithoutADisplayAndLeavesNothingElse) {
  const std::string scratch = TempPath(".tmp"), errors = TempPath(".err");
  for (const char* platform : {"", "xcb", "wayland"}) {
    std::filesystem::create_directory(scratch);
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=") +
                                platform + " TMPDIR='" + scratch + "' " + KORVEX_CLI + " preview '" + job + "' '" +
                                png + "' --width 200 --height 300 2>'" + errors + "'";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << platform;
    EXPECT_EQ(WrittenSize(), QSize(219, 319)) << platform;
    std::ifstream in(errors);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "") << platform;
    EXPECT_TRUE(std::filesystem::is_empty(scratch)) << platform;
    std::filesystem::remove_all(scratch);
    std::filesystem::remove(png);
  }
  std::filesystem::remove(errors);
}
