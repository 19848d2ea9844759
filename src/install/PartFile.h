#pragma once

// An archive being written: bytes go to "<target>.part" beside the target
// (gathered into writes of 256 KiB), and the part file is renamed over the
// target only when it holds exactly the expected length. The part file never
// grows past that length: Append refuses bytes that would pass it and writes
// none of them. A part file that
// is not committed is deleted when the object goes, so a failed or cancelled
// fetch leaves nothing behind. While the object lives, the part file keeps
// what it received, so a download that failed midway can continue there;
// Restart empties it for a download that has to start over.
//
// A part file left by an earlier run (the program killed) is kept when the
// object is made, and Length counts its bytes; nothing vouches for them yet,
// so the caller continues it only with proof that they are the archive's
// (the validator recorded with them, or a signed hash checked at the end)
// and calls Restart otherwise. The validator of the body being written is
// kept beside it in "<target>.part.tag": the address, then the validator.
//
// On request the part file keeps a SHA-256 of the bytes it holds, taken as
// they are written, so that a whole archive need not be read again to be
// checked.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

namespace crypto {
class Sha256;
}

class PartFile {
public:
    // Opens the part file for writing, after the bytes of a leftover one
    // (one longer than expected, or that is no regular file, is replaced).
    PartFile(std::string target, std::int64_t expected);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool IsOpen() const { return open_; }
    // False, writing nothing, when the bytes would pass the expected length
    // (then TooLong() is set) or the write fails.
    bool Append(std::string_view bytes);
    bool TooLong() const { return tooLong_; }
    // The errno of the first failed open or write; 0 when none failed.
    int Error() const { return error_; }
    // Empties the part file and forgets its validator; false when it cannot
    // be written any more.
    bool Restart();
    // The validator recorded with the bytes held when they came from url;
    // empty when there is none.
    std::string RecordedValidator(const std::string& url) const;
    // Records the validator of the body from url that the part file holds
    // from its first byte (empty forgets it). False when it cannot be kept.
    bool RecordValidator(const std::string& url, const std::string& validator);
    std::int64_t Length() const { return length_; }
    // Starts the SHA-256 of the bytes held from the first one on: those
    // already held are read once now, later ones are taken as they are
    // written, and Restart starts it over. False when the held bytes cannot
    // be read (nothing is hashed then).
    bool StartHash();
    // After a Commit that took the hash along: the archive's SHA-256 in
    // lower-case hex; empty otherwise.
    const std::string& Sha256Hex() const { return sha256Hex_; }
    // Closes the part file and renames it over the target when its length is
    // exactly the expected one; otherwise deletes it. True when the target
    // now holds the archive.
    bool Commit();

private:
    bool Flush();
    bool Write(std::string_view bytes);
    bool NoteError();  // records errno; always false
    void Discard();

    std::string target_;
    std::string part_;
    std::string tag_;
    std::int64_t expected_;
    std::int64_t length_ = 0;
    bool open_ = false;
    bool tooLong_ = false;
    int error_ = 0;
    bool done_ = false;
    std::vector<char> buffer_;
    std::ofstream out_;
    std::unique_ptr<crypto::Sha256> hash_;  // of the bytes written; none when not asked
    std::string sha256Hex_;
};

}  // namespace znt
