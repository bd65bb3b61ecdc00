// The signature verifier against signatures made by minisign itself when the tests were built: key pairs a and
// b, and a file signed prehashed and legacy by a, prehashed by b (make-minisign-fixtures.cmake).
#include "MinisignVerifier.h"
#include "RecordingServices.h"

#include <QTest>

#include <functional>

using minisign::Verdict;

namespace {

QByteArray fixture(const char* name)
{
    return testsupport::readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/") + QString::fromLatin1(name));
}

// The base64 line of a public key file.
QByteArray publicKey(const char* name)
{
    return fixture(name).split('\n').value(1).trimmed();
}

// signature with the base64 of its line `line` decoded, edited and encoded again.
QByteArray editDecoded(const QByteArray& signature, int line, const std::function<void(QByteArray&)>& edit)
{
    QList<QByteArray> lines = signature.split('\n');
    QByteArray bytes = QByteArray::fromBase64(lines[line]);
    edit(bytes);
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

        const QByteArray file = fixture("payload");
        const QByteArray good = fixture("payload.minisig");
        const QByteArray byB = fixture("payload.b.minisig");
        const QByteArray a = publicKey("a.pub");
        const QByteArray b = publicKey("b.pub");
        QVERIFY(!file.isEmpty() && !good.isEmpty() && a.size() == 56);
        const QByteArray aKeyId = QByteArray::fromBase64(a).mid(2, 8);
        const qsizetype commentEnd = good.indexOf('\n', good.indexOf("\ntrusted comment: ") + 1) - 1;

        const auto row = [&](const char* name, const QByteArray& f, const QByteArray& s, const QByteArray& k,
                             Verdict v) { QTest::newRow(name) << f << s << k << int(v); };
        row("good", file, good, a, Verdict::Verified);
        row("legacy, not prehashed", file, fixture("payload.legacy.minisig"), a, Verdict::Verified);
        row("CR LF line ends", file, QByteArray(good).replace("\n", "\r\n"), a, Verdict::Verified);
        row("second of two keys", file, good, b + ';' + a, Verdict::Verified);
        row("another key", file, byB, a, Verdict::UnknownKey);
        row("wrong key id", file, editDecoded(good, 1, [](QByteArray& s) { s[2] = char(s.at(2) ^ 1); }), a,
            Verdict::UnknownKey);
        row("another key under this key's id", file,
            editDecoded(byB, 1, [&](QByteArray& s) { s.replace(2, 8, aKeyId); }), a, Verdict::BadSignature);
        row("one byte changed in the file", flipped(file, 5), good, a, Verdict::BadSignature);
        row("one byte changed in the signature", file,
            editDecoded(good, 1, [](QByteArray& s) { s[40] = char(s.at(40) ^ 1); }), a, Verdict::BadSignature);
        row("one byte changed in the trusted comment", file, flipped(good, commentEnd), a, Verdict::BadTrustedComment);
        row("one byte changed in the global signature", file,
            editDecoded(good, 3, [](QByteArray& s) { s[0] = char(s.at(0) ^ 1); }), a, Verdict::BadTrustedComment);
        row("cut short", file, good.left(good.size() / 2), a, Verdict::Malformed);
        row("empty", file, QByteArray(), a, Verdict::NoSignature);
        row("an untrusted comment line only", file, good.left(good.indexOf('\n') + 1), a, Verdict::Malformed);
        row("unknown algorithm id", file, editDecoded(good, 1, [](QByteArray& s) { s[1] = 'X'; }), a,
            Verdict::UnknownAlgorithm);
    }
    void verify()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, keys);
        QFETCH(int, verdict);
        const auto parsed = minisign::parsePublicKeys(keys.toStdString());
        QVERIFY(parsed);
        const Verdict got =
            minisign::verify({reinterpret_cast<const unsigned char*>(file.constData()), std::size_t(file.size())},
                             std::string_view(signature.constData(), std::size_t(signature.size())), *parsed);
        QCOMPARE(QString::fromLatin1(minisign::describe(got)),
                 QString::fromLatin1(minisign::describe(Verdict(verdict))));
    }

    // ZT_UPDATE_PUBLIC_KEYS as configured: blanks and empty entries aside, every entry must be a public key.
    void publicKeys_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<int>("count"); // -1: refused
        const QByteArray a = publicKey("a.pub");
        const QByteArray b = publicKey("b.pub");
        QTest::newRow("one") << a << 1;
        QTest::newRow("two, blanks and an empty entry") << (" " + a + " ;; " + b + ";") << 2;
        QTest::newRow("a secret key") << fixture("a.key").split('\n').value(1).trimmed() << -1;
        QTest::newRow("one cut short") << (a + ';' + b.chopped(4)) << -1;
    }
    void publicKeys()
    {
        QFETCH(QByteArray, list);
        QFETCH(int, count);
        const auto keys = minisign::parsePublicKeys(list.toStdString());
        QCOMPARE(keys ? int(keys->size()) : -1, count);
    }
};

QTEST_GUILESS_MAIN(TestMinisign)
#include "tst_minisign.moc"
