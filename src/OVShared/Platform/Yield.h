#pragma once

// "Yield to the message loop": long waits call YieldToEventLoop between
// their polls. The program points it at Qt's event processing; elsewhere it
// does nothing unless a test installs a pump of its own.

#include <functional>

namespace ov {

void SetYieldHook(std::function<void()> hook);
void YieldToEventLoop();

}  // namespace ov
