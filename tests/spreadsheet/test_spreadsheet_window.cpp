// Export and Import driven through the window's real buttons, grid, lists and clipboard;
// imported tables programmed into the simulated meter.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

#include "app/PickList.h"
#include "common/LocaleGuard.h"
#include "common/MeterRig.h"
#include "app/WorkbookViewer.h"
#include "spreadsheet/XlsxFile.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"

using Rows = QList<QStringList>; // {input, display} per point
Q_DECLARE_METATYPE(Rows)

namespace {
QString fixture(const QString& name) { return QStringLiteral(FIXTURES_DIR "/") + name; }
const Rows ColumnFormatRows{{"4.000", "0.00"},   {"5.600", "5.35"},   {"7.200", "10.69"},  {"8.800", "16.04"},  {"10.400", "21.38"},
                            {"12.000", "26.73"}, {"13.600", "32.07"}, {"15.200", "37.42"}, {"16.800", "42.76"}, {"18.400", "48.11"}};
} // namespace

class TestSpreadsheetWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QStringList viewed; // workbooks handed to the desktop
    bool viewerAnswer = true;

    // A shown window with the input type, the number of points, the decimal-point format and the table.
    static std::unique_ptr<frmMain> window(bool pulse, const QString& decimal, const Rows& rows, const PortMap& ports = PortMap())
    {
        auto w = makeWindow(ports);
        w->show();
        if (pulse)
            w->setOptionValue(w->optPulse, true);
        if (!w->selectListText(w->cboSetPoints, QString::number(rows.size())) || !w->selectListText(w->cboDecimal, decimal))
            qFatal("cannot set up the window");
        for (int r = 0; r < rows.size(); ++r) {
            w->MSFlexGrid1->setTextMatrix(r, 1, rows[r][0]);
            w->MSFlexGrid1->setTextMatrix(r, 2, rows[r][1]);
        }
        return w;
    }
    static Rows table(const frmMain& w)
    {
        Rows rows;
        for (int r = 0; r < w.MSFlexGrid1->Rows(); ++r)
            rows.append({w.MSFlexGrid1->TextMatrix(r, 1), w.MSFlexGrid1->TextMatrix(r, 2)});
        return rows;
    }
    static void import(frmMain& w, const QString& path)
    {
        DialogRecorder dialogs;
        dialogs.paths << path;
        QTest::mouseClick(w.cmdImport, Qt::LeftButton);
        QVERIFY(dialogs.filters.size() == 1 && dialogs.filters[0].startsWith("Spreadsheets (*.xlsx *.xls *.ods)|"));
    }

