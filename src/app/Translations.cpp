#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
bool g_muted = false;

// A translator that steps aside while English is asked for.
class MutableTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override
    {
        return g_muted ? QString() : QTranslator::translate(context, source, disambiguation, n);
    }
};
} // namespace

namespace Translations {

EnglishScope::EnglishScope() : m_was(g_muted) { g_muted = true; }
EnglishScope::~EnglishScope() { g_muted = m_was; }

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
