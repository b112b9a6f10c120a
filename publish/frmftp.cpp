#include "publish/frmftp.h"

#include "publish/inet.h"
#include "publish/listing.h"
#include "surface/editsurface.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <qt6keychain/keychain.h>

namespace publish {
namespace {
const QString kService = QStringLiteral("Quillon Kiv FTP");

class KeychainStore final : public PasswordStore
{
public:
    std::optional<QString> read() override
    {
        QKeychain::ReadPasswordJob job(kService);
        job.setAutoDelete(false);
        job.setKey(account());
        if (!run(job))
            return std::nullopt;
        return job.textData();
    }
    bool write(const QString &password) override
    {
        QKeychain::WritePasswordJob job(kService);
        job.setAutoDelete(false);
        job.setKey(account());
        job.setTextData(password);
        return run(job);
    }
    void remove() override
    {
        QKeychain::DeletePasswordJob job(kService);
        job.setAutoDelete(false);
        job.setKey(account());
        run(job);
    }

private:
    static QString account() { return QStringLiteral("QNKV/FTP"); }
    static bool run(QKeychain::Job &job)
    {
        QEventLoop loop;
        QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a keychain that never answers
        job.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        return job.error() == QKeychain::NoError;
    }
};
} // namespace

std::unique_ptr<PasswordStore> systemPasswordStore()
{
    return std::make_unique<KeychainStore>();
}
} // namespace publish

using namespace publish;

namespace {
QSettings ftpSettings()
{
    return QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
}

QLineEdit *field(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}
} // namespace

