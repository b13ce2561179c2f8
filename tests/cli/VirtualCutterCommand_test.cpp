#include "CutterProcess.h"
#include "PtyPair.h"
#include "cli/VirtualCutterCommand.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <locale>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class VirtualCutterTest : public ::testing::Test {
protected:
  void TearDown() override {
    for (const std::string& path : {job, received, link}) fs::remove(path);  // the link, if the cutter was killed
  }

  const std::string stem = (fs::temp_directory_path() / ("korvex-cutter-test-" + std::to_string(getpid()))).string();
  const std::string link = stem + ".tty", job = stem + ".plt", received = stem + ".out";
};

}  // namespace

TEST_F(VirtualCutterTest, ReceivesExactlyWhatSendSentAtTheLineRateWithXoff) {
  const std::string sample = readFile(fs::path(KORVEX_SAMPLES) / "korvex-sign.plt");
  const std::string bytes = sample + sample + sample;  // three signs, a page each
  std::ofstream(job, std::ios::binary) << bytes;
  // Cutting slower than the line (3.9 s of cuts against 2.8 s of line), so the buffer
  // fills and the sender's XON/XOFF has to hold it back.
  TCutterProcess cutter(KORVEX_CLI, {"--link", link, "--baud", "9600", "--flow", "xon/xoff", "--buffer", "256",
                                     "--speed", "1000", "--travel", "2000", "--out", received});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);

  const std::string send = std::string(KORVEX_CLI) + " send " + job + " --port " + link +
                           " --baud 9600 --flow xon/xoff 2>/dev/null";
  EXPECT_EQ(std::system(send.c_str()), 0);
  // Each page after the first begins with the line break that ended the one before.
  for (const char* page : {"Page 1: 884 bytes, 9 contours", "Page 2: 885 bytes, 9 contours", "Page 3: 885 bytes"})
    EXPECT_TRUE(cutter.Line("Page ").starts_with(page)) << page;
  // 2655 bytes at 960 a second: never faster than the line, however slow the sender
  // (its time is the wall clock's, exact figures are the emulator's tests), and XOFF at
  // least once.
  const std::string end = cutter.Line("End of job: ");
  const std::string summary = "End of job: 2655 bytes, 27 contours, cut 3856.77 mm, "
                              "bounds x 0.00 to 165.00 mm, y 0.00 to 50.00 mm; ";
  ASSERT_TRUE(end.starts_with(summary)) << end;
  double seconds = 0, share = 0;
  std::istringstream timing(end.substr(summary.size()));
  timing.imbue(std::locale::classic());
  std::string s, at;
  timing >> seconds >> s >> at >> share;
  EXPECT_GE(seconds, 2.76) << end;
  EXPECT_GT(share, 0.0) << end;
  EXPECT_LE(share, 1.0) << end;
  EXPECT_NE(end.find(" of the line rate; cut time "), std::string::npos) << end;
  EXPECT_NE(end.find("; lost 0 bytes; "), std::string::npos) << end;
  EXPECT_EQ(end.find("XOFF sent 0 times"), std::string::npos) << end;
  EXPECT_EQ(cutter.Stop(SIGTERM), 0);
  EXPECT_EQ(readFile(received), bytes);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(VirtualCutterTest, XoffStopsTheSenderUntilTheBufferIsDownToAQuarter) {
  // Each command a millimetre at 20 mm/s: 50 ms for 7 bytes, far slower than the line.
  TCutterProcess cutter(KORVEX_CLI,
                        {"--link", link, "--baud", "9600", "--flow", "xon/xoff", "--buffer", "256", "--speed", "20"});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);
  std::size_t sent = 0;
  int port = -1;
  std::string moves;
  while (moves.size() < 300) moves += "PD40,0;PD0,0;";
  auto fill = [&] { sent += std::max<ssize_t>(0, ::write(port, moves.data(), moves.size())); };
  auto openPort = [&] {
    port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    tcgetattr(port, &tio);
    cfmakeraw(&tio);
    tio.c_iflag |= IXON;
    tcsetattr(port, TCSANOW, &tio);
  };
  // One byte at a time until a write does (or does not) go through. When it stopped going
  // through counts from the last write that did, so that a probe held up by a busy
  // machine can only lengthen the pause it measures.
  auto probeUntil = [&](bool goesThrough) {
    auto lastThrough = Clock::now();
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;) {
      const auto before = Clock::now();
      const bool wrote = ::write(port, " ", 1) == 1;
      sent += wrote;
      if (wrote == goesThrough) return goesThrough ? Clock::now() : lastThrough;
      if (wrote) lastThrough = before;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Clock::time_point{};
  };
  openPort();
  fill();
  const auto stopped = probeUntil(false);
  const auto resumed = probeUntil(true);
  ASSERT_NE(stopped, Clock::time_point{});
  ASSERT_NE(resumed, Clock::time_point{});
  // From three quarters (192) down to a quarter (64) takes 128 bytes of 50 ms commands.
  EXPECT_GT(resumed - stopped, std::chrono::milliseconds(600));

  // A sender that leaves while stopped leaves the line stopped; the XON the cutter owes
  // reaches the next one.
  fill();
  ASSERT_NE(probeUntil(false), Clock::time_point{});
  ::close(port);
  EXPECT_TRUE(cutter.Line("End of job: ").starts_with("End of job: " + std::to_string(sent) + " bytes"));
  openPort();
  EXPECT_NE(probeUntil(true), Clock::time_point{}) << "the next sender stays stopped";
  ::close(port);
  EXPECT_EQ(cutter.Stop(SIGINT), 0);
}

