#pragma once

// How RunAutopatch starts the patcher on each platform.

#include "OVShared/Platform/Process.h"

#include <string>
#include <string_view>

namespace ov {

// Writes the runner script into the patcher's folder and runs it hidden,
// waiting for it: runner.bat through %ComSpec%, started in that folder, on
// Windows; runner.sh through /bin/sh elsewhere.
void RunPatcherScript(const std::string& folder, std::string_view arguments);

// Polls the child every 100 ms, yielding to the event loop between polls,
// until it ends; its exit code.
int WaitForChild(ChildProcess& child);

}  // namespace ov
