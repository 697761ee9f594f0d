#pragma once
// Runs a check under the German locale (decimal comma) in both the C library and Qt.
#include <QByteArray>
#include <QLocale>
#include <QTest>
#include <clocale>

// Sets the German locale; restores the previous one when it ends, also when a check
// fails. ok() is false where de_DE is not installed.
class GermanLocale {
public:
    GermanLocale() : m_saved(std::setlocale(LC_ALL, nullptr)), m_ok(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr)
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~GermanLocale()
    {
        std::setlocale(LC_ALL, m_saved.constData());
        QLocale::setDefault(m_qtSaved);
    }
    bool ok() const { return m_ok; }

private:
    QByteArray m_saved;
    bool m_ok;
    QLocale m_qtSaved;
};
#define REQUIRE_GERMAN_LOCALE(guard) \
    if (!(guard).ok())               \
    QSKIP("the de_DE.UTF-8 locale is not installed (package locales-all)")
