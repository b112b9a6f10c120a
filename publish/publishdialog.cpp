#include "publish/publishdialog.h"

#include "publish/listing.h"
#include "publish/transfer.h"
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
    void read(QObject *context, std::function<void(std::optional<QString>)> done) override
    {
        auto *job = new QKeychain::ReadPasswordJob(kService); // deletes itself once finished
        job->setKey(account());
        QObject::connect(job, &QKeychain::Job::finished, context,
                         [done = std::move(done)](QKeychain::Job *j) {
                             if (j->error() != QKeychain::NoError)
                                 done(std::nullopt);
                             else
                                 done(static_cast<QKeychain::ReadPasswordJob *>(j)->textData());
                         });
        job->start();
    }
    void write(const QString &password, QObject *context, std::function<void(bool)> done) override
    {
        auto *job = new QKeychain::WritePasswordJob(kService); // deletes itself once finished
        job->setKey(account());
        job->setTextData(password);
        QObject::connect(
            job, &QKeychain::Job::finished, context,
            [done = std::move(done)](QKeychain::Job *j) { done(j->error() == QKeychain::NoError); });
        job->start();
    }
    void remove() override
    {
        auto *job = new QKeychain::DeletePasswordJob(kService); // deletes itself once finished
        job->setKey(account());
        job->start();
    }

private:
    static QString account() { return QStringLiteral("QNKV/FTP"); }
};
} // namespace

std::unique_ptr<PasswordStore> systemPasswordStore()
{
    return std::make_unique<KeychainStore>();
}

