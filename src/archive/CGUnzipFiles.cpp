#include "archive/CGUnzipFiles.h"

#include <new>

namespace znt {
namespace {

constexpr const char* kErrorSource = "CGUnZipFiles::Unzip";

}  // namespace

CGUnzipFiles::CGUnzipFiles(ov::MessageSink& sink) : sink_(&sink) {}

void CGUnzipFiles::SetMessageSink(ov::MessageSink& sink) { sink_ = &sink; }

std::int32_t CGUnzipFiles::Unzip(const std::string& archivePath, const std::string& targetFolder) {
    try {
        if (!archivePath.empty()) p_.ZipFileName = archivePath;
        if (!targetFolder.empty()) p_.ExtractDir = targetFolder;
        return VBUnzip(p_, session_, *sink_);
    } catch (const UnzipError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw UnzipError(kErrOutOfMemory, kErrorSource, "Out of memory");
    } catch (const std::exception& e) {
        throw UnzipError(kErrInternal, kErrorSource, e.what());
    }
}

std::string CGUnzipFiles::GetLastMessage() const { return session_.messages; }

std::string CGUnzipFiles::GetLastReason() const { return session_.reason; }

std::string CGUnzipFiles::GetListing() const { return session_.listing; }

std::int32_t CGUnzipFiles::ListedCount() const { return session_.listedCount; }

}  // namespace znt
