// minisign signatures and the signed hash list: Debian's minisign and the
// publishing tool's own signer against our verifier, and the other way round.

#include "Signer.h"
#include "catalogue/CatalogueTrust.h"
#include "catalogue/Signature.h"
#include "OVShared/Platform/RegistryStore.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#ifndef _WIN32
#include "Description.h"
#include "Publisher.h"
#endif

using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// Debian's minisign, run through the shell; not in the Windows build.
bool HaveMinisign() {
#ifdef _WIN32
    return false;
#else
    return std::system("minisign -v >/dev/null 2>&1") == 0;
#endif
}

// Made once with minisign 0.11 (-G -W; -S -t 'timestamp:1733650000', and -l
// for the legacy file): what any build must read, and make, byte for byte.
const std::string kMinisignPublic =
    "untrusted comment: minisign public key 11412C8E0A7EF767\n"
    "RWRn934KjixBEYngd4r17wqCiNh5rIH2GKKbfD3neKXmLYDLNgS38DLE\n";
const std::string kMinisignSecret =
    "untrusted comment: minisign encrypted secret key\n"
    "RWQAAEIyAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAZ/"
    "d+Co4sQRE9s6ka3YFcjXcq"
    "1cXdSbmJ7yNy+oZCNdax8B/"
    "Hz2vGjongd4r17wqCiNh5rIH2GKKbfD3neKXmLYDLNgS38DLEAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAAAAA=\n";
const std::string kMinisignMessage =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855  packages.dat\n";
const std::string kMinisignHashed =
    "untrusted comment: signature from minisign secret key\n"
    "RURn934KjixBETVB+SvA2MoSxynz9wZl1EzlZhwMdN8du9hO0W5hJi3szSCgpyQhqQGllb++ieusZHGt/"
    "39S3Ye+h5XhG5Fa9w0=\n"
    "trusted comment: timestamp:1733650000\n"
    "y1YgOJhrkucmSyhCHZtF9dU3487meH1fs72hqhmoqMDqfUUb1PMOYY+kJ9BIv0ZwVgNW8JA7mvfEC4OWP6Q3BQ==\n";
const std::string kMinisignLegacy =
    "untrusted comment: signature from minisign secret key\n"
    "RWRn934KjixBEf0fglBq8pWLnpdtOyb8LuYCU62g9YAzzon3Vr7xtUdQx1rzW+W8iIn5He9/"
    "nWAHR1UrOx0K9Myf6zFisxpNzQg=\n"
    "trusted comment: timestamp:1733650000\n"
    "FesJFixfD8l6ABJbT/y3iuhQvNlpqPUMa2c7YpR2EmGgi51B4nvdzF0xauM0BUB9pplhT9UCuh3vTJ5NcZiaDA==\n";

// Runs a shell command in folder; true when it exits 0.
bool RunIn(const TempDir& folder, const std::string& command) {
    return std::system(("cd '" + folder.path() + "' && " + command + " >/dev/null 2>&1").c_str()) ==
           0;
}

bool Verifies(const std::string& pubText, const std::string& sigText, const std::string& message) {
    auto key = znt::ParsePublicKey(pubText);
    auto sig = znt::ParseSignature(sigText);
    return key && sig && znt::VerifySignature(*key, *sig, message);
}

std::string FlipByte(std::string text, size_t at) {
    text[at] = static_cast<char>(text[at] ^ 0x01);
    return text;
}

publish::SecretKey KeyOf(const std::string& secretText) {
    std::string error;
    auto key = publish::ParseSecretKey(secretText, error);
    EXPECT_TRUE(key) << error;
    return key.value_or(publish::SecretKey{});
}

}  // namespace

TEST(MinisignSignature, DebiansMinisignSignaturesVerifyAndAnyChangeIsRefused) {
    if (!HaveMinisign()) GTEST_SKIP() << "no minisign here (tools/install-deps.sh; native only)";
    TempDir d;
    d.write("message", "the signed hash list\n");
    ASSERT_TRUE(RunIn(d, "minisign -G -W -p pub -s sec"));
    ASSERT_TRUE(RunIn(d, "minisign -S -W -s sec -m message -t 'timestamp:1733650000'"));
    ASSERT_TRUE(RunIn(d, "minisign -S -l -W -s sec -m message -x legacy.minisig"));
    const std::string pub = ReadFile(d.file("pub")), message = ReadFile(d.file("message"));
    const std::string hashed = ReadFile(d.file("message.minisig"));
    const std::string legacy = ReadFile(d.file("legacy.minisig"));

    EXPECT_TRUE(Verifies(pub, hashed, message));  // "ED": over the BLAKE2b-512 digest
    EXPECT_TRUE(Verifies(pub, legacy, message));  // "Ed": over the message itself
    EXPECT_EQ(znt::ParseSignature(hashed)->trustedComment, "timestamp:1733650000");
    EXPECT_FALSE(Verifies(pub, hashed, FlipByte(message, 3)));
    EXPECT_FALSE(Verifies(pub, legacy, FlipByte(message, 3)));
    std::string changedComment = hashed;
    changedComment.replace(changedComment.find("1733650000"), 10, "1999999999");
    EXPECT_FALSE(Verifies(pub, changedComment, message)) << "the global signature covers it";

    ASSERT_TRUE(RunIn(d, "minisign -G -W -p other.pub -s other.sec"));
    EXPECT_FALSE(Verifies(ReadFile(d.file("other.pub")), hashed, message));
    // The tool signs with minisign's unencrypted secret key too.
    publish::SecretKey key = KeyOf(ReadFile(d.file("sec")));
    EXPECT_TRUE(Verifies(pub, publish::SignMessage(key, message, "timestamp:5"), message));
}

