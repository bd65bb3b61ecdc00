#include <QTest>

class Tst_frmmain final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(Tst_frmmain)
#include "tst_frmmain.moc"
