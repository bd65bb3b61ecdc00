#include "FileVersionReader.h"

#include <string_view>

namespace fileversion {

namespace {

// Bounds-checked little- or big-endian reads; every read answers nothing past the end.
class Bytes
{
public:
    explicit Bytes(std::span<const unsigned char> bytes, bool bigEndian = false)
        : m_bytes(bytes), m_bigEndian(bigEndian)
    {
    }

    std::size_t size() const { return m_bytes.size(); }
    bool has(std::uint64_t offset, std::uint64_t length) const
    {
        return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
    }
    std::optional<std::uint64_t> read(std::uint64_t offset, int width) const
    {
        if (!has(offset, std::uint64_t(width)))
            return std::nullopt;
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const int index = m_bigEndian ? i : width - 1 - i;
            value = (value << 8) | m_bytes[std::size_t(offset) + std::size_t(index)];
        }
        return value;
    }
    std::optional<std::uint32_t> u16(std::uint64_t offset) const { return narrow(read(offset, 2)); }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const { return narrow(read(offset, 4)); }
    std::optional<std::uint64_t> u64(std::uint64_t offset) const { return read(offset, 8); }
    unsigned char at(std::uint64_t offset) const { return m_bytes[std::size_t(offset)]; }

private:
    static std::optional<std::uint32_t> narrow(std::optional<std::uint64_t> value)
    {
        if (!value)
            return std::nullopt;
        return std::uint32_t(*value);
    }

    std::span<const unsigned char> m_bytes;
    bool m_bigEndian;
};

constexpr std::uint64_t align4(std::uint64_t value)
{
    return (value + 3) & ~std::uint64_t(3);
}

// ---- PE -------------------------------------------------------------------------------------------

constexpr std::uint32_t ResourceSubdirectory = 0x80000000u;
constexpr std::uint32_t RtVersion = 16;

struct Section
{
    std::uint32_t virtualAddress;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

class PeImage
{
public:
    explicit PeImage(const Bytes& bytes) : m_bytes(bytes) {}

    /** The image's headers: MZ, the PE signature, the COFF and optional headers, the section table. */
    bool headers()
    {
        if (!m_bytes.has(0, 64) || m_bytes.at(0) != 'M' || m_bytes.at(1) != 'Z')
            return false;
        const auto peOffset = m_bytes.u32(0x3C);
        if (!peOffset || !m_bytes.has(*peOffset, 24))
            return false;
        const std::uint64_t pe = *peOffset;
        if (m_bytes.at(pe) != 'P' || m_bytes.at(pe + 1) != 'E' || m_bytes.at(pe + 2) != 0 || m_bytes.at(pe + 3) != 0)
            return false;
        const std::uint64_t coff = pe + 4;
        const auto sectionCount = m_bytes.u16(coff + 2);
        const auto optionalSize = m_bytes.u16(coff + 16);
        m_optional = coff + 20;
        m_magic = m_bytes.u16(m_optional);
        if (!sectionCount || !optionalSize || !m_magic)
            return false;
        m_optionalSize = *optionalSize;
        m_sectionTable = m_optional + *optionalSize;
        m_declaredSections = *sectionCount;
        if (!m_bytes.has(m_sectionTable, std::uint64_t(m_declaredSections) * 40))
            return false;
        // The loader accepts no more than MaxSections; neither do we.
        for (std::uint32_t i = 0; i < m_declaredSections && m_sectionCount < MaxSections; ++i) {
            const std::uint64_t entry = m_sectionTable + std::uint64_t(i) * 40;
            m_sections[m_sectionCount++] = {*m_bytes.u32(entry + 12), *m_bytes.u32(entry + 16),
                                            *m_bytes.u32(entry + 20)};
        }
        return true;
    }

    /** The headers, and a resource table to look into. */
    bool parse()
    {
        if (!headers())
            return false;
        const auto resources = directory(ResourceDirectory);
        if (!resources || resources->first == 0)
            return false;
        m_resourceRva = resources->first;
        return true;
    }

