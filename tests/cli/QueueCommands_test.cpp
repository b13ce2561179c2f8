#include "cli/PortsCommand.h"
#include "cli/SendCommand.h"

#include "PrivatePrintServer.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

struct CliRun {
  int code;
  std::string out, err;
};

CliRun run(int (*command)(const std::vector<std::string>&, std::istream&, std::ostream&, std::ostream&),
           const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int code = command(args, in, out, err);
  return {code, out.str(), err.str()};
}

class QueueCommands : public testing::Test {
protected:
  void SetUp() override {
    if (!Server.Running()) GTEST_SKIP() << Server.Why();
    for (int value = 0; value < 256; ++value) Job += static_cast<char>(value);
    std::ofstream(File, std::ios::binary) << Job;
  }
  void TearDown() override { std::filesystem::remove(File); }

  // The job id the send's log gives.
  static int jobId(const std::string& log) {
    const std::size_t at = log.find("\tJob\t");
    return at == std::string::npos ? 0 : std::stoi(log.substr(at + 5));
  }

  TPrivatePrintServer Server;
  std::string Job;
  std::string File = "/tmp/korvex-queue-" + std::to_string(getpid()) + ".plt";
};

TEST_F(QueueCommands, SendWritesTheJobToTheQueuesDeviceByteForByte) {
  const CliRun sent = run(RunSendCommand, {File, "--queue", "raw"});
  EXPECT_EQ(sent.code, 0) << sent.err;
  EXPECT_TRUE(Server.ReadOutput("raw") == Job);
  EXPECT_NE(sent.err.find("\tQueue\traw\t256 bytes\n"), std::string::npos) << sent.err;
  EXPECT_NE(sent.err.find("\tJobState\tcompleted"), std::string::npos) << sent.err;
  EXPECT_NE(sent.err.find("\tSendRes\tTrue\n"), std::string::npos) << sent.err;
}

TEST_F(QueueCommands, RefusalsAndFailuresExitWithOneAndTellTheServersReason) {
  const CliRun failed = run(RunSendCommand, {File, "--queue", "fails"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_NE(failed.err.find("korvex-cli send: The job did not complete on the print queue \"fails\": the print "
                            "server aborted the job: Cutter unplugged."),
            std::string::npos)
      << failed.err;
  EXPECT_NE(failed.err.find("\tSent\t"), std::string::npos) << failed.err;
  const CliRun stopped = run(RunSendCommand, {File, "--queue", "stopped"});
  EXPECT_EQ(stopped.code, 1);
  EXPECT_NE(stopped.err.find("cupsenable stopped"), std::string::npos) << stopped.err;
  const CliRun mixed = run(RunSendCommand, {File, "--queue", "raw", "--baud", "9600"});
  EXPECT_EQ(mixed.code, 2);
  EXPECT_NE(mixed.err.find("--queue takes no --port, --baud"), std::string::npos) << mixed.err;
}

// Ctrl-C, a closed terminal and timeout(1) all cancel the job on the server.
TEST_F(QueueCommands, StopSignalsCancelTheJobOnTheServer) {
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    std::filesystem::remove(Server.OutputPath("hangs"));
    std::thread stop([number, this] {
      // The hanging device has started: the job is processing.
      while (!std::filesystem::exists(Server.OutputPath("hangs")))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      kill(getpid(), number);
    });
    const CliRun cancelled = run(RunSendCommand, {File, "--queue", "hangs"});
    stop.join();
    EXPECT_EQ(cancelled.code, 128 + number) << cancelled.err;
    EXPECT_NE(cancelled.err.find("\tCancelled\tjob "), std::string::npos) << cancelled.err;
    EXPECT_EQ(Server.JobState(jobId(cancelled.err)), IPP_JSTATE_CANCELED);
  }
}

TEST_F(QueueCommands, PortsListsTheQueuesRawFirstWithKindAndState) {
  const CliRun text = run(RunPortsCommand, {});
  EXPECT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("raw        queue  raw     idle                Local Raw Printer\n"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("stopped    queue  raw     stopped             "), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("rejecting  queue  raw     rejecting           "), std::string::npos) << text.out;
  EXPECT_LT(text.out.find("stopped    queue"), text.out.find("driver     queue  driver  idle                "
                                                             "Generic Cutter Driver\n"));
  const CliRun json = run(RunPortsCommand, {"--json"});
  EXPECT_NE(json.out.find("{\"queue\": \"driver\", \"kind\": \"driver\", \"state\": \"idle\", \"make_and_model\": "
                          "\"Generic Cutter Driver\"}\n]\n"),
            std::string::npos)
      << json.out;
}

}  // namespace