namespace {
constexpr int kLinkRole = Qt::UserRole + 1;

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

PublishDialog::PublishDialog(surface::EditSurface *surface, std::unique_ptr<PasswordStore> passwords,
                             QWidget *parent)
    : QDialog(parent), m_surface(surface), m_passwords(std::move(passwords))
{
    setObjectName(QStringLiteral("frmFTP"));
    setWindowTitle(tr("Publish file to Web server"));

    auto *frame = new QGroupBox(tr("Login Properties"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    serverEdit = field(frame, "txtURL");
    userEdit = field(frame, "txtUsername");
    passwordEdit = field(frame, "txtPassword");
    passwordEdit->setEchoMode(QLineEdit::Password);
    folderEdit = field(frame, "txtInitDir");
    savePasswordCheck = new QCheckBox(tr("Save Password"), frame);
    savePasswordCheck->setObjectName(QStringLiteral("Check1"));
    auto *grid = new QGridLayout(frame);
    auto row = [&](int r, const QString &label, QLineEdit *edit, const QString &hint) {
        auto *l = new QLabel(label, frame);
        l->setBuddy(edit);
        grid->addWidget(l, r, 0);
        grid->addWidget(edit, r, 1);
        if (!hint.isEmpty()) {
            auto *h = new QLabel(hint, frame);
            h->setEnabled(false);
            grid->addWidget(h, r + 1, 1);
        }
    };
    row(0, tr("FTP server URL:"), serverEdit, tr("(example: ftp.yoursite.com)"));
    row(2, tr("Username:"), userEdit, {});
    row(3, tr("Password:"), passwordEdit, {});
    grid->addWidget(savePasswordCheck, 4, 1);
    row(5, tr("Initial directory:"), folderEdit, tr("(example: /public_html)"));

    listing = new QListWidget(this);
    listing->setObjectName(QStringLiteral("lstData"));
    listing->setAccessibleName(tr("Files on the server"));
    connectButton = new QPushButton(tr("&Connect"), this);
    connectButton->setObjectName(QStringLiteral("cmdConnect"));
    refreshButton = new QPushButton(tr("&Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("cmdRefresh"));
    uploadButton = new QPushButton(tr("&Upload file(s)"), this);
    uploadButton->setObjectName(QStringLiteral("cmdUpload"));
    disconnectButton = new QPushButton(tr("&Disconnect"), this);
    disconnectButton->setObjectName(QStringLiteral("cmdQuit"));
    for (QPushButton *b : {refreshButton, uploadButton, disconnectButton})
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
    for (QPushButton *b : {connectButton, refreshButton, uploadButton, disconnectButton})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(listing, 1);
    layout->addLayout(buttons);
    layout->addWidget(status);

    transfer = new Transfer(this);
    transfer->setObjectName(QStringLiteral("Inet1"));
    connect(transfer, &Transfer::stateChanged, this, &PublishDialog::transferStateChanged);
    connect(connectButton, &QPushButton::clicked, this, &PublishDialog::connectToServer);
    connect(refreshButton, &QPushButton::clicked, this, &PublishDialog::refreshListing);
    connect(uploadButton, &QPushButton::clicked, this, &PublishDialog::uploadPage);
    connect(disconnectButton, &QPushButton::clicked, this, &PublishDialog::disconnectFromServer);
    connect(listing, &QListWidget::itemActivated, this, &PublishDialog::openListedEntry);
    resize(480, 520);
    prepare();
}

PublishDialog::~PublishDialog()
{
    hourglass(false);
}

void PublishDialog::prepare()
{
    QSettings s = ftpSettings();
    s.beginGroup(QStringLiteral("FTP"));
    serverEdit->setText(s.value(tr("URL")).toString());
    userEdit->setText(s.value(QStringLiteral("U")).toString());
    folderEdit->setText(s.value(tr("Dir")).toString());
    const QString plain = s.value(QStringLiteral("P")).toString();
    s.endGroup();
    // The keychain answers while the dialog is already in use; what it
    // brings never replaces what the user typed meanwhile.
    if (!plain.isEmpty()) {
        // A password an older version left in the settings file moves to the
        // keychain; without one it is shown, and leaves the file at the next Connect.
        passwordEdit->setText(plain);
        if (m_passwords) {
            m_passwords->write(plain, this, [this, plain](bool ok) {
                if (!ok)
                    return;
                QSettings settings = ftpSettings();
                if (settings.value(QStringLiteral("FTP/P")).toString() == plain)
                    settings.remove(QStringLiteral("FTP/P"));
                if (passwordEdit->text() == plain)
                    savePasswordCheck->setChecked(true);
            });
        }
        return;
    }
    if (m_passwords) {
        m_passwords->read(this, [this](const std::optional<QString> &stored) {
            if (stored && !stored->isEmpty() && passwordEdit->text().isEmpty()) {
                passwordEdit->setText(*stored);
                savePasswordCheck->setChecked(true);
            }
        });
    }
}

void PublishDialog::enableSessionCommands(bool on)
{
    m_listed = on;
    for (QPushButton *b : {uploadButton, refreshButton, disconnectButton})
        b->setEnabled(on);
}

void PublishDialog::hourglass(bool on)
{
    if (on == m_busyCursor)
        return;
    m_busyCursor = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool PublishDialog::waitFor(quint64 command)
{
    if (command == 0)
        return false;
    // The command can only end while events run, so it has not ended yet.
    bool completed = false;
    QEventLoop loop;
    connect(transfer, &Transfer::commandEnded, &loop, [&](quint64 ended, bool ok) {
        if (ended == command) {
            completed = ok;
            loop.quit();
        }
    });
    loop.exec();
    return completed && !m_closing;
}

void PublishDialog::refuse(const QString &why)
{
    panels[0]->setText(tr("Operation Cancelled"));
    hourglass(false);
    ui::messageBox(this, why, QMessageBox::Ok, QMessageBox::NoIcon);
}

void PublishDialog::storePassword(const QString &password)
{
    QSettings s = ftpSettings();
    s.remove(QStringLiteral("FTP/P")); // never in the settings file
    if (!m_passwords)
        return;
    if (!savePasswordCheck->isChecked()) {
        m_passwords->remove();
        return;
    }
    m_passwords->write(password, this, [this](bool ok) {
        if (!ok)
            passwordNotSaved();
    });
}

void PublishDialog::passwordNotSaved()
{
    m_passwordNote = tr("Password not saved: no keychain service is running");
    // Said once the listing is in, so that the state texts do not hide it.
    if (m_listed && !transfer->isRunning())
        panels[0]->setText(std::exchange(m_passwordNote, QString()));
}

void PublishDialog::connectToServer()
{
    // Only the server and the folder are trimmed: spaces around a user name
    // or a password are part of it.
    const QString url = serverEdit->text().trimmed();
    const QString user = userEdit->text();
    const QString password = passwordEdit->text();
    if (url.isEmpty() || user.trimmed().isEmpty() || password.trimmed().isEmpty()) {
        ui::messageBox(this,
                       tr("Please enter server name, username and password in order to upload files to "
                          "your Web server."),
                       QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    const QString address = normaliseAddress(url);
    const QString folder = normaliseFolder(folderEdit->text());
    QSettings s = ftpSettings();
    s.beginGroup(QStringLiteral("FTP"));
    s.setValue(QStringLiteral("URL"), address.trimmed());
    s.setValue(QStringLiteral("U"), user);
    s.setValue(QStringLiteral("Dir"), folder.trimmed());
    s.endGroup();
    storePassword(password);

    transfer->startSession(address, user, password);
    // Nothing of the last session is offered until this one has listed its folder.
    listing->clear();
    enableSessionCommands(false);
    m_newSession = true;
    panels[1]->clear();
    panels[2]->clear();
    if (!sendable(folder)) {
        refuse(tr("The initial directory holds a line break or another control character, "
                  "which cannot be sent to the server."));
        return;
    }
    hourglass(true);
    // What completes next is the folder change, not the last recorded command.
    m_pendingCommand = QStringLiteral("CD ") + folder;
    // Listed only once the login and the folder change have succeeded.
    if (!waitFor(transfer->cd(folder)))
        return;
    m_pendingCommand = QStringLiteral("DIR");
    hourglass(true);
    transfer->list();
}

void PublishDialog::refreshListing()
{
    if (transfer->isRunning() || !m_listed)
        return;
    hourglass(true);
    m_pendingCommand = QStringLiteral("DIR");
    panels[1]->clear();
    panels[2]->clear();
    transfer->list();
}

void PublishDialog::uploadPage()
{
    if (transfer->isRunning() || !m_listed)
        return;
    const QString path = m_surface ? m_surface->CurrentDocumentPath() : QString();
    if (path.isEmpty()) {
        ui::messageBox(this, tr("Please save the document before publishing it to your Web site."),
                       QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    // The page goes up under its own name.
    const QString target = QFileInfo(path).fileName();
    if (!sendable(target)) {
        refuse(tr("The page's file name \"%1\" holds a line break or another control character, "
                  "which cannot be sent to the server. Please save the page under another name.")
                   .arg(target));
        return;
    }
    m_pendingCommand = QStringLiteral("PUT");
    hourglass(true);
    m_uploadSource = path;
    m_uploadTarget = target;
    if (waitFor(transfer->put(m_uploadSource, m_uploadTarget)))
        refreshListing();
}

void PublishDialog::openListedEntry()
{
    const QListWidgetItem *item = listing->currentItem();
    if (transfer->isRunning() || !item)
        return;
    const QString entry = item->text();
    const ListedName listed{entry, item->data(Qt::UserRole).toString()};
    hourglass(true);
    if (!requestable(listed)) {
        refuse(tr("\"%1\" cannot be requested from the server as it is listed.").arg(entry));
        return;
    }
    if (isDirectoryEntry(entry)) {
        QCoreApplication::processEvents();
        const bool up = entry == QLatin1String("..");
        m_pendingCommand = up ? QStringLiteral("CDUP") : QStringLiteral("CD ") + entry.chopped(1);
        if (!waitFor(up ? transfer->cdUp() : transfer->cd(entry.chopped(1))))
            return;
        m_pendingCommand = QStringLiteral("DIR");
        hourglass(true);
        transfer->list();
        return;
    }
    // A symbolic link (www -> public_html) may be a folder: tried as one first.
    if (item->data(kLinkRole).toBool()) {
        if (enterLink(entry))
            return;
        // Ended by Connect or by closing, rather than refused by the server.
        if (m_closing || transfer->errorText().isEmpty() || transfer->isRunning())
            return;
        hourglass(true);
    }
    // A file: only a plain name is ever written here, in the working folder.
    const QString local = QDir::current().absoluteFilePath(entry);
    if (!acceptableLocalName(entry)) {
        refuse(tr("\"%1\" is not a plain file name, so it is not saved in the working folder.").arg(entry));
        return;
    }
    if (QFileInfo(local).isSymLink()) {
        refuse(tr("\"%1\" in the working folder is a link, which is not replaced.").arg(entry));
        return;
    }
    m_pendingCommand = QStringLiteral("SIZE");
    panels[0]->setText(tr("Retrieving:\r\n") + entry);
    // Fetched only when the server knows the file.
    if (!waitFor(transfer->size(entry)))
        return;
    m_pendingCommand = QStringLiteral("GET");
    hourglass(true);
    if (QFileInfo::exists(local)) {
        const QMessageBox::StandardButton answer =
            ui::messageBox(this, tr("File already exists. Overwrite?"),
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question);
        if (answer != QMessageBox::Yes) {
            panels[0]->setText(tr("Operation Cancelled"));
            hourglass(false);
            return;
        }
        // The old file stays until the new one has fully arrived.
    }
    m_downloadTarget = local;
    transfer->get(entry, m_downloadTarget);
}

void PublishDialog::disconnectFromServer()
{
    if (transfer->isRunning() || !m_listed)
        return;
    panels[1]->clear();
    panels[2]->clear();
    m_pendingCommand = QStringLiteral("QUIT");
    transfer->quit();
    listing->clear();
    enableSessionCommands(false);
}

bool PublishDialog::enterLink(const QString &name)
{
    QCoreApplication::processEvents();
    m_pendingCommand = QStringLiteral("CD ") + name;
    // Quiet: a link that leads to a file is no failure.
    if (!waitFor(transfer->cd(name, true)))
        return false;
    m_pendingCommand = QStringLiteral("DIR");
    hourglass(true);
    transfer->list();
    return true;
}

QString PublishDialog::readReplyText()
{
    QString text;
    for (;;) {
        const QString piece = transfer->readChunk(512);
        QCoreApplication::processEvents();
        if (piece.isEmpty())
            break;
        text += piece;
        panels[2]->setText(QString::number(text.size()));
    }
    return text;
}

namespace {
// What panel 1 says while a command runs.
QString stateText(Transfer::State state)
{
    using State = Transfer::State;
    switch (state) {
    case State::ResolvingHost:
        return PublishDialog::tr("Resolving Host");
    case State::HostResolved:
        return PublishDialog::tr("Host Resolved");
    case State::Connecting:
        return PublishDialog::tr("Connecting");
    case State::Connected:
        return PublishDialog::tr("Connected");
    case State::SendingRequest:
        return PublishDialog::tr("Sending Request");
    case State::RequestSent:
        return PublishDialog::tr("Request Sent");
    case State::ReceivingResponse:
        return PublishDialog::tr("Receiving Response");
    case State::ResponseReceived:
        return PublishDialog::tr("Response Received");
    case State::Disconnecting:
        return PublishDialog::tr("Disconnecting");
    case State::Disconnected:
        return PublishDialog::tr("Disconnected");
    case State::RemoteError:
        return PublishDialog::tr("Remote Error");
    case State::ResponseCompleted:
        return PublishDialog::tr("Response Completed");
    case State::Idle:
        break;
    }
    return {};
}
} // namespace

void PublishDialog::transferStateChanged(Transfer::State state)
{
    using State = Transfer::State;
    if (state == State::RemoteError) {
        // The reason goes with the state text, and to a message box while
        // the dialog is still open.
        hourglass(false);
        const QString why = transfer->errorText();
        panels[0]->setText(why.isEmpty() ? stateText(state) : stateText(state) + QStringLiteral(": ") + why);
        if (!m_closing && !why.isEmpty())
            ui::messageBox(this, why, QMessageBox::Ok, QMessageBox::Critical);
        return;
    }
    if (state != State::ResponseCompleted) {
        if (state == State::Disconnected)
            hourglass(false);
        panels[0]->setText(stateText(state));
        return;
    }
    panels[0]->setText(stateText(state));
    QCoreApplication::processEvents();
    if (m_pendingCommand == QLatin1String("DIR")) {
        panels[1]->setText(tr("Bytes Received: "));
        listing->clear();
        // Each entry keeps the server's own name, to tell whether the shown
        // one asks for it, and whether it is a link.
        const QStringList links = transfer->listedLinks();
        for (const ListedName &entry : splitListing(readReplyText())) {
            auto *item = new QListWidgetItem(entry.shown, listing);
            item->setData(Qt::UserRole, entry.exact);
            item->setData(kLinkRole, links.contains(entry.exact));
        }
        enableSessionCommands(true);
        // Said once the listing is in, so that the state texts do not hide it.
        QStringList notes;
        if (!m_passwordNote.isEmpty())
            notes << std::exchange(m_passwordNote, QString());
        if (std::exchange(m_newSession, false)) {
            notes << (transfer->encrypted()
                          ? tr("Encrypted connection (TLS): the password and the files are protected")
                          : tr("Not encrypted: the server offers no TLS, so the password and the files "
                               "went in clear"));
        }
        if (!notes.isEmpty())
            panels[0]->setText(notes.join(QStringLiteral(" \u2014 ")));
    } else if (m_pendingCommand == QLatin1String("SIZE")) {
        panels[1]->setText(tr("Bytes To Go: "));
        panels[2]->setText(readReplyText().trimmed());
    } else if (m_pendingCommand == QLatin1String("GET")) {
        panels[0]->setText(tr("File Retrieved: ") + m_downloadTarget);
    } else if (m_pendingCommand == QLatin1String("PUT")) {
        panels[0]->setText(tr("File Sent: ") + m_uploadSource);
    }
    hourglass(false);
}

void PublishDialog::done(int result)
{
    m_closing = true;
    transfer->cancel();
    hourglass(false);
    QDialog::done(result);
}

void PublishDialog::showEvent(QShowEvent *event)
{
    m_closing = false;
    QDialog::showEvent(event);
}

} // namespace publish