private slots:
    void initTestCase()
    {
        Spreadsheet::setViewerHook([this](const QString& path) {
            viewed << path;
            return viewerAnswer;
        });
    }
    void cleanup()
    {
        for (const QString& path : viewed)
            QFile::remove(path);
        viewed.clear();
        viewerAnswer = true;
    }

    void exportTables_data()
    {
        QTest::addColumn<bool>("pulse");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<bool>("german"); // the C library's and Qt's locale write a decimal comma
        QTest::newRow("Current, dddd.dd") << false << "dddd.dd" << Rows{{"4.000", "0.00"}, {"12.000", "50.00"}, {"20.000", "100.00"}} << false;
        QTest::newRow("Pulse") << true << "ddddd.d" << Rows{{"0.0", "0.0"}, {"10000.0", "10000.0"}} << false;
        QTest::newRow("German locale") << false << "dd.dddd" << Rows{{"4.500", "-2.0833"}, {"12.250", "50.1250"}} << true;
    }
    void exportTables()
    {
        QFETCH(bool, pulse);
        QFETCH(QString, decimal);
        QFETCH(Rows, rows);
        QFETCH(bool, german);
        std::optional<GermanLocale> locale;
        if (german)
            locale.emplace();
        MessageRecorder messages;
        auto w = window(pulse, decimal, rows);
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(viewed.size(), 2);
        QVERIFY(viewed[0] != viewed[1] && QFileInfo(viewed[0]).absolutePath() == QFileInfo(viewed[1]).absolutePath());
        QStringList lines;
        for (const QStringList& row : rows)
            lines << row.join('\t');
        QCOMPARE(QGuiApplication::clipboard()->text(), lines.join('\r'));
        const auto sheet = Spreadsheet::readXlsx(viewed[0]);
        QVERIFY(sheet);
        QCOMPARE(sheet->NumberFormat("A1:A32"), QString(pulse ? "0.0" : "0.000"));
        QCOMPARE(sheet->NumberFormat("B1:B32"), "0." + QString(decimal.section('.', 1).size(), '0'));
        QCOMPARE(sheet->Copy(QStringLiteral("A1:B%1").arg(rows.size())), lines.join("\r\n") + "\r\n");
        for (int r = 0; r < rows.size(); ++r) // numbers, not texts that read as numbers
            QVERIFY(sheet->cell(r, 0).kind == Spreadsheet::CellKind::Number && sheet->cell(r, 1).kind == Spreadsheet::CellKind::Number);
    }

    void exportTakesTheValueBeingTyped()
    {
        MessageRecorder messages;
        auto w = window(false, "ddd.ddd", Rows{{"4.000", "4.000"}, {"20.000", "20.000"}});
        FlexGrid* grid = w->MSFlexGrid1;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 2)).center());
        QTRY_VERIFY(w->Text1->isVisible());
        w->Text1->selectAll();
        QTest::keyClicks(w->Text1, "123.4");
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        const auto sheet = Spreadsheet::readXlsx(viewed[0]);
        QVERIFY(sheet);
        QCOMPARE(sheet->Copy("A1:B2"), QString("4.000\t4.000\r\n20.000\t123.400\r\n"));
    }

    void exportFailuresAreReported()
    {
        MessageRecorder messages;
        auto w = window(false, "ddd.ddd", Rows(2, {"", ""}));
        viewerAnswer = false; // nothing on the desktop opens .xlsx files
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QVERIFY(viewed.size() == 1 && QFileInfo::exists(viewed[0]));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].prompt, QString("You need to have Microsoft Excel installed to use this function"));
        for (const ShownMessage& m : messages.shown)
            QVERIFY(m.style == int(vbExclamation) && m.title == "Export to Excel");
    }

    // Displayed text and the display column's format, whatever program wrote the workbook.
    void importWorkbooks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pulse");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<bool>("program"); // then Program Meter
        for (const char* name : {"column_format.xlsx", "office_column_format.xls", "office_column_format.ods", "gnumeric_second_sheet.ods"})
            QTest::newRow(name) << name << false << "ddd.ddd" << "dddd.dd" << ColumnFormatRows << true;
        QTest::newRow("40 rows into 10 points") << "other_40rows.xlsx" << false << "ddd.ddd" << "dddd.dd"
                                                << Rows{{"0.500", "10.13"}, {"1.000", "20.25"}, {"1.500", "30.38"}, {"2.000", "40.50"}, {"2.500", "50.63"},
                                                        {"3.000", "60.75"}, {"3.500", "70.88"}, {"4.000", "81.00"}, {"4.500", "91.13"}, {"5.000", "101.25"}} << false;
        QTest::newRow("Pulse") << "other_40rows.xlsx" << true << "ddddd.d" << "dddd.dd" << Rows{{"0.5", "10.13"}, {"1.0", "20.25"}} << false;
        QTest::newRow("xls cell formats") << "other_values.xls" << false << "ddd.ddd" << "dddd.dd"
                                          << Rows{{"4.000", "4.50"}, {"12.346", "120.25"}} << false; // text in row 3: beyond the table
        for (const char* name : {"other_mixed.xlsx", "office_mixed.xls", "office_mixed.ods"})
            QTest::newRow(name) << name << false << "dd.dddd" << "dd.dddd" << Rows{{"1.000", "1.5000"}, {"2.000", "3.0000"}} << false;
        for (const char* name : {"other_empty.xlsx", "office_empty.xls", "office_empty.ods"})
            QTest::newRow(name) << name << false << "ddd.ddd" << "ddd.ddd"
                                << Rows{{"1.000", "10.000"}, {"2.000", ""}, {"", "30.000"}, {"4.000", "40.250"}, {"", ""}} << false;
    }
    void importWorkbooks()
    {
        QFETCH(QString, name);
        QFETCH(bool, pulse);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(Rows, rows);
        QFETCH(bool, program);
        MeterRig rig(MeterConfig(), false);
        QVERIFY(rig.sim);
        MessageRecorder messages;
        auto w = window(pulse, before, Rows(rows.size(), {"9.000", "9.000"}), rig.ports);
        QGuiApplication::clipboard()->setText("the user's");
        import(*w, fixture(name));
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join(" | ")));
        QCOMPARE(w->cboDecimal->Text(), after);
        QCOMPARE(table(*w), rows);
        QCOMPARE(w->optPulse->isChecked(), pulse);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("the user's")); // Import leaves the clipboard alone
        if (!program)
            return;
        // The meter gets what the sheet showed: "0.00" selects two decimals, 5.3456 goes as 5.35.
        QVERIFY(w->cboCommPort->Text() == "1" || w->selectListText(w->cboCommPort, "1"));
        QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton);
        const QStringList sent = rig.sim->received();
        QVERIFY2(sent.contains("37P2") && sent.contains("2A102535") && sent.contains("2A1104811"), qPrintable(sent.join(' ')));
        QCOMPARE(messages.prompts(), QStringList("   Information has been successfully sent to the meter!"));
    }

    void exportedTableImportsBack()
    {
        MessageRecorder messages;
        const Rows rows{{"4.000", "-0.50000"}, {"8.000", ""}, {"", "1.00000"}, {"20.000", "0.12345"}};
        auto w = window(false, "d.ddddd", rows);
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        QVERIFY(w->selectListText(w->cboDecimal, "ddd.ddd"));
        import(*w, viewed[0]);
        QCOMPARE(w->cboDecimal->Text(), QString("d.ddddd"));
        // A display value missing from the sheet stays missing after the format change.
        QCOMPARE(table(*w), rows);
    }

    void failedImportsLeaveTheTable_data()
    {
        QTest::addColumn<QString>("path"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("prompt"); // how the message starts; $PATH: the path
        QTest::addColumn<QString>("title");
        const QString unreadable = "The workbook $PATH cannot be read: ";
        QTest::newRow("cancelled") << QString() << "" << "";
        QTest::newRow("damaged .xlsx") << fixture("refuse_malformed.xlsx") << unreadable << "Import from Excel";
        QTest::newRow("damaged .xls") << fixture("damaged-freexl-overread.xls") << unreadable << "Import from Excel";
        QTest::newRow("FIFO") << dir.filePath("fifo") << unreadable + "$PATH is a FIFO, not a plain file" << "Import from Excel";
        // A cell of the table's rows that is not a number: the message typing it would give.
        QTest::newRow("text in a cell") << fixture("other_types.xlsx")
                                        << "Scale input value must be between 0.000 and 23.000 (mA) for Current\r\nCell A2 of $PATH holds \"n/a\"."
                                        << "Invalid Scale Value";
    }
    void failedImportsLeaveTheTable()
    {
        QFETCH(QString, path);
        QFETCH(QString, prompt);
        QFETCH(QString, title);
        QVERIFY(!path.endsWith("fifo") || QFileInfo::exists(path) || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        MessageRecorder messages;
        auto w = window(false, "dddd.dd", Rows{{"4.000", "1.00"}, {"20.000", "2.00"}});
        QGuiApplication::clipboard()->setText("kept");
        import(*w, path);
        QCOMPARE(table(*w), Rows({{"4.000", "1.00"}, {"20.000", "2.00"}}));
        QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
        QCOMPARE(messages.shown.size(), path.isEmpty() ? 0 : 1);
        if (!path.isEmpty()) {
            QVERIFY2(messages.shown[0].prompt.startsWith(prompt.replace("$PATH", QDir::toNativeSeparators(path))),
                     qPrintable(messages.shown[0].prompt));
            QCOMPARE(messages.shown[0].title, title);
            QCOMPARE(messages.shown[0].style, int(title == "Import from Excel" ? vbExclamation : vbOKOnly));
        }
    }
};

QTEST_MAIN(TestSpreadsheetWindow)
#include "test_spreadsheet_window.moc"
