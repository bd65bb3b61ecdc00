#include "MinisignVerifier.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace minisign {

namespace {

constexpr std::string_view UntrustedPrefix = "untrusted comment: ";
constexpr std::string_view TrustedPrefix = "trusted comment: ";
constexpr unsigned char LegacyAlgorithm[2] = {'E', 'd'};    // signs the file itself
constexpr unsigned char PrehashedAlgorithm[2] = {'E', 'D'}; // signs the file's BLAKE2b-512 hash

// The signature line: algorithm, key id, Ed25519 signature.
struct SignatureBlock
{
    unsigned char algorithm[2];
    unsigned char keyId[8];
    unsigned char signature[crypto_sign_BYTES];
};
static_assert(sizeof(SignatureBlock) == 74);

// The public key line: algorithm ("Ed"), key id, key.
struct KeyBlock
{
    unsigned char algorithm[2];
    unsigned char keyId[8];
    unsigned char key[crypto_sign_PUBLICKEYBYTES];
};
static_assert(sizeof(KeyBlock) == 42);

// Strict base64 (padded, nothing else on the line) of exactly size bytes.
bool decodeBase64(std::string_view text, void* out, std::size_t size)
{
    std::size_t decoded = 0;
    return !text.empty() &&
           sodium_base642bin(static_cast<unsigned char*>(out), size, text.data(), text.size(), nullptr, &decoded,
                             nullptr, sodium_base64_VARIANT_ORIGINAL) == 0 &&
           decoded == size;
}

std::string_view trimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The next line of text (without its LF and any CRs before it), taken off text; nothing when none is left.
std::optional<std::string_view> takeLine(std::string_view& text)
{
    if (text.empty())
        return std::nullopt;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::optional<PublicKey> parsePublicKey(std::string_view base64)
{
    KeyBlock block{};
    if (!decodeBase64(base64, &block, sizeof block) || std::memcmp(block.algorithm, LegacyAlgorithm, 2) != 0)
        return std::nullopt;
    PublicKey key;
    std::copy(std::begin(block.keyId), std::end(block.keyId), key.keyId.begin());
    std::copy(std::begin(block.key), std::end(block.key), key.key.begin());
    return key;
}

std::optional<std::vector<PublicKey>> parsePublicKeys(std::string_view list)
{
    std::vector<PublicKey> keys;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        const std::string_view entry = trimBlanks(list.substr(0, end));
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (entry.empty())
            continue;
        const std::optional<PublicKey> key = parsePublicKey(entry);
        if (!key)
            return std::nullopt;
        keys.push_back(*key);
    }
    return keys;
}

std::string_view namedFile(std::string_view trustedComment)
{
    constexpr std::string_view Field = "file:";
    while (!trustedComment.empty()) {
        const std::size_t end = trustedComment.find('\t');
        const std::string_view field = trustedComment.substr(0, end);
        if (startsWith(field, Field))
            return field.substr(Field.size());
        trustedComment.remove_prefix(end == std::string_view::npos ? trustedComment.size() : end + 1);
    }
    return {};
}

struct FileCheck::State
{
    Verdict verdict = Verdict::Verified; // what parsing the signature found, until finish
    bool prehashed = false;
    SignatureBlock block{};
    unsigned char globalSignature[crypto_sign_BYTES] = {};
    std::string comment;
    std::string fileName;
    PublicKey key;
    crypto_generichash_state hash{};
    std::vector<unsigned char> legacyFile;
};

FileCheck::FileCheck(std::string_view signature, std::span<const PublicKey> keys, std::string_view fileName)
    : m_state(std::make_unique<State>())
{
    State& s = *m_state;
    s.fileName = fileName;
    if (signature.empty()) {
        s.verdict = Verdict::NoSignature;
        return;
    }
    const std::optional<std::string_view> untrusted = takeLine(signature);
    const std::optional<std::string_view> signatureLine = takeLine(signature);
    const std::optional<std::string_view> trusted = takeLine(signature);
    const std::optional<std::string_view> globalLine = takeLine(signature);
    if (!globalLine || !startsWith(*untrusted, UntrustedPrefix) || !startsWith(*trusted, TrustedPrefix) ||
        !decodeBase64(*signatureLine, &s.block, sizeof s.block) ||
        !decodeBase64(*globalLine, s.globalSignature, sizeof s.globalSignature)) {
        s.verdict = Verdict::Malformed;
        return;
    }
    s.comment = trusted->substr(TrustedPrefix.size());

    s.prehashed = std::memcmp(s.block.algorithm, PrehashedAlgorithm, 2) == 0;
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const PublicKey& k) {
        return std::equal(k.keyId.begin(), k.keyId.end(), std::begin(s.block.keyId));
    });
    if (!s.prehashed && std::memcmp(s.block.algorithm, LegacyAlgorithm, 2) != 0)
        s.verdict = Verdict::UnknownAlgorithm;
    else if (key == keys.end())
        s.verdict = Verdict::UnknownKey;
    else if (sodium_init() < 0)
        s.verdict = Verdict::CryptoUnavailable;
    else
        s.key = *key;
    if (s.verdict == Verdict::Verified && s.prehashed)
        crypto_generichash_init(&s.hash, nullptr, 0, crypto_generichash_BYTES_MAX);
}

