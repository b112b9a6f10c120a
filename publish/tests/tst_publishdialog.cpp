// The publish dialog against a real FTP server on 127.0.0.1.
#include "publish/publishdialog.h"
#include "publish/transfer.h"
#include "testsupport/children.h"
#include "testsupport/fakeeditsurface.h"
#include "testsupport/testfiles.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using publish::PublishDialog;
using surface::codes::Ok;

namespace {
// The self-signed certificate (and its key) of the TLS server, for 127.0.0.1.
QString g_certificate;

// A server started for a test and stopped with it (see ftpserver.py).
class FtpServer
{
public:
    FtpServer(const QString &root, const QString &mode, const QString &password = QStringLiteral("secret"))
        : m_mode(mode), m_root(root)
    {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments({QStringLiteral(QK_FTPSERVER), QStringLiteral("--root"), root,
                                QStringLiteral("--mode"), mode, QStringLiteral("--password"), password,
                                QStringLiteral("--log"), m_log.filePath(QStringLiteral("log")),
                                QStringLiteral("--cert"), g_certificate});
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return;
        while (m_process.canReadLine() || m_process.waitForReadyRead(15000)) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT "))
                m_port = line.mid(5).toInt();
            if (line.startsWith("SKIP "))
                m_skip = QString::fromUtf8(line.mid(5));
            if (m_port || !m_skip.isEmpty())
                break;
        }
    }
    ~FtpServer() { stop(); }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate(); // vsftpd's wrapper takes its server down with it
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    int port() const { return m_port; }
    QString skipReason() const { return m_skip; }
    QString error() { return QString::fromUtf8(m_process.readAllStandardError()); }
    // vsftpd knows only its anonymous user, and lets it in one folder above the root.
    QString user() const
    {
        return m_mode == QLatin1String("vsftpd") ? QStringLiteral("anonymous") : QStringLiteral("tester");
    }
    QString folder(const QString &inRoot = {}) const
    {
        const QString start = m_mode == QLatin1String("vsftpd") ? QFileInfo(m_root).fileName() : QString();
        return start.isEmpty() || inRoot.isEmpty() ? start + inRoot : start + u'/' + inRoot;
    }
    // Lines of the server's log holding this text: "CONNECT:", "FAIL LOGIN", "\"LIST", ...
    int count(const QString &what) const
    {
        QFile f(m_log.filePath(QStringLiteral("log")));
        return f.open(QIODevice::ReadOnly) ? int(QString::fromUtf8(f.readAll()).count(what)) : 0;
    }

private:
    QString m_mode;
    QString m_root;
    QTemporaryDir m_log;
    QProcess m_process;
    int m_port = 0;
    QString m_skip;
};

// Starts a server for the running test, or skips it where the machine cannot run one.
#define QK_START_SERVER(name, ...)                                                                           \
    FtpServer name(__VA_ARGS__);                                                                             \
    if (!name.skipReason().isEmpty())                                                                        \
        QSKIP(qPrintable(name.skipReason()));                                                                \
    QVERIFY2(name.port() > 0, qPrintable(name.error()))

// Answers, like a keychain, only once events run.
struct MemoryPasswords final : publish::PasswordStore
{
    std::optional<QString> stored;
    bool available = true;
    void read(QObject *context, std::function<void(std::optional<QString>)> done) override
    {
        QTimer::singleShot(0, context, [this, done] { done(available ? stored : std::nullopt); });
    }
    void write(const QString &p, QObject *context, std::function<void(bool)> done) override
    {
        if (available)
            stored = p;
        QTimer::singleShot(0, context, [this, done] { done(available); });
    }
    void remove() override { stored.reset(); }
};

const QString kEncrypted =
    QStringLiteral("Encrypted connection (TLS): the password and the files are protected");
const QString kNotEncrypted =
    QStringLiteral("Not encrypted: the server offers no TLS, so the password and the files went in clear");

// The hostile server's name that a C string would cut at its NUL.
QString nulName()
{
    return QStringLiteral("trail.txt") + QChar(u'\0') + QStringLiteral(".exe");
}

QStringList entries(QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}
} // namespace

