#include "archive/ZipExtract.h"

#include "archive/MemberName.h"
#include "archive/TargetFolder.h"
#include "archive/ZipReader.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/LocalTime.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace znt {
namespace {

// Large enough that inflating and writing dominate, not the calls.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr std::uint32_t kUnixTypeMask = 0170000;
constexpr std::uint32_t kUnixSymlink = 0120000;

using Sink = std::function<bool(const char*, std::size_t)>;

enum class ReadStatus { Ok, DataError, SinkFailed };

using EntryStream = std::unique_ptr<ZipEntryStream>;

bool IsFolderName(std::string_view name) { return !name.empty() && ov::IsSeparator(name.back()); }

bool IsSymlink(const ZipEntryInfo& info) {
    return info.madeByOs == kZipOsUnix &&
           ((info.externalAttributes >> 16) & kUnixTypeMask) == kUnixSymlink;
}

// Stored or deflated data, plain or under the traditional encryption: what
// both readers read, so that they refuse the rest alike.
bool IsSupported(const ZipEntryInfo& info) {
    return (info.method == kZipStored || info.method == kZipDeflated) &&
           info.encryption != ZipEncryption::Other;
}

// The name of a compression method, for the reason of a member we refuse.
const char* MethodName(std::uint16_t method) {
    switch (method) {
    case 1: return "shrunk";
    case 2:
    case 3:
    case 4:
    case 5: return "reduced";
    case 6: return "imploded";
    case 9: return "deflate64";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 93: return "zstd";
    case 95: return "xz";
    case 98: return "PPMd";
    case 99: return "AES";
    default: return nullptr;
    }
}

std::string UnsupportedReason(const ZipEntryInfo& info) {
    if (info.method == kZipStored || info.method == kZipDeflated) return "unsupported encryption";
    std::string text = "unsupported compression method " + std::to_string(info.method);
    if (const char* name = MethodName(info.method)) text += std::string(" (") + name + ")";
    return text;
}

// The short reason for a reader's status.
std::string StatusReason(ZipStatus status) {
    switch (status) {
    case ZipStatus::BadCrc: return "CRC mismatch";
    case ZipStatus::TooLarge: return "more data than declared";
    case ZipStatus::WrongPassword: return "wrong password";
    default: return ZipStatusText(status);
    }
}

// Zip times have two-second steps and an extracted file gets its member's
// time, so a file counts as older only when it is clearly behind.
bool MemberIsNewer(std::int64_t member, std::int64_t file) { return member > file + 1; }

ListedMember MakeListed(const ZipEntryInfo& st) {
    ListedMember m;
    m.name = st.name;
    m.size = st.size;
    const std::tm local = ov::LocalTime(st.mtime);
    m.year = local.tm_year + 1900;
    m.month = local.tm_mon + 1;
    m.day = local.tm_mday;
    m.hour = local.tm_hour;
    m.minute = local.tm_min;
    return m;
}

class Extraction {
public:
    Extraction(ZipArchiveReader& reader, TargetFolder* target, const ExtractOptions& options,
               ExtractCallbacks& callbacks)
        : reader_(reader), target_(target), options_(options), callbacks_(callbacks) {}

    int Run();
    // The short reason of the highest code met; empty while it is kOk.
    const std::string& Reason() const { return reason_; }

private:
    void Member(std::uint64_t index);
    void Test(std::uint64_t index, const ZipEntryInfo& st);
    void ToStdout(std::uint64_t index, const ZipEntryInfo& st);
    void Extract(std::uint64_t index, const ZipEntryInfo& st);
    void WriteMember(ZipEntryStream& zf, const ZipEntryInfo& st, const MemberPath& path);
    bool Wanted(const ZipEntryInfo& st, const MemberPath& path);
    bool MayReplace(const std::string& name);
    bool HasRoom(const ZipEntryInfo& st);
    EntryStream OpenMember(std::uint64_t index, const ZipEntryInfo& st);
    bool HavePassword(const std::string& name);
    void ReportOpenFailure(const std::string& name, ZipStatus status);
    ReadStatus Read(ZipEntryStream& zf, const Sink& sink);
    bool ReportRead(ReadStatus status, const ZipEntryStream& zf, const std::string& name);
    void Problem(int code, const std::string& text, const std::string& reason);
    void Note(const std::string& text);

