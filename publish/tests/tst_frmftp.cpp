// The publish dialog against a real FTP server on 127.0.0.1.
#include "frmftp.h"
#include "inet.h"
#include "uiseam.h"
#include "webenginesurface.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace surface;

namespace {
// The server, started for a test and stopped with it.
class FtpServer
{
public:
    FtpServer(const QString &root, const QString &mode)
    {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments(
            {QStringLiteral(QK_FTPSERVER), QStringLiteral("--root"), root, QStringLiteral("--mode"), mode});
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return;
        while (m_process.waitForReadyRead(10000)) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                m_port = line.mid(5).toInt();
                break;
            }
        }
    }
    ~FtpServer() { stop(); }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    int port() const { return m_port; }
    QString error() const
    {
        return QString::fromUtf8(const_cast<QProcess &>(m_process).readAllStandardError());
    }

private:
    QProcess m_process;
    int m_port = 0;
};

struct MemoryPasswords final : publish::PasswordStore
{
    std::optional<QString> stored;
    bool available = true;
    std::optional<QString> read() override { return available ? stored : std::nullopt; }
    bool write(const QString &p) override
    {
        if (!available)
            return false;
        stored = p;
        return true;
    }
    void remove() override { stored.reset(); }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}
} // namespace

class TestFrmFtp final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void initialState();
    void fieldsAreChecked();
    void session();
    void wrongPassword();
    void unsavedPageIsNotSent();
    void hostileServer();
    void stalledServer();
    void cutDownload();
    void passwords();

private:
    std::unique_ptr<frmFTP> dialog(MemoryPasswords **passwords = nullptr)
    {
        auto store = std::make_unique<MemoryPasswords>();
        if (passwords)
            *passwords = store.get();
        auto d = std::make_unique<frmFTP>(m_surface.get(), std::move(store));
        d->Inet1->connectTimeoutMs = 5000;
        d->Inet1->stallTimeoutMs = 2000;
        return d;
    }
    void connectTo(frmFTP &d, int port, const QString &password = QStringLiteral("secret"))
    {
        d.txtURL->setText(QStringLiteral("127.0.0.1:%1").arg(port));
        d.txtUsername->setText(QStringLiteral("tester"));
        d.txtPassword->setText(password);
        d.txtInitDir->setText(QString());
        d.cmdConnect_Click();
    }
    void doubleClick(frmFTP &d, const QString &entry)
    {
        const QList<QListWidgetItem *> items = d.lstData->findItems(entry, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(entry));
        d.lstData->setCurrentItem(items.first());
        d.lstData_DblClick();
    }

    ui::Script m_script;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<WebEngineSurface> m_surface;
    QString m_oldCurrent;
};

void TestFrmFtp::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_window = std::make_unique<QWidget>();
    m_surface = std::make_unique<WebEngineSurface>(m_window.get());
    m_oldCurrent = QDir::currentPath();
}

void TestFrmFtp::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).clear();
    m_root = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    writeFile(m_root->filePath(QStringLiteral("index.html")), "<html>remote index</html>");
    writeFile(m_root->filePath(QStringLiteral("images/logo.gif")), "GIF89a-logo");
    writeFile(m_root->filePath(QStringLiteral("my page.html")), "spaced");
    QDir::setCurrent(m_work->path());
}

void TestFrmFtp::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    ui::setScript(nullptr);
}

void TestFrmFtp::cleanupTestCase()
{
    m_surface.reset();
    m_window.reset();
}

