#include "UsbPrinterSend.h"

#include "ActivityLog.h"
#include "platform/CodePage.h"
#include "platform/NumberText.h"
#include "platform/UsbPrinters.h"
#include "translation/TransUtils.h"

#include <chrono>
#include <memory>

namespace {

constexpr int kSliceMs = 20;  // how long one wait for room lasts before the window runs
constexpr auto kReportAfter = std::chrono::seconds(1);
constexpr std::size_t kBlockBytes = 4096;  // what the printer driver hands the device at once

// What the cutter reports now, logged when it changed since the last report.
std::string reportStatus(TUsbPrinterNode& node, std::string& told, const std::function<void(const std::string&)>& log) {
  std::uint8_t status = 0;
  const std::string text = node.Status(status) ? UsbPrinterStatusText(status) : std::string();
  if (text != told) log(text.empty() ? "Cutter\tThe cutter is ready" : "Cutter\tThe cutter reports: " + text);
  told = text;
  return text;
}

}  // namespace

TSendSession::TWriter UsbPrinterWriter(TUsbPrinterNode& node, std::function<void(const std::string&)> log) {
  auto told = std::make_shared<std::string>();
  return [&node, log = std::move(log), told](const char* data, std::size_t count,
                                              const std::function<bool()>& keepWaiting) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      std::size_t written = 0;
      int error = 0;
      const TUsbPrinterNode::TWrite result = node.Write(data, count, written, error);
      if (result == TUsbPrinterNode::TWrite::Failed) return TSendWriteResult{0, true, {}};
      if (result == TUsbPrinterNode::TWrite::Wrote && written > 0) {
        if (!told->empty()) reportStatus(node, *told, log);
        return TSendWriteResult{written, false, {}};
      }
      node.WaitWritable(kSliceMs);
      if (!keepWaiting()) return TSendWriteResult{};
      // A cutter out of media or offline holds the driver for as long as it stays so:
      // the send waits, and says why.
      if (std::chrono::steady_clock::now() - start >= kReportAfter)
        return TSendWriteResult{0, false, reportStatus(node, *told, log)};
    }
  };
}

TSendSession::TTailWait UsbPrinterTailWait(TUsbPrinterNode& node) {
  return [&node](const TDrainWatch& watch) {
    for (;;) {
      int error = 0;
      const TUsbPrinterNode::TWrite result = node.Taken(error);
      if (result == TUsbPrinterNode::TWrite::Wrote) return TDrainResult::Drained;
      if (result == TUsbPrinterNode::TWrite::Failed) return TDrainResult::GaveUp;
      if (!watch(static_cast<std::uint32_t>(node.LastWritten()))) return TDrainResult::Interrupted;
      node.WaitWritable(kSliceMs);
    }
  };
}

TSendOutcome TransferToUsbPrinter(ISendView& view, const TSendLine& line, const std::string& jobText,
                                  const std::function<bool()>& aborted) {
  // The caller's view, asked at every pump whether the user aborted.
  struct TAbortingView : ISendView {
    TAbortingView(ISendView& inner, const std::function<bool()>& aborted) : Inner(inner), Aborted(aborted) {}
    void ShowStatus(const std::u16string& status) override { Inner.ShowStatus(status); }
    void ShowProgressText(const std::string& text) override { Inner.ShowProgressText(text); }
    void ShowProgress(std::size_t position, std::size_t maximum) override { Inner.ShowProgress(position, maximum); }
    void ShowWaiting(bool waiting) override { Inner.ShowWaiting(waiting); }
    void Pump() override {
      Inner.Pump();
      if (Session && Aborted && Aborted()) Session->RequestAbort();
    }
    ISendView& Inner;
    const std::function<bool()>& Aborted;
    TSendSession* Session = nullptr;
  } forwarding(view, aborted);
  TSendSession session(forwarding, line.Writer, line.PortName);
  forwarding.Session = &session;
  session.UseTailWait(line.TailWait);
  // Blocks leave the job as it is: pieces would pad a short one with blanks.
  session.SendInBlocks(jobText, kBlockBytes);
  return session.Outcome();
}

bool RunUsbPrinterSend(const std::string& jobText, const std::string& name, const TUsbSendHooks& hooks) {
  hooks.Log("DirectUSB\t" + std::to_string(jobText.size()) + " bytes");
  std::vector<TUsbPrinter> printers;
  ScanUsbPrinters(printers);
  const std::string path = UsbPrinterNodePath(printers, name);
  hooks.Log("Opening:\t" + path);
  TUsbPrinterNode node;
  int error = 0;
  if (!node.Open(path, error)) {
    hooks.Log("Failed to open");
    hooks.OpenFailed("Unable to open USB Port!", UsbPrinterOpenHint(name, error, printers));
    return false;
  }
  hooks.Log("Port Opened");
  std::string told;
  reportStatus(node, told, hooks.Log);
  const TSendOutcome outcome =
      hooks.Transfer({UsbPrinterWriter(node, hooks.Log), UsbPrinterTailWait(node), path}, jobText);
  if (outcome.Ok) {
    hooks.Log("SendRes\tTrue");
    return true;
  }
  hooks.Log("SendRes\tFalse");
  hooks.Log(SentLine(outcome.Sent, outcome.Total));
  if (outcome.Failed)
    hooks.SendFailed(
        TransFormat("(__The job was not sent completely: [0_SENT] of [1_TOTAL] bytes went out, and the cutter may "
                    "not have cut the last of them. Check that it is on and connected, then send the job again.__)",
                    {AnsiToWide(WholeNumber(outcome.Sent)), AnsiToWide(WholeNumber(outcome.Total))}));
  return false;
}
