#include <QTest>

class Tst_modmain final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void placeholder() {}
};

QTEST_GUILESS_MAIN(Tst_modmain)
#include "tst_modmain.moc"
