#pragma once

#include <array>
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
};

/** Whether signature (a ".minisig" file's bytes; LF or CR LF line ends) is a valid signature of file by one of
 *  keys. The key is chosen by the key id the signature names. */
Verdict verify(std::span<const unsigned char> file, std::string_view signature, std::span<const PublicKey> keys);

/** A short English description, for diagnostics. */
std::string_view describe(Verdict verdict);

} // namespace minisign
