#pragma once
// A port whose output queue reports what a script says. A pty always reports an empty
// queue, so the waits for a job's tail can only be seen this way.

#include "transmission/CPort.h"
#include "transmission/DirectPortDriver.h"

#include <functional>
#include <memory>

class TScriptedQueuePort : public TComPort {
public:
  // Gives the queue for the n-th question; empty by default.
  std::function<std::uint32_t(int call)> Queue = [](int) { return 0u; };

protected:
  bool OutputQueueBytes(std::uint32_t& bytes) override {
    bytes = Queue(calls++);
    return true;
  }

private:
  int calls = 0;
};

// From now on the direct port driver opens scripted ports; Last is the latest one.
inline void OpenScriptedPorts(TScriptedQueuePort*& Last) {
  DirectPortFactory() = [&Last] {
    auto port = std::make_unique<TScriptedQueuePort>();
    Last = port.get();
    return port;
  };
}
