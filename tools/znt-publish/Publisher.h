#pragma once

// Turns a description and a folder of payload files into what the update
// server (or a local source) serves: packages.dat, pnames.txt and files\*.zip.

#include "Description.h"

#include <map>
#include <string>
#include <vector>

namespace publish {

// Archive name of every file, in lower case: its last path part + ".zip";
// where different files share a last part, their whole path with "\"
// turned into "_".
// False with error when two files would still share an archive.
bool AssignArchiveNames(const Description& d, std::map<std::string, std::string>& archiveOf,
                        std::string& error);

// Writes outFolder/packages.dat, outFolder/pnames.txt, one archive per
// file into outFolder/files/ and the hash list outFolder/packages.sha256
// (Signer.h); with a secret key file also its signature
// outFolder/packages.sha256.minisig; then the .gz copies of Precompress.h.
// False with error on the first problem.
bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             std::string& error);
bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             const std::string& secretKeyFile, std::string& error);
// The same, with deltas from each earlier payload folder in previous and
// their index (DeltaPublish.h), all in the hash list.
bool Publish(const Description& d, const std::string& payloadFolder, const std::string& outFolder,
             const std::string& secretKeyFile, const std::vector<std::string>& previous,
             std::string& error);

}  // namespace publish
