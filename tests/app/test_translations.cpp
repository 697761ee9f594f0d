// The window under a German locale: its captions, its messages and Qt's own buttons in German,
// while a run's record stays English.
#include "app/RunRecorder.h"
#include "app/Translations.h"
#include "common/TestWindow.h"
#include "programming/RunRecord.h"

#include <QPushButton>

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(Translations::install(QLocale(QLocale::German, QLocale::Germany))); }
    void captionsAndMessages()
    {
        MessageRecorder messages;
        messages.answers << vbNo;
        auto w = makeWindow();
        QCOMPARE(w->cmdProgramMeter->text(), QString("Programmieren"));
        w->mnuExit->trigger();
        QCOMPARE(messages.prompts(), QStringList{"Möchten Sie das Programm wirklich beenden?"});
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Abbrechen")); // Qt's own
    }
    void recordStaysEnglish()
    {
        MessageRecorder messages;
        auto w = makeWindow(); // no port to program through
        w->cmdProgramMeter->click();
        QTRY_COMPARE(messages.prompts(), QStringList{"Es ist keine PC-Schnittstelle gewählt."});
        QTRY_VERIFY(w->recorder()->hasRun());
        QCOMPARE(w->recorder()->record().resultText, QString("No PC Comm Port is selected."));
    }
};

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
