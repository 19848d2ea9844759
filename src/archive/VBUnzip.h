#pragma once

// The extraction routine behind CGUnzipFiles and the callbacks it hands to
// the extraction layer (ZipExtract.h): messages are collected, the replace
// and password questions go to the message sink, and listed members become
// lines of a listing text.

#include "archive/ZipExtract.h"
#include "OVShared/Platform/MessageBox.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace znt {

// An error raised by the extraction routine or by CGUnzipFiles::Unzip.
struct UnzipError : std::runtime_error {
    UnzipError(int number, std::string source, std::string description);
    int number;
    std::string source;
    std::string description;
};

// The properties of CGUnzipFiles; flags count as set when not zero.
struct UnzipProperties {
    std::int16_t ExtractNewer = 0;
    std::int16_t SpaceToUnderScore = 0;
    std::int16_t PromptOverwrite = 0;
    std::int32_t MessageLevel = 2;
    std::int16_t WriteToStdOut = 0;
    std::int16_t TestZip = 0;
    std::int32_t ExtractList = 0;
    std::int16_t ExtractOnlyNewer = 0;
    std::int16_t DisplayComment = 0;
    std::int16_t HonorDirectories = 1;
    std::int16_t OverWriteFiles = 1;
    std::int16_t ConvertCRtoCRLF = 0;
    std::int16_t Verbose = 0;
    std::int16_t CaseSensitive = 1;
    std::int32_t Privilege = 0;
    std::string ZipFileName;
    std::string ExtractDir;
    // Not one of the library's options: a member declared larger is refused.
    std::uint64_t MaxMemberBytes = UINT64_MAX;
    // Nor this: the reader the archive is opened with (the build's by default).
    ZipReaderOpener OpenReader = OpenZipReader;
};

// What the callbacks collect during one extraction; reset at its start.
struct UnzipSession {
    std::string messages;  // printed text, line ends as CR LF
    std::string listing;   // heading and one line per member, joined by CR LF
    std::int32_t listedCount = 0;
    bool passwordCancelled = false;
    std::string reason;  // short phrase for the result code; empty on success
};

// Texts of the questions asked during an extraction.
inline constexpr const char* kPasswordPrompt = "Please Enter The Password!";
inline constexpr const char* kReplaceTitle = "VBUnZip32 - File Already Exists!";
// Longest password passed on, in bytes.
constexpr std::size_t kMaxPasswordBytes = 255;

// Error numbers raised (the Basic run-time numbers for the same faults).
constexpr int kErrOutOfMemory = 7;
constexpr int kErrInternal = 51;

ExtractOptions ToExtractOptions(const UnzipProperties& properties);

// The listing heading (member == nullptr) or one member's line, 80 characters.
std::string FormatListingLine(const ListedMember* member);

// Resets the session, extracts with the properties and returns the layer's
// code. Any exception inside (a sink that throws, memory) is raised as
// UnzipError with the source "CodeModule::VBUnzip".
int VBUnzip(const UnzipProperties& properties, UnzipSession& session, ov::MessageSink& sink);

}  // namespace znt
