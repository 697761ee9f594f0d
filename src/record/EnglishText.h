#pragma once
// Records and files stay English whatever language the window speaks: while a Scope lives,
// the window's translators give no translation (Translations asks active()).
#include <QString>

namespace EnglishText {

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool m_was;
};

// Whether a Scope lives.
bool active();

// The English text make() builds.
template <class Make> QString english(Make make)
{
    const Scope english;
    return make();
}

} // namespace EnglishText
