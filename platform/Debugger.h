#pragma once
// Test mode: the port lists show fixed entries while the program runs under a debugger.

#include <string>

// True when the status file (normally /proc/self/status) names a non-zero TracerPid.
bool IsDebuggerPresent(const std::string& statusPath = "/proc/self/status");