    /** Every section's raw data, and the certificate table of a signed image, lie inside the file (headers()
     *  first). */
    bool complete() const
    {
        if (m_declaredSections > MaxSections)
            return false;
        for (std::size_t i = 0; i < m_sectionCount; ++i) {
            const Section& s = m_sections[i];
            if (s.rawSize != 0 && !m_bytes.has(s.rawOffset, s.rawSize))
                return false;
        }
        // The signature follows the sections and is no section's: a download cut inside it is short all the same.
        // Its entry holds a file offset, not an address.
        const auto certificates = directory(CertificateDirectory);
        return !certificates || certificates->second == 0 || m_bytes.has(certificates->first, certificates->second);
    }

    /** The file offset of rva and how many bytes of its section follow it there. */
    std::optional<std::pair<std::uint64_t, std::uint64_t>> map(std::uint32_t rva) const
    {
        for (std::size_t i = 0; i < m_sectionCount; ++i) {
            const Section& s = m_sections[i];
            if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize)
                continue;
            const std::uint64_t delta = rva - s.virtualAddress;
            const std::uint64_t offset = std::uint64_t(s.rawOffset) + delta;
            if (offset >= m_bytes.size())
                return std::nullopt;
            std::uint64_t available = s.rawSize - delta;
            if (available > m_bytes.size() - offset)
                available = m_bytes.size() - offset;
            return std::pair{offset, available};
        }
        return std::nullopt;
    }

    std::uint32_t resourceRva() const { return m_resourceRva; }

private:
    static constexpr std::size_t MaxSections = 96;
    static constexpr std::uint32_t ResourceDirectory = 2;
    static constexpr std::uint32_t CertificateDirectory = 4;

    /** Data directory number index of the optional header: its address (or offset) and size; nothing when the
     *  header has no such entry (headers() first). */
    std::optional<std::pair<std::uint32_t, std::uint32_t>> directory(std::uint32_t index) const
    {
        std::uint64_t countField = 0;
        std::uint64_t directories = 0;
        if (*m_magic == 0x10B) {
            countField = 92;
            directories = 96;
        } else if (*m_magic == 0x20B) {
            countField = 108;
            directories = 112;
        } else {
            return std::nullopt;
        }
        const std::uint64_t entry = directories + std::uint64_t(index) * 8;
        const auto count = m_bytes.u32(m_optional + countField);
        if (m_optionalSize < entry + 8 || !count || *count <= index)
            return std::nullopt;
        return std::pair{*m_bytes.u32(m_optional + entry), *m_bytes.u32(m_optional + entry + 4)};
    }

    const Bytes& m_bytes;
    std::uint64_t m_optional = 0;
    std::uint32_t m_optionalSize = 0;
    std::optional<std::uint32_t> m_magic;
    std::uint64_t m_sectionTable = 0;
    std::uint32_t m_declaredSections = 0;
    Section m_sections[MaxSections] = {};
    std::size_t m_sectionCount = 0;
    std::uint32_t m_resourceRva = 0;
};

// One entry of a resource directory at offset (inside the resource table): the one with id, or the first.
std::optional<std::uint32_t> resourceEntry(const Bytes& table, std::uint64_t offset, std::optional<std::uint32_t> id)
{
    const auto named = table.u16(offset + 12);
    const auto ids = table.u16(offset + 14);
    if (!named || !ids)
        return std::nullopt;
    const std::uint32_t count = *named + *ids;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = offset + 16 + std::uint64_t(i) * 8;
        const auto name = table.u32(entry);
        const auto target = table.u32(entry + 4);
        if (!name || !target)
            return std::nullopt;
        if (!id || (!(*name & ResourceSubdirectory) && *name == *id))
            return *target;
    }
    return std::nullopt;
}

// One block of a version resource: length, value length, type, key, value, children.
struct VersionBlock
{
    std::uint64_t end = 0;
    std::u16string key;
    std::uint64_t value = 0;
    std::uint64_t children = 0;
};

std::optional<VersionBlock> versionBlock(const Bytes& data, std::uint64_t offset, std::uint64_t limit)
{
    const auto length = data.u16(offset);
    const auto valueLength = data.u16(offset + 2);
    const auto type = data.u16(offset + 4);
    if (!length || !valueLength || !type || *length < 6 || offset + *length > limit)
        return std::nullopt;
    VersionBlock block;
    block.end = offset + *length;
    std::uint64_t at = offset + 6;
    for (;;) {
        if (at + 2 > block.end)
            return std::nullopt;
        const char16_t c = char16_t(*data.u16(at));
        at += 2;
        if (c == 0)
            break;
        block.key.push_back(c);
    }
    block.value = align4(at);
    // Text values count their length in characters, binary ones in bytes.
    const std::uint64_t valueBytes = *type == 1 ? std::uint64_t(*valueLength) * 2 : *valueLength;
    block.children = align4(block.value + valueBytes);
    if (block.value > block.end)
        block.value = block.end;
    if (block.children > block.end)
        block.children = block.end;
    return block;
}

