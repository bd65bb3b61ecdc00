// The signature verifier on any bytes as a ".minisig" of a fixed file, against the key that signed the seeds
// (fuzz/corpus/fuzz_minisign/: that file signed prehashed and legacy), and as a list of public keys.
#include "MinisignVerifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<minisign::PublicKey> keys =
        minisign::parsePublicKeys("RWTMIcAJwWJw7ARz+qcwMYM25atkGuZynyUOtHqXyLF8HlNcMjy9GLbF").value();
    static constexpr unsigned char file[] = "A program.\n";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const minisign::Verdict verdict = minisign::verify({file, sizeof file - 1}, text, keys);
    // Only the four lines of a signature can verify.
    if (verdict == minisign::Verdict::Verified && size < 150)
        std::abort();
    static_cast<void>(minisign::parsePublicKeys(text));
    return 0;
}
