#include "ui/QtTranslations.h"

#include <cstdio>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/UiTexts.h"

namespace {

int g_language = 0;

QTranslator* chineseTexts()
{
    // Owned by the application, so it goes with it.
    static QTranslator* translator = new QTranslator(QCoreApplication::instance());
    return translator;
}

} // namespace

int qtLanguage()
{
    return g_language;
}

bool applyQtLanguage(int language)
{
    g_language = language;
    QTranslator* translator = chineseTexts();
    if (!isChinese(language)) {
        QCoreApplication::removeTranslator(translator);
        return true;
    }
    if (translator->isEmpty() &&
        !translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        static bool told = false;
        if (!told)
            std::fputs("hoopwatch: Qt's Chinese texts (qtbase_zh_CN.qm) are not installed; "
                       "file dialogs and standard buttons stay English\n",
                       stderr);
        told = true;
        return false;
    }
    // Installing again moves it to the front; nothing else changes.
    QCoreApplication::installTranslator(translator);
    return true;
}