class TestPublishDialog final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void fieldsAreChecked();
    void session_data();
    void session();
    void failures_data();
    void failures();
    void remoteNames_data();
    void remoteNames();
    void pageNames_data();
    void pageNames();
    void hostileServer();
    void stalledServer();
    void closingCancels_data();
    void closingCancels();
    void reconnectCancels();
    void interruptedUpload();
    void cutDownload();
    void passwords();

private:
    std::unique_ptr<PublishDialog> dialog(MemoryPasswords **passwords = nullptr)
    {
        auto store = std::make_unique<MemoryPasswords>();
        if (passwords)
            *passwords = store.get();
        auto d = std::make_unique<PublishDialog>(m_surface.get(), std::move(store));
        child<publish::Transfer>(*d, "Inet1")->connectTimeoutMs = 5000;
        child<publish::Transfer>(*d, "Inet1")->stallTimeoutMs = 2000;
        return d;
    }
    void connectTo(PublishDialog &d, const FtpServer &server, const QString &folder = {},
                   const QString &password = QStringLiteral("secret"))
    {
        child<QLineEdit>(d, "txtURL")->setText(QStringLiteral("127.0.0.1:%1").arg(server.port()));
        child<QLineEdit>(d, "txtUsername")->setText(server.user());
        child<QLineEdit>(d, "txtPassword")->setText(password);
        child<QLineEdit>(d, "txtInitDir")->setText(server.folder(folder));
        d.connectToServer();
    }
    void doubleClick(PublishDialog &d, const QString &entry)
    {
        const QList<QListWidgetItem *> items =
            child<QListWidget>(d, "lstData")->findItems(entry, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(entry));
        child<QListWidget>(d, "lstData")->setCurrentItem(items.first());
        d.openListedEntry();
    }
    QString remote(const QString &name) const { return QDir(m_rootPath).filePath(name); }
    QStringList remoteFiles() const
    {
        return QDir(m_rootPath).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    ui::Script m_script;
    QTemporaryDir m_settings;
    // The served folder is a folder of its own: vsftpd lets its users into the one above.
    std::unique_ptr<QTemporaryDir> m_base;
    QString m_rootPath;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<testsupport::FakeEditSurface> m_surface;
    QString m_oldCurrent;
};

void TestPublishDialog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // Settings of our own: other tests running at the same time clear theirs.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    // A write past the file size limit fails instead of ending the test.
    signal(SIGXFSZ, SIG_IGN);
    m_surface = std::make_unique<testsupport::FakeEditSurface>();
    m_oldCurrent = QDir::currentPath();
    g_certificate = m_settings.filePath(QStringLiteral("server.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"), g_certificate,
                   QStringLiteral("-out"), m_settings.filePath(QStringLiteral("cert.pem"))});
    QVERIFY(openssl.waitForFinished(20000) && openssl.exitCode() == 0);
    // One file with the key and the certificate for the server; the certificate alone is what is trusted.
    QFile pem(g_certificate);
    QVERIFY(pem.open(QIODevice::Append));
    pem.write(readTestFile(m_settings.filePath(QStringLiteral("cert.pem"))));
}

void TestPublishDialog::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).clear();
    m_base = std::make_unique<QTemporaryDir>();
    m_rootPath = m_base->filePath(QStringLiteral("site"));
    m_work = std::make_unique<QTemporaryDir>();
    writeTestFile(remote(QStringLiteral("index.html")), "<html>remote index</html>");
    writeTestFile(remote(QStringLiteral("images/logo.gif")), "GIF89a-logo");
    writeTestFile(remote(QStringLiteral("my page.html")), "spaced");
    writeTestFile(remote(QStringLiteral("new\nline.txt")), "odd");
    QDir::setCurrent(m_work->path());
}

void TestPublishDialog::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    ui::setScript(nullptr);
}

void TestPublishDialog::cleanupTestCase()
{
    m_surface.reset();
}

