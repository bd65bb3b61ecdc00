#include <QTest>

class Tst_decodeline final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(Tst_decodeline)
#include "tst_decodeline.moc"
