// The archive reader over libzip, built where the system has libzip (not on
// Windows). It maps libzip's errors onto ZipStatus and holds entry streams to
// the declared size, as the zlib reader does. Our own header check (the zlib
// reader's directory reading) runs first: it finds bytes before the archive,
// which libzip is then opened past, and checks each member's local header
// before libzip reads the member.

#include "archive/ZipHeaderCheck.h"
#include "archive/ZipReader.h"
#include "archive/ZipText.h"

#include "OVShared/Platform/FileSystem.h"

#include <new>

#include <zip.h>

namespace znt {
namespace {

ZipStatus StatusOf(int libzipError) {
    switch (libzipError) {
    case ZIP_ER_OK: return ZipStatus::Ok;
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN: return ZipStatus::CannotOpen;
    case ZIP_ER_NOZIP:
    case ZIP_ER_MULTIDISK: return ZipStatus::NotZip;
    case ZIP_ER_CRC: return ZipStatus::BadCrc;
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_ENCRNOTSUPP: return ZipStatus::Unsupported;
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_NOPASSWD: return ZipStatus::WrongPassword;
    case ZIP_ER_READ:
    case ZIP_ER_SEEK: return ZipStatus::ReadFailed;
    case ZIP_ER_MEMORY: throw std::bad_alloc();
    default: return ZipStatus::Damaged;
    }
}

class LibzipEntryStream : public ZipEntryStream {
public:
    LibzipEntryStream(zip_file_t* file, std::uint64_t size) : file_(file), size_(size) {}
    ~LibzipEntryStream() override { zip_fclose(file_); }

    std::optional<std::size_t> Read(char* data, std::size_t capacity) override;
    ZipStatus Status() const override { return status_; }

private:
    std::optional<std::size_t> Fail(ZipStatus status) {
        status_ = status;
        return std::nullopt;
    }

