#pragma once
// The settings file: 22 lines of text with CR LF line ends. Lines 5, 8, 11, 14 and 17
// carry the texts of the decimal-point, address, port, baud-rate and number-of-points
// lists; lines 19 and 20 say whether Voltage and Current are selected (both "False" is
// Pulse). Every other line is fixed and is not checked when reading.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

struct SettingsValues {
    QString decimal;
    QString address;
    QString commPort;
    QString baudRate;
    QString setPoints;
    bool voltage = false;
    bool current = false;
};

namespace SettingsFile {
inline constexpr int LineCount = 22;
inline constexpr int DecimalLine = 5;
inline constexpr int AddressLine = 8;
inline constexpr int CommPortLine = 11;
inline constexpr int BaudRateLine = 14;
inline constexpr int SetPointsLine = 17;
inline constexpr int VoltageLine = 19;
inline constexpr int CurrentLine = 20;
// A settings file is about 150 bytes; anything much larger is not one.
inline constexpr qint64 MaxFileSize = 4096;

// The whole file, byte for byte.
QByteArray Compose(const SettingsValues& values);

// Writes the file atomically: a temporary file beside it replaces the old one only when
// everything was written. On failure the old file is untouched and *errorText says why; a
// path that is a FIFO, a device or a folder is refused.
bool Save(const QString& path, const SettingsValues& values, QString* errorText = nullptr);

// "True"/"False" in any letter case, or a number (non-zero is true); surrounding
// spaces and tabs are ignored. Anything else gives no value.
std::optional<bool> ParseTruth(const QString& text);

// Lines of a text with CR LF, LF or CR line ends; a last line without a line end counts.
QStringList SplitLines(const QByteArray& bytes);

// True when the bytes hold control characters other than TAB, LF and CR (or DEL).
bool LooksBinary(const QByteArray& bytes);
} // namespace SettingsFile

// Reads a settings file line by line. open() loads and checks the whole file (size,
// binary content) before anything is handed out; readLine()/readTruth() then read
// forward to the given line, skipping the lines between. When reading stops, stopLine()
// and errorText() say where and why, and every later read fails too.
class SettingsReader {
public:
    bool open(const QString& path);
    std::optional<QString> readLine(int lineNumber);
    std::optional<bool> readTruth(int lineNumber);

    bool failed() const { return !m_error.isEmpty(); }
    int stopLine() const { return m_stopLine; } // 0 when the file could not be opened at all
    QString errorText() const { return m_error; }

private:
    void stop(int line, const QString& why);

    QStringList m_lines;
    int m_next = 1; // the next line to read
    int m_stopLine = 0;
    QString m_error;
    bool m_open = false;
};