frmFTP::frmFTP(surface::EditSurface *surface, std::unique_ptr<PasswordStore> passwords, QWidget *parent)
    : QDialog(parent), m_surface(surface), m_passwords(std::move(passwords))
{
    setObjectName(QStringLiteral("frmFTP"));
    setWindowTitle(QStringLiteral("Publish file to Web server"));

    auto *frame = new QGroupBox(QStringLiteral("Login Properties"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    txtURL = field(frame, "txtURL");
    txtUsername = field(frame, "txtUsername");
    txtPassword = field(frame, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtInitDir = field(frame, "txtInitDir");
    Check1 = new QCheckBox(QStringLiteral("Save Password"), frame);
    Check1->setObjectName(QStringLiteral("Check1"));
    auto *grid = new QGridLayout(frame);
    auto row = [&](int r, const char *label, QLineEdit *edit, const char *hint) {
        auto *l = new QLabel(QString::fromLatin1(label), frame);
        l->setBuddy(edit);
        grid->addWidget(l, r, 0);
        grid->addWidget(edit, r, 1);
        if (hint) {
            auto *h = new QLabel(QString::fromLatin1(hint), frame);
            h->setEnabled(false);
            grid->addWidget(h, r + 1, 1);
        }
    };
    row(0, "FTP server URL:", txtURL, "(example: ftp.yoursite.com)");
    row(2, "Username:", txtUsername, nullptr);
    row(3, "Password:", txtPassword, nullptr);
    grid->addWidget(Check1, 4, 1);
    row(5, "Initial directory:", txtInitDir, "(example: /public_html)");

    lstData = new QListWidget(this);
    lstData->setObjectName(QStringLiteral("lstData"));
    cmdConnect = new QPushButton(QStringLiteral("&Connect"), this);
    cmdConnect->setObjectName(QStringLiteral("cmdConnect"));
    cmdRefresh = new QPushButton(QStringLiteral("&Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdUpload = new QPushButton(QStringLiteral("&Upload file(s)"), this);
    cmdUpload->setObjectName(QStringLiteral("cmdUpload"));
    cmdQuit = new QPushButton(QStringLiteral("&Disconnect"), this);
    cmdQuit->setObjectName(QStringLiteral("cmdQuit"));
    for (QPushButton *b : {cmdRefresh, cmdUpload, cmdQuit})
        b->setEnabled(false);
    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        panels[i] = new QLabel(status);
        panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panels[i]->setFrameShape(QFrame::StyledPanel);
        panels[i]->setFrameShadow(QFrame::Sunken);
        status->addWidget(panels[i], i == 0 ? 3 : 1); // the first panel about three times as wide
    }

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdConnect, cmdRefresh, cmdUpload, cmdQuit})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(lstData, 1);
    layout->addLayout(buttons);
    layout->addWidget(status);

    Inet1 = new publish::Inet(this);
    connect(Inet1, &publish::Inet::StateChanged, this, &frmFTP::Inet1_StateChanged);
    connect(cmdConnect, &QPushButton::clicked, this, &frmFTP::cmdConnect_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmFTP::cmdRefresh_Click);
    connect(cmdUpload, &QPushButton::clicked, this, &frmFTP::cmdUpload_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmFTP::cmdQuit_Click);
    connect(lstData, &QListWidget::itemActivated, this, &frmFTP::lstData_DblClick);
    resize(480, 520);
    Form_Load();
}

frmFTP::~frmFTP()
{
    hourglass(false);
}

void frmFTP::Form_Load()
{
    QSettings s = ftpSettings();
    s.beginGroup(QStringLiteral("FTP"));
    txtURL->setText(s.value(QStringLiteral("URL")).toString());
    txtUsername->setText(s.value(QStringLiteral("U")).toString());
    txtInitDir->setText(s.value(QStringLiteral("Dir")).toString());
    // A password an older version left in the settings file moves to the keychain.
    const QString plain = s.value(QStringLiteral("P")).toString();
    s.endGroup();
    if (!plain.isEmpty() && m_passwords && m_passwords->write(plain)) {
        s.remove(QStringLiteral("FTP/P"));
    }
    if (m_passwords) {
        if (const std::optional<QString> stored = m_passwords->read(); stored && !stored->isEmpty()) {
            txtPassword->setText(*stored);
            Check1->setChecked(true);
        } else if (!plain.isEmpty()) {
            txtPassword->setText(plain); // no keychain: shown, but it leaves the file at the next Connect
        }
    }
}

void frmFTP::hourglass(bool on)
{
    if (on == m_busyCursor)
        return;
    m_busyCursor = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool frmFTP::waitFor(quint64 command)
{
    if (command == 0)
        return false;
    // The command can only end while events run, so it has not ended yet.
    bool completed = false;
    QEventLoop loop;
    connect(Inet1, &publish::Inet::commandEnded, &loop, [&](quint64 ended, bool ok) {
        if (ended == command) {
            completed = ok;
            loop.quit();
        }
    });
    loop.exec();
    return completed && !m_closing;
}

void frmFTP::refuse(const QString &why)
{
    panels[0]->setText(QStringLiteral("Operation Cancelled"));
    hourglass(false);
    ui::messageBox(this, why, QMessageBox::Ok, QMessageBox::NoIcon);
}

void frmFTP::storePassword(const QString &password)
{
    QSettings s = ftpSettings();
    s.remove(QStringLiteral("FTP/P")); // never in the settings file
    if (!m_passwords)
        return;
    if (!Check1->isChecked()) {
        m_passwords->remove();
        return;
    }
    if (!m_passwords->write(password))
        m_passwordNote = QStringLiteral("Password not saved: no keychain service is running");
}

void frmFTP::cmdConnect_Click()
{
    // Only the server and the folder are trimmed: spaces around a user name
    // or a password are part of it.
    const QString url = txtURL->text().trimmed();
    const QString user = txtUsername->text();
    const QString password = txtPassword->text();
    if (url.isEmpty() || user.trimmed().isEmpty() || password.trimmed().isEmpty()) {
        ui::messageBox(
            this,
            QStringLiteral("Please enter server name, username and password in order to upload files to "
                           "your Web server."),
            QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    const QString address = normaliseAddress(url);
    const QString folder = normaliseFolder(txtInitDir->text());
    QSettings s = ftpSettings();
    s.beginGroup(QStringLiteral("FTP"));
    s.setValue(QStringLiteral("URL"), address.trimmed());
    s.setValue(QStringLiteral("U"), user);
    s.setValue(QStringLiteral("Dir"), folder.trimmed());
    s.endGroup();
    storePassword(password);

    Inet1->startSession(address, user, password);
    panels[1]->clear();
    panels[2]->clear();
    if (!sendable(folder)) {
        refuse(QStringLiteral("The initial directory holds a line break or another control character, "
                              "which cannot be sent to the server."));
        return;
    }
    hourglass(true);
    // Listed only once the login and the folder change have succeeded.
    if (!waitFor(Inet1->cd(folder)))
        return;
    PendingCommand = QStringLiteral("DIR");
    hourglass(true);
    Inet1->list();
}

void frmFTP::cmdRefresh_Click()
{
    if (Inet1->StillExecuting())
        return;
    hourglass(true);
    PendingCommand = QStringLiteral("DIR");
    panels[1]->clear();
    panels[2]->clear();
    Inet1->list();
}

void frmFTP::cmdUpload_Click()
{
    if (Inet1->StillExecuting())
        return;
    const QString path = m_surface ? m_surface->CurrentDocumentPath() : QString();
    if (path.isEmpty()) {
        ui::messageBox(this,
                       QStringLiteral("Please save the document before publishing it to your Web site."),
                       QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    // The page goes up under its own name.
    const QString target = QFileInfo(path).fileName();
    if (!sendable(target)) {
        refuse(QStringLiteral("The page's file name \"%1\" holds a line break or another control character, "
                              "which cannot be sent to the server. Please save the page under another name.")
                   .arg(target));
        return;
    }
    PendingCommand = QStringLiteral("PUT");
    hourglass(true);
    UploadSource = path;
    UploadTarget = target;
    if (waitFor(Inet1->put(UploadSource, UploadTarget)))
        cmdRefresh_Click();
}

void frmFTP::lstData_DblClick()
{
    const QListWidgetItem *item = lstData->currentItem();
    if (Inet1->StillExecuting() || !item)
        return;
    const QString entry = item->text();
    const ListedName listed{entry, item->data(Qt::UserRole).toString()};
    hourglass(true);
    if (!requestable(listed)) {
        refuse(QStringLiteral("\"%1\" cannot be requested from the server as it is listed.").arg(entry));
        return;
    }
    if (isDirectoryEntry(entry)) {
        QCoreApplication::processEvents();
        const bool up = entry == QLatin1String("..");
        PendingCommand = up ? QStringLiteral("CDUP") : QStringLiteral("CD ") + entry.chopped(1);
        if (!waitFor(up ? Inet1->cdUp() : Inet1->cd(entry.chopped(1))))
            return;
        PendingCommand = QStringLiteral("DIR");
        hourglass(true);
        Inet1->list();
        return;
    }
    // A file: only a plain name is ever written here, in the working folder.
    const QString local = QDir::current().absoluteFilePath(entry);
    if (!acceptableLocalName(entry)) {
        refuse(QStringLiteral("\"%1\" is not a plain file name, so it is not saved in the working folder.")
                   .arg(entry));
        return;
    }
    if (QFileInfo(local).isSymLink()) {
        refuse(QStringLiteral("\"%1\" in the working folder is a link, which is not replaced.").arg(entry));
        return;
    }
    PendingCommand = QStringLiteral("SIZE");
    panels[0]->setText(QStringLiteral("Retrieving:\r\n") + entry);
    // Fetched only when the server knows the file.
    if (!waitFor(Inet1->size(entry)))
        return;
    PendingCommand = QStringLiteral("GET");
    hourglass(true);
    if (QFileInfo::exists(local)) {
        const QMessageBox::StandardButton answer =
            ui::messageBox(this, QStringLiteral("File already exists. Overwrite?"),
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
        if (answer != QMessageBox::Yes) {
            panels[0]->setText(QStringLiteral("Operation Cancelled"));
            hourglass(false);
            return;
        }
        // The old file stays until the new one has fully arrived.
    }
    DownloadTarget = local;
    Inet1->get(entry, DownloadTarget);
}

void frmFTP::cmdQuit_Click()
{
    if (Inet1->StillExecuting())
        return;
    panels[1]->clear();
    panels[2]->clear();
    PendingCommand = QStringLiteral("QUIT");
    Inet1->quit();
    lstData->clear();
}

QString frmFTP::ReadReplyText()
{
    QString text;
    for (;;) {
        const QString piece = Inet1->GetChunk(512);
        QCoreApplication::processEvents();
        if (piece.isEmpty())
            break;
        text += piece;
        panels[2]->setText(QString::number(text.size()));
    }
    return text;
}

void frmFTP::Inet1_StateChanged(int state)
{
    static const QHash<int, QString> texts = {
        {1, QStringLiteral("Resolving Host")},     {2, QStringLiteral("Host Resolved")},
        {3, QStringLiteral("Connecting")},         {4, QStringLiteral("Connected")},
        {5, QStringLiteral("Sending Request")},    {6, QStringLiteral("Request Sent")},
        {7, QStringLiteral("Receiving Response")}, {8, QStringLiteral("Response Received")},
        {9, QStringLiteral("Disconnecting")},      {10, QStringLiteral("Disconnected")},
        {11, QStringLiteral("Remote Error")}};
    if (state == 11) {
        // The reason goes with the state text, and to a message box while
        // the dialog is still open.
        hourglass(false);
        const QString why = Inet1->errorText();
        panels[0]->setText(why.isEmpty() ? texts.value(state)
                                         : texts.value(state) + QStringLiteral(": ") + why);
        if (!m_closing && !why.isEmpty())
            ui::messageBox(this, why, QMessageBox::Ok, QMessageBox::Critical);
        return;
    }
    if (state != 12) {
        if (state == 10)
            hourglass(false);
        panels[0]->setText(texts.value(state));
        return;
    }
    panels[0]->setText(QStringLiteral("Response Completed"));
    QCoreApplication::processEvents();
    if (PendingCommand == QLatin1String("DIR")) {
        panels[1]->setText(QStringLiteral("Bytes Received: "));
        lstData->clear();
        // Each entry keeps the server's own name, to tell whether the shown one asks for it.
        for (const ListedName &entry : splitListing(ReadReplyText()))
            (new QListWidgetItem(entry.shown, lstData))->setData(Qt::UserRole, entry.exact);
        for (QPushButton *b : {cmdUpload, cmdRefresh, cmdQuit})
            b->setEnabled(true);
        // Said once the listing is in, so that the state texts do not hide it.
        if (!m_passwordNote.isEmpty())
            panels[0]->setText(std::exchange(m_passwordNote, QString()));
    } else if (PendingCommand == QLatin1String("SIZE")) {
        panels[1]->setText(QStringLiteral("Bytes To Go: "));
        panels[2]->setText(ReadReplyText().trimmed());
    } else if (PendingCommand == QLatin1String("GET")) {
        panels[0]->setText(QStringLiteral("File Retrieved: ") + DownloadTarget);
    } else if (PendingCommand == QLatin1String("PUT")) {
        panels[0]->setText(QStringLiteral("File Sent: ") + UploadSource);
    }
    hourglass(false);
}

void frmFTP::done(int result)
{
    m_closing = true;
    Inet1->Cancel();
    hourglass(false);
    QDialog::done(result);
}

void frmFTP::showEvent(QShowEvent *event)
{
    m_closing = false;
    QDialog::showEvent(event);
}
