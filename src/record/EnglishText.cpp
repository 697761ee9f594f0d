#include "record/EnglishText.h"

namespace EnglishText {
namespace {
bool g_active = false;
}

Scope::Scope() : m_was(g_active) { g_active = true; }
Scope::~Scope() { g_active = m_was; }
bool active() { return g_active; }

} // namespace EnglishText
