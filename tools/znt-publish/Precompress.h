#pragma once

// Precompressed copies for static web servers (nginx's gzip_static): the
// text files the program fetches whole get a <name>.gz beside them, so a
// server can send them compressed without compressing on every request.

#include <string>
#include <vector>

namespace publish {

// The files of outFolder that get a .gz copy, when they exist.
inline const std::vector<std::string> kPrecompressedNames{"packages.dat", "packages.sha256",
                                                          "pnames.txt"};

// Writes <name>.gz (gzip, best compression) for each name in outFolder,
// checks that it decodes back to the same bytes and gives it the original's
// modification time (the server derives both copies' ETag and Last-Modified
// from it). False with error on the first problem.
bool WritePrecompressed(const std::string& outFolder, const std::vector<std::string>& names,
                        std::string& error);

// bytes in one gzip member at the best compression; empty when zlib fails.
std::string GzipBest(const std::string& bytes);

}  // namespace publish