void TestPublishDialog::fieldsAreChecked()
{
    auto d = dialog();
    // Nothing to refresh, upload or end before a listing came; the password is masked.
    QVERIFY(!child<QPushButton>(*d, "cmdRefresh")->isEnabled() &&
            !child<QPushButton>(*d, "cmdUpload")->isEnabled() &&
            !child<QPushButton>(*d, "cmdQuit")->isEnabled());
    QCOMPARE(child<QLineEdit>(*d, "txtPassword")->echoMode(), QLineEdit::Password);
    child<QLineEdit>(*d, "txtURL")->setText(QStringLiteral("  "));
    child<QLineEdit>(*d, "txtUsername")->setText(QStringLiteral("u"));
    child<QLineEdit>(*d, "txtPassword")->setText(QStringLiteral("p"));
    d->connectToServer();
    QCOMPARE(m_script.messagesShown,
             QStringList{
                 QStringLiteral("Please enter server name, username and password in order to upload files to "
                                "your Web server.")});
    QCOMPARE(
        QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).value(QStringLiteral("FTP/U")).toString(),
        QString());
}

void TestPublishDialog::session_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("pyftpdlib") << "normal";
    QTest::newRow("vsftpd") << "vsftpd";
    QTest::newRow("pyftpdlib over TLS") << "tls";
}

