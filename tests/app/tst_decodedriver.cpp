#include <QTest>

class Tst_decodedriver final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(Tst_decodedriver)
#include "tst_decodedriver.moc"
