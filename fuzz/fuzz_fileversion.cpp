// The file-version readers on arbitrary bytes: a Windows program's version resource and our ELF note, and
// the checks that a download is a whole program.
#include "FileVersionReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const unsigned char> bytes(data, size);
    // Whatever is read comes from inside the input: never longer than it.
    if (const auto pe = fileversion::readPeFileVersion(bytes); pe && pe->size() * 2 > size)
        std::abort();
    if (const auto elf = fileversion::readElfVersionNote(bytes); elf && elf->size() > size)
        std::abort();
    // The whole-program checks read only inside the input, whatever its headers claim (the sanitizers watch).
    static_cast<void>(fileversion::isCompletePeImage(bytes));
    static_cast<void>(fileversion::isCompleteElfFile(bytes));
    return 0;
}