void TestPublishDialog::session()
{
    QFETCH(QString, mode);
    // Links to a folder and to a file, as shared hosts have them, and a pipe
    // right after a folder.
    QVERIFY(QFile::link(QStringLiteral("images"), remote(QStringLiteral("www"))));
    QVERIFY(QFile::link(QStringLiteral("index.html"), remote(QStringLiteral("latest.html"))));
    QCOMPARE(mkfifo(QFile::encodeName(remote(QStringLiteral("images-pipe"))).constData(), 0644), 0);
    QK_START_SERVER(server, m_rootPath, mode);
    auto d = dialog();
    if (mode == QLatin1String("tls"))
        child<publish::Transfer>(*d, "Inet1")->trustedCertificates =
            m_settings.filePath(QStringLiteral("cert.pem"));
    connectTo(*d, server);
    // The name with a line break is one entry, and hides nothing; the pipe is no entry of ours.
    const QStringList top{QStringLiteral(".."),           QStringLiteral("images/"),
                          QStringLiteral("index.html"),   QStringLiteral("latest.html"),
                          QStringLiteral("my page.html"), QStringLiteral("new\nline.txt"),
                          QStringLiteral("www")};
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), top, 15000);
    QVERIFY(child<QPushButton>(*d, "cmdRefresh")->isEnabled() &&
            child<QPushButton>(*d, "cmdUpload")->isEnabled() &&
            child<QPushButton>(*d, "cmdQuit")->isEnabled());
    QCOMPARE(child<QLabel>(*d, "Panel1")->text(), mode == QLatin1String("tls") ? kEncrypted : kNotEncrypted);
    QCOMPARE(child<QLabel>(*d, "Panel2")->text(), QStringLiteral("Bytes Received: "));
    QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
    QCOMPARE(s.value(QStringLiteral("FTP/URL")).toString(),
             QStringLiteral("ftp://127.0.0.1:%1").arg(server.port()));
    QVERIFY(!s.contains(QStringLiteral("FTP/P")));

    // Into a folder and back.
    doubleClick(*d, QStringLiteral("images/"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")),
                              (QStringList{QStringLiteral(".."), QStringLiteral("logo.gif")}), 15000);
    doubleClick(*d, QStringLiteral("logo.gif"));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(*d, "Panel1")->text(),
                              QStringLiteral("File Retrieved: ") +
                                  QDir::current().absoluteFilePath(QStringLiteral("logo.gif")),
                              15000);
    QCOMPARE(readTestFile(m_work->filePath(QStringLiteral("logo.gif"))), QByteArray("GIF89a-logo"));
    QCOMPARE(child<QLabel>(*d, "Panel3")->text(), QStringLiteral("11")); // the size
    doubleClick(*d, QStringLiteral(".."));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), top, 15000);
    // A link to a folder is entered, a link to a file is fetched.
    doubleClick(*d, QStringLiteral("www"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")),
                              (QStringList{QStringLiteral(".."), QStringLiteral("logo.gif")}), 15000);
    doubleClick(*d, QStringLiteral(".."));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), top, 15000);
    doubleClick(*d, QStringLiteral("latest.html"));
    QTRY_COMPARE_WITH_TIMEOUT(readTestFile(m_work->filePath(QStringLiteral("latest.html"))),
                              QByteArray("<html>remote index</html>"), 15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());

    // A name with a space, and an existing local file: No keeps it, Yes replaces it.
    writeTestFile(m_work->filePath(QStringLiteral("my page.html")), "local");
    m_script.messageAnswers << QMessageBox::No;
    doubleClick(*d, QStringLiteral("my page.html"));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Operation Cancelled"),
                              15000);
    QCOMPARE(readTestFile(m_work->filePath(QStringLiteral("my page.html"))), QByteArray("local"));
    QCOMPARE(m_script.messagesShown.constLast(), QStringLiteral("File already exists. Overwrite?"));
    QCOMPARE(m_script.iconsShown.constLast(), QMessageBox::Question);
    m_script.messageAnswers << QMessageBox::Yes;
    doubleClick(*d, QStringLiteral("my page.html"));
    QTRY_COMPARE_WITH_TIMEOUT(readTestFile(m_work->filePath(QStringLiteral("my page.html"))),
                              QByteArray("spaced"), 15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());

    // Connecting again reports the folder change, not the download before it.
    QStringList completed;
    const QMetaObject::Connection watch =
        connect(child<publish::Transfer>(*d, "Inet1"), &publish::Transfer::commandEnded, d.get(),
                [&] { completed << child<QLabel>(*d, "Panel1")->text(); });
    connectTo(*d, server);
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), top, 15000);
    disconnect(watch);
    QCOMPARE(completed.first(), QStringLiteral("Response Completed"));
    QCOMPARE(d->pendingCommand(), QStringLiteral("DIR"));
    // A failed Connect leaves nothing of the last session to act on.
    connectTo(*d, server, {}, QStringLiteral("wrong"));
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(child<QListWidget>(*d, "lstData")->count(), 0);
    QVERIFY(!child<QPushButton>(*d, "cmdRefresh")->isEnabled() &&
            !child<QPushButton>(*d, "cmdUpload")->isEnabled() &&
            !child<QPushButton>(*d, "cmdQuit")->isEnabled());
    connectTo(*d, server);
    QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*d, "cmdUpload")->isEnabled(), 15000);

    // The open page goes up under its own name, even with a file named like
    // the first part of its path beside it, and replaces the old one whole.
    const QString page = m_work->filePath(QStringLiteral("my page.html"));
    writeTestFile(page, "<html><body>published</body></html>");
    writeTestFile(m_work->filePath(QStringLiteral("my")), "not the page");
    QCOMPARE(m_surface->LoadDocument(page, false), Ok);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    const QStringList before = remoteFiles();
    d->uploadPage();
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Response Completed"),
                              15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(readTestFile(remote(QStringLiteral("my page.html"))),
             QByteArray("<html><body>published</body></html>"));
    QCOMPARE(remoteFiles(), before);

    // States arrive in their order; Disconnect ends on its own.
    QSignalSpy states(child<publish::Transfer>(*d, "Inet1"), &publish::Transfer::stateChanged);
    d->refreshListing();
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QList<publish::Transfer::State> seen;
    for (const QList<QVariant> &args : std::as_const(states))
        seen << args.first().value<publish::Transfer::State>();
    QVERIFY2(std::is_sorted(seen.begin(), seen.end()) &&
                 seen.constLast() == publish::Transfer::State::ResponseCompleted,
             qPrintable(QDebug::toString(seen)));
    states.clear();
    d->disconnectFromServer();
    QCOMPARE(child<QListWidget>(*d, "lstData")->count(), 0);
    QVERIFY(!child<QPushButton>(*d, "cmdRefresh")->isEnabled() &&
            !child<QPushButton>(*d, "cmdUpload")->isEnabled());
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Disconnected"));
    QCOMPARE(states.size(), 2);

    // Reopened, the dialog shows the saved address.
    auto again = dialog();
    QCOMPARE(child<QLineEdit>(*again, "txtURL")->text(),
             QStringLiteral("ftp://127.0.0.1:%1").arg(server.port()));
}

