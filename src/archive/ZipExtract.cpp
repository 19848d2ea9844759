#include "archive/ZipExtract.h"

#include "archive/MemberName.h"
#include "archive/TargetFolder.h"
#include "OVShared/Platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include <zip.h>

namespace znt {
namespace {

// Large enough that inflating and writing dominate, not the calls.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixSymlink = 0120000;

using Sink = std::function<bool(const char*, std::size_t)>;

enum class ReadStatus { Ok, DataError, TooLarge, SinkFailed };

struct ZipCloser {
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

std::string ErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

bool IsFolderName(std::string_view name) {
    return !name.empty() && ov::IsSeparator(name.back());
}

bool IsSymlink(zip_t* za, zip_uint64_t index) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za, index, 0, &opsys, &attributes) != 0) return false;
    return opsys == ZIP_OPSYS_UNIX && ((attributes >> 16) & kUnixTypeMask) == kUnixSymlink;
}

// Zip times have two-second steps and an extracted file gets its member's
// time, so a file counts as older only when it is clearly behind.
bool MemberIsNewer(std::int64_t member, std::int64_t file) { return member > file + 1; }

ListedMember MakeListed(const zip_stat_t& st) {
    ListedMember m;
    m.name = st.name;
    m.size = st.size;
    std::time_t t = st.mtime;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    m.year = local.tm_year + 1900;
    m.month = local.tm_mon + 1;
    m.day = local.tm_mday;
    m.hour = local.tm_hour;
    m.minute = local.tm_min;
    return m;
}

class Extraction {
public:
    Extraction(zip_t* za, TargetFolder* target, const ExtractOptions& options,
               ExtractCallbacks& callbacks)
        : za_(za), target_(target), options_(options), callbacks_(callbacks) {}

    int Run();

private:
    void Member(zip_uint64_t index);
    void Test(zip_uint64_t index, const zip_stat_t& st);
    void ToStdout(zip_uint64_t index, const zip_stat_t& st);
    void Extract(zip_uint64_t index, const zip_stat_t& st);
    void WriteMember(zip_file_t* zf, const zip_stat_t& st, const MemberPath& path);
    bool Wanted(const zip_stat_t& st, const MemberPath& path);
    bool MayReplace(const std::string& name);
    bool HasRoom(const zip_stat_t& st);
    ZipFile OpenMember(zip_uint64_t index, const zip_stat_t& st);
    bool HavePassword(const std::string& name);
    void ReportOpenFailure(const std::string& name);
    ReadStatus Read(zip_file_t* zf, std::uint64_t declared, const Sink& sink);
    bool ReportRead(ReadStatus status, zip_file_t* zf, const std::string& name);
    void Problem(int code, const std::string& text);
    void Note(const std::string& text);

    zip_t* za_;
    TargetFolder* target_;
    const ExtractOptions& options_;
    ExtractCallbacks& callbacks_;
    int result_ = ExtractCode::kOk;
    bool stop_ = false;
    bool replaceNone_ = false;
    std::uint64_t written_ = 0;
    std::optional<std::string> password_;
    std::vector<char> buffer_;
};

void Extraction::Problem(int code, const std::string& text) {
    result_ = std::max(result_, code);
    callbacks_.Print(text + "\n");
}

void Extraction::Note(const std::string& text) {
    if (options_.quietLevel <= 0) callbacks_.Print(text + "\n");
}

int Extraction::Run() {
    if (options_.displayComment) {
        int length = 0;
        const char* comment = zip_get_archive_comment(za_, &length, 0);
        if (comment && length > 0) callbacks_.Print(std::string(comment, length) + "\n");
    }
    if (!options_.list) buffer_.resize(kBufferBytes);
    zip_int64_t count = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < count && !stop_; ++i) Member(static_cast<zip_uint64_t>(i));
    if (options_.test && result_ == ExtractCode::kOk) Note("No errors detected.");
    return result_;
}

