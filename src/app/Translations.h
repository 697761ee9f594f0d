#pragma once
// The window's language: the utility's own translation (embedded, ":/i18n/talvo-linearizer_<lang>.qm")
// and Qt's (message box buttons, file dialogs) from Qt's translations folder. The command line never
// installs them, so its output stays English. The translators step aside while an
// EnglishText::Scope lives.
#include <QLocale>
#include <QString>

namespace Translations {

// Installs both translations for locale into the application; returns whether the utility's own was found.
bool install(const QLocale& locale);

} // namespace Translations
