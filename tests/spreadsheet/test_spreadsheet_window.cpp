// Export and Import driven through the window's real buttons, grid, lists and clipboard.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "XlsxBuilder.h"
#include "app/PickList.h"
#include "common/TestWindow.h"
#include "spreadsheet/WorkbookViewer.h"
#include "spreadsheet/XlsxFile.h"
#include "table/CellEditor.h"
#include "table/FlexGrid.h"

using Rows = QList<QStringList>; // {input, display} per point

namespace {
QString fixture(const char* name) { return QStringLiteral(FIXTURES_DIR "/") + QString::fromLatin1(name); }
} // namespace

class TestSpreadsheetWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QStringList viewed;      // workbooks handed to the desktop
    bool viewerAnswer = true;

    std::unique_ptr<frmMain> window()
    {
        auto w = makeWindow();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qWarning("window not exposed");
        return w;
    }

    static bool setPoints(frmMain& w, int n)
    {
        return w.selectListText(w.cboSetPoints, QString::number(n)) && w.MSFlexGrid1->Rows() == n && w.cmdImport->isEnabled();
    }

    static void fill(frmMain& w, const Rows& rows)
    {
        for (int r = 0; r < rows.size(); ++r) {
            w.MSFlexGrid1->setTextMatrix(r, 1, rows[r][0]);
            w.MSFlexGrid1->setTextMatrix(r, 2, rows[r][1]);
        }
    }

    static Rows table(const frmMain& w)
    {
        Rows rows;
        for (int r = 0; r < w.MSFlexGrid1->Rows(); ++r)
            rows.append({w.MSFlexGrid1->TextMatrix(r, 1), w.MSFlexGrid1->TextMatrix(r, 2)});
        return rows;
    }

    static QString xlsx2csv(const QString& path)
    {
        const QString exe = QStandardPaths::findExecutable("xlsx2csv", {"/usr/bin", "/bin"});
        if (exe.isEmpty())
            return QString();
        QProcess p;
        p.start(exe, {path});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        Spreadsheet::setViewerHook([this](const QString& path) {
            viewed << path;
            return viewerAnswer;
        });
    }
    void init()
    {
        viewed.clear();
        viewerAnswer = true;
    }
    void cleanup()
    {
        for (const QString& path : viewed)
            QFile::remove(path);
    }
    void cleanupTestCase() { Spreadsheet::setViewerHook({}); }

    void exportFivePointCurrentTable()
    {
        MessageRecorder messages;
        auto w = window();
        QVERIFY(w->optCurrent->isChecked());
        QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
        QVERIFY(setPoints(*w, 5));
        const Rows rows{{"4.000", "0.00"}, {"8.000", "25.00"}, {"12.000", "50.00"}, {"16.000", "75.00"}, {"20.000", "100.00"}};
        fill(*w, rows);
        QGuiApplication::clipboard()->setText("something the user had");

        QTest::mouseClick(w->cmdExport, Qt::LeftButton);

        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(viewed.size(), 1);
        const QString path = viewed[0];
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        QVERIFY2(QRegularExpression("^talvo-points-\\d{8}-\\d{6}(-\\d+)?\\.xlsx$").match(QFileInfo(path).fileName()).hasMatch(), qPrintable(path));
        QVERIFY(w->panelText(1).contains(QDir::toNativeSeparators(path)));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("4.000\t0.00\r8.000\t25.00\r12.000\t50.00\r16.000\t75.00\r20.000\t100.00"));
        QCOMPARE(w->MSFlexGrid1->Row(), 0);
        QCOMPARE(w->MSFlexGrid1->Col(), 1);
        QCOMPARE(w->MSFlexGrid1->RowSel(), 4);
        QCOMPARE(w->MSFlexGrid1->ColSel(), 2);
        QCOMPARE(table(*w), rows);

        QString error;
        const auto sheet = Spreadsheet::readXlsx(path, &error);
        QVERIFY2(sheet, qPrintable(error));
        QCOMPARE(sheet->NumberFormat("A1:A32"), QString("0.000"));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.00"));
        QCOMPARE(sheet->cell(4, 0).kind, Spreadsheet::CellKind::Number);
        QCOMPARE(sheet->Copy("A1:B5"), QString("4.000\t0.00\r\n8.000\t25.00\r\n12.000\t50.00\r\n16.000\t75.00\r\n20.000\t100.00\r\n"));
        for (int r = 5; r < 32; ++r)
            QVERIFY(sheet->cell(r, 0).kind == Spreadsheet::CellKind::Empty && sheet->cell(r, 1).kind == Spreadsheet::CellKind::Empty);

        const QString csv = xlsx2csv(path);
        if (csv.isNull())
            QSKIP("xlsx2csv is not installed");
        QCOMPARE(csv.split('\n').mid(0, 5), QStringList({"4.000,0.00", "8.000,25.00", "12.000,50.00", "16.000,75.00", "20.000,100.00"}));
    }

    void exportTakesTheValueBeingTyped()
    {
        MessageRecorder messages;
        auto w = window();
        FlexGrid* grid = w->MSFlexGrid1;
        const QPoint cell = grid->visualRect(grid->model()->index(1, 2)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
        QTRY_VERIFY(w->Text1->isVisible());
        w->Text1->selectAll();
        QTest::keyClicks(w->Text1, "123.4");
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        const auto sheet = Spreadsheet::readXlsx(viewed[0]);
        QVERIFY(sheet);
        QCOMPARE(sheet->Copy("A1:B2"), QString("4.000\t4.000\r\n20.000\t123.400\r\n"));
    }

    void exportOfPulseTableUsesOneDecimal()
    {
        MessageRecorder messages;
        auto w = window();
        w->setOptionValue(w->optPulse, true);
        QCOMPARE(w->cboDecimal->Text(), QString("ddddd.d"));
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        const auto sheet = Spreadsheet::readXlsx(viewed[0]);
        QVERIFY(sheet);
        QCOMPARE(sheet->NumberFormat("A1:A32"), QString("0.0"));
        QCOMPARE(sheet->NumberFormat("B1:B32"), QString("0.0"));
        QCOMPARE(sheet->Copy("A1:B2"), QString("0.0\t0.0\r\n10000.0\t10000.0\r\n"));
    }

    void exportWithoutSpreadsheetApplication()
    {
        MessageRecorder messages;
        auto w = window();
        viewerAnswer = false;
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].prompt, QString("You need to have Microsoft Excel installed to use this function"));
        QCOMPARE(messages.shown[0].style, int(vbExclamation));
        QCOMPARE(messages.shown[0].title, QString("Export to Excel"));
        QVERIFY(QFileInfo::exists(viewed[0])); // the workbook stays for the user
        QVERIFY(w->panelText(1).contains(QDir::toNativeSeparators(viewed[0])));
    }

    void eachExportIsANewWorkbook()
    {
        MessageRecorder messages;
        auto w = window();
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 2);
        QVERIFY(viewed[0] != viewed[1]);
        QVERIFY(QFileInfo::exists(viewed[0]) && QFileInfo::exists(viewed[1]));
    }

    void exportToAnUnwritableFolderIsReported()
    {
        MessageRecorder messages;
        auto w = window();
        // A folder that exists but takes no new files (for root, /proc).
        QString folder = dir.filePath("read-only");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(folder).isWritable())
            folder = "/proc";
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", folder.toLocal8Bit());
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        if (saved.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", saved);
        QCOMPARE(viewed.size(), 0); // nothing to show
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY2(messages.shown[0].prompt.startsWith("The workbook could not be written to "), qPrintable(messages.shown[0].prompt));
        QVERIFY(messages.shown[0].prompt.contains(QDir::toNativeSeparators(folder) + QDir::separator() + "talvo-points-"));
        QCOMPARE(messages.shown[0].style, int(vbExclamation));
        QCOMPARE(messages.shown[0].title, QString("Export to Excel"));
    }

    void importFortyRowsIntoTenPoints()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(setPoints(*w, 10));
        QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
        dialogs.paths << fixture("other_40rows.xlsx");

        QTest::mouseClick(w->cmdImport, Qt::LeftButton);

        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(dialogs.filters, QStringList({"Excel Files (*.xlsx *.xls)|*.xlsx;*.xls|"}));
        QCOMPARE(dialogs.saves, QList<bool>({false}));
        QCOMPARE(w->MSFlexGrid1->Rows(), 10);
        QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        QCOMPARE(table(*w), Rows({{"0.500", "10.13"}, {"1.000", "20.25"}, {"1.500", "30.38"}, {"2.000", "40.50"}, {"2.500", "50.63"},
                                  {"3.000", "60.75"}, {"3.500", "70.88"}, {"4.000", "81.00"}, {"4.500", "91.13"}, {"5.000", "101.25"}}));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(9, 0), QString("10"));
        QCOMPARE(w->MSFlexGrid1->Col(), 1);
        QVERIFY(w->optCurrent->isChecked());
        // What Excel would have copied: displayed text, CR LF after each of the 32 rows.
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied.count("\r\n"), 32);
        QVERIFY(copied.startsWith("0.500\t10.13\r\n1.000\t20.25\r\n"));
    }

    void importIntoPulseTable()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        w->setOptionValue(w->optPulse, true);
        QVERIFY(setPoints(*w, 3));
        dialogs.paths << fixture("other_40rows.xlsx");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(table(*w), Rows({{"0.5", "10.13"}, {"1.0", "20.25"}, {"1.5", "30.38"}}));
        QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        QVERIFY(w->optPulse->isChecked());
    }

    void mixedDisplayFormatsLeaveTheDecimalPoint()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(w->selectListText(w->cboDecimal, "dd.dddd"));
        QVERIFY(setPoints(*w, 32));
        dialogs.paths << fixture("other_mixed.xlsx");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(w->cboDecimal->Text(), QString("dd.dddd"));
        const Rows rows = table(*w);
        QCOMPARE(rows[0], QStringList({"1.000", "1.5000"}));   // shown "1.50"
        QCOMPARE(rows[16], QStringList({"17.000", "25.5000"})); // shown "25.500"
        QCOMPARE(rows[31], QStringList({"32.000", "48.0000"}));
    }

    void emptyCellsStayEmpty()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(setPoints(*w, 5));
        fill(*w, Rows(5, {"9.000", "9.000"}));
        dialogs.paths << fixture("other_empty.xlsx");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
        QCOMPARE(table(*w), Rows({{"1.000", "10.000"}, {"2.000", ""}, {"", "30.000"}, {"4.000", "40.250"}, {"", ""}}));
    }

    void activeSheetTextAndBooleans()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(setPoints(*w, 3));
        dialogs.paths << fixture("other_types.xlsx");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(w->cboDecimal->Text(), QString("dd.dddd"));
        QCOMPARE(table(*w), Rows({{"0.250", "1.2346"}, {"n/a", "-0.5000"}, {"TRUE", "2.0000"}}));
    }

    void legacyWorkbookKeepsTheDecimalPoint()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(setPoints(*w, 4));
        dialogs.paths << fixture("other_values.xls");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
        QCOMPARE(table(*w), Rows({{"4.000", "4.500"}, {"12.346", "120.250"}, {"text", ""}, {"", "7.000"}}));
    }

    void exportedWorkbookImportsBack()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(w->selectListText(w->cboDecimal, "d.ddddd"));
        QVERIFY(setPoints(*w, 4));
        const Rows rows{{"4.000", "-.50000"}, {"8.000", "0.12345"}, {"", "1.00000"}, {"20.000", ""}};
        fill(*w, rows);
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        fill(*w, Rows(4, {"1.000", "1.00000"}));
        dialogs.paths << viewed[0];
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(w->cboDecimal->Text(), QString("d.ddddd"));
        QCOMPARE(table(*w).mid(0, 3), rows.mid(0, 3));
        QCOMPARE(table(*w)[3][0], QString("20.000"));
    }

    void missingDisplayValuesStayMissingWhenTheFormatChanges()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
        QVERIFY(setPoints(*w, 3));
        fill(*w, Rows({{"4.000", "-0.50"}, {"8.000", ""}, {"12.000", "12.34"}}));
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        QVERIFY(w->selectListText(w->cboDecimal, "ddd.ddd"));
        dialogs.paths << viewed[0];
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        QCOMPARE(table(*w), Rows({{"4.000", "-0.50"}, {"8.000", ""}, {"12.000", "12.34"}}));
    }

    void longValuesArriveWhole()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        const QString path = dir.filePath("long.xlsx");
        QVERIFY(writeWorkbook(path, sheetXml("<row r=\"1\"><c r=\"A1\"><v>20.5</v></c><c r=\"B1\"><v>-99999.25</v></c></row>"
                                             "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>a rather long text</t></is></c></row>")));
        dialogs.paths << path;
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join(" | ")));
        QCOMPARE(table(*w), Rows({{"20.500", "-99999.250"}, {"a rather long text", ""}}));
    }

    void cancelledDialogChangesNothing()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = window();
        const Rows before = table(*w);
        QGuiApplication::clipboard()->setText("kept");
        dialogs.paths << QString();
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
        QCOMPARE(dialogs.filters.size(), 1);
        QCOMPARE(messages.shown.size(), 0);
        QCOMPARE(table(*w), before);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("kept"));
    }

    void unreadableWorkbooksAreReported()
    {
        // Damaged: the first half of a good workbook.
        QFile good(fixture("other_40rows.xlsx"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        const QByteArray bytes = good.readAll();
        const QString cut = dir.filePath("damaged.xlsx");
        QVERIFY(writeFile(cut, bytes.left(bytes.size() / 2)));
        // A zip bomb: one sheet part of 100 MB of blanks.
        const QString bomb = dir.filePath("bomb.xlsx");
        QVERIFY(writeWorkbook(bomb, sheetXml("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + QByteArray(100 * 1024 * 1024, ' '))));
        const QString text = dir.filePath("notes.xls");
        QVERIFY(writeFile(text, "not a workbook"));

        for (const QString& path : {cut, bomb, text}) {
            MessageRecorder messages;
            DialogRecorder dialogs;
            auto w = window();
            QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
            const Rows before = table(*w);
            dialogs.paths << path;
            QTest::mouseClick(w->cmdImport, Qt::LeftButton);
            QCOMPARE(messages.shown.size(), 1);
            QVERIFY2(messages.shown[0].prompt.contains(QDir::toNativeSeparators(path)), qPrintable(messages.shown[0].prompt));
            QCOMPARE(messages.shown[0].style, int(vbExclamation));
            QCOMPARE(messages.shown[0].title, QString("Import from Excel"));
            QCOMPARE(table(*w), before);
            QCOMPARE(w->cboDecimal->Text(), QString("dddd.dd"));
        }
    }
};

QTEST_MAIN(TestSpreadsheetWindow)
#include "test_spreadsheet_window.moc"