TEST_F(VirtualCutterTest, AFileInThePlaceOfTheLinkIsLeftAloneAndSoIsTheOutFile) {
  std::ofstream(job) << "mine";
  std::ofstream(received) << "an earlier job";
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunVirtualCutterCommand({"--link", job, "--out", received}, in, out, err), 1);
  EXPECT_NE(err.str().find(job + " exists and is not a link"), std::string::npos) << err.str();
  EXPECT_EQ(readFile(job), "mine");
  EXPECT_EQ(readFile(received), "an earlier job");  // a cutter that did not start empties nothing
}

TEST_F(VirtualCutterTest, RefusesALinkThatLeadsElsewhereOrToATerminalInUse) {
  std::ofstream(job) << "mine";
  PtyPair terminal;  // somebody's terminal, perhaps one that took a dead cutter's number
  const struct {
    std::string target, says;
  } rows[] = {
      {job, link + " is a link to " + job + ", not a virtual cutter's"},
      {terminal.SlavePath(), "another virtual cutter is on " + link + " (" + terminal.SlavePath() + " is in use)"},
  };
  for (const auto& row : rows) {
    fs::remove(link);
    fs::create_symlink(row.target, link);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunVirtualCutterCommand({"--link", link}, in, out, err), 1) << row.target;
    EXPECT_NE(err.str().find(row.says), std::string::npos) << err.str();
    EXPECT_EQ(fs::read_symlink(link), row.target);
  }
  EXPECT_EQ(readFile(job), "mine");
  EXPECT_EQ(terminal.Read(1, 0), "");
}

TEST_F(VirtualCutterTest, ASecondCutterLeavesTheFirstItsLinkAndALinkLeftBehindIsTakenOver) {
  {
    TCutterProcess first(KORVEX_CLI, {"--link", link});
    ASSERT_EQ(first.Line("Port: "), "Port: " + link);
    const fs::path firsts = fs::read_symlink(link);
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(RunVirtualCutterCommand({"--link", link}, in, out, err), 1);
    EXPECT_NE(err.str().find("another virtual cutter is on " + link), std::string::npos) << err.str();
    EXPECT_EQ(fs::read_symlink(link), firsts);
    EXPECT_EQ(first.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  }
  // What a killed cutter leaves: a link to a pseudo-terminal that is gone.
  int gone = 1000000;
  while (fs::exists("/dev/pts/" + std::to_string(gone))) ++gone;
  const std::string stale = "/dev/pts/" + std::to_string(gone);
  fs::create_symlink(stale, link);
  TCutterProcess cutter(KORVEX_CLI, {"--link", link});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);
  EXPECT_NE(fs::read_symlink(link), stale);
  EXPECT_EQ(cutter.Stop(SIGINT), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(VirtualCutterTest, RemovesOnlyTheLinkItMade) {
  TCutterProcess cutter(KORVEX_CLI, {"--link", link});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);
  fs::remove(link);
  fs::create_symlink(job, link);  // someone else's, since
  EXPECT_EQ(cutter.Stop(SIGTERM), 0);
  EXPECT_EQ(fs::read_symlink(link), job);
}

TEST_F(VirtualCutterTest, EachPacedSendLosesNothingWhereTheLineOutrunsTheCutter) {
  // 20 mm cuts at 400 mm/s: 50 ms a command of a dozen bytes, against 3.8 bytes a
  // millisecond on the line, into a buffer of 256 bytes with no handshake.
  std::string bytes = "IN;PU0,0;";
  for (int i = 0; i < 24; ++i) bytes += i % 2 ? "PD0,0;" : "PD0,800;";
  for (int i = 0; i < 24; ++i) bytes += i % 2 ? "PD800,0;" : "PD0,0;";
  bytes += "PU0,0;@";
  std::ofstream(job, std::ios::binary) << bytes;
  const std::vector<std::string> paces = {"query", "time --cutter-buffer 256 --speed 400 --travel 800"};
  for (const std::string& pace : paces) {
    TCutterProcess cutter(
        KORVEX_CLI,
        {"--link", link, "--baud", "38400", "--flow", "none", "--buffer", "256", "--speed", "400", "--out", received});
    ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);
    const std::string send = std::string(KORVEX_CLI) + " send " + job + " --port " + link +
                             " --baud 38400 --flow none --pace " + pace + " 2>/dev/null";
    EXPECT_EQ(std::system(send.c_str()), 0) << pace;
    const std::string end = cutter.Line("End of job: ");
    EXPECT_NE(end.find("; lost 0 bytes"), std::string::npos) << pace << ": " << end;
    EXPECT_EQ(cutter.Stop(SIGHUP), 0);  // a closed terminal ends it as Ctrl-C does
    EXPECT_EQ(readFile(received), bytes) << pace;
  }
}

