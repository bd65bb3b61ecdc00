#include "QtTexts.h"

#include <QCoreApplication>
#include <QTranslator>

namespace platform {

bool installKoreanQtTexts()
{
    // Owned by the application, so that it lives as long as the texts are asked for.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/translations/qtbase_ko.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace platform
