#pragma once

// One archive extraction with its options as properties. A new object
// recreates the archive's folders and overwrites existing files without
// asking. Questions (replace a file, the password) go to the message sink.
//
// Unzip returns a code of ExtractCode (ZipExtract.h): 0 on success, and a
// code for every fault of the archive, its members or the disk (a missing or
// damaged archive is 9, a damaged member 2, a full disk 50, and so on); those
// never raise. UnzipError is raised only for faults of the program itself:
// with the source "CodeModule::VBUnzip" when it arose inside the extraction
// routine (out of memory, a message sink that threw), passed on unchanged,
// and with the source "CGUnZipFiles::Unzip" for any other error inside Unzip.

#include "archive/VBUnzip.h"
#include "OVShared/Platform/MessageBox.h"

#include <cstdint>
#include <string>

namespace znt {

class CGUnzipFiles {
public:
    explicit CGUnzipFiles(ov::MessageSink& sink);
    void SetMessageSink(ov::MessageSink& sink);

    // A non-empty argument replaces ZipFileName or ExtractDir first.
    std::int32_t Unzip(const std::string& archivePath = "", const std::string& targetFolder = "");
    // Text printed during the last extraction, lines ending in CR LF.
    std::string GetLastMessage() const;
    // A short phrase for the last extraction's code ("CRC mismatch"); empty on success.
    std::string GetLastReason() const;
    // The listing of the last extraction with ExtractList set.
    std::string GetListing() const;
    std::int32_t ListedCount() const;

    std::int16_t ExtractNewer() const { return p_.ExtractNewer; }
    void SetExtractNewer(std::int16_t v) { p_.ExtractNewer = v; }
    std::int16_t SpaceToUnderScore() const { return p_.SpaceToUnderScore; }
    void SetSpaceToUnderScore(std::int16_t v) { p_.SpaceToUnderScore = v; }
    std::int16_t PromptOverwrite() const { return p_.PromptOverwrite; }
    void SetPromptOverwrite(std::int16_t v) { p_.PromptOverwrite = v; }
    std::int32_t MessageLevel() const { return p_.MessageLevel; }
    void SetMessageLevel(std::int32_t v) { p_.MessageLevel = v; }
    std::int16_t WriteToStdOut() const { return p_.WriteToStdOut; }
    void SetWriteToStdOut(std::int16_t v) { p_.WriteToStdOut = v; }
    std::int16_t TestZip() const { return p_.TestZip; }
    void SetTestZip(std::int16_t v) { p_.TestZip = v; }
    std::int32_t ExtractList() const { return p_.ExtractList; }
    void SetExtractList(std::int32_t v) { p_.ExtractList = v; }
    std::int16_t ExtractOnlyNewer() const { return p_.ExtractOnlyNewer; }
    void SetExtractOnlyNewer(std::int16_t v) { p_.ExtractOnlyNewer = v; }
    std::int16_t DisplayComment() const { return p_.DisplayComment; }
    void SetDisplayComment(std::int16_t v) { p_.DisplayComment = v; }
    std::int16_t HonorDirectories() const { return p_.HonorDirectories; }
    void SetHonorDirectories(std::int16_t v) { p_.HonorDirectories = v; }
    std::int16_t OverWriteFiles() const { return p_.OverWriteFiles; }
    void SetOverWriteFiles(std::int16_t v) { p_.OverWriteFiles = v; }
    std::int16_t ConvertCRtoCRLF() const { return p_.ConvertCRtoCRLF; }
    void SetConvertCRtoCRLF(std::int16_t v) { p_.ConvertCRtoCRLF = v; }
    std::int16_t Verbose() const { return p_.Verbose; }
    void SetVerbose(std::int16_t v) { p_.Verbose = v; }
    std::int16_t CaseSensitive() const { return p_.CaseSensitive; }
    void SetCaseSensitive(std::int16_t v) { p_.CaseSensitive = v; }
    std::int32_t Privilege() const { return p_.Privilege; }
    void SetPrivilege(std::int32_t v) { p_.Privilege = v; }
    const std::string& ZipFileName() const { return p_.ZipFileName; }
    void SetZipFileName(const std::string& v) { p_.ZipFileName = v; }
    const std::string& ExtractDir() const { return p_.ExtractDir; }
    void SetExtractDir(const std::string& v) { p_.ExtractDir = v; }
    std::uint64_t MaxMemberBytes() const { return p_.MaxMemberBytes; }
    void SetMaxMemberBytes(std::uint64_t v) { p_.MaxMemberBytes = v; }
    void SetReader(ZipReaderOpener open) { p_.OpenReader = open; }

private:
    ov::MessageSink* sink_;
    UnzipProperties p_;
    UnzipSession session_;
};

}  // namespace znt
