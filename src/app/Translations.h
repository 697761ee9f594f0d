#pragma once
// The window's language: the utility's own translation (embedded, ":/i18n/talvo-linearizer_<lang>.qm")
// and Qt's (message box buttons, file dialogs) from Qt's translations folder. The command line never
// installs them, so its output stays English.
#include <QLocale>
#include <QString>

namespace Translations {

// Installs both translations for locale into the application; returns whether the utility's own was found.
bool install(const QLocale& locale);

// While one lives, every text is made in English (records and files stay English whatever the window's language).
class EnglishScope {
public:
    EnglishScope();
    ~EnglishScope();
    EnglishScope(const EnglishScope&) = delete;
    EnglishScope& operator=(const EnglishScope&) = delete;

private:
    bool m_was;
};

// The English text make() builds.
template <class Make> QString english(Make make)
{
    const EnglishScope english;
    return make();
}

} // namespace Translations