void TestPublishDialog::failures_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file"); // double-clicked once listed, after it was taken away
    QTest::addColumn<qint64>("sizeLimit");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("logins"); // passwords sent
    QTest::addColumn<int>("listings");
    // clang-format off
    QTest::newRow("certificate not trusted") << "tls" << "secret" << "" << "" << 0LL << "The server's certificate did not pass the check (SSL certificate problem: self-signed certificate)" << 0 << 0;
    QTest::newRow("pyftpdlib wrong password") << "normal" << "wrong" << "" << "" << 0LL << "530" << 1 << 0;
    QTest::newRow("vsftpd wrong password") << "vsftpd" << "wrong" << "" << "" << 0LL << "530" << 1 << 0;
    QTest::newRow("pyftpdlib missing folder") << "normal" << "secret" << "nowhere" << "" << 0LL << "550" << 1 << 0;
    QTest::newRow("vsftpd missing folder") << "vsftpd" << "secret" << "nowhere" << "" << 0LL << "550" << 1 << 0;
    QTest::newRow("listing refused") << "hostile" << "secret" << "locked" << "" << 0LL << "550" << 1 << 1;
    QTest::newRow("pyftpdlib missing file") << "normal" << "secret" << "" << "gone.txt" << 0LL << "550" << 1 << 1;
    QTest::newRow("vsftpd missing file") << "vsftpd" << "secret" << "" << "gone.txt" << 0LL << "550" << 1 << 1;
    QTest::newRow("local disk full") << "normal" << "secret" << "" << "big.bin" << 65536LL << "File too large" << 1 << 1;
    QTest::newRow("server never answers") << "silent" << "secret" << "" << "" << 0LL << "time" << 0 << 0;
    // clang-format on
}