    ZipArchiveReader& reader_;
    TargetFolder* target_;
    const ExtractOptions& options_;
    ExtractCallbacks& callbacks_;
    int result_ = ExtractCode::kOk;
    std::string reason_;  // of the highest code met
    bool stop_ = false;
    bool replaceNone_ = false;
    std::uint64_t written_ = 0;
    std::optional<std::string> password_;
    std::vector<char> buffer_;
};

void Extraction::Problem(int code, const std::string& text, const std::string& reason) {
    if (code > result_ || reason_.empty()) reason_ = reason;
    result_ = std::max(result_, code);
    callbacks_.Print(text + "\n");
}

void Extraction::Note(const std::string& text) {
    if (options_.quietLevel <= 0) callbacks_.Print(text + "\n");
}

int Extraction::Run() {
    if (options_.displayComment) {
        std::string comment = reader_.Comment();
        if (!comment.empty()) callbacks_.Print(comment + "\n");
    }
    if (!options_.list) buffer_.resize(kBufferBytes);
    const std::uint64_t count = reader_.EntryCount();
    for (std::uint64_t i = 0; i < count && !stop_; ++i) Member(i);
    if (options_.test && result_ == ExtractCode::kOk) Note("No errors detected.");
    return result_;
}

void Extraction::Member(std::uint64_t index) {
    ZipEntryInfo st;
    if (reader_.Entry(index, st) != ZipStatus::Ok) {
        return Problem(ExtractCode::kError,
                       "error: member " + std::to_string(index) + " cannot be read",
                       "damaged archive");
    }
    if (options_.list) return callbacks_.Listed(MakeListed(st));
    if (options_.test) return Test(index, st);
    if (options_.writeToStdout) return ToStdout(index, st);
    Extract(index, st);
}

void Extraction::Test(std::uint64_t index, const ZipEntryInfo& st) {
    if (IsFolderName(st.name)) return;
    EntryStream zf = OpenMember(index, st);
    if (!zf) return;
    auto status = Read(*zf, [](const char*, std::size_t) { return true; });
    if (ReportRead(status, *zf, st.name)) {
        Note("    testing: " + st.name + "   OK");
    }
}

void Extraction::ToStdout(std::uint64_t index, const ZipEntryInfo& st) {
    if (IsFolderName(st.name)) return;
    EntryStream zf = OpenMember(index, st);
    if (!zf) return;
    auto status = Read(
        *zf, [](const char* data, std::size_t n) { return std::fwrite(data, 1, n, stdout) == n; });
    std::fflush(stdout);
    if (status == ReadStatus::SinkFailed) {
        return Problem(ExtractCode::kError, "error: cannot write output", "cannot write output");
    }
    ReportRead(status, *zf, st.name);
}

void Extraction::Extract(std::uint64_t index, const ZipEntryInfo& st) {
    const std::string name = st.name;
    auto target = ResolveMemberName(name, options_.honorDirectories, options_.spaceToUnderscore);
    if (!target) {
        return Problem(ExtractCode::kWarning, "skipping: " + name + "  (unsafe name)",
                       "unsafe member name");
    }
    if (IsSymlink(st)) {
        return Problem(ExtractCode::kWarning, "skipping: " + name + "  (symbolic link)",
                       "symbolic link member");
    }
    if (target->folder) {
        if (!target->path.empty() && !target_->MakeFolders(target->path)) {
            Problem(ExtractCode::kError, "error: cannot create folder " + name,
                    "cannot create folder");
        }
        return;
    }
    if (st.size > options_.maxMemberBytes) {
        const std::string length = "length " + std::to_string(st.size) + ", expected at most " +
                                   std::to_string(options_.maxMemberBytes);
        return Problem(ExtractCode::kError, "error: " + name + ": " + length, length);
    }
    if (!Wanted(st, target->path) || !HasRoom(st)) return;
    EntryStream zf = OpenMember(index, st);
    if (zf) WriteMember(*zf, st, target->path);
}

void Extraction::WriteMember(ZipEntryStream& zf, const ZipEntryInfo& st, const MemberPath& path) {
    const std::string name = st.name;
    auto out = target_->Begin(path);
    if (!out)
        return Problem(ExtractCode::kError, "error: cannot create " + name, "cannot create file");
    // HasRoom counted the declared size and streams stop there, so the cap holds.
    auto status = Read(zf, [&](const char* data, std::size_t n) {
        written_ += n;
        return out->Write(data, n);
    });
    if (status == ReadStatus::SinkFailed && out->DiskFull()) {
        stop_ = true;
        return Problem(ExtractCode::kDiskFull, "error: " + name + ": disk full",
                       "no space left on device");
    }
    if (status == ReadStatus::SinkFailed) {
        return Problem(ExtractCode::kError, "error: cannot write " + name, "cannot write file");
    }
    if (!ReportRead(status, zf, name)) return;
    if (!out->Commit(st.mtime)) {
        return Problem(ExtractCode::kError, "error: cannot write " + name, "cannot write file");
    }
    Note("  inflating: " + name);
}

bool Extraction::Wanted(const ZipEntryInfo& st, const MemberPath& path) {
    ExistingEntry existing = target_->Stat(path);
    if (options_.freshen && !existing.exists) return false;
    bool byDate = options_.freshen || options_.extractOnlyNewer;
    if (byDate && existing.exists && !MemberIsNewer(st.mtime, existing.mtime)) return false;
    if (!existing.exists) return true;
    if (existing.isFolder) {
        Problem(ExtractCode::kError, "error: a folder is in the way of " + st.name,
                "a folder is in the way");
        return false;
    }
    return MayReplace(st.name);
}

bool Extraction::MayReplace(const std::string& name) {
    if (options_.overwrite) return true;
    if (!options_.promptOverwrite || replaceNone_) return false;
    switch (callbacks_.Replace(name)) {
    case ReplaceAnswer::Yes: return true;
    case ReplaceAnswer::Cancel: replaceNone_ = true; return false;
    case ReplaceAnswer::No: break;
    }
    return false;
}

bool Extraction::HasRoom(const ZipEntryInfo& st) {
    auto free = target_->FreeBytes();
    bool underCap = written_ <= options_.maxTotalBytes &&
                    st.size <= options_.maxTotalBytes - written_;  // no overflow on huge sizes
    if (underCap && (!free || st.size <= *free)) return true;
    stop_ = true;
    Problem(ExtractCode::kDiskFull,
            "error: " + st.name + ": not enough room (" + std::to_string(st.size) + " bytes)",
            underCap ? "no space left on device" : "over the extraction limit");
    return false;
}

EntryStream Extraction::OpenMember(std::uint64_t index, const ZipEntryInfo& st) {
    if (!IsSupported(st)) {
        Problem(ExtractCode::kUnsupported,
                "error: " + st.name + ": " + ZipStatusText(ZipStatus::Unsupported),
                UnsupportedReason(st));
        return nullptr;
    }
    bool encrypted = st.encryption != ZipEncryption::None;
    if (encrypted && !HavePassword(st.name)) return nullptr;
    ZipStatus status = ZipStatus::Ok;
    EntryStream zf = reader_.Open(index, encrypted ? &*password_ : nullptr, status);
    if (!zf) ReportOpenFailure(st.name, status);
    return zf;
}

bool Extraction::HavePassword(const std::string& name) {
    if (!password_) password_ = callbacks_.Password(name);
    if (password_ && !password_->empty()) return true;
    password_.reset();
    Problem(ExtractCode::kBadPassword, "skipping: " + name + "  (no password)", "no password");
    return false;
}

void Extraction::ReportOpenFailure(const std::string& name, ZipStatus status) {
    if (status == ZipStatus::WrongPassword) {
        password_.reset();  // the next encrypted member asks again
        return Problem(ExtractCode::kBadPassword, "skipping: " + name + "  (wrong password)",
                       "wrong password");
    }
    Problem(status == ZipStatus::Unsupported ? ExtractCode::kUnsupported : ExtractCode::kError,
            "error: " + name + ": " + ZipStatusText(status),
            status == ZipStatus::Unsupported ? "unsupported compression or encryption"
                                             : StatusReason(status));
}

// The stream holds to the declared size and checks the CRC at its end.
ReadStatus Extraction::Read(ZipEntryStream& zf, const Sink& sink) {
    for (;;) {
        auto n = zf.Read(buffer_.data(), buffer_.size());
        if (!n) return ReadStatus::DataError;
        if (*n == 0) return ReadStatus::Ok;
        if (!sink(buffer_.data(), *n)) return ReadStatus::SinkFailed;
    }
}

// True when the member read completely and correctly; reports it otherwise.
bool Extraction::ReportRead(ReadStatus status, const ZipEntryStream& zf, const std::string& name) {
    switch (status) {
    case ReadStatus::Ok: return true;
    case ReadStatus::DataError:
        Problem(ExtractCode::kError, "error: " + name + ": " + ZipStatusText(zf.Status()),
                StatusReason(zf.Status()));
        return false;
    case ReadStatus::SinkFailed: break;
    }
    Problem(ExtractCode::kError, "error: cannot write " + name, "cannot write file");
    return false;
}

}  // namespace

