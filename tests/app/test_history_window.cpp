// The run history in the window: each run stored, File > History... listing, filtering and
// saving a run's record again; a history that cannot be written stops Program Meter.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "record/RunRecorder.h"
#include "programming/RunResult.h"
#include "common/MeterRig.h"
#include "history/HistoryStore.h"
#include "programming/RunRecord.h"

class TestHistoryWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void runsListedAndSavedAgain()
    {
        const QString history = m_dir.filePath("h.sqlite");
        qputenv("TALVO_HISTORY", QFile::encodeName(history));
        MeterRig rig;
        MessageRecorder messages;
        DialogRecorder dialogs;
        rig.press();
        const QByteArray first = Record::toJsonText(rig.w->recorder()->record());
        rig.press();
        QCOMPARE(rig.w->lastRunEnd(), RunEnd::Programmed);
        rig.w->mnuHistory->trigger();
        HistoryDialog* d = rig.w->historyDialog();
        QVERIFY2(d && d->isVisible(), qPrintable(messages.prompts().join('\n')));
        const auto rows = [d] { return d->grdRuns->model()->rowCount(); };
        QCOMPARE(rows(), 2);
        d->cboStatus->setCurrentIndex(2); // failed
        QCOMPARE(rows(), 0);
        d->cboStatus->setCurrentIndex(1); // programmed
        QCOMPARE(rows(), 2);
        d->txtFilter->setText("12");
        QCOMPARE(rows(), 0);
        d->txtFilter->setText("1"); // the address 001
        QCOMPARE(rows(), 2);
        d->grdRuns->sortByColumn(0, Qt::AscendingOrder);
        d->grdRuns->selectRow(0);
        dialogs.paths << m_dir.filePath("again.json");
        QTest::mouseClick(d->cmdSaveRecord, Qt::LeftButton);
        QFile again(m_dir.filePath("again.json"));
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), first);
    }

    void unwritableHistorySendsNothing()
    {
        qputenv("TALVO_HISTORY", "/nonexistent-talvo/h.sqlite");
        MeterRig rig;
        MessageRecorder messages;
        rig.press();
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY2(messages.shown[0].prompt.contains("/nonexistent-talvo/h.sqlite cannot be written"), qPrintable(messages.shown[0].prompt));
        QCOMPARE(rig.sim->received(), QStringList());
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
