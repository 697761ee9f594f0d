// Save Settings and Open Settings driven through the File menu of the real window, with
// the file dialogs and message boxes answered by the test.
#include <QFile>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/PanelStatusBar.h"
#include "app/PickList.h"
#include "common/TestWindow.h"
#include "files/FileFaults.h"
#include "table/FlexGrid.h"

namespace {
const QString Filter = QStringLiteral("Text (*.txt)|*.txt|All Files (*.*)|*.*");

// A settings file with the given values; lineEnd "\r\n" or "\n".
QByteArray settingsBytes(const QString& decimal, const QString& address, const QString& port, const QString& baud,
                         const QString& points, const QString& voltage, const QString& current,
                         const char* lineEnd = "\r\n")
{
    const QStringList lines = {"My Settings", "===========", "", "Decimal Point", decimal, "", "Meter Address",
                               address, "", "Comm Port", port, "", "Baud Rate", baud, "", "# of Scale Points",
                               points, "", voltage, current, "===========", ""};
    QByteArray out;
    for (const QString& l : lines)
        out += l.toLatin1() + lineEnd;
    return out;
}

QStringList entries(const PickList* list)
{
    QStringList out;
    for (int i = 0; i < list->ListCount(); ++i)
        out << list->List(i);
    return out;
}

struct Snapshot {
    QString decimal, address, port, baud, points;
    bool voltage, current, pulse;
    int rows;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const frmMain& w)
{
    return {w.cboDecimal->Text(),   w.cboAddress->Text(),  w.cboCommPort->Text(),
            w.cboBaudRate->Text(),  w.cboSetPoints->Text(), w.optVoltage->isChecked(),
            w.optCurrent->isChecked(), w.optPulse->isChecked(), w.MSFlexGrid1->Rows()};
}

char* toString(const Snapshot& s)
{
    return QTest::toString(QStringLiteral("%1|%2|%3|%4|%5|V%6 I%7 P%8|rows %9")
                               .arg(s.decimal, s.address, s.port, s.baud, s.points)
                               .arg(s.voltage)
                               .arg(s.current)
                               .arg(s.pulse)
                               .arg(s.rows));
}
} // namespace

class TestSettingsMenu : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // Gives the window ports 3 and 7 to choose from, as a probe would have.
    static void offerPorts(frmMain& w)
    {
        w.cboCommPort->AddItem(QStringLiteral("3"));
        w.cboCommPort->AddItem(QStringLiteral("7"));
        w.selectListText(w.cboCommPort, QStringLiteral("3"));
    }

    static void clickOption(QRadioButton* option)
    {
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
        QVERIFY(option->isChecked());
    }