int ExtractArchive(std::string_view archive, std::string_view folder, const ExtractOptions& options,
                   ExtractCallbacks& callbacks, std::string* reason) {
    std::string unused;
    std::string& why = reason ? *reason : unused;
    why.clear();
    const bool writes = !(options.list || options.test || options.writeToStdout);
    if (archive.empty() || (writes && folder.empty())) {
        callbacks.Print("error: no archive or no folder to extract into\n");
        why = "no archive or no folder";
        return ExtractCode::kBadParameter;
    }
    ZipStatus status = ZipStatus::Ok;
    std::unique_ptr<ZipArchiveReader> reader = options.openReader(archive, status);
    if (!reader) {
        callbacks.Print("error: cannot open " + std::string(archive) + ": " +
                        ZipStatusText(status) + "\n");
        why = StatusReason(status);
        return ExtractCode::kNoArchive;
    }
    std::unique_ptr<TargetFolder> target;
    if (writes && !(target = TargetFolder::Open(folder))) {
        callbacks.Print("error: cannot create folder " + std::string(folder) + "\n");
        why = "cannot create folder";
        return ExtractCode::kError;
    }
    if (options.quietLevel <= 0) callbacks.Print("Archive:  " + std::string(archive) + "\n");
    Extraction extraction(*reader, target.get(), options, callbacks);
    int code = extraction.Run();
    why = extraction.Reason();
    return code;
}

}  // namespace znt