    zip_file_t* file_;
    std::uint64_t size_;
    std::uint64_t total_ = 0;
    bool pastSize_ = false;  // the last read went past the declared size
    ZipStatus status_ = ZipStatus::Ok;
};

std::optional<std::size_t> LibzipEntryStream::Read(char* data, std::size_t capacity) {
    if (status_ != ZipStatus::Ok) return std::nullopt;
    if (pastSize_) return Fail(ZipStatus::TooLarge);
    zip_int64_t n = zip_fread(file_, data, capacity);
    if (n < 0) {
        ZipStatus status = StatusOf(zip_error_code_zip(zip_file_get_error(file_)));
        return Fail(status == ZipStatus::Ok ? ZipStatus::Damaged : status);
    }
    auto got = static_cast<std::uint64_t>(n);
    if (got == 0 && total_ != size_) return Fail(ZipStatus::Damaged);
    if (got > size_ - total_) {  // deliver up to the declared size, then fail
        pastSize_ = true;
        got = size_ - total_;
        if (got == 0) return Fail(ZipStatus::TooLarge);
    }
    total_ += got;
    return static_cast<std::size_t>(got);
}

ZipEncryption EncryptionOf(const zip_stat_t& st) {
    if (!(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method == ZIP_EM_NONE) {
        return ZipEncryption::None;
    }
    return st.encryption_method == ZIP_EM_TRAD_PKWARE ? ZipEncryption::Traditional
                                                      : ZipEncryption::Other;
}

class LibzipArchiveReader : public ZipArchiveReader {
public:
    LibzipArchiveReader(zip_t* za, std::uint64_t length, std::unique_ptr<ZipHeaderCheck> check)
        : za_(za), length_(length), check_(std::move(check)) {}
    ~LibzipArchiveReader() override { zip_discard(za_); }

    std::uint64_t EntryCount() const override {
        zip_int64_t count = zip_get_num_entries(za_, 0);
        return count > 0 ? static_cast<std::uint64_t>(count) : 0;
    }
    ZipStatus Entry(std::uint64_t index, ZipEntryInfo& info) const override;
    std::string Comment() const override {
        int length = 0;
        const char* comment = zip_get_archive_comment(za_, &length, ZIP_FL_ENC_RAW);
        if (!comment || length <= 0) return {};
        return DecodeZipText(std::string_view(comment, static_cast<std::size_t>(length)));
    }
    std::unique_ptr<ZipEntryStream> Open(std::uint64_t index, const std::string* password,
                                         ZipStatus& status) override;

private:
    zip_t* za_;
    std::uint64_t length_;  // of the archive file
    std::unique_ptr<ZipHeaderCheck> check_;
};

ZipStatus LibzipArchiveReader::Entry(std::uint64_t index, ZipEntryInfo& info) const {
    zip_stat_t st;
    // libzip leaves the CRC out for AES entries, which are refused later anyway.
    const zip_uint64_t needed =
        ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
    // Raw names: libzip's own decoding turns control characters into symbols,
    // which would hide them from the name checks.
    if (zip_stat_index(za_, index, ZIP_FL_ENC_RAW, &st) != 0 || (st.valid & needed) != needed) {
        return ZipStatus::Damaged;
    }
    info.name = DecodeZipText(st.name);
    info.size = st.size;
    info.compressedSize = st.comp_size;
    info.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    info.mtime = st.mtime;
    info.method = st.comp_method;
    info.encryption = EncryptionOf(st);
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(za_, index, 0, &opsys, &attributes) != 0) {
        return ZipStatus::Damaged;
    }
    info.madeByOs = opsys;
    info.externalAttributes = attributes;
    return ZipStatus::Ok;
}

std::unique_ptr<ZipEntryStream> LibzipArchiveReader::Open(std::uint64_t index,
                                                          const std::string* password,
                                                          ZipStatus& status) {
    ZipEntryInfo info;
    status = Entry(index, info);
    if (status != ZipStatus::Ok) return nullptr;
    // libzip reads deflated data to its end whatever the size says; the zlib
    // reader refuses data said to run past the file, and so does this one.
    if (info.compressedSize > length_) {
        status = ZipStatus::Damaged;
        return nullptr;
    }
    status = check_->CheckLocalHeader(index);
    if (status != ZipStatus::Ok) return nullptr;
    zip_file_t* file =
        info.encryption == ZipEncryption::None
            ? zip_fopen_index(za_, index, 0)
            : zip_fopen_index_encrypted(za_, index, 0, password ? password->c_str() : "");
    if (!file) {
        status = StatusOf(zip_error_code_zip(zip_get_error(za_)));
        zip_error_clear(za_);
        if (status == ZipStatus::Ok) status = ZipStatus::Damaged;
        return nullptr;
    }
    return std::make_unique<LibzipEntryStream>(file, info.size);
}

}  // namespace

std::unique_ptr<ZipArchiveReader> OpenLibzipReader(std::string_view path, ZipStatus& status) {
    auto check = OpenZipHeaderCheck(path, status);
    if (!check) return nullptr;
    const std::string native = ov::NativePath(path);
    zip_error_t error;
    zip_error_init(&error);
    // Length 0: from the archive's start to the end of the file.
    zip_source_t* source = zip_source_file_create(native.c_str(), check->PrefixBytes(), 0, &error);
    zip_t* za = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!za) {
        if (source) zip_source_free(source);
        status = StatusOf(zip_error_code_zip(&error));
        zip_error_fini(&error);
        if (status == ZipStatus::Ok) status = ZipStatus::CannotOpen;
        return nullptr;
    }
    zip_error_fini(&error);
    zip_int64_t count = zip_get_num_entries(za, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) != check->EntryCount()) {
        zip_discard(za);
        status = ZipStatus::Damaged;
        return nullptr;
    }
    status = ZipStatus::Ok;
    return std::make_unique<LibzipArchiveReader>(za, ov::FileLength(native).value_or(0),
                                                 std::move(check));
}

}  // namespace znt
