#pragma once

// The running test program doubles as a fake of the programs the code under
// test starts (the patcher, a setup program): copied under another name, or
// started as it is, with $ZNT_FAKE_PROGRAM set it does not run its tests but
// writes its working folder and then its arguments, a line each, to the file
// named there (relative to its working folder), waits $ZNT_FAKE_WAIT_MS and
// ends with $ZNT_FAKE_EXIT. "-" records nothing. Arguments are read as the
// program receives them: on Windows from its wide command line.

#include "support/Env.h"

#include <string>

namespace testsupport {

// Copies the running test program to path (its folders are made); the path
// of the copy, empty when it failed.
std::string CopyAsFakeProgram(const std::string& path);

// Makes every program started while the object lives act as the fake.
class FakeProgramRole {
public:
    // Defined beside the fake's start-up code, so that a test program that
    // uses the role always links that code.
    explicit FakeProgramRole(const std::string& recordFile, int exitCode = 0, int waitMs = 0);

private:
    ScopedEnv record_, exit_, wait_;
};

}  // namespace testsupport