TEST(MinisignSignature, StoredMinisignFilesVerifyAndOurSignerMakesTheSameBytes) {
    EXPECT_TRUE(Verifies(kMinisignPublic, kMinisignHashed, kMinisignMessage));
    EXPECT_TRUE(Verifies(kMinisignPublic, kMinisignLegacy, kMinisignMessage));
    EXPECT_FALSE(Verifies(kMinisignPublic, kMinisignHashed, FlipByte(kMinisignMessage, 70)));
    EXPECT_FALSE(Verifies(kMinisignPublic, kMinisignLegacy, FlipByte(kMinisignMessage, 70)));
    EXPECT_FALSE(Verifies(publish::GenerateKeyPair().first, kMinisignHashed, kMinisignMessage));
    // Ed25519 signatures are deterministic: the same key signs the same bytes.
    const std::string ours =
        publish::SignMessage(KeyOf(kMinisignSecret), kMinisignMessage, "timestamp:1733650000");
    const size_t below = kMinisignHashed.find('\n') + 1;
    EXPECT_EQ(ours.substr(ours.find('\n') + 1), kMinisignHashed.substr(below));
}

TEST(MinisignSignature, MalformedKeysAndSignaturesParseToNothing) {
    auto [pub, sec] = publish::GenerateKeyPair();
    const std::string sig = publish::SignMessage(KeyOf(sec), "m", "c");
    EXPECT_TRUE(znt::ParsePublicKey(pub));
    EXPECT_FALSE(znt::ParsePublicKey(""));
    EXPECT_FALSE(znt::ParsePublicKey(pub.substr(0, pub.size() - 6) + "\n"));  // cut short
    EXPECT_FALSE(znt::ParsePublicKey(sec));
    EXPECT_TRUE(znt::ParseSignature(sig));
    EXPECT_FALSE(znt::ParseSignature(sig.substr(0, sig.rfind('\n', sig.size() - 2))));
    EXPECT_FALSE(znt::ParseSignature("untrusted comment: x\n!!!!\ntrusted comment: y\nAAAA\n"));
    std::string error;
    std::string encrypted = sec;
    encrypted.replace(encrypted.find('\n') + 1, 4, "RWRT");  // "Ed" "Sc": scrypt-encrypted
    EXPECT_FALSE(publish::ParseSecretKey(encrypted, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
    EXPECT_FALSE(publish::ParseSecretKey(pub, error));
}

TEST(MinisignSignature, NoChangeBelowTheUntrustedCommentEverVerifies) {
    auto [pub, sec] = publish::GenerateKeyPair();
    const std::string sig = publish::SignMessage(KeyOf(sec), "list", "timestamp:1");
    const size_t signedFrom = sig.find('\n') + 1;
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string changed = sig;
        size_t at = signedFrom + random() % (changed.size() - 1 - signedFrom);  // not the last "\n"
        changed[at] = static_cast<char>(changed[at] ^ (1 + random() % 255));
        if (round % 3 == 0) changed.resize(signedFrom + random() % (changed.size() - signedFrom));
        EXPECT_FALSE(Verifies(pub, changed, "list")) << changed;
        znt::ParseHashList(changed);
    }
}

TEST(HashList, ReadsSha256sumOutputAndRefusesMalformedOrRepeatedLines) {
    const std::string a(64, 'a'), b(64, 'B');
    auto list = znt::ParseHashList(a + "  packages.dat\r\n" + b + " *files/x.zip\n\n");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at("packages.dat"), a);
    EXPECT_EQ(list->at("files/x.zip"), std::string(64, 'b'));
    EXPECT_FALSE(znt::ParseHashList(a + " packages.dat\n"));
    EXPECT_FALSE(znt::ParseHashList(a.substr(1) + "g  packages.dat\n"));
    EXPECT_FALSE(znt::ParseHashList(a + "  x\n" + b + "  x\n"));
    EXPECT_FALSE(znt::ParseHashList("\\" + a + "  files/a\\\\b\n"));
}