FileCheck::~FileCheck() = default;

void FileCheck::update(std::span<const unsigned char> bytes)
{
    State& s = *m_state;
    if (s.verdict != Verdict::Verified)
        return;
    if (s.prehashed)
        crypto_generichash_update(&s.hash, bytes.data(), bytes.size());
    else
        s.legacyFile.insert(s.legacyFile.end(), bytes.begin(), bytes.end());
}

Verdict FileCheck::finish()
{
    State& s = *m_state;
    if (s.verdict != Verdict::Verified)
        return s.verdict;
    unsigned char hash[crypto_generichash_BYTES_MAX];
    std::span<const unsigned char> message = s.legacyFile;
    if (s.prehashed) {
        crypto_generichash_final(&s.hash, hash, sizeof hash);
        message = hash;
    }
    if (crypto_sign_verify_detached(s.block.signature, message.data(), message.size(), s.key.key.data()) != 0)
        return s.verdict = Verdict::BadSignature;

    // The trusted comment is signed together with the file's signature.
    std::vector<unsigned char> signedComment(std::begin(s.block.signature), std::end(s.block.signature));
    signedComment.insert(signedComment.end(), s.comment.begin(), s.comment.end());
    if (crypto_sign_verify_detached(s.globalSignature, signedComment.data(), signedComment.size(), s.key.key.data()) !=
        0)
        return s.verdict = Verdict::BadTrustedComment;

    // Names differ only in case on Windows, where these programs live.
    const auto sameLetter = [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    };
    const std::string_view named = namedFile(s.comment);
    if (!s.fileName.empty() &&
        !std::equal(named.begin(), named.end(), s.fileName.begin(), s.fileName.end(), sameLetter))
        return s.verdict = Verdict::OtherFile;
    return Verdict::Verified;
}

std::string_view FileCheck::signedFileName() const
{
    return namedFile(m_state->comment);
}

Verdict verify(std::span<const unsigned char> file, std::string_view signature, std::span<const PublicKey> keys,
               std::string_view fileName)
{
    FileCheck check(signature, keys, fileName);
    check.update(file);
    return check.finish();
}

std::string_view describe(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Verified: return "verified";
    case Verdict::NoSignature: return "no signature";
    case Verdict::Malformed: return "not a minisign signature";
    case Verdict::UnknownAlgorithm: return "an unknown signature algorithm";
    case Verdict::UnknownKey: return "signed by an unknown key";
    case Verdict::BadSignature: return "the signature does not match the file";
    case Verdict::BadTrustedComment: return "the trusted comment's signature does not match";
    case Verdict::CryptoUnavailable: return "the signature library could not start";
    case Verdict::OtherFile: return "signed for another file";
    }
    return "unknown";
}

} // namespace minisign
