// Whole-record hashes and OpenSSH signatures: a run signed with a throw-away Ed25519 key,
// checked by ssh-keygen and python3 alone and by record --verify; edits caught by
// record_sha256 and, with the hashes forged, by the signature; unknown and unusable keys; a
// record made before record_sha256; the window's Save Record... signing.
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "common/MeterRig.h"
#include "common/ProgramEnvironment.h"
#include "files/SettingsFile.h"
#include "programming/RecordSignature.h"
#include "programming/RunRecord.h"
#include "spreadsheet/Workbook.h"

namespace {
struct Ran {
    int status = -1;
    QString out;
};
Ran run(const QString& program, const QStringList& args, const QProcessEnvironment& env, const QByteArray& input = {})
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000);
    return {ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
// Python's canonical form of the JSON file argv[1], as the manual page recomputes record_sha256.
const char* const Canonical = "import json, sys\nr = json.load(open(sys.argv[1], encoding='utf-8'))\nr.pop('record_sha256')\n"
                              "sys.stdout.buffer.write(json.dumps(r, sort_keys=True, separators=(',', ':'), ensure_ascii=False).encode())";
} // namespace

class TestRecordSignature : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcessEnvironment m_env; // HOME holds .ssh/allowed_signers with the station's key
    QString m_fingerprint;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        m_env = programEnvironment(m_dir.path());
        m_env.insert("HOME", path("home"));
        for (const char* name : {"TALVO_SIGN_KEY", "SSH_AUTH_SOCK", "SSH_ASKPASS"})
            m_env.remove(name);
        QVERIFY(QDir().mkpath(path("home/.ssh")));
        for (const QString key : {"station", "other"})
            QCOMPARE(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-C", key, "-f", path(key)}, m_env).status, 0);
        m_fingerprint = run("ssh-keygen", {"-l", "-f", path("station.pub")}, m_env).out.section(' ', 1, 1);
        QVERIFY(writeAll(path("home/.ssh/allowed_signers"), "station namespaces=\"talvo-record\" " + readAll(path("station.pub"))));
        QVERIFY(writeAll(path("others"), "other " + readAll(path("other.pub"))));
        QVERIFY(SettingsFile::Save(path("s.txt"), {"ddd.ddd", "001", "1", "2400", "3", false, true}));
        Spreadsheet::Application app;
        app.Add().ActiveSheet().Paste("4\t0\r\n8\t37.5\r\n20\t100");
        app.SaveCopyAs(path("t.xlsx"));
        auto meter = SimulatedMeter::start(MeterConfig{});
        QVERIFY(meter);
        const Ran r = run(LINEARIZER_EXE,
                          {"program", "--settings", path("s.txt"), "--table", path("t.xlsx"), "--port", meter->devicePath(), "--record",
                           path("r.pdf"), "--record", path("r.json"), "--operator", "Jürgen \"Jo\" Øster\t1", "--sign-key", path("station")},
                          m_env);
        QVERIFY2(r.status == 0 && r.out.contains("signature written: " + path("r.json.sig")), qPrintable(r.out));
        // A record made before record_sha256.
        QJsonObject old = QJsonDocument::fromJson(readAll(path("r.json"))).object();
        old.remove("record_sha256");
        QVERIFY(writeAll(path("old.json"), QJsonDocument(old).toJson()));
    }

    // An auditor's tools alone: ssh-keygen, python3's canonical form; and the PDF.
    void signedRunChecks()
    {
        // The history keeps the signature: its copy of the run is written back with it.
        const Ran shown = run(LINEARIZER_EXE, {"history", "show", "1", "--record", path("h.json")}, m_env);
        QVERIFY2(shown.status == 0 && readAll(path("h.json")) == readAll(path("r.json")), qPrintable(shown.out));
        for (const QString json : {"r.json", "h.json"}) {
            const Ran ssh = run("ssh-keygen",
                                {"-Y", "verify", "-f", path("home/.ssh/allowed_signers"), "-I", "station", "-n", "talvo-record", "-s",
                                 path(json + ".sig")},
                                m_env, readAll(path(json)));
            QVERIFY2(ssh.status == 0, qPrintable(json + ": " + ssh.out));
        }
        const QByteArray canonical = run("python3", {"-c", Canonical, path("r.json")}, m_env).out.toUtf8();
        const QString sha256 = QJsonDocument::fromJson(readAll(path("r.json")))["record_sha256"].toString();
        QCOMPARE(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex(), sha256.toLatin1());
        const QString pdf = run("pdftotext", {"-layout", path("r.pdf"), "-"}, m_env).out;
        QVERIFY2(pdf.contains(m_fingerprint) && pdf.contains(sha256), qPrintable(pdf));
    }

    // Python's json.dumps on numbers and strings the records do not hold yet.
    void canonicalFormIsPythons()
    {
        const QByteArray json = "{\"b\":[1.5e-7,1e300,0.0001,1e-05,0.1,-0.25,12345678901234567,2.5,-7,-0,true,null],"
                                "\"a\":\"\\u0001\\u007f\\u2028\\ud83d\\ude00\u00e9\\\"\\\\\\b\\f\\n\\r\\t\","
                                "\"\\ud83d\\ude00\":1,\"\\uffff\":2,\"record_sha256\":\"x\"}";
        QVERIFY(writeAll(path("c.json"), json));
        QCOMPARE(Record::canonicalJson(QJsonDocument::fromJson(json).object()),
                 run("python3", {"-c", Canonical, path("c.json")}, m_env).out.toUtf8());
    }

    // record --verify on the signed record, with allowed signers that know its key or not, and
    // on a record made before record_sha256.
    void verdicts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("home");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // KEY: the station's key fingerprint
        QTest::newRow("signed") << "r.json" << QStringList{} << "home" << 0
                                << "the whole record was checked (record SHA-256 ";
        QTest::newRow("signer named") << "r.json" << QStringList{} << "home" << 0 << "r.json.sig: signed by station with the key KEY";
        QTest::newRow("another station's allowed signers")
            << "r.json" << QStringList{"--allowed-signers", path("others")} << "home" << 2 << "signed by an unknown key KEY";
        QTest::newRow("no allowed signers file") << "r.json" << QStringList{} << "" << 2 << "signed by an unknown key KEY";
        QTest::newRow("old record") << "old.json" << QStringList{} << "home" << 0
                                    << "table intact (SHA-256 5130bb6503d24236d24bcd46662d615761efedd2e853c343eb512e7d72b07419); "
                                       "the rest of the record could not be checked";
    }
    void verdicts()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        QFETCH(QString, home);
        QFETCH(QString, said);
        QProcessEnvironment env = m_env;
        env.insert("HOME", path(home));
        const Ran r = run(LINEARIZER_EXE, QStringList{"record", "--verify", path(file)} + options, env);
        QTEST(r.status, "status");
        QVERIFY2(r.out.contains(said.replace("KEY", m_fingerprint)), qPrintable(r.out));
    }

    // Each kind of edit: unsigned, record_sha256 catches it; signed with both hashes forged
    // to match, the signature does.
    void editsCaught_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("forged");
        const QStringList edits{"\"37.500\"", "\"37.600\"", "\"operator\": \"", "\"operator\": \"A", "\"text\": \"",
                                "\"text\": \"Not ", "\"outcome\": \"acknowledged\"", "\"outcome\": \"refused\"", "\"host\":",
                                "\"added\": 1, \"host\":", "\"baud\": 2400", "\"baud\": 2400.0"};
        const char* const names[] = {"display value", "operator", "result", "command's outcome", "added field", "number rewritten"};
        for (int i = 0; i < edits.size() / 2; ++i)
            for (const bool forged : {false, true})
                if (!forged || i < 5) // signing re-serialises the record, which undoes the last edit
                    QTest::addRow("%s%s", names[i], forged ? ", signed" : "") << edits[2 * i] << edits[2 * i + 1] << forged;
    }
    void editsCaught()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, forged);
        QByteArray json = readAll(path("r.json"));
        QVERIFY(json.contains(from.toUtf8()));
        json.replace(from.toUtf8(), to.toUtf8());
        QFile::remove(path("e.json.sig"));
        if (forged) { // both hashes recomputed, as anyone can
            QJsonObject r = QJsonDocument::fromJson(json).object();
            QJsonObject table = r["table"].toObject();
            table["sha256"] = Record::tableSha256(Record::tableOf(json));
            r["table"] = table;
            r["record_sha256"] = Record::recordSha256(r);
            json = QJsonDocument(r).toJson();
            QVERIFY(QFile::copy(path("r.json.sig"), path("e.json.sig")));
        }
        QVERIFY(writeAll(path("e.json"), json));
        const Ran r = run(LINEARIZER_EXE, {"record", "--verify", path("e.json")}, m_env);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.contains(forged ? "e.json.sig: altered: the signature does not match the record" : "e.json: altered: the"),
                 qPrintable(r.out));
    }

    // A key that cannot sign stops the run before the meter hears anything, and the window
    // before it opens.
    void unusableKeySendsNothing_data()
    {
        QTest::addColumn<QStringList>("arguments"); // PORT: the simulated meter's
        QTest::addColumn<QString>("environment");   // NAME=VALUE
        QTest::addColumn<QString>("said");
        const QStringList program{"program", "--settings", path("s.txt"), "--table", path("t.xlsx"), "--port", "PORT"};
        const QStringList json = program + QStringList{"--record", path("n.json")};
        QTest::newRow("missing") << json + QStringList{"--sign-key", path("none")} << "" << "no such key file; nothing was sent";
        QTest::newRow("not a key") << json + QStringList{"--sign-key", path("s.txt")} << "" << "; nothing was sent";
        QTest::newRow("missing, from TALVO_SIGN_KEY") << json << "TALVO_SIGN_KEY=" + path("none") << "no such key file; nothing was sent";
        QTest::newRow("no JSON record") << program + QStringList{"--record", path("n.pdf"), "--sign-key", path("station")} << ""
                                        << "needs --record";
        QTest::newRow("window") << QStringList{"--sign-key", path("s.txt")} << "QT_QPA_PLATFORM=offscreen"
                                << "cannot sign with the key " + path("s.txt");
    }
    void unusableKeySendsNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, said);
        auto meter = SimulatedMeter::start(MeterConfig{});
        QVERIFY(meter);
        arguments.replaceInStrings(QRegularExpression("^PORT$"), meter->devicePath());
        QProcessEnvironment env = m_env;
        if (!environment.isEmpty())
            env.insert(environment.section('=', 0, 0), environment.section('=', 1));
        const Ran r = run(LINEARIZER_EXE, arguments, env);
        QCOMPARE(r.status, 64);
        QVERIFY2(r.out.contains(said), qPrintable(r.out));
        QCOMPARE(meter->rawReceived(), QByteArray());
    }

    // The window's Save Record... signs the JSON with the key it was started with, here one that
    // only ssh-agent holds.
    void windowSignsSavedRecord()
    {
        QProcess agent;
        agent.start("ssh-agent", {"-D", "-a", path("agent.sock")});
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(path("agent.sock")); }, 20000));
        QProcessEnvironment env = m_env;
        env.insert("SSH_AUTH_SOCK", path("agent.sock"));
        QCOMPARE(run("ssh-add", {path("station")}, env).status, 0);
        QVERIFY(QFile::copy(path("station.pub"), path("held.pub")));
        qputenv("SSH_AUTH_SOCK", path("agent.sock").toLocal8Bit());
        MeterRig rig(MeterConfig{}, false);
        AppOptions options;
        options.ports = rig.ports;
        options.lockPath = path("w.lock");
        options.probeWaitMs = 20;
        options.signing = {path("held.pub"), m_fingerprint};
        rig.w = std::make_unique<frmMain>(options);
        MessageRecorder messages;
        rig.press();
        QVERIFY(QTest::qWaitFor([&] { return !rig.w->programmingRunning() && rig.w->mnuSaveRecord->isEnabled(); }, 20000));
        DialogRecorder dialogs;
        dialogs.paths << path("w.json");
        QTimer::singleShot(0, [] { QMetaObject::invokeMethod(QApplication::activeModalWidget(), "accept"); });
        rig.w->mnuSaveRecord->trigger();
        const RecordSignature::Verdict v =
            RecordSignature::verify(readAll(path("w.json")), path("w.json.sig"), path("home/.ssh/allowed_signers"));
        QCOMPARE(v.principals, QStringList{"station"});
        qunsetenv("SSH_AUTH_SOCK");
        agent.kill();
        agent.waitForFinished();
    }
};

QTEST_MAIN(TestRecordSignature)
#include "test_record_signature.moc"