TEST(HashList, ArchiveHashMatchesOnlyTheExactFile) {
    TempDir d;
    d.write("a.zip", "archive bytes");
    const std::string hex = znt::Sha256Hex("archive bytes");
    EXPECT_EQ(znt::Sha256Hex(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_TRUE(znt::ArchiveHashMatches(d.path() + "\\a.zip", hex));
    std::string upper = hex;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(znt::ArchiveHashMatches(d.file("a.zip"), upper));
    EXPECT_FALSE(znt::ArchiveHashMatches(d.file("a.zip"), znt::Sha256Hex("archive byteS")));
    EXPECT_FALSE(znt::ArchiveHashMatches(d.file("a.zip"), ""));
    EXPECT_FALSE(znt::ArchiveHashMatches(d.file("missing.zip"), hex));
}

TEST(CommentTimestamp, FoundAtTheStartOrAfterATab) {
    EXPECT_EQ(znt::TimestampOf("timestamp:1733650000\tfile:x\thashed").seconds, 1733650000u);
    EXPECT_EQ(znt::TimestampOf("note\ttimestamp:7").seconds, 7u);
    EXPECT_FALSE(znt::TimestampOf("no time here").present);
    EXPECT_FALSE(znt::TimestampOf("mytimestamp:5").present);
    EXPECT_FALSE(znt::TimestampOf("timestamp:12x").valid);
    EXPECT_FALSE(znt::TimestampOf("timestamp:").valid);
    EXPECT_FALSE(znt::TimestampOf("timestamp:99999999999999999999").valid);
}

#ifndef _WIN32  // the archive writer needs libzip, which the Windows build does not have
TEST(MinisignSignature, APublishedTreeChecksWithSha256sumAndMinisignAndWithOurCheck) {
    TempDir keys, payload, out, home;
    auto [pub, sec] = publish::GenerateKeyPair();
    keys.write("zntr.pub", pub);
    keys.write("demo.key", sec);
    payload.write("bin/a.dll", "payload a");
    payload.write("help/b.htm", "payload b");
    publish::Description d;
    std::string error;
    ASSERT_TRUE(publish::ParseDescription(
        "[package]\ncode = 1\nname.en = A\nname.gr = A\nfile = size bin\\a.dll\n"
        "file = size help\\b.htm\n",
        d, error))
        << error;
    ASSERT_TRUE(publish::Publish(d, payload.path(), out.path(), keys.file("demo.key"), error))
        << error;
    const std::string list = ReadFile(out.file("packages.sha256"));
    EXPECT_NE(list.find("  packages.dat\n"), std::string::npos) << list;
    EXPECT_NE(list.find("  files/a.dll.zip\n"), std::string::npos) << list;
    EXPECT_NE(list.find("  files/b.htm.zip\n"), std::string::npos) << list;
    EXPECT_TRUE(RunIn(out, "sha256sum -c --strict packages.sha256"));

    testsupport::TestStoreLocation storeAt{home};
    ov::RegistryStore store(storeAt.path());
    znt::CatalogueTrust trust{keys.file("zntr.pub"), &store};
    znt::TrustCheck check =
        znt::CheckSignedCatalogue(trust, ReadFile(out.file("packages.dat")),
                                  {list, ReadFile(out.file("packages.sha256.minisig"))});
    EXPECT_TRUE(check.accepted) << check.problem;
    EXPECT_EQ(check.hashes.hexByName.size(), 2u);
    EXPECT_TRUE(check.timestamp.present);

    ASSERT_TRUE(publish::Publish(d, payload.path(), out.path(), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(out.file("packages.sha256.minisig")))
        << "an unsigned run leaves no stale signature";
    EXPECT_FALSE(publish::Publish(d, payload.path(), out.path(), keys.file("zntr.pub"), error));
    if (!HaveMinisign())
        GTEST_SKIP() << "minisign is not installed; checked with our verifier only";
    ASSERT_TRUE(publish::Publish(d, payload.path(), out.path(), keys.file("demo.key"), error));
    EXPECT_TRUE(RunIn(out, "minisign -V -p '" + keys.file("zntr.pub") + "' -m packages.sha256"));
    out.write("packages.sha256", list + " ");
    EXPECT_FALSE(RunIn(out, "minisign -V -p '" + keys.file("zntr.pub") + "' -m packages.sha256"));
    // minisign signs with the key file the tool generated.
    EXPECT_TRUE(RunIn(out, "minisign -S -W -s '" + keys.file("demo.key") + "' -m packages.sha256"));
    EXPECT_TRUE(Verifies(pub, ReadFile(out.file("packages.sha256.minisig")), list + " "));
}
#endif
