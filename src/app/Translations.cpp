#include "app/Translations.h"

#include "record/EnglishText.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
// A translator that steps aside while English is asked for.
class MutableTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        return EnglishText::active() ? QString() : QTranslator::translate(context, source, disambiguation, n);
    }
};
} // namespace

namespace Translations {

bool install(const QLocale& locale)
{
    if (locale.language() == QLocale::C) // as with gettext, the C locale is untranslated whatever LANGUAGE says
        return false;
    auto* app = QCoreApplication::instance();
    auto* own = new MutableTranslator(app);
    const bool found = own->load(locale, QStringLiteral("talvo-linearizer"), QStringLiteral("_"), QStringLiteral(":/i18n"));
    if (found)
        QCoreApplication::installTranslator(own);
    else
        delete own;
    auto* qt = new MutableTranslator(app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return found;
}

} // namespace Translations
