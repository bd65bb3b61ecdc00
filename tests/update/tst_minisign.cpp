// The signature verifier against signatures made by minisign itself when the tests were built: key pairs a and
// b, and a file signed prehashed and legacy by a, prehashed by b (make-minisign-fixtures.cmake).
#include "MinisignVerifier.h"
#include "RecordingServices.h"

#include <QTest>

using minisign::Verdict;

namespace {

QByteArray fixture(const char* name)
{
    return testsupport::readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/") + QString::fromLatin1(name));
}

QByteArray decoded(const QByteArray& text, int line)
{
    return QByteArray::fromBase64(text.split('\n').value(line));
}

QByteArray withLine(const QByteArray& signature, int line, const QByteArray& bytes)
{
    QList<QByteArray> lines = signature.split('\n');
    lines[line] = bytes.toBase64();
    return lines.join('\n');
}

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes.at(at) ^ 1);
    return bytes;
}

} // namespace

class TestMinisign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void verify_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QByteArray>("fileName"); // the name the file is taken under; empty: any

        const QByteArray file = fixture("payload");
        const QByteArray good = fixture("payload.minisig");
        const QByteArray byB = fixture("payload.b.minisig");
        const QByteArray a = decoded(fixture("a.pub"), 1).toBase64();
        const QByteArray b = decoded(fixture("b.pub"), 1).toBase64();
        const QByteArray block = decoded(good, 1); // algorithm, key id, signature
        const qsizetype commentEnd = good.indexOf('\n', good.indexOf("\ntrusted comment: ") + 1) - 1;

        const auto row = [&](const char* name, const QByteArray& f, const QByteArray& s, const QByteArray& k, Verdict v,
                             const char* fileName = "") {
            QTest::newRow(name) << f << s << k << int(v) << QByteArray(fileName);
        };
        row("good", file, good, a, Verdict::Verified);
        row("legacy, not prehashed", file, fixture("payload.legacy.minisig"), a, Verdict::Verified);
        row("CR LF line ends", file, QByteArray(good).replace("\n", "\r\n"), a, Verdict::Verified);
        row("second of two keys", file, good, b + ';' + a, Verdict::Verified);
        row("another key", file, byB, a, Verdict::UnknownKey);
        row("wrong key id", file, withLine(good, 1, flipped(block, 2)), a, Verdict::UnknownKey);
        row("another key under this key's id", file, withLine(byB, 1, block.left(10) + decoded(byB, 1).mid(10)), a,
            Verdict::BadSignature);
        row("one byte changed in the file", flipped(file, 5), good, a, Verdict::BadSignature);
        row("one byte changed in the signature", file, withLine(good, 1, flipped(block, 40)), a, Verdict::BadSignature);
        row("one byte changed in the trusted comment", file, flipped(good, commentEnd), a, Verdict::BadTrustedComment);
        row("one byte changed in the global signature", file, withLine(good, 3, flipped(decoded(good, 3), 0)), a,
            Verdict::BadTrustedComment);
        row("cut short", file, good.left(good.size() / 2), a, Verdict::Malformed);
        row("empty", file, QByteArray(), a, Verdict::NoSignature);
        row("an untrusted comment line only", file, good.left(good.indexOf('\n') + 1), a, Verdict::Malformed);
        row("unknown algorithm id", file, withLine(good, 1, flipped(block, 1)), a, Verdict::UnknownAlgorithm);
        row("taken under the name signed, legacy", file, fixture("payload.legacy.minisig"), a, Verdict::Verified,
            "payload");
        row("taken under the name signed, letters in another case", file, good, a, Verdict::Verified, "PayLoad");
        row("taken under another name", file, good, a, Verdict::OtherFile, "RendloV1.exe");
        row("the name a tab-separated field of the publisher's comment", file, fixture("payload.field.minisig"), a,
            Verdict::Verified, "payload");
        row("the name inside prose", file, fixture("payload.prose.minisig"), a, Verdict::OtherFile, "payload");
    }
    void verify()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, keys);
        QFETCH(int, verdict);
        QFETCH(QByteArray, fileName);
        const Verdict got = minisign::verify(
            {reinterpret_cast<const unsigned char*>(file.constData()), std::size_t(file.size())},
            signature.toStdString(), minisign::parsePublicKeys(keys.toStdString()).value(), fileName.toStdString());
        QCOMPARE(QString::fromLatin1(minisign::describe(got)),
                 QString::fromLatin1(minisign::describe(Verdict(verdict))));
    }
};

QTEST_GUILESS_MAIN(TestMinisign)
#include "tst_minisign.moc"
