// The password store against a real Secret Service: a private D-Bus session
// with gnome-keyring in it, so that nothing touches the user's own keyring.
#include "publish/publishdialog.h"
#include "testsupport/children.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
QString g_skipReason;
QProcess *g_bus = nullptr;
QProcess *g_keyring = nullptr;
QTemporaryDir *g_home = nullptr;

// Starts the private session before anything talks to D-Bus.
void startSecretService()
{
    const QString bus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    const QString keyring = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (bus.isEmpty() || keyring.isEmpty()) {
        g_skipReason = QStringLiteral("dbus-daemon or gnome-keyring-daemon is not installed");
        return;
    }
    g_home = new QTemporaryDir;
    qputenv("XDG_DATA_HOME", g_home->filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", g_home->path().toUtf8());
    QDir().mkpath(g_home->filePath(QStringLiteral("data")));
    g_bus = new QProcess;
    g_bus->start(
        bus, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!g_bus->waitForReadyRead(10000)) {
        g_skipReason = QStringLiteral("the private D-Bus session did not start");
        return;
    }
    const QByteArray address = g_bus->readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    g_keyring = new QProcess;
    g_keyring->start(keyring, {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                               QStringLiteral("--components=secrets")});
    if (!g_keyring->waitForStarted(10000)) {
        g_skipReason = QStringLiteral("gnome-keyring-daemon did not start");
        return;
    }
    g_keyring->write("\n"); // an empty password for a new login keyring
    g_keyring->closeWriteChannel();
    // Ready once the Secret Service holds its name on the private bus.
    const QString send = QStandardPaths::findExecutable(QStringLiteral("dbus-send"));
    const auto registered = [&] {
        QProcess ask;
        ask.start(send,
                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                   QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                   QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                   QStringLiteral("string:org.freedesktop.secrets")});
        return ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean true");
    };
    if (send.isEmpty() || !QTest::qWaitFor(registered, 15000))
        g_skipReason = QStringLiteral("the Secret Service did not appear on the private bus");
    if (g_keyring->state() != QProcess::Running)
        g_skipReason = QStringLiteral("gnome-keyring-daemon stopped: ") +
                       QString::fromUtf8(g_keyring->readAllStandardError());
}

bool writeNow(publish::PasswordStore &store, const QString &password)
{
    QObject context;
    std::optional<bool> ok;
    store.write(password, &context, [&](bool written) { ok = written; });
    (void)QTest::qWaitFor([&] { return ok.has_value(); }, 30000);
    return ok.value_or(false);
}

QString readNow(publish::PasswordStore &store)
{
    QObject context;
    bool done = false;
    std::optional<QString> stored;
    store.read(&context, [&](const std::optional<QString> &p) {
        stored = p;
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 30000);
    return stored.value_or(QString());
}

void stopSecretService()
{
    for (QProcess *p : {g_keyring, g_bus}) {
        if (p) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
    }
    delete g_home;
}
} // namespace

class TestKeychain final : public QObject
{
    Q_OBJECT

private slots:
    void storeReadRemove();
    void keychainThatHangs();
};

void TestKeychain::storeReadRemove()
{
    if (!g_skipReason.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no Secret Service to test against: ") + g_skipReason));
    std::unique_ptr<publish::PasswordStore> store = publish::systemPasswordStore();
    if (!writeNow(*store, QStringLiteral("s3cret pass")))
        QSKIP("the keychain library found no Secret Service in the private session");
    QCOMPARE(readNow(*store), QStringLiteral("s3cret pass"));
    // It went to the keyring of the private session, not to some file of ours.
    QVERIFY(!QDir(g_home->filePath(QStringLiteral("data/keyrings"))).entryList(QDir::Files).isEmpty());
    QVERIFY(writeNow(*store, QStringLiteral("changed")));
    QCOMPARE(readNow(*store), QStringLiteral("changed"));
    store->remove();
    QTRY_COMPARE(readNow(*store), QString());
}

void TestKeychain::keychainThatHangs()
{
    if (!g_skipReason.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no Secret Service to test against: ") + g_skipReason));
    std::unique_ptr<publish::PasswordStore> store = publish::systemPasswordStore();
    QVERIFY(writeNow(*store, QStringLiteral("kept")));
    // A keychain that takes its time: the dialog opens and takes typing meanwhile.
    const auto keyring = pid_t(g_keyring->processId());
    kill(keyring, SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    publish::PublishDialog d(nullptr, publish::systemPasswordStore());
    auto closedEarly = std::make_unique<publish::PublishDialog>(nullptr, publish::systemPasswordStore());
    d.show();
    QTest::keyClicks(child<QLineEdit>(d, "txtURL"), QStringLiteral("ftp.example.org"));
    const qint64 took = clock.elapsed();
    closedEarly.reset(); // gone before the keychain answers
    kill(keyring, SIGCONT);
    QVERIFY2(took < 3000, qPrintable(QStringLiteral("the dialog took %1 ms").arg(took)));
    QCOMPARE(child<QLineEdit>(d, "txtURL")->text(), QStringLiteral("ftp.example.org"));
    // Once it answers, the stored password arrives.
    QTRY_COMPARE_WITH_TIMEOUT(child<QLineEdit>(d, "txtPassword")->text(), QStringLiteral("kept"), 20000);
    QVERIFY(child<QCheckBox>(d, "Check1")->isChecked());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    startSecretService();
    if (g_home) {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_home->path());
    }
    int rc = 0;
    {
        TestKeychain test;
        rc = QTest::qExec(&test, argc, argv);
    }
    stopSecretService();
    return rc;
}

#include "tst_keychain.moc"
