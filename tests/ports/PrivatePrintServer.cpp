#include "PrivatePrintServer.h"

#include "ports/PrintServer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path) << text;
  chmod(path.c_str(), mode);
}

std::string queueEntry(const std::string& name, const std::string& backend, const std::string& root,
                       const std::string& extra, const std::string& model = "Local Raw Printer") {
  return "<Printer " + name + ">\nMakeModel " + model + "\nDeviceURI " + backend + ":" + root + "/out/" + name +
         "\nType 4\nShared No\n" + extra + "</Printer>\n";
}

}  // namespace

TPrivatePrintServer::TPrivatePrintServer() {
  // The scheduler runs a backend as root only when root owns it and others may not run it.
  if (geteuid() != 0) {
    Reason = "the private print server needs root, which owns its backends";
    return;
  }
  char tree[] = "/tmp/kxcXXXXXX";
  if (!mkdtemp(tree)) {
    Reason = "no temporary folder";
    return;
  }
  Root = tree;
  chmod(Root.c_str(), 0755);
  const char* const exec = "/usr/lib/cups/daemon/cups-exec";  // starts every backend
  if (access(exec, X_OK) != 0) {
    Reason = "no CUPS scheduler installed (scripts/install-deps installs cups-daemon)";
    return;
  }
  for (const char* dir : {"/root", "/spool", "/cache", "/state", "/log", "/out", "/bin", "/bin/backend", "/bin/daemon"})
    std::filesystem::create_directory(Root + dir);
  std::filesystem::copy_file(exec, Root + "/bin/daemon/cups-exec");
  // Backends: asked without arguments they list no devices.
  const std::string head = "#!/bin/sh\n[ $# -eq 0 ] && exit 0\nout=\"${DEVICE_URI#*:}\"\n";
  writeFile(Root + "/bin/backend/kxfile", head + "if [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$out\"\n", 0700);
  writeFile(Root + "/bin/backend/kxfail", head + "echo 'ERROR: Cutter unplugged' >&2\nexit 1\n", 0700);
  writeFile(Root + "/bin/backend/kxhang", head + "echo started > \"$out\"\nexec sleep 600\n", 0700);
  writeFile(Root + "/cupsd.conf",
            "Listen " + Root + "/s\nLogLevel info\nBrowsing No\n<Location />\nOrder allow,deny\nAllow all\n"
            "</Location>\n<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n");
  writeFile(Root + "/cups-files.conf", "ServerRoot " + Root + "/root\nRequestRoot " + Root + "/spool\nCacheDir " +
                                           Root + "/cache\nStateDir " + Root + "/state\nServerBin " + Root +
                                           "/bin\nErrorLog " + Root + "/log/error_log\nAccessLog " + Root +
                                           "/log/access_log\nPageLog " + Root + "/log/page_log\nPrintcap " + Root +
                                           "/printcap\n");
  const std::string abort = "State Idle\nAccepting Yes\nErrorPolicy abort-job\n";
  writeFile(Root + "/root/printers.conf",
            queueEntry("raw", "kxfile", Root, abort) + queueEntry("fails", "kxfail", Root, abort) +
                queueEntry("held", "kxfail", Root, "State Idle\nAccepting Yes\nErrorPolicy retry-job\n") +
                queueEntry("halts", "kxfail", Root, "State Idle\nAccepting Yes\nErrorPolicy stop-printer\n") +
                queueEntry("hangs", "kxhang", Root, abort) +
                queueEntry("stopped", "kxfile", Root,
                           "State Stopped\nStateMessage Paused by the test\nAccepting Yes\nErrorPolicy abort-job\n") +
                queueEntry("rejecting", "kxfile", Root, "State Idle\nAccepting No\nErrorPolicy abort-job\n") +
                queueEntry("driver", "kxfile", Root, abort, "Generic Cutter Driver"),
            0600);
  // A driver is a PPD in the queue's name; this one filters nothing.
  std::filesystem::create_directory(Root + "/root/ppd");
  writeFile(Root + "/root/ppd/driver.ppd",
            "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
            "*LanguageEncoding: ISOLatin1\n*PCFileName: \"KXCUT.PPD\"\n*Manufacturer: \"Generic\"\n"
            "*Product: \"(Cutter)\"\n*ModelName: \"Generic Cutter Driver\"\n"
            "*ShortNickName: \"Generic Cutter Driver\"\n*NickName: \"Generic Cutter Driver\"\n"
            "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: False\n"
            "*DefaultColorSpace: Gray\n*FileSystem: False\n*Throughput: \"1\"\n"
            "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n*PageSize A4: \"\"\n*CloseUI: *PageSize\n"
            "*OpenUI *PageRegion: PickOne\n*DefaultPageRegion: A4\n*PageRegion A4: \"\"\n*CloseUI: *PageRegion\n"
            "*DefaultImageableArea: A4\n*ImageableArea A4: \"0 0 595 842\"\n"
            "*DefaultPaperDimension: A4\n*PaperDimension A4: \"595 842\"\n");
  setenv("CUPS_SERVER", (Root + "/s").c_str(), 1);

  // Built before the fork: the child of a threaded process only execs.
  const std::string conf = Root + "/cupsd.conf", files = Root + "/cups-files.conf";
  Pid = fork();
  if (Pid == 0) {
    execlp("cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Ready once it answers a request; the scheduler's own end, or its error log, otherwise.
  for (;;) {
    int status = 0;
    if (waitpid(Pid, &status, WNOHANG) == Pid) {
      Pid = -1;
      std::ifstream log(Root + "/log/error_log");
      std::stringstream text;
      text << log.rdbuf();
      Reason = "cupsd ended at start: " + text.str();
      return;
    }
    TPrintServer server(1000);
    std::string error;
    if (access((Root + "/s").c_str(), F_OK) == 0 && server.Connect(error)) {
      ipp_t* response = server.Do(ippNewRequest(IPP_OP_CUPS_GET_PRINTERS), "/", error);
      ippDelete(response);
      if (response) return;
    }
    usleep(10000);
  }
}

TPrivatePrintServer::~TPrivatePrintServer() {
  if (Pid > 0) {
    kill(Pid, SIGCONT);
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
  }
  unsetenv("CUPS_SERVER");
  // A fresh tree each run: a job left in a spool restarts in the next.
  if (!Root.empty()) std::filesystem::remove_all(Root);
}

std::string TPrivatePrintServer::ReadOutput(const std::string& queue) const {
  std::ifstream file(OutputPath(queue), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

int TPrivatePrintServer::JobState(int jobId) const {
  TPrintServer server(4000);
  std::string error;
  if (!server.Connect(error)) return 0;
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  char uri[64];
  snprintf(uri, sizeof uri, "ipp://localhost/jobs/%d", jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ipp_t* response = server.Do(request, "/jobs", error);
  ipp_attribute_t* state = response ? ippFindAttribute(response, "job-state", IPP_TAG_ENUM) : nullptr;
  const int value = state ? ippGetInteger(state, 0) : 0;
  ippDelete(response);
  return value;
}

void TPrivatePrintServer::Stop() const { kill(Pid, SIGSTOP); }

void TPrivatePrintServer::Continue() const { kill(Pid, SIGCONT); }