std::u16string versionText(const Bytes& data, const VersionBlock& block)
{
    std::u16string text;
    for (std::uint64_t at = block.value; at + 2 <= block.end; at += 2) {
        const char16_t c = char16_t(*data.u16(at));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

std::optional<std::u16string> stringFromVersionInfo(const Bytes& data, std::u16string_view key)
{
    const auto root = versionBlock(data, 0, data.size());
    if (!root || root->key != u"VS_VERSION_INFO")
        return std::nullopt;
    for (std::uint64_t at = root->children; at < root->end;) {
        const auto child = versionBlock(data, at, root->end);
        if (!child)
            return std::nullopt;
        if (child->key == u"StringFileInfo") {
            // Only the first string table counts.
            const auto table = versionBlock(data, child->children, child->end);
            if (!table)
                return std::nullopt;
            for (std::uint64_t s = table->children; s < table->end;) {
                const auto string = versionBlock(data, s, table->end);
                if (!string)
                    return std::nullopt;
                if (string->key == key)
                    return versionText(data, *string);
                s = align4(string->end);
            }
            return std::nullopt;
        }
        at = align4(child->end);
    }
    return std::nullopt;
}

// ---- ELF ------------------------------------------------------------------------------------------

constexpr std::uint32_t ShtNote = 7;

std::optional<std::string> versionFromNotes(const Bytes& bytes, std::uint64_t offset, std::uint64_t size)
{
    if (!bytes.has(offset, size))
        return std::nullopt;
    const std::uint64_t end = offset + size;
    constexpr std::string_view owner(ElfNoteOwner, sizeof ElfNoteOwner);
    for (std::uint64_t at = offset; at + 12 <= end;) {
        const std::uint64_t nameSize = *bytes.u32(at);
        const std::uint64_t descSize = *bytes.u32(at + 4);
        const std::uint32_t type = *bytes.u32(at + 8);
        const std::uint64_t name = at + 12;
        const std::uint64_t desc = name + align4(nameSize);
        const std::uint64_t next = desc + align4(descSize);
        if (desc > end || desc + descSize > end)
            return std::nullopt;
        if (type == ElfNoteType && nameSize == owner.size()) {
            bool same = true;
            for (std::uint64_t i = 0; i < nameSize; ++i)
                same = same && bytes.at(name + i) == static_cast<unsigned char>(owner[std::size_t(i)]);
            if (same) {
                std::string text;
                for (std::uint64_t i = 0; i < descSize && bytes.at(desc + i) != 0; ++i)
                    text.push_back(char(bytes.at(desc + i)));
                return text;
            }
        }
        at = next;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::u16string> readPeVersionString(std::span<const unsigned char> bytes, std::u16string_view key)
{
    const Bytes file(bytes);
    PeImage image(file);
    if (!image.parse())
        return std::nullopt;
    const auto resources = image.map(image.resourceRva());
    if (!resources)
        return std::nullopt;
    const Bytes table(bytes.subspan(std::size_t(resources->first), std::size_t(resources->second)));

    // Type RT_VERSION, then its first name, then its first language.
    const auto type = resourceEntry(table, 0, RtVersion);
    if (!type || !(*type & ResourceSubdirectory))
        return std::nullopt;
    const auto name = resourceEntry(table, *type & ~ResourceSubdirectory, std::nullopt);
    if (!name || !(*name & ResourceSubdirectory))
        return std::nullopt;
    const auto language = resourceEntry(table, *name & ~ResourceSubdirectory, std::nullopt);
    if (!language || (*language & ResourceSubdirectory))
        return std::nullopt;
    const auto dataRva = table.u32(*language);
    const auto dataSize = table.u32(*language + 4);
    if (!dataRva || !dataSize)
        return std::nullopt;
    const auto data = image.map(*dataRva);
    if (!data || *dataSize > data->second)
        return std::nullopt;
    return stringFromVersionInfo(Bytes(bytes.subspan(std::size_t(data->first), *dataSize)), key);
}

std::optional<std::string> readElfVersionNote(std::span<const unsigned char> bytes)
{
    if (bytes.size() < 16 || bytes[0] != 0x7F || bytes[1] != 'E' || bytes[2] != 'L' || bytes[3] != 'F')
        return std::nullopt;
    const unsigned char elfClass = bytes[4];
    const unsigned char encoding = bytes[5];
    if ((elfClass != 1 && elfClass != 2) || (encoding != 1 && encoding != 2))
        return std::nullopt;
    const Bytes file(bytes, encoding == 2);
    const bool wide = elfClass == 2;

    const auto sectionTable = wide ? file.u64(0x28) : std::optional<std::uint64_t>(file.u32(0x20));
    const auto entrySize = file.u16(wide ? 0x3A : 0x2E);
    const auto count = file.u16(wide ? 0x3C : 0x30);
    if (!sectionTable || !entrySize || !count || *entrySize < (wide ? 64u : 40u))
        return std::nullopt;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t header = *sectionTable + std::uint64_t(i) * *entrySize;
        if (header < *sectionTable || !file.has(header, *entrySize))
            return std::nullopt;
        if (*file.u32(header + 4) != ShtNote)
            continue;
        const std::uint64_t offset = wide ? *file.u64(header + 0x18) : *file.u32(header + 0x10);
        const std::uint64_t size = wide ? *file.u64(header + 0x20) : *file.u32(header + 0x14);
        if (auto text = versionFromNotes(file, offset, size))
            return text;
    }
    return std::nullopt;
}

bool isCompletePeImage(std::span<const unsigned char> bytes)
{
    const Bytes file(bytes);
    PeImage image(file);
    return image.headers() && image.complete();
}

bool isCompleteElfFile(std::span<const unsigned char> bytes)
{
    if (bytes.size() < 16 || bytes[0] != 0x7F || bytes[1] != 'E' || bytes[2] != 'L' || bytes[3] != 'F')
        return false;
    const unsigned char elfClass = bytes[4];
    const unsigned char encoding = bytes[5];
    if ((elfClass != 1 && elfClass != 2) || (encoding != 1 && encoding != 2))
        return false;
    const Bytes file(bytes, encoding == 2);
    const bool wide = elfClass == 2;
    const auto word = [&](std::uint64_t offset) {
        return wide ? file.u64(offset) : std::optional<std::uint64_t>(file.u32(offset));
    };

    // A table of count entries of entrySize bytes at offset, inside the file; each entry's own contents too.
    const auto tableInside = [&](std::optional<std::uint64_t> offset, std::optional<std::uint32_t> entrySize,
                                 std::optional<std::uint32_t> count, std::uint32_t minEntry,
                                 std::uint64_t fileOffsetField, std::uint64_t fileSizeField, auto&& hasContents) {
        if (!offset || !entrySize || !count)
            return false;
        if (*count == 0)
            return true;
        if (*entrySize < minEntry || !file.has(*offset, std::uint64_t(*count) * *entrySize))
            return false;
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::uint64_t entry = *offset + std::uint64_t(i) * *entrySize;
            if (!hasContents(entry))
                continue;
            const auto contents = word(entry + fileOffsetField);
            const auto size = word(entry + fileSizeField);
            if (!contents || !size || !file.has(*contents, *size))
                return false;
        }
        return true;
    };

    constexpr std::uint32_t ShtNobits = 8;
    const bool programs =
        tableInside(word(wide ? 0x20 : 0x1C), file.u16(wide ? 0x36 : 0x2A), file.u16(wide ? 0x38 : 0x2C),
                    wide ? 56 : 32, wide ? 0x08 : 0x04, wide ? 0x20 : 0x10, [](std::uint64_t) { return true; });
    const bool sections = tableInside(
        word(wide ? 0x28 : 0x20), file.u16(wide ? 0x3A : 0x2E), file.u16(wide ? 0x3C : 0x30), wide ? 64 : 40,
        wide ? 0x18 : 0x10, wide ? 0x20 : 0x14, [&](std::uint64_t entry) { return *file.u32(entry + 4) != ShtNobits; });
    return programs && sections;
}

} // namespace fileversion
