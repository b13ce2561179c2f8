#pragma once
// Test mode: the port lists show fixed entries while the program runs under a debugger.

#include <string>

// True when procRoot/self/status names a non-zero TracerPid and that tracer is a debugger
// (gdb, lldb or their servers) by procRoot/PID/comm; strace, ltrace, perf and other
// tracers are not.
bool IsDebuggerPresent(const std::string& procRoot = "/proc");
