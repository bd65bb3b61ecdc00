#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Checks a detached minisign signature (an Ed25519 signature of a file, or of its BLAKE2b-512 hash, plus a
// signed trusted comment) against the publisher's public keys. From bytes alone, no Qt and no file access, so
// that it is tested with real signatures and fuzzed with any bytes.
namespace minisign {

/** One public key: the 8-byte key id that signatures name, and the Ed25519 key. */
struct PublicKey final
{
    std::array<unsigned char, 8> keyId{};
    std::array<unsigned char, 32> key{};
};

/** A public key from the base64 line of a minisign public key file; nothing when it is not one. */
std::optional<PublicKey> parsePublicKey(std::string_view base64);

/** The keys of a ";"-separated list of such lines (blanks around each and empty entries ignored); nothing when
 *  an entry is not a public key. */
std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view list);

/** What a signature check found. */
enum class Verdict {
    Verified,
    NoSignature,       // the signature file is empty
    Malformed,         // not the four lines of a minisign signature
    UnknownAlgorithm,  // neither the prehashed nor the legacy Ed25519 form
    UnknownKey,        // signed by a key whose id is none of the keys'
    BadSignature,      // the file is not the one that was signed, or the signature is damaged
    BadTrustedComment, // the trusted comment or its signature was changed
    CryptoUnavailable, // the signature library could not start
    OtherFile,         // a valid signature, but its trusted comment names another file (or none)
};

/** The file a trusted comment names: the value of its tab-separated field "file:NAME", as minisign's default
 *  comment "timestamp:…<TAB>file:NAME" has it; empty when it names none. */
std::string_view namedFile(std::string_view trustedComment);

/** Checks a file against a signature as the file's bytes come, so that a large file is never held whole: the
 *  prehashed form (minisign's default) hashes the bytes as they come; the legacy form keeps them until finish. */
class FileCheck final
{
public:
    /** fileName: the name the trusted comment must give (ASCII letters in either case); empty: any. */
    FileCheck(std::string_view signature, std::span<const PublicKey> keys, std::string_view fileName = {});
    ~FileCheck();
    FileCheck(const FileCheck&) = delete;
    FileCheck& operator=(const FileCheck&) = delete;

    void update(std::span<const unsigned char> bytes);
    Verdict finish();
    /** The file the signature's trusted comment names (empty when none or the signature is unreadable). */
    std::string_view signedFileName() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

/** Whether signature (a ".minisig" file's bytes; LF or CR LF line ends) is a valid signature of file by one of
 *  keys, made for a file named fileName (empty: any name). The key is chosen by the key id the signature names. */
Verdict verify(std::span<const unsigned char> file, std::string_view signature, std::span<const PublicKey> keys,
               std::string_view fileName = {});

/** A short English description, for diagnostics. */
std::string_view describe(Verdict verdict);

} // namespace minisign
