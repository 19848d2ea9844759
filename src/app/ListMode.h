#pragma once

// The LIST launch mode: prints the install and uninstall candidate lists of
// the installation without opening a window. It only reads the installation:
// the catalogue is fetched into a private temporary folder, so any number of
// listings may run beside each other and beside an open window.

#include "app/Unattended.h"

#include <ostream>
#include <string>

namespace znt {

// Exit statuses of the LIST mode.
constexpr int kListOk = kExitDone;
constexpr int kListFetchFailed = kExitFetchFailed;  // also: no private temporary folder
constexpr int kListBadServer = kExitBadCommandLine;
constexpr int kListWriteFailed = kExitOutputFailed;  // the listing could not be written to out

// Lists the packages of the installation that holds programPath (in
// <installation>\core\). Source: /SOURCE=<folder> (holding packages.dat and
// files\) else the update server. Writes one UTF-8 line per row to out,
// install rows first: "INSTALL\t<Code>\t<list line>", then
// "UNINSTALL\t<Code>\t<list line>", with control characters in the list line
// replaced (OneRowText). Messages go to err. Returns one of the statuses above.
int RunListMode(const LaunchOptions& options, const std::string& programPath, std::ostream& out,
                std::ostream& err);

}  // namespace znt