private slots:
    void roundTripOfEveryField_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("line19");
        QTest::addColumn<QString>("line20");
        // The format is the type's own, which the type's selection on opening also restores.
        QTest::newRow("Voltage") << "Voltage" << "ddd.ddd" << "True" << "False";
        QTest::newRow("Current") << "Current" << "ddd.ddd" << "False" << "True";
        QTest::newRow("Pulse") << "Pulse" << "ddddd.d" << "False" << "False";
    }
    void roundTripOfEveryField()
    {
        QFETCH(QString, type);
        QFETCH(QString, decimal);
        QFETCH(QString, line19);
        QFETCH(QString, line20);
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        offerPorts(*w);
        w->show();
        QRadioButton* option = w->findChild<QRadioButton*>("opt" + type);
        QVERIFY(option);
        clickOption(option);
        QVERIFY(w->selectListText(w->cboDecimal, decimal));
        QVERIFY(w->selectListText(w->cboAddress, "123"));
        QVERIFY(w->selectListText(w->cboCommPort, "7"));
        QVERIFY(w->selectListText(w->cboBaudRate, "9600"));
        QVERIFY(w->selectListText(w->cboSetPoints, "5"));
        const Snapshot saved = snapshot(*w);
        QCOMPARE(saved.rows, 5);
        const QList<QStringList> listsBefore = {entries(w->cboDecimal), entries(w->cboAddress),
                                                entries(w->cboCommPort), entries(w->cboBaudRate),
                                                entries(w->cboSetPoints)};

        const QString file = path(qPrintable("roundtrip-" + type + ".txt"));
        w->setPanelText(1, "before saving");
        dialogs.paths << file;
        w->mnuSave->trigger();
        QCOMPARE(dialogs.saves, QList<bool>{true});
        QCOMPARE(dialogs.filters, QStringList{Filter});
        QCOMPARE(readAll(file),
                 settingsBytes(decimal, "123", "7", "9600", "5", line19, line20));
        QCOMPARE(w->panelText(1), QString("before saving")); // saving leaves the status bar alone
        QVERIFY(messages.shown.isEmpty());

        // Change everything, then open the file again.
        clickOption(type == "Voltage" ? w->optPulse : w->optVoltage);
        QVERIFY(w->selectListText(w->cboDecimal, "d.ddddd"));
        QVERIFY(w->selectListText(w->cboAddress, "200"));
        QVERIFY(w->selectListText(w->cboCommPort, "3"));
        QVERIFY(w->selectListText(w->cboBaudRate, "300"));
        QVERIFY(w->selectListText(w->cboSetPoints, "9"));
        QVERIFY(!(snapshot(*w) == saved));

        dialogs.paths << file;
        w->mnuOpen->trigger();
        QCOMPARE(dialogs.saves, (QList<bool>{true, false}));
        QCOMPARE(dialogs.filters.last(), Filter);
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join('\n')));
        QCOMPARE(snapshot(*w), saved);
        QCOMPARE(w->panelText(1), "File: - [" + file + "]");
        // Every list holds what it held before: the value was appended and its repeat removed.
        const QList<QStringList> listsAfter = {entries(w->cboDecimal), entries(w->cboAddress),
                                               entries(w->cboCommPort), entries(w->cboBaudRate),
                                               entries(w->cboSetPoints)};
        QCOMPARE(listsAfter, listsBefore);
    }

    void openingRunsTheInputTypeChoice()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        QVERIFY(w->selectListText(w->cboSetPoints, "4"));
        for (int r = 0; r < 4; ++r) {
            w->MSFlexGrid1->setTextMatrix(r, 1, QString::number(r + 1) + ".000");
            w->MSFlexGrid1->setTextMatrix(r, 2, "12.345");
        }
        const QString file = path("types.txt");

        // Both lines "False": Pulse is chosen, with its defaults and its own format
        // winning over line 5; display values keep their digits.
        writeBytes(file, settingsBytes("dd.dddd", "001", "", "2400", "4", "False", "False"));
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QVERIFY(w->optPulse->isChecked());
        QCOMPARE(w->lblInput->text(), QString("Input (Hz)"));
        QCOMPARE(w->cboDecimal->Text(), QString("ddddd.d"));
        QCOMPARE(w->MSFlexGrid1->Rows(), 4);
        QCOMPARE(w->MSFlexGrid1->TextMatrix(0, 1), QString("0.0"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 1), QString("10000.0"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 2), QString("10000.0"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(2, 1), QString("3.000"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(2, 2), QString("1234.5"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(3, 2), QString("1234.5"));

        // Voltage from a file whose line 5 is another format.
        writeBytes(file, settingsBytes("d.ddddd", "001", "", "2400", "4", "True", "False"));
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QVERIFY(w->optVoltage->isChecked());
        QVERIFY(!w->optPulse->isChecked());
        QCOMPARE(w->lblInput->text(), QString("Input (V)"));
        QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(0, 1), QString("0.000"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 2), QString("10.000"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(3, 2), QString("12.345"));
        QVERIFY(messages.shown.isEmpty());
    }

    void savedFileIsByteExactAndReplaced()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow(); // start-up defaults, no serial port offered
        const QString file = path("defaults.txt");
        writeBytes(file, QByteArray(5000, 'x'));
        dialogs.paths << file;
        w->mnuSave->trigger();
        const QByteArray expected = "My Settings\r\n===========\r\n\r\nDecimal Point\r\nddd.ddd\r\n\r\n"
                                    "Meter Address\r\n001\r\n\r\nComm Port\r\n\r\n\r\nBaud Rate\r\n2400\r\n\r\n"
                                    "# of Scale Points\r\n2\r\n\r\nFalse\r\nTrue\r\n===========\r\n\r\n";
        QCOMPARE(readAll(file), expected);

        // Saving again to the same path replaces the file: still 22 lines.
        QVERIFY(w->selectListText(w->cboAddress, "045"));
        dialogs.paths << file;
        w->mnuSave->trigger();
        const QByteArray second = readAll(file);
        QCOMPARE(second.count("\r\n"), 22);
        QCOMPARE(second, QByteArray(expected).replace("\r\n001\r\n", "\r\n045\r\n"));
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(QDir(m_dir.path()).entryList({"defaults*"}, QDir::Files | QDir::Hidden),
                 QStringList{"defaults.txt"});
    }

    void cancelledDialogsChangeNothing()
    {
        MessageRecorder messages;
        DialogRecorder dialogs; // no paths queued: every dialog is cancelled
        auto w = makeWindow();
        const Snapshot before = snapshot(*w);
        w->mnuSave->trigger();
        w->setPanelText(1, "busy");
        w->mnuOpen->trigger();
        QCOMPARE(dialogs.saves, (QList<bool>{true, false}));
        QCOMPARE(snapshot(*w), before);
        QCOMPARE(w->panelText(1), QString()); // the open command empties the panel first
        QVERIFY(messages.shown.isEmpty());
    }

    void fileOf21LinesAppliesUpToLine20AndReports()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        const QString file = path("short.txt");
        QByteArray bytes = settingsBytes("ddd.ddd", "099", "", "4800", "7", "True", "False");
        bytes.chop(2); // drop the empty line 22
        QCOMPARE(bytes.count("\r\n"), 21);
        writeBytes(file, bytes);
        w->setPanelText(1, "old text");
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QCOMPARE(w->cboAddress->Text(), QString("099"));
        QCOMPARE(w->cboBaudRate->Text(), QString("4800"));
        QCOMPARE(w->cboSetPoints->Text(), QString("7"));
        QCOMPARE(w->MSFlexGrid1->Rows(), 7);
        QVERIFY(w->optVoltage->isChecked());
        QVERIFY(!w->optCurrent->isChecked());
        QCOMPARE(w->panelText(1), QString());
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].style, int(vbExclamation));
        QVERIFY(messages.shown[0].prompt.contains(file));
        QVERIFY2(messages.shown[0].prompt.contains("line 22"), qPrintable(messages.shown[0].prompt));
    }

    void damagedFilesStopWhereReadingStopped()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        clickOption(w->optVoltage);
        const QString file = path("damaged.txt");

        // A bad truth value on line 20: the lists are applied, the input type stays.
        writeBytes(file, settingsBytes("dddd.dd", "150", "", "19200", "4", "False", "maybe"));
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        QCOMPARE(w->cboAddress->Text(), QString("150"));
        QCOMPARE(w->cboBaudRate->Text(), QString("19200"));
        QCOMPARE(w->cboSetPoints->Text(), QString("4"));
        QVERIFY(w->optVoltage->isChecked());
        QCOMPARE(w->panelText(1), QString());
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY(messages.shown[0].prompt.contains(file));
        QVERIFY(messages.shown[0].prompt.contains("line 20"));
        QVERIFY(messages.shown[0].prompt.contains("maybe"));

        // A file that ends after line 9: decimal point and address applied, nothing else.
        const QList<QByteArray> lines = settingsBytes("dd.dddd", "160", "", "600", "9", "False", "True").split('\n');
        writeBytes(file, lines.mid(0, 9).join('\n') + '\n');
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QCOMPARE(w->cboDecimal->Text(), QString("dd.dddd"));
        QCOMPARE(w->cboAddress->Text(), QString("160"));
        QCOMPARE(w->cboBaudRate->Text(), QString("19200"));
        QCOMPARE(w->cboSetPoints->Text(), QString("4"));
        QVERIFY(w->optVoltage->isChecked());
        QCOMPARE(messages.shown.size(), 2);
        QVERIFY(messages.shown[1].prompt.contains("line 10"));
    }

    void unfitFilesAreRefusedBeforeAnythingApplies()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        const Snapshot before = snapshot(*w);
        const int addresses = w->cboAddress->ListCount();

        const QString big = path("big.txt");
        writeBytes(big, settingsBytes("dd.dddd", "200", "", "600", "9", "True", "False") + QByteArray(8192, ' '));
        const QString binary = path("binary.txt");
        writeBytes(binary, settingsBytes("dd.dddd", QString::fromLatin1("2\x01" "0"), "", "600", "9", "True", "False"));
        const QString missing = path("missing.txt");
        dialogs.paths << big << binary << missing << m_dir.path();
        for (int i = 0; i < 4; ++i)
            w->mnuOpen->trigger();
        QCOMPARE(snapshot(*w), before);
        QCOMPARE(w->cboAddress->ListCount(), addresses);
        QCOMPARE(w->panelText(1), QString());
        QCOMPARE(messages.shown.size(), 4);
        QVERIFY(messages.shown[0].prompt.contains(big));
        QVERIFY(messages.shown[0].prompt.contains("large"));
        QVERIFY(messages.shown[1].prompt.contains(binary));
        QVERIFY(messages.shown[1].prompt.contains("binary"));
        QVERIFY(messages.shown[2].prompt.contains(missing));
        QVERIFY(messages.shown[3].prompt.contains(m_dir.path()));
    }

    void unknownAddressIsAppendedAndSelected()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        QCOMPARE(w->cboAddress->ListCount(), 247);
        const QString file = path("address250.txt");
        writeBytes(file, settingsBytes("ddd.ddd", "250", "", "2400", "2", "False", "True"));
        dialogs.paths << file << file;
        w->mnuOpen->trigger();
        QCOMPARE(w->cboAddress->ListCount(), 248);
        QCOMPARE(w->cboAddress->List(247), QString("250"));
        QCOMPARE(w->cboAddress->currentIndex(), 247);
        QCOMPARE(w->cboAddress->Text(), QString("250"));
        // Opening it again does not add it twice.
        w->mnuOpen->trigger();
        QCOMPARE(w->cboAddress->ListCount(), 248);
        QCOMPARE(w->cboAddress->currentIndex(), 247);
        QVERIFY(messages.shown.isEmpty());

        // An empty port line leaves one empty entry, selected.
        QCOMPARE(w->cboCommPort->ListCount(), 1);
        QCOMPARE(w->cboCommPort->currentIndex(), 0);
        QCOMPARE(w->cboCommPort->Text(), QString());
    }

    void repeatsAreRemovedFromEveryEntry()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        w->cboAddress->AddItem("007");
        w->cboAddress->AddItem("abc");
        w->cboAddress->AddItem("ABC");
        w->cboAddress->AddItem("007");
        const QString file = path("repeats.txt");
        writeBytes(file, settingsBytes("ddd.ddd", "abc", "", "2400", "2", "False", "True"));
        dialogs.paths << file;
        w->mnuOpen->trigger();
        const QStringList list = entries(w->cboAddress);
        QCOMPARE(list.size(), 249); // 247 addresses, "abc" and "ABC" (case counts)
        QCOMPARE(list.count("007"), 1);
        QCOMPARE(list.indexOf("007"), 6);
        QCOMPARE(list.mid(247), (QStringList{"abc", "ABC"}));
        QCOMPARE(w->cboAddress->currentIndex(), 247);
        QVERIFY(messages.shown.isEmpty());
    }

    void otherWordingAndLineEndsAreAccepted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expectedType");
        QByteArray lower = settingsBytes("ddd.ddd", "033", "", "1200", "3", "TRUE", "false", "\n");
        lower.replace("My Settings", "my settings").replace("Decimal Point", "DECIMAL point").replace("===", "---");
        QTest::newRow("LF, other case") << lower << "Voltage";
        QByteArray words = settingsBytes("ddd.ddd", "033", "", "1200", "3", "0", "-1");
        words.replace("Meter Address", "address of the meter").replace("Baud Rate", "").replace("Comm Port", "port: 1");
        QTest::newRow("other words, numbers") << words << "Current";
        QByteArray pulse = settingsBytes("ddd.ddd", "033", "", "1200", "3", " false ", "0.0");
        QTest::newRow("both false") << pulse << "Pulse";
        QByteArray extra = settingsBytes("ddd.ddd", "033", "", "1200", "3", "1", "0") + "more\r\nlines\r\n";
        QTest::newRow("lines after 22") << extra << "Voltage";
        QByteArray noLastEnd = settingsBytes("ddd.ddd", "033", "", "1200", "3", "False", "True");
        noLastEnd.chop(2);
        noLastEnd += "x"; // line 22 without a line end
        QTest::newRow("unterminated line 22") << noLastEnd << "Current";
    }
    void otherWordingAndLineEndsAreAccepted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expectedType);
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        clickOption(expectedType == "Voltage" ? w->optCurrent : w->optVoltage);
        const QString file = path("wording.txt");
        writeBytes(file, bytes);
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join('\n')));
        QCOMPARE(w->cboAddress->Text(), QString("033"));
        QCOMPARE(w->cboBaudRate->Text(), QString("1200"));
        QCOMPARE(w->cboSetPoints->Text(), QString("3"));
        QCOMPARE(w->optVoltage->isChecked(), expectedType == "Voltage");
        QCOMPARE(w->optCurrent->isChecked(), expectedType == "Current");
        QCOMPARE(w->optPulse->isChecked(), expectedType == "Pulse");
        QCOMPARE(w->panelText(1), "File: - [" + file + "]");
    }

    void statusTextIsClearedByTheStatusTimer()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        const QString file = path("status.txt");
        writeBytes(file, settingsBytes("ddd.ddd", "001", "", "2400", "2", "False", "True"));
        dialogs.paths << file;
        w->mnuOpen->trigger();
        QCOMPARE(w->panelText(1), "File: - [" + file + "]");
        QTRY_COMPARE_WITH_TIMEOUT(w->panelText(1), QString(), 4000);
    }

    void failedSaveKeepsTheOldFileAndTheWindow()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        const QString file = path("kept.txt");
        writeBytes(file, "old\r\n");
        const Snapshot before = snapshot(*w);
        dialogs.paths << file;
        {
            const WriteLimit limit(16); // as if the disk were full
            w->mnuSave->trigger();
        }
        QCOMPARE(readAll(file), QByteArray("old\r\n"));
        QCOMPARE(snapshot(*w), before);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].style, int(vbExclamation));
        QVERIFY(messages.shown[0].prompt.contains(file));
        QCOMPARE(QDir(m_dir.path()).entryList({"kept*"}, QDir::Files | QDir::Hidden), QStringList{"kept.txt"});

        const QString nowhere = path("no-such-folder/settings.txt");
        dialogs.paths << nowhere;
        w->mnuSave->trigger();
        QCOMPARE(messages.shown.size(), 2);
        QVERIFY(messages.shown[1].prompt.contains(nowhere));
        QVERIFY(!QFile::exists(nowhere));
    }
};

QTEST_MAIN(TestSettingsMenu)
#include "test_settings_menu.moc"
