#pragma once

#include "publish/transfer.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace surface {
class EditSurface;
}

namespace publish {

// Where the password is kept: the system's keychain, or nowhere. A keychain
// may take seconds to answer, or never answer: each call returns at once and
// answers later through done, on the calling thread, and not at all once
// context is gone.
struct PasswordStore
{
    virtual ~PasswordStore() = default;
    // Nothing when no password is stored or no keychain answers.
    virtual void read(QObject *context, std::function<void(std::optional<QString>)> done) = 0;
    // False when no keychain service could take it.
    virtual void write(const QString &password, QObject *context, std::function<void(bool)> done) = 0;
    virtual void remove() = 0;
};
// The operating system's keychain (Secret Service on Linux).
std::unique_ptr<PasswordStore> systemPasswordStore();

// The publish dialog: a small FTP client that uploads the open page.
class PublishDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PublishDialog)

public:
    PublishDialog(surface::EditSurface *surface, std::unique_ptr<PasswordStore> passwords,
                  QWidget *parent = nullptr);
    ~PublishDialog() override;

    // The command the dialog waits on, as the server is asked it ("DIR", "CD x").
    QString pendingCommand() const { return m_pendingCommand; }

public slots:
    void connectToServer();
    void refreshListing();
    void uploadPage();
    void disconnectFromServer();
    void openListedEntry();
    void transferStateChanged(publish::Transfer::State state);

    // Esc, the close button and accept() all end here: the running command
    // stops at once and no further step of a handler is sent.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *serverEdit = nullptr;
    QLineEdit *userEdit = nullptr;
    QLineEdit *passwordEdit = nullptr;
    QLineEdit *folderEdit = nullptr;
    QCheckBox *savePasswordCheck = nullptr;
    QListWidget *listing = nullptr;
    QLabel *panels[3] = {};
    QPushButton *connectButton = nullptr;
    QPushButton *refreshButton = nullptr;
    QPushButton *uploadButton = nullptr;
    QPushButton *disconnectButton = nullptr;
    Transfer *transfer = nullptr;

    void prepare();
    QString readReplyText();
    // Lets events run until the command ends; true only when it completed
    // and the dialog is still open.
    bool waitFor(quint64 command);
    void hourglass(bool on);
    void storePassword(const QString &password);
    // A refused entry or page: panel 1 says so and a message box says why.
    void refuse(const QString &why);
    // Refresh, Upload and Disconnect need a session whose folder is listed.
    void enableSessionCommands(bool on);
    void passwordNotSaved();
    // Tries a listed symbolic link as a folder; false when it is none.
    bool enterLink(const QString &name);

    surface::EditSurface *m_surface;
    std::unique_ptr<PasswordStore> m_passwords;
    QString m_pendingCommand;
    QString m_downloadTarget;
    QString m_uploadSource;
    QString m_uploadTarget;
    bool m_busyCursor = false;
    QString m_passwordNote;
    bool m_closing = false;
    bool m_listed = false;     // the session's folder is listed
    bool m_newSession = false; // the next listing is the first of a session
};

} // namespace publish