void TestFrmFtp::initialState()
{
    auto d = dialog();
    QCOMPARE(d->windowTitle(), QStringLiteral("Publish file to Web server"));
    QVERIFY(d->cmdConnect->isEnabled());
    QVERIFY(!d->cmdRefresh->isEnabled() && !d->cmdUpload->isEnabled() && !d->cmdQuit->isEnabled());
    QCOMPARE(d->txtPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(d->cmdUpload->text(), QStringLiteral("&Upload file(s)"));
    QVERIFY(!d->Check1->isChecked());
}

void TestFrmFtp::fieldsAreChecked()
{
    auto d = dialog();
    d->txtURL->setText(QStringLiteral("  "));
    d->txtUsername->setText(QStringLiteral("u"));
    d->txtPassword->setText(QStringLiteral("p"));
    d->cmdConnect_Click();
    QCOMPARE(m_script.messagesShown,
             QStringList{
                 QStringLiteral("Please enter server name, username and password in order to upload files to "
                                "your Web server.")});
    QCOMPARE(
        QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).value(QStringLiteral("FTP/U")).toString(),
        QString());
}

void TestFrmFtp::session()
{
    FtpServer server(m_root->path(), QStringLiteral("normal"));
    QVERIFY2(server.port() > 0, qPrintable(server.error()));
    auto d = dialog();
    connectTo(*d, server.port());
    QTRY_VERIFY_WITH_TIMEOUT(d->lstData->count() > 1, 15000);
    QCOMPARE(entries(d->lstData),
             (QStringList{QStringLiteral(".."), QStringLiteral("images/"), QStringLiteral("index.html"),
                          QStringLiteral("my page.html")}));
    QVERIFY(d->cmdRefresh->isEnabled() && d->cmdUpload->isEnabled() && d->cmdQuit->isEnabled());
    QCOMPARE(d->panels[0]->text(), QStringLiteral("Response Completed"));
    QCOMPARE(d->panels[1]->text(), QStringLiteral("Bytes Received: "));
    QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
    QCOMPARE(s.value(QStringLiteral("FTP/URL")).toString(),
             QStringLiteral("ftp://127.0.0.1:%1").arg(server.port()));
    QCOMPARE(s.value(QStringLiteral("FTP/Dir")).toString(), QStringLiteral("."));
    QVERIFY(!s.contains(QStringLiteral("FTP/P")));

    // Into a folder and back.
    doubleClick(*d, QStringLiteral("images/"));
    QTRY_COMPARE_WITH_TIMEOUT(entries(d->lstData),
                              (QStringList{QStringLiteral(".."), QStringLiteral("logo.gif")}), 15000);
    QCOMPARE(d->Inet1->currentFolder(), QStringLiteral("images"));
    doubleClick(*d, QStringLiteral("logo.gif"));
    QTRY_COMPARE_WITH_TIMEOUT(d->panels[0]->text(),
                              QStringLiteral("File Retrieved: ") +
                                  QDir::current().absoluteFilePath(QStringLiteral("logo.gif")),
                              15000);
    QCOMPARE(readAll(m_work->filePath(QStringLiteral("logo.gif"))), QByteArray("GIF89a-logo"));
    QCOMPARE(d->panels[2]->text(), QStringLiteral("11")); // the size
    doubleClick(*d, QStringLiteral(".."));
    QTRY_VERIFY_WITH_TIMEOUT(entries(d->lstData).contains(QStringLiteral("index.html")), 15000);
    QCOMPARE(d->Inet1->currentFolder(), QString());

    // A name with a space, and an existing local file: No keeps it, Yes replaces it.
    writeFile(m_work->filePath(QStringLiteral("my page.html")), "local");
    m_script.messageAnswers << QMessageBox::No;
    doubleClick(*d, QStringLiteral("my page.html"));
    QTRY_COMPARE_WITH_TIMEOUT(d->panels[0]->text(), QStringLiteral("Operation Cancelled"), 15000);
    QCOMPARE(readAll(m_work->filePath(QStringLiteral("my page.html"))), QByteArray("local"));
    QCOMPARE(m_script.messagesShown.constLast(), QStringLiteral("File already exists. Overwrite?"));
    QCOMPARE(m_script.iconsShown.constLast(), QMessageBox::Question);
    m_script.messageAnswers << QMessageBox::Yes;
    doubleClick(*d, QStringLiteral("my page.html"));
    QTRY_COMPARE_WITH_TIMEOUT(readAll(m_work->filePath(QStringLiteral("my page.html"))), QByteArray("spaced"),
                              15000);

    // Upload the open page under its own name.
    const QString page = m_work->filePath(QStringLiteral("site page.html"));
    writeFile(page, "<html><body>published</body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    d->cmdUpload_Click();
    QTRY_VERIFY_WITH_TIMEOUT(entries(d->lstData).contains(QStringLiteral("site page.html")), 15000);
    QCOMPARE(readAll(m_root->filePath(QStringLiteral("site page.html"))),
             QByteArray("<html><body>published</body></html>"));

    // Disconnect empties the list; the buttons stay.
    d->cmdQuit_Click();
    QCOMPARE(d->lstData->count(), 0);
    QVERIFY(d->cmdRefresh->isEnabled());
    QTRY_VERIFY(!d->Inet1->StillExecuting());

    // Reopened, the dialog shows the saved address.
    auto again = dialog();
    QCOMPARE(again->txtURL->text(), QStringLiteral("ftp://127.0.0.1:%1").arg(server.port()));
}

void TestFrmFtp::wrongPassword()
{
    FtpServer server(m_root->path(), QStringLiteral("normal"));
    QVERIFY(server.port() > 0);
    auto d = dialog();
    connectTo(*d, server.port(), QStringLiteral("wrong"));
    QTRY_COMPARE_WITH_TIMEOUT(d->panels[0]->text(), QStringLiteral("Remote Error"), 15000);
    QCOMPARE(d->lstData->count(), 0);
}

void TestFrmFtp::unsavedPageIsNotSent()
{
    FtpServer server(m_root->path(), QStringLiteral("normal"));
    auto d = dialog();
    connectTo(*d, server.port());
    QTRY_VERIFY_WITH_TIMEOUT(d->cmdUpload->isEnabled(), 15000);
    QTRY_VERIFY(!d->Inet1->StillExecuting());
    m_surface->NewDocument();
    d->cmdUpload_Click();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please save the document before publishing it to your Web site.")});
    QVERIFY(!d->Inet1->StillExecuting());
    QCOMPARE(QDir(m_root->path()).entryList(QDir::Files).size(), 2);
}

void TestFrmFtp::hostileServer()
{
    FtpServer server(m_root->path(), QStringLiteral("hostile"));
    QVERIFY(server.port() > 0);
    QTemporaryDir outside;
    QDir::setCurrent(m_work->path());
    auto d = dialog();
    connectTo(*d, server.port());
    QTRY_VERIFY_WITH_TIMEOUT(!d->Inet1->StillExecuting(), 20000);
    // Whatever the listing parser lets through, names that would leave the
    // working folder are refused before anything is asked of the server.
    for (const QString &bad :
         {QStringLiteral("../../escaped.txt"), QStringLiteral("/tmp/absolute.txt"), QStringLiteral("a/b.txt"),
          QStringLiteral("evil\rname.txt"), QStringLiteral("con\x01trol.txt"), QStringLiteral(".")}) {
        if (!entries(d->lstData).contains(bad))
            d->lstData->addItem(bad);
        d->panels[0]->clear();
        doubleClick(*d, bad);
        QCOMPARE(d->panels[0]->text(), QStringLiteral("Operation Cancelled"));
        QVERIFY(!d->Inet1->StillExecuting());
    }
    // Nothing landed anywhere.
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/absolute.txt")));
    QVERIFY(!QFile::exists(QDir(m_work->path()).absoluteFilePath(QStringLiteral("../../escaped.txt"))));
    QCOMPARE(
        QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden | QDir::AllDirs | QDir::NoDotAndDotDot),
        QStringList());
}

