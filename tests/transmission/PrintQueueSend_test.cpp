#include "transmission/PrintQueueSend.h"

#include "PrivatePrintServer.h"
#include "ports/PrintQueues.h"
#include "ports/PrintServer.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class TQuietView : public ISendView {
public:
  void ShowStatus(const std::u16string&) override {}
  void ShowProgressText(const std::string&) override {}
  void ShowProgress(std::size_t, std::size_t) override {}
  void ShowWaiting(bool) override {}
  void Pump() override {}
};

class PrintQueueSend : public testing::Test {
protected:
  void SetUp() override {
    if (!Server.Running()) GTEST_SKIP() << Server.Why();
  }

  // Sends to its end; abortWhen is asked with each log line and cancels once true.
  TQueueSendResult send(const std::string& queue, const std::string& job, int answerMs = 4000,
                        const std::function<bool(const std::string&)>& abortWhen = {}) {
    TPrintQueueSend sender(queue, job, "test job", answerMs, 20);
    TQuietView view;
    bool abort = false;
    Log.clear();
    return RunQueueSend(sender, view, [&] { return abort; },
                        [&](const std::string& line) {
                          Log += line + "\n";
                          if (abortWhen && abortWhen(line)) abort = true;
                        });
  }

  TPrivatePrintServer Server;
  std::string Log;
};

const auto processing = [](const std::string& line) { return line.rfind("JobState\tprocessing", 0) == 0; };

TEST_F(PrintQueueSend, EveryByteValueAndAMebibyteReachTheDeviceUnchanged) {
  std::string all;
  for (int value = 0; value < 256; ++value) all += static_cast<char>(value);
  std::string large(1 << 20, '\0');
  std::mt19937 random(28);
  for (char& c : large) c = static_cast<char>(random());
  for (const std::string& job : {all, large}) {
    const TQueueSendResult result = send("raw", job);
    ASSERT_EQ(result.End, TQueueSendEnd::Completed) << result.Reason << "\n" << Log;
    EXPECT_EQ(result.Handed, job.size());
    EXPECT_GT(result.JobId, 0);
    EXPECT_TRUE(Server.ReadOutput("raw") == job);
    EXPECT_NE(Log.find("Job\t" + std::to_string(result.JobId)), std::string::npos) << Log;
    EXPECT_NE(Log.find("JobState\tcompleted"), std::string::npos) << Log;
  }
}

TEST_F(PrintQueueSend, ADriverQueueTakesTheJobRawWithAWarning) {
  const TQueueSendResult result = send("driver", "IN;PU0,0;");
  ASSERT_EQ(result.End, TQueueSendEnd::Completed) << result.Reason;
  EXPECT_EQ(Server.ReadOutput("driver"), "IN;PU0,0;");
  EXPECT_NE(Log.find("Warning\tThe queue has a driver (Generic Cutter Driver)"), std::string::npos) << Log;
}

TEST_F(PrintQueueSend, EveryOtherEndIsAFailureWithTheServersReason) {
  struct Row {
    const char* Queue;
    const char* Reason;  // in the result's reason
    const char* Hint;    // in the hint
    bool Created;        // a job was created (and then may no longer be pending)
  } rows[] = {
      {"fails", "the print server aborted the job: Cutter unplugged", "cutter is on", true},
      {"held", "the print server held the job", "cutter is on", true},
      {"halts", "the print queue \"halts\" stopped: Cutter unplugged", "cupsenable halts", true},
      {"stopped", "the print queue \"stopped\" is stopped: Paused by the test", "cupsenable stopped", false},
      {"rejecting", "the print queue \"rejecting\" does not accept jobs", "cupsaccept rejecting", false},
      {"absent", "there is no print queue \"absent\"", "korvex-cli ports", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Queue);
    const TQueueSendResult result = send(row.Queue, "IN;PD100,100;");
    EXPECT_EQ(result.End, TQueueSendEnd::Failed);
    EXPECT_NE(result.Reason.find(row.Reason), std::string::npos) << result.Reason << "\n" << Log;
    EXPECT_NE(result.Hint.find(row.Hint), std::string::npos) << result.Hint;
    EXPECT_EQ(result.JobId > 0, row.Created);
    const std::string told = QueueSendFailureText(row.Queue, result);
    EXPECT_NE(told.find(row.Reason), std::string::npos) << told;
    EXPECT_NE(told.find(" of 13 bytes"), std::string::npos) << told;
  }
}

