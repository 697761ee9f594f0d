#pragma once
// Hands fuzz input to readers that take a path: an anonymous in-memory file.
#include <QByteArray>
#include <QString>
#include <sys/mman.h>
#include <unistd.h>

class MemoryFile {
public:
    explicit MemoryFile(const QByteArray& bytes)
    {
        m_fd = memfd_create("fuzz-input", 0);
        if (m_fd >= 0 && !bytes.isEmpty()) [[maybe_unused]]
            ssize_t n = ::write(m_fd, bytes.constData(), size_t(bytes.size()));
    }
    ~MemoryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

private:
    int m_fd = -1;
};
