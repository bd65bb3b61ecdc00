#include "PeFixture.h"

#include <QtEndian>

namespace testsupport {

namespace {

void put16(QByteArray& bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}
void put32(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}
void append16(QByteArray& bytes, quint16 value)
{
    bytes.resize(bytes.size() + 2);
    put16(bytes, bytes.size() - 2, value);
}
void append32(QByteArray& bytes, quint32 value)
{
    bytes.resize(bytes.size() + 4);
    put32(bytes, bytes.size() - 4, value);
}
void pad4(QByteArray& bytes)
{
    while (bytes.size() % 4)
        bytes.append('\0');
}
QByteArray utf16z(const QString& text)
{
    QByteArray bytes;
    for (const QChar c : text)
        append16(bytes, c.unicode());
    append16(bytes, 0);
    return bytes;
}

// One version-resource block: length, value length, type, key, value, children, each part 4-aligned.
QByteArray block(const QString& key, quint16 type, const QByteArray& value, quint16 valueLength,
                 const QList<QByteArray>& children = {})
{
    QByteArray bytes(6, '\0');
    bytes += utf16z(key);
    pad4(bytes);
    bytes += value;
    for (const QByteArray& child : children) {
        pad4(bytes);
        bytes += child;
    }
    put16(bytes, 0, quint16(bytes.size()));
    put16(bytes, 2, valueLength);
    put16(bytes, 4, type);
    return bytes;
}

QByteArray stringBlock(const QString& key, const QString& value)
{
    return block(key, 1, utf16z(value), quint16(value.size() + 1));
}

QByteArray stringTable(const QString& language, const QList<QPair<QString, QString>>& strings)
{
    QList<QByteArray> children;
    for (const auto& [key, value] : strings)
        children.append(stringBlock(key, value));
    return block(language, 1, {}, 0, children);
}

QByteArray versionInfo(const PeFixture& fixture)
{
    QList<QPair<QString, QString>> strings = fixture.otherStrings;
    if (!fixture.fileVersion.isEmpty())
        strings.append({fixture.fileVersionKey, fixture.fileVersion});
    strings.append({QStringLiteral("ProductName"), QStringLiteral("Stand-in")});
    QList<QByteArray> tables{stringTable(QStringLiteral("040904b0"), strings)};
    if (!fixture.secondTableFileVersion.isEmpty())
        tables.append(
            stringTable(QStringLiteral("041203b5"), {{QStringLiteral("FileVersion"), fixture.secondTableFileVersion}}));
    const QByteArray stringFileInfo = block(QStringLiteral("StringFileInfo"), 1, {}, 0, tables);

    QByteArray translation;
    append16(translation, 0x0409);
    append16(translation, 0x04b0);
    const QByteArray varFileInfo =
        block(QStringLiteral("VarFileInfo"), 1, {}, 0, {block(QStringLiteral("Translation"), 0, translation, 4)});

    QByteArray fixed;
    append32(fixed, 0xFEEF04BD); // signature
    append32(fixed, 0x00010000); // structure version
    for (int i = 0; i < 11; ++i)
        append32(fixed, 0);

    const QList<QByteArray> children = fixture.varFileInfoFirst ? QList<QByteArray>{varFileInfo, stringFileInfo}
                                                                : QList<QByteArray>{stringFileInfo, varFileInfo};
    return block(QStringLiteral("VS_VERSION_INFO"), 0, fixed, quint16(fixed.size()), children);
}

void appendDirectory(QByteArray& bytes, quint32 id, quint32 target)
{
    for (int i = 0; i < 3; ++i)
        append32(bytes, 0); // characteristics, time stamp, version
    append16(bytes, 0);     // named entries
    append16(bytes, 1);     // id entries
    append32(bytes, id);
    append32(bytes, target);
}

} // namespace

QByteArray makePeImage(const PeFixture& fixture)
{
    constexpr quint32 SectionRva = 0x1000;
    constexpr quint32 SectionOffset = 0x200;
    constexpr quint32 PeOffset = 0x80;
    constexpr quint32 Subdirectory = 0x80000000u;

    // The resource tree: type → name 1 → language 0x409 → data.
    QByteArray resources;
    appendDirectory(resources, fixture.resourceType, Subdirectory | 0x18);
    appendDirectory(resources, 1, Subdirectory | 0x30);
    appendDirectory(resources, 0x409, 0x48);
    const QByteArray info = versionInfo(fixture);
    append32(resources, SectionRva + 0x58);
    append32(resources, quint32(info.size()));
    append32(resources, 0);
    append32(resources, 0);
    resources += info;
    const quint32 rawSize = (quint32(resources.size()) + 0x1FF) & ~0x1FFu;

    QByteArray image(SectionOffset, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, PeOffset);
    image.replace(PeOffset, 4, QByteArray("PE\0\0", 4));
    const quint32 coff = PeOffset + 4;
    const quint16 optionalSize = fixture.pe32Plus ? 240 : 224;
    put16(image, coff, fixture.pe32Plus ? 0x8664 : 0x14C);
    put16(image, coff + 2, 1);
    put16(image, coff + 16, optionalSize);
    put16(image, coff + 18, 0x0102);
    const quint32 optional = coff + 20;
    put16(image, optional, fixture.pe32Plus ? 0x20B : 0x10B);
    const quint32 directories = optional + (fixture.pe32Plus ? 112 : 96);
    put32(image, directories - 4, 16);
    put32(image, directories + 2 * 8, SectionRva);
    put32(image, directories + 2 * 8 + 4, quint32(resources.size()));
    const quint32 section = optional + optionalSize;
    image.replace(section, 8, QByteArray(".rsrc\0\0\0", 8));
    put32(image, section + 8, quint32(resources.size()));
    put32(image, section + 12, SectionRva);
    put32(image, section + 16, rawSize);
    put32(image, section + 20, SectionOffset);
    put32(image, section + 36, 0x40000040);

    image += resources;
    image.append(QByteArray(qsizetype(rawSize) - resources.size(), '\0'));
    if (fixture.certificateSize >= 8) {
        // One WIN_CERTIFICATE (length, revision 2.0, PKCS#7 signed data); the directory entry is a file offset.
        const qsizetype table = image.size();
        append32(image, fixture.certificateSize);
        append16(image, 0x0200);
        append16(image, 0x0002);
        image.append(QByteArray(qsizetype(fixture.certificateSize) - 8, '\x5A'));
        put32(image, directories + 4 * 8, quint32(table));
        put32(image, directories + 4 * 8 + 4, fixture.certificateSize);
    }
    return image;
}

} // namespace testsupport