void TestPublishDialog::failures()
{
    QFETCH(QString, mode);
    QFETCH(QString, password);
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(qint64, sizeLimit);
    QFETCH(QString, reason);
    QFETCH(int, logins);
    QFETCH(int, listings);
    QDir(m_rootPath).mkpath(QStringLiteral("locked"));
    writeTestFile(remote(QStringLiteral("gone.txt")), "soon gone");
    writeTestFile(remote(QStringLiteral("big.bin")), QByteArray(256 * 1024, 'b'));
    QK_START_SERVER(server, m_rootPath, mode);
    auto d = dialog();
    connectTo(*d, server, folder, password);
    if (!file.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")).contains(file), 15000);
        QFile::remove(remote(QStringLiteral("gone.txt")));
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit old = limit;
        if (sizeLimit > 0)
            limit.rlim_cur = rlim_t(sizeLimit);
        setrlimit(RLIMIT_FSIZE, &limit);
        doubleClick(*d, file);
        QTRY_VERIFY_WITH_TIMEOUT(!m_script.messagesShown.isEmpty(), 20000);
        setrlimit(RLIMIT_FSIZE, &old);
    }
    // The reason reaches both the status bar and a message box.
    QTRY_VERIFY_WITH_TIMEOUT(!m_script.messagesShown.isEmpty(), 20000);
    const QString message = m_script.messagesShown.constLast();
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
    QVERIFY(!message.contains(password));
    QCOMPARE(m_script.iconsShown.constLast(), QMessageBox::Critical);
    QCOMPARE(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Remote Error: ") + message);
    // Nothing more was asked once a step failed: no second login, no second connection.
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(server.count(QStringLiteral("\"PASS")), logins);
    QCOMPARE(server.count(QStringLiteral("\"LIST")), listings);
    QCOMPARE(server.count(QStringLiteral("CONNECT:")), 1);
    QCOMPARE(QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestPublishDialog::remoteNames_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("name"); // on the server's disk
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("fetched"); // empty: refused
    QTest::newRow("transfer mode in the name") << "normal"
                                               << "semi;type=a.txt"
                                               << "semi;type=a.txt" << QByteArray("one\r\ntwo");
    QTest::newRow("spaces around the name") << "normal"
                                            << " spaced.txt "
                                            << "spaced.txt" << QByteArray();
    QTest::newRow("server without SIZE") << "nosize"
                                         << "plain.txt"
                                         << "plain.txt" << QByteArray("no size asked");
    QTest::newRow("NUL in the name") << "hostile"
                                     << "" << nulName() << QByteArray();
}

void TestPublishDialog::remoteNames()
{
    QFETCH(QString, mode);
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(QByteArray, fetched);
    // Names a wrong request would fetch instead.
    writeTestFile(remote(QStringLiteral("semi")), "wrong file");
    if (!name.isEmpty())
        writeTestFile(remote(name), fetched.isEmpty() ? QByteArray("right file") : fetched);
    QK_START_SERVER(server, m_rootPath, mode);
    auto d = dialog();
    connectTo(*d, server);
    QTRY_VERIFY_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")).contains(shown), 15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    doubleClick(*d, shown);
    if (!fetched.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(readTestFile(m_work->filePath(shown)), fetched, 15000);
        return;
    }
    QCOMPARE(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Operation Cancelled"));
    QCOMPARE(m_script.messagesShown,
             QStringList{
                 QStringLiteral("\"%1\" cannot be requested from the server as it is listed.").arg(shown)});
    QVERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestPublishDialog::pageNames_data()
{
    QTest::addColumn<QString>("page"); // empty: a page never saved
    QTest::addColumn<QString>("message");
    QTest::newRow("never saved") << ""
                                 << "Please save the document before publishing it to your Web site.";
    QTest::newRow("line break in the name")
        << "bad\nname.html"
        << "The page's file name \"bad\nname.html\" holds a line break or another control character, which "
           "cannot be sent to the server. Please save the page under another name.";
}

void TestPublishDialog::pageNames()
{
    QFETCH(QString, page);
    QFETCH(QString, message);
    QK_START_SERVER(server, m_rootPath, QStringLiteral("normal"));
    auto d = dialog();
    connectTo(*d, server);
    QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*d, "cmdUpload")->isEnabled(), 15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    if (page.isEmpty()) {
        m_surface->NewDocument();
    } else {
        writeTestFile(m_work->filePath(page), "<html><body>page</body></html>");
        QCOMPARE(m_surface->LoadDocument(m_work->filePath(page), false), Ok);
    }
    const QStringList before = remoteFiles();
    d->uploadPage();
    QCOMPARE(m_script.messagesShown, QStringList{message});
    QVERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(remoteFiles(), before);
}

void TestPublishDialog::hostileServer()
{
    QK_START_SERVER(server, m_rootPath, QStringLiteral("hostile"));
    auto d = dialog();
    connectTo(*d, server);
    // The CR LF inside a name costs nothing of the rest.
    const QStringList bad{QStringLiteral("con\x01trol.txt"),   QStringLiteral("evil\nname.txt"),
                          QStringLiteral("a/b.txt"),           QStringLiteral("/tmp/absolute.txt"),
                          QStringLiteral("../../escaped.txt"), nulName()};
    const QStringList listed = QStringList{QStringLiteral(".."), QStringLiteral("fine.txt")} + bad;
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), listed, 20000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    // Names that would leave the working folder, or that cannot be asked for
    // as listed, are refused before anything is asked of the server.
    for (const QString &entry : bad) {
        child<QLabel>(*d, "Panel1")->clear();
        doubleClick(*d, entry);
        QCOMPARE(child<QLabel>(*d, "Panel1")->text(), QStringLiteral("Operation Cancelled"));
        QVERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    }
    QCOMPARE(m_script.messagesShown.size(), bad.size());
    QCOMPARE(server.count(QStringLiteral("\"SIZE")), 0);
    // Nothing landed anywhere.
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/absolute.txt")));
    QVERIFY(!QFile::exists(QDir(m_work->path()).absoluteFilePath(QStringLiteral("../../escaped.txt"))));
    QCOMPARE(
        QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden | QDir::AllDirs | QDir::NoDotAndDotDot),
        QStringList());
    // A device, a socket, a pipe and a date in German between the folders
    // stick to none of them.
    QDir(m_rootPath).mkpath(QStringLiteral("odd/public_html"));
    connectTo(*d, server, QStringLiteral("odd"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")),
                              (QStringList{QStringLiteral(".."), QStringLiteral("public_html/"),
                                           QStringLiteral("cgi-bin/"), QStringLiteral("backup/")}),
                              15000);
    doubleClick(*d, QStringLiteral("public_html/"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")), listed, 15000);
}

void TestPublishDialog::stalledServer()
{
    QK_START_SERVER(server, m_rootPath, QStringLiteral("stall"));
    auto d = dialog();
    connectTo(*d, server); // the folder change answers; the listing never does
    QVERIFY(child<publish::Transfer>(*d, "Inet1")->isRunning());
    // The busy rule: nothing else starts meanwhile.
    d->refreshListing();
    d->disconnectFromServer();
    QCOMPARE(d->pendingCommand(), QStringLiteral("DIR"));
    // The window answers while it waits, and the stall ends in an error.
    bool answered = false;
    QTimer::singleShot(200, [&] { answered = true; });
    QTRY_VERIFY(answered);
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(*d, "Panel1")->text().startsWith(QStringLiteral("Remote Error: ")),
                             20000);
}

void TestPublishDialog::closingCancels_data()
{
    QTest::addColumn<bool>("escape"); // or the close button
    QTest::newRow("Esc") << true;
    QTest::newRow("close button") << false;
}

void TestPublishDialog::closingCancels()
{
    QFETCH(bool, escape);
    QDir(m_rootPath).mkpath(QStringLiteral("stalled"));
    QK_START_SERVER(server, m_rootPath, QStringLiteral("stall"));
    auto d = dialog();
    d->show();
    // Closed while Connect waits for the folder change.
    QTimer::singleShot(0, d.get(), [&] {
        if (escape)
            QTest::keyClick(d.get(), Qt::Key_Escape);
        else
            d->close();
    });
    connectTo(*d, server, QStringLiteral("stalled"));
    QVERIFY(!d->isVisible());
    QVERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(d->pendingCommand(), QStringLiteral("CD stalled")); // no listing asked for
    QCOMPARE(m_script.messagesShown, QStringList());
}

void TestPublishDialog::reconnectCancels()
{
    QK_START_SERVER(stalled, m_rootPath, QStringLiteral("stall"));
    QK_START_SERVER(normal, m_rootPath, QStringLiteral("normal"));
    auto d = dialog();
    child<publish::Transfer>(*d, "Inet1")->stallTimeoutMs = 600000;
    connectTo(*d, stalled); // the listing never comes
    QVERIFY(child<publish::Transfer>(*d, "Inet1")->isRunning());
    QSignalSpy states(child<publish::Transfer>(*d, "Inet1"), &publish::Transfer::stateChanged);
    // Should the new Connect queue behind the stalled listing, this ends its
    // wait, so that the check below fails instead of hanging.
    QTimer::singleShot(20000, child<publish::Transfer>(*d, "Inet1"),
                       [&] { child<publish::Transfer>(*d, "Inet1")->cancel(); });
    connectTo(*d, normal);
    QTRY_VERIFY_WITH_TIMEOUT(
        entries(child<QListWidget>(*d, "lstData")).contains(QStringLiteral("index.html")), 15000);
    for (const QList<QVariant> &args : std::as_const(states))
        QVERIFY(args.first().value<publish::Transfer::State>() != publish::Transfer::State::RemoteError);
    QCOMPARE(m_script.messagesShown, QStringList());
}

void TestPublishDialog::interruptedUpload()
{
    writeTestFile(remote(QStringLiteral("page.html")), "old page");
    QK_START_SERVER(server, m_rootPath, QStringLiteral("full"));
    auto d = dialog();
    connectTo(*d, server);
    QTRY_VERIFY_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")).contains(QStringLiteral("page.html")),
                             15000);
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    const QStringList before = remoteFiles();
    const QString page = m_work->filePath(QStringLiteral("page.html"));
    writeTestFile(page, "<html><body>" + QByteArray(256 * 1024, 'p') + "</body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), Ok);
    d->uploadPage();
    // The server's refusal, or the connection it drops after it: either way
    // the user is told.
    QTRY_VERIFY_WITH_TIMEOUT(!m_script.messagesShown.isEmpty(), 15000);
    // The published page stays whole, and what part arrived is gone.
    QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    QCOMPARE(readTestFile(remote(QStringLiteral("page.html"))), QByteArray("old page"));
    QCOMPARE(remoteFiles(), before);
}

void TestPublishDialog::cutDownload()
{
    writeTestFile(remote(QStringLiteral("big.bin")), QByteArray(2 * 1024 * 1024, 'n'));
    writeTestFile(m_work->filePath(QStringLiteral("big.bin")), "old contents");
    auto server = std::make_unique<FtpServer>(m_rootPath, QStringLiteral("slow"));
    QVERIFY(server->port() > 0);
    auto d = dialog();
    connectTo(*d, *server);
    QTRY_VERIFY_WITH_TIMEOUT(entries(child<QListWidget>(*d, "lstData")).contains(QStringLiteral("big.bin")),
                             15000);
    m_script.messageAnswers << QMessageBox::Yes;
    doubleClick(*d, QStringLiteral("big.bin"));
    // Stopped half-way: at 20 KB/s the file takes a hundred seconds.
    QTRY_COMPARE_WITH_TIMEOUT(server->count(QStringLiteral("\"RETR")), 1, 15000);
    server->stop();
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(*d, "Panel1")->text().startsWith(QStringLiteral("Remote Error")),
                             20000);
    QCOMPARE(readTestFile(m_work->filePath(QStringLiteral("big.bin"))), QByteArray("old contents"));
    QCOMPARE(QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("big.bin")});
}

void TestPublishDialog::passwords()
{
    // Spaces around a password are part of it.
    const QString password = QStringLiteral(" sec ret ");
    QK_START_SERVER(server, m_rootPath, QStringLiteral("normal"), password);
    {
        // Stored only when asked, and then in the keychain, never in the settings file.
        MemoryPasswords *store = nullptr;
        auto d = dialog(&store);
        connectTo(*d, server, {}, password);
        QVERIFY(!store->stored);
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*d, "cmdUpload")->isEnabled(), 15000);
        QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
        child<QCheckBox>(*d, "Check1")->setChecked(true);
        connectTo(*d, server, {}, password);
        QCOMPARE(store->stored.value_or(QString()), password);
        QVERIFY(!QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).contains(QStringLiteral("FTP/P")));
        QTRY_VERIFY(!child<publish::Transfer>(*d, "Inet1")->isRunning());
    }
    {
        // A plain-text password an older version left moves into the keychain.
        QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"))
            .setValue(QStringLiteral("FTP/P"), QStringLiteral("old"));
        auto owned = std::make_unique<MemoryPasswords>();
        MemoryPasswords *store = owned.get();
        PublishDialog d(m_surface.get(), std::move(owned));
        QCOMPARE(child<QLineEdit>(d, "txtPassword")->text(), QStringLiteral("old"));
        QTRY_VERIFY(child<QCheckBox>(d, "Check1")->isChecked());
        QCOMPARE(store->stored.value_or(QString()), QStringLiteral("old"));
        QVERIFY(!QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).contains(QStringLiteral("FTP/P")));
    }
    {
        // No keychain: not stored, and the status bar says so.
        auto store = std::make_unique<MemoryPasswords>();
        store->available = false;
        PublishDialog d(m_surface.get(), std::move(store));
        child<publish::Transfer>(d, "Inet1")->connectTimeoutMs = 5000;
        child<QCheckBox>(d, "Check1")->setChecked(true);
        connectTo(d, server, {}, password);
        QTRY_COMPARE_WITH_TIMEOUT(
            child<QLabel>(d, "Panel1")->text(),
            QStringLiteral("Password not saved: no keychain service is running \u2014 ") + kNotEncrypted,
            15000);
    }
}

QTEST_MAIN(TestPublishDialog)

#include "tst_publishdialog.moc"
