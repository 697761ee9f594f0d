#pragma once
// Files the utility reads or writes are plain files: a FIFO, a device or a folder named in
// their place is refused at once, so nothing blocks on it and nothing replaces it.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

class QIODevice;

namespace PlainFile {

// Why path cannot be read as a plain file ("… is a FIFO, not a plain file"), or an empty text.
// A missing file is left to the reader's own message.
QString readRefusal(const QString& path);
// Why path cannot be written as a plain file: it exists and is not one (a link to a plain
// file is one). An empty text when it is absent or plain.
QString writeRefusal(const QString& path);

struct Contents {
    QByteArray bytes;
    QString error;         // why nothing was read; empty on success
    bool tooLarge = false; // more than the limit: error says so, bytes is empty
};
// The whole of a plain file of at most limit bytes. Never blocks on a FIFO, never reads past
// limit + 1 bytes whatever the file claims its size is, and stops when cancel is set.
Contents read(const QString& path, qint64 limit, const std::atomic_bool* cancel = nullptr);

// Writes path whole or not at all: fill writes into a new file beside it (".NAME.XXXXXX"), which
// is flushed to the disk and then renamed into place, so no reader, full disk, kill or signal ever
// finds an empty or cut file under path. Without replace an existing path is left as it is and
// refused. False with the reason (fill's own, or the system's); nothing is left behind then.
bool writeWhole(const QString& path, bool replace, const std::function<bool(QIODevice& file, QString* error)>& fill, QString* error);

} // namespace PlainFile
