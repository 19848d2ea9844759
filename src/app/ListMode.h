#pragma once

// The LIST launch mode: prints the install and uninstall candidate lists of
// the installation without opening a window. It only reads the installation:
// the catalogue is fetched into a private temporary folder, so any number of
// listings may run beside each other and beside an open window.

#include <ostream>
#include <string>
#include <string_view>

namespace znt {

// Exit statuses of the LIST mode.
constexpr int kListOk = 0;
constexpr int kListFetchFailed = 1;     // also: no private temporary folder
constexpr int kListBadServer = 2;
constexpr int kListWriteFailed = 3;     // the listing could not be written to out

// Lists the packages of the installation that holds programPath (in
// <installation>\core\). Source: /SOURCE=<folder> (holding packages.dat and
// files\) else the update server. Writes one UTF-8 line per row to out,
// install rows first: "INSTALL\t<Code>\t<list line>", then
// "UNINSTALL\t<Code>\t<list line>", with control characters in the list line
// replaced (OneRowText). Messages go to err. Returns one of the statuses above.
int RunListMode(const std::string& commandLine, const std::string& programPath,
                std::ostream& out, std::ostream& err);

// Catalogue text made safe for one row of a terminal or a tab-separated
// reader: every control character (below U+0020, U+007F, U+0080..U+009F) and
// the line and paragraph separators U+2028 and U+2029 become U+FFFD. Bytes that
// are not such characters are kept as they are.
std::string OneRowText(std::string_view utf8);

}  // namespace znt
