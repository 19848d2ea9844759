#pragma once

// Small pieces of HTTP text the loopback test servers share.

#include <string>

namespace testsupport::http {

std::string Lower(std::string s);
// %XX escapes decoded; a "%" not followed by two hex digits stays as it is.
std::string PercentDecoded(const std::string& s);
// The reason phrase of a status the servers send ("Status" for the rest).
const char* Reason(int status);

}  // namespace testsupport::http
