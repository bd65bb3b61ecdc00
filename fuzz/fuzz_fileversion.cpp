// The file-version readers on arbitrary bytes: a Windows program's version resource and our ELF note.
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
    return 0;
}