TEST_F(VirtualCutterTest, SendsThatCloseRightAfterTheirLastWriteUnderXoffLoseNoTail) {
  // 2 mm a command at 500 mm/s: about 3 KB a second against the line's 11.5 KB, so
  // every send ends, and closes, with the cutter holding the line.
  std::string moves;
  while (moves.size() < 1500) moves += "PD40,0;PD0,0;";
  std::ofstream(job, std::ios::binary) << moves;
  TCutterProcess cutter(KORVEX_CLI, {"--link", link, "--baud", "115200", "--flow", "xon/xoff", "--buffer", "256",
                                     "--speed", "500", "--out", received});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + link);
  const std::string send = std::string(KORVEX_CLI) + " send " + job + " --port " + link +
                           " --baud 115200 --flow xon/xoff 2>/dev/null";
  std::string expected;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(std::system(send.c_str()), 0);
    expected += moves;
    const std::string end = cutter.Line("End of job: ");
    EXPECT_TRUE(end.starts_with("End of job: " + std::to_string(moves.size()) + " bytes")) << end;
    EXPECT_NE(end.find("; lost 0 bytes"), std::string::npos) << end;
  }
  EXPECT_EQ(cutter.Stop(SIGTERM), 0);
  EXPECT_EQ(readFile(received), expected);
}

TEST_F(VirtualCutterTest, ADeviceWhoseSenderIsOutOfSightIsHeldBackNotOverrun) {
  // The test holds the far end of the line, as a virtual machine's serial port would: the
  // cutter serves the slave and cannot see whether the sender honours XOFF.
  const int far = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(far, 0);
  ASSERT_EQ(grantpt(far), 0);
  ASSERT_EQ(unlockpt(far), 0);
  termios tio{};
  tcgetattr(far, &tio);
  cfmakeraw(&tio);
  tcsetattr(far, TCSANOW, &tio);
  const std::string device = ptsname(far);
  std::string moves;
  while (moves.size() < 12000) moves += "PD400,0;PD0,0;";  // 20 mm at 5000 mm/s: 3.5 KB a second
  TCutterProcess cutter(KORVEX_CLI, {"--device", device, "--baud", "115200", "--flow", "xon/xoff", "--buffer", "512",
                                     "--speed", "5000", "--out", received});
  ASSERT_EQ(cutter.Line("Port: "), "Port: " + device);
  // The sender honours XOFF by stopping as soon as it sees one, and goes on at XON.
  std::size_t sent = 0;
  bool held = false, everHeld = false;
  for (const auto deadline = Clock::now() + std::chrono::seconds(60); sent < moves.size() && Clock::now() < deadline;) {
    char signal = 0;
    while (::read(far, &signal, 1) == 1) {
      if (signal == 0x13) held = everHeld = true;
      if (signal == 0x11) held = false;
    }
    if (!held) {
      const ssize_t n = ::write(far, moves.data() + sent, std::min<std::size_t>(64, moves.size() - sent));
      sent += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(sent, moves.size());
  EXPECT_TRUE(everHeld);
  for (const auto deadline = Clock::now() + std::chrono::seconds(30);
       fs::file_size(received) < moves.size() && Clock::now() < deadline;)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(cutter.Stop(SIGTERM), 0);
  EXPECT_EQ(readFile(received), moves);
  ::close(far);
}