TEST_F(PrintQueueSend, AHeldJobIsCancelledSoThatItDoesNotCutLater) {
  const TQueueSendResult result = send("held", "IN;");
  ASSERT_EQ(result.End, TQueueSendEnd::Failed);
  EXPECT_NE(result.Reason.find("the job was cancelled so that it does not cut later"), std::string::npos);
  EXPECT_EQ(Server.JobState(result.JobId), IPP_JSTATE_CANCELED);
}

TEST_F(PrintQueueSend, CancelReachesTheServer) {
  const TQueueSendResult result = send("hangs", "IN;", 4000, processing);
  EXPECT_EQ(result.End, TQueueSendEnd::Cancelled) << result.Reason << "\n" << Log;
  EXPECT_NE(Log.find("Cancelled\tjob " + std::to_string(result.JobId) + " on the print server"), std::string::npos)
      << Log;
  EXPECT_EQ(Server.JobState(result.JobId), IPP_JSTATE_CANCELED);
}

TEST_F(PrintQueueSend, AServerThatStopsAnsweringEndsTheSend) {
  // Stopped while the job is processing, and stopped before the send began.
  const TQueueSendResult during = send("hangs", "IN;", 1000, [this](const std::string& line) {
    if (processing(line)) Server.Stop();
    return false;
  });
  EXPECT_EQ(during.End, TQueueSendEnd::Failed);
  EXPECT_NE(during.Reason.find("did not answer within 1 s"), std::string::npos) << during.Reason;
  EXPECT_NE(during.Hint.find("cancel hangs-" + std::to_string(during.JobId)), std::string::npos) << during.Hint;

  const TQueueSendResult before = send("raw", "IN;", 1000);
  EXPECT_EQ(before.End, TQueueSendEnd::Failed);
  EXPECT_NE(before.Reason.find("did not answer within 1 s"), std::string::npos) << before.Reason;
  Server.Continue();
}

TEST_F(PrintQueueSend, AServerStoppedWhileTakingTheJobEndsTheSend) {
  // Far more than the socket holds: once the first piece is handed, the rest waits on the
  // server (or, had it all gone already, the job's state does).
  TPrintQueueSend sender("raw", std::string(16 << 20, 'x'), "test job", 1000, 20);
  sender.Start();
  while (sender.Handed() == 0 && !sender.Ended()) sender.WaitForNews(10);
  Server.Stop();
  while (!sender.Ended()) sender.WaitForNews(50);
  const TQueueSendResult result = sender.Result();
  Server.Continue();
  EXPECT_EQ(result.End, TQueueSendEnd::Failed);
  EXPECT_NE(result.Reason.find("did not answer within 1 s"), std::string::npos) << result.Reason;
  EXPECT_NE(result.Hint.find("cancel raw-" + std::to_string(result.JobId)), std::string::npos) << result.Hint;
}

TEST_F(PrintQueueSend, CancelWhileTheServerIsStoppedEndsToo) {
  const TQueueSendResult result = send("hangs", "IN;", 1000, [this](const std::string& line) {
    if (!processing(line)) return false;
    Server.Stop();
    return true;
  });
  EXPECT_EQ(result.End, TQueueSendEnd::Cancelled);
  EXPECT_NE(result.Hint.find("cancel hangs-" + std::to_string(result.JobId)), std::string::npos) << result.Hint;
  Server.Continue();
}

TEST_F(PrintQueueSend, QueuesAreListedRawFirstWithKindAndState) {
  std::vector<TPrintQueue> queues;
  std::string error;
  ASSERT_TRUE(ListPrintQueues(queues, error)) << error;
  std::string listed;
  for (const TPrintQueue& queue : queues)
    listed += queue.Name + " " + QueueKindText(queue) + " " + QueueStateText(queue) + "\n";
  EXPECT_EQ(listed,
            "fails raw idle\nhalts raw idle\nhangs raw idle\nheld raw idle\nraw raw idle\nrejecting raw rejecting\n"
            "stopped raw stopped\ndriver driver idle\n");
}

}  // namespace
