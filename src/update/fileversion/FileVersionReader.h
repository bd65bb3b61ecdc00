#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Reads the version text that an executable carries, from the file's bytes alone (no system API), so that
// one build can look at Windows and Linux programs alike. Every offset is checked: the bytes may be anything.
namespace fileversion {

/** The ELF note our own executables carry: owner "ZT", this type, the four-part version as NUL-ended text. */
inline constexpr char ElfNoteOwner[] = "ZT";
inline constexpr std::uint32_t ElfNoteType = 1;

/** The string named key ("FileVersion", "CompanyName", ...) of the first string table of a PE image's version
 *  resource; nothing when the bytes are no PE image or carry no such string. */
std::optional<std::u16string> readPeVersionString(std::span<const unsigned char> bytes, std::u16string_view key);

/** The "FileVersion" string, as readPeVersionString gives it. */
inline std::optional<std::u16string> readPeFileVersion(std::span<const unsigned char> bytes)
{
    return readPeVersionString(bytes, u"FileVersion");
}

/** The version text of an ELF file's "ZT" note; nothing when the bytes are no ELF file or carry no note. */
std::optional<std::string> readElfVersionNote(std::span<const unsigned char> bytes);

/** True when bytes are a whole PE image: the "MZ" header, the "PE\0\0" signature where it points, the section
 *  table, and every section's raw data inside the bytes. A download cut short fails this. */
bool isCompletePeImage(std::span<const unsigned char> bytes);

/** True when bytes are a whole ELF file: its program and section header tables, and the file contents they
 *  describe, inside the bytes. */
bool isCompleteElfFile(std::span<const unsigned char> bytes);

} // namespace fileversion
