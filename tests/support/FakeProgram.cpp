#include "support/FakeProgram.h"

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace testsupport {
namespace {

std::vector<std::string> OwnArguments() {
#ifdef _WIN32
    return ov::ProgramArguments(0, nullptr);
#else
    // Static initialisation runs before main sees argv.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> words;
    for (std::string word; std::getline(in, word, '\0');) words.push_back(word);
    if (!words.empty()) words.erase(words.begin());
    return words;
#endif
}

int EnvNumber(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

[[maybe_unused]] const bool kActedAsFake = [] {
    const char* record = std::getenv("ZNT_FAKE_PROGRAM");
    if (!record) return false;
    if (std::string(record) != "-") {
        std::string text = std::filesystem::current_path().string() + "\n";
        for (const std::string& word : OwnArguments()) text += word + "\n";
        ov::WriteFileAtomic(record, text);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(EnvNumber("ZNT_FAKE_WAIT_MS")));
    std::_Exit(EnvNumber("ZNT_FAKE_EXIT"));
}();

}  // namespace

FakeProgramRole::FakeProgramRole(const std::string& recordFile, int exitCode, int waitMs)
    : record_("ZNT_FAKE_PROGRAM", recordFile),
      exit_("ZNT_FAKE_EXIT", std::to_string(exitCode)),
      wait_("ZNT_FAKE_WAIT_MS", std::to_string(waitMs)) {}

std::string CopyAsFakeProgram(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (!ov::CopyFileReplacing(ov::ExecutablePath(), path)) return {};
    return path;
}

}  // namespace testsupport