void TestFrmFtp::stalledServer()
{
    FtpServer server(m_root->path(), QStringLiteral("stall"));
    QVERIFY(server.port() > 0);
    auto d = dialog();
    QElapsedTimer t;
    t.start();
    connectTo(*d, server.port()); // the folder change answers; the listing never does
    QVERIFY(d->Inet1->StillExecuting());
    // The busy rule: nothing else starts meanwhile.
    d->cmdRefresh_Click();
    d->cmdQuit_Click();
    QCOMPARE(d->PendingCommand, QStringLiteral("DIR"));
    // The window answers while it waits, and the stall ends in an error.
    bool answered = false;
    QTimer::singleShot(200, [&] { answered = true; });
    QTRY_VERIFY(answered);
    QTRY_COMPARE_WITH_TIMEOUT(d->panels[0]->text(), QStringLiteral("Remote Error"), 20000);
    QVERIFY(t.elapsed() < 20000);
}

void TestFrmFtp::cutDownload()
{
    writeFile(m_root->filePath(QStringLiteral("big.bin")), QByteArray(2 * 1024 * 1024, 'n'));
    writeFile(m_work->filePath(QStringLiteral("big.bin")), "old contents");
    auto server = std::make_unique<FtpServer>(m_root->path(), QStringLiteral("slow"));
    QVERIFY(server->port() > 0);
    auto d = dialog();
    connectTo(*d, server->port());
    QTRY_VERIFY_WITH_TIMEOUT(entries(d->lstData).contains(QStringLiteral("big.bin")), 15000);
    m_script.messageAnswers << QMessageBox::Yes;
    doubleClick(*d, QStringLiteral("big.bin"));
    QTRY_VERIFY_WITH_TIMEOUT(d->PendingCommand == QLatin1String("GET"), 15000);
    QTest::qWait(1000); // part of the file has come
    server->stop();
    QTRY_COMPARE_WITH_TIMEOUT(d->panels[0]->text(), QStringLiteral("Remote Error"), 20000);
    QCOMPARE(readAll(m_work->filePath(QStringLiteral("big.bin"))), QByteArray("old contents"));
    QCOMPARE(QDir(m_work->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("big.bin")});
}