void Extraction::Member(zip_uint64_t index) {
    zip_stat_t st;
    if (zip_stat_index(za_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
        !(st.valid & ZIP_STAT_SIZE)) {
        return Problem(ExtractCode::kError, "error: member " + std::to_string(index) +
                                                " cannot be read");
    }
    if (options_.list) return callbacks_.Listed(MakeListed(st));
    if (options_.test) return Test(index, st);
    if (options_.writeToStdout) return ToStdout(index, st);
    Extract(index, st);
}

void Extraction::Test(zip_uint64_t index, const zip_stat_t& st) {
    if (IsFolderName(st.name)) return;
    ZipFile zf = OpenMember(index, st);
    if (!zf) return;
    auto status = Read(zf.get(), st.size, [](const char*, std::size_t) { return true; });
    if (ReportRead(status, zf.get(), st.name)) {
        Note("    testing: " + std::string(st.name) + "   OK");
    }
}

void Extraction::ToStdout(zip_uint64_t index, const zip_stat_t& st) {
    if (IsFolderName(st.name)) return;
    ZipFile zf = OpenMember(index, st);
    if (!zf) return;
    auto status = Read(zf.get(), st.size, [](const char* data, std::size_t n) {
        return std::fwrite(data, 1, n, stdout) == n;
    });
    std::fflush(stdout);
    if (status == ReadStatus::SinkFailed) {
        return Problem(ExtractCode::kError, "error: cannot write output");
    }
    ReportRead(status, zf.get(), st.name);
}

void Extraction::Extract(zip_uint64_t index, const zip_stat_t& st) {
    const std::string name = st.name;
    auto target = ResolveMemberName(name, options_.honorDirectories, options_.spaceToUnderscore);
    if (!target) return Problem(ExtractCode::kWarning, "skipping: " + name + "  (unsafe name)");
    if (IsSymlink(za_, index)) {
        return Problem(ExtractCode::kWarning, "skipping: " + name + "  (symbolic link)");
    }
    if (target->folder) {
        if (!target->path.empty() && !target_->MakeFolders(target->path)) {
            Problem(ExtractCode::kError, "error: cannot create folder " + name);
        }
        return;
    }
    if (!Wanted(st, target->path) || !HasRoom(st)) return;
    ZipFile zf = OpenMember(index, st);
    if (zf) WriteMember(zf.get(), st, target->path);
}

void Extraction::WriteMember(zip_file_t* zf, const zip_stat_t& st, const MemberPath& path) {
    const std::string name = st.name;
    auto out = target_->Begin(path);
    if (!out) return Problem(ExtractCode::kError, "error: cannot create " + name);
    // HasRoom counted the declared size and Read stops past it, so the cap holds.
    auto status = Read(zf, st.size, [&](const char* data, std::size_t n) {
        written_ += n;
        return out->Write(data, n);
    });
    if (status == ReadStatus::SinkFailed && out->DiskFull()) {
        stop_ = true;
        return Problem(ExtractCode::kDiskFull, "error: " + name + ": disk full");
    }
    if (status == ReadStatus::SinkFailed) {
        return Problem(ExtractCode::kError, "error: cannot write " + name);
    }
    if (!ReportRead(status, zf, name)) return;
    if (!out->Commit(st.mtime)) return Problem(ExtractCode::kError, "error: cannot write " + name);
    Note("  inflating: " + name);
}

bool Extraction::Wanted(const zip_stat_t& st, const MemberPath& path) {
    ExistingEntry existing = target_->Stat(path);
    if (options_.freshen && !existing.exists) return false;
    bool byDate = options_.freshen || options_.extractOnlyNewer;
    if (byDate && existing.exists && !MemberIsNewer(st.mtime, existing.mtime)) return false;
    if (!existing.exists) return true;
    if (existing.isFolder) {
        Problem(ExtractCode::kError, "error: a folder is in the way of " + std::string(st.name));
        return false;
    }
    return MayReplace(st.name);
}

bool Extraction::MayReplace(const std::string& name) {
    if (options_.overwrite) return true;
    if (!options_.promptOverwrite || replaceNone_) return false;
    switch (callbacks_.Replace(name)) {
    case ReplaceAnswer::Yes:
        return true;
    case ReplaceAnswer::Cancel:
        replaceNone_ = true;
        return false;
    case ReplaceAnswer::No:
        break;
    }
    return false;
}

bool Extraction::HasRoom(const zip_stat_t& st) {
    auto free = target_->FreeBytes();
    bool underCap = written_ <= options_.maxTotalBytes &&
                    st.size <= options_.maxTotalBytes - written_;  // no overflow on huge sizes
    if (underCap && (!free || st.size <= *free)) return true;
    stop_ = true;
    Problem(ExtractCode::kDiskFull, "error: " + std::string(st.name) + ": not enough room (" +
                                        std::to_string(st.size) + " bytes)");
    return false;
}

ZipFile Extraction::OpenMember(zip_uint64_t index, const zip_stat_t& st) {
    bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    if (encrypted && !HavePassword(st.name)) return nullptr;
    ZipFile zf(encrypted ? zip_fopen_index_encrypted(za_, index, 0, password_->c_str())
                         : zip_fopen_index(za_, index, 0));
    if (!zf) ReportOpenFailure(st.name);
    return zf;
}

bool Extraction::HavePassword(const std::string& name) {
    if (!password_) password_ = callbacks_.Password(name);
    if (password_ && !password_->empty()) return true;
    password_.reset();
    Problem(ExtractCode::kBadPassword, "skipping: " + name + "  (no password)");
    return false;
}

void Extraction::ReportOpenFailure(const std::string& name) {
    int code = zip_error_code_zip(zip_get_error(za_));
    std::string why = zip_error_strerror(zip_get_error(za_));
    zip_error_clear(za_);
    if (code == ZIP_ER_WRONGPASSWD) {
        password_.reset();  // the next encrypted member asks again
        return Problem(ExtractCode::kBadPassword, "skipping: " + name + "  (wrong password)");
    }
    bool unsupported = code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP;
    Problem(unsupported ? ExtractCode::kUnsupported : ExtractCode::kError,
            "error: " + name + ": " + why);
}

ReadStatus Extraction::Read(zip_file_t* zf, std::uint64_t declared, const Sink& sink) {
    std::uint64_t total = 0;
    for (;;) {
        zip_int64_t n = zip_fread(zf, buffer_.data(), buffer_.size());
        if (n < 0) return ReadStatus::DataError;
        if (n == 0) return total == declared ? ReadStatus::Ok : ReadStatus::DataError;
        total += static_cast<std::uint64_t>(n);
        if (total > declared) return ReadStatus::TooLarge;
        if (!sink(buffer_.data(), static_cast<std::size_t>(n))) return ReadStatus::SinkFailed;
    }
}

// True when the member read completely and correctly; reports it otherwise.
bool Extraction::ReportRead(ReadStatus status, zip_file_t* zf, const std::string& name) {
    switch (status) {
    case ReadStatus::Ok:
        return true;
    case ReadStatus::TooLarge:
        Problem(ExtractCode::kError, "error: " + name + ": more data than its declared size");
        return false;
    case ReadStatus::DataError: {
        zip_error_t* error = zip_file_get_error(zf);
        bool known = zip_error_code_zip(error) != ZIP_ER_OK;
        Problem(ExtractCode::kError, "error: " + name + ": " +
                                         (known ? zip_error_strerror(error) : "size mismatch"));
        return false;
    }
    case ReadStatus::SinkFailed:
        break;
    }
    Problem(ExtractCode::kError, "error: cannot write " + name);
    return false;
}

}  // namespace

int ExtractArchive(std::string_view archive, std::string_view folder,
                   const ExtractOptions& options, ExtractCallbacks& callbacks) {
    const bool writes = !(options.list || options.test || options.writeToStdout);
    if (archive.empty() || (writes && folder.empty())) {
        callbacks.Print("error: no archive or no folder to extract into\n");
        return ExtractCode::kBadParameter;
    }
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> za(
        zip_open(ov::NativePath(archive).c_str(), ZIP_RDONLY, &error));
    if (!za) {
        callbacks.Print("error: cannot open " + std::string(archive) + ": " + ErrorText(error) +
                        "\n");
        return ExtractCode::kNoArchive;
    }
    std::unique_ptr<TargetFolder> target;
    if (writes && !(target = TargetFolder::Open(folder))) {
        callbacks.Print("error: cannot create folder " + std::string(folder) + "\n");
        return ExtractCode::kError;
    }
    if (options.quietLevel <= 0) callbacks.Print("Archive:  " + std::string(archive) + "\n");
    return Extraction(za.get(), target.get(), options, callbacks).Run();
}

}  // namespace znt
