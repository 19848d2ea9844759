#pragma once

// The LIST launch mode: prints the install and uninstall candidate lists of
// the installation without opening a window.

#include <ostream>
#include <string>

namespace znt {

// Lists the packages of the installation that holds programPath (in
// <installation>\core\). Source: /SOURCE=<folder> (holding packages.dat and
// files\) else the update server. Writes one UTF-8 line per row to out,
// install rows first: "INSTALL\t<Code>\t<list line>", then
// "UNINSTALL\t<Code>\t<list line>". Messages go to err. Returns 0 after a
// listing, 1 when the catalogue cannot be fetched, 2 for a bad server address.
int RunListMode(const std::string& commandLine, const std::string& programPath,
                std::ostream& out, std::ostream& err);

}  // namespace znt