void TestFrmFtp::passwords()
{
    FtpServer server(m_root->path(), QStringLiteral("normal"));
    {
        // Stored only when asked, and then in the keychain, never in the settings file.
        MemoryPasswords *store = nullptr;
        auto d = dialog(&store);
        connectTo(*d, server.port());
        QVERIFY(!store->stored);
        QTRY_VERIFY(!d->Inet1->StillExecuting());
        d->Check1->setChecked(true);
        connectTo(*d, server.port());
        QCOMPARE(store->stored.value_or(QString()), QStringLiteral("secret"));
        QVERIFY(!QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).contains(QStringLiteral("FTP/P")));
        QTRY_VERIFY(!d->Inet1->StillExecuting());
    }
    {
        // A plain-text password an older version left moves into the keychain.
        QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"))
            .setValue(QStringLiteral("FTP/P"), QStringLiteral("old"));
        MemoryPasswords *store = nullptr;
        auto store2 = std::make_unique<MemoryPasswords>();
        store = store2.get();
        frmFTP d(m_surface.get(), std::move(store2));
        QCOMPARE(store->stored.value_or(QString()), QStringLiteral("old"));
        QVERIFY(!QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).contains(QStringLiteral("FTP/P")));
        QVERIFY(d.Check1->isChecked());
        QCOMPARE(d.txtPassword->text(), QStringLiteral("old"));
    }
    {
        // No keychain: not stored, and the status bar says so.
        auto store = std::make_unique<MemoryPasswords>();
        store->available = false;
        frmFTP d(m_surface.get(), std::move(store));
        d.Inet1->connectTimeoutMs = 5000;
        d.Check1->setChecked(true);
        connectTo(d, server.port());
        QTRY_COMPARE_WITH_TIMEOUT(
            d.panels[0]->text(), QStringLiteral("Password not saved: no keychain service is running"), 15000);
    }
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestFrmFtp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_frmftp.moc"
