#pragma once

#include <QDialog>

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
class Transfer;

// Where the password is kept: the system's keychain, or nowhere.
struct PasswordStore
{
    virtual ~PasswordStore() = default;
    // Nothing when no password is stored or no keychain answers.
    virtual std::optional<QString> read() = 0;
    // False when no keychain service could take it.
    virtual bool write(const QString &password) = 0;
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

    QString pendingCommand;
    QString downloadTarget;
    QString uploadSource;
    QString uploadTarget;

public slots:
    void connectToServer();
    void refreshListing();
    void uploadPage();
    void disconnectFromServer();
    void openListedEntry();
    void transferStateChanged(int state);

    // Esc, the close button and accept() all end here: the running command
    // stops at once and no further step of a handler is sent.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void prepare();
    QString readReplyText();
    // Lets events run until the command ends; true only when it completed
    // and the dialog is still open.
    bool waitFor(quint64 command);
    void hourglass(bool on);
    void storePassword(const QString &password);
    // A refused entry or page: panel 1 says so and a message box says why.
    void refuse(const QString &why);

    surface::EditSurface *m_surface;
    std::unique_ptr<PasswordStore> m_passwords;
    bool m_busyCursor = false;
    QString m_passwordNote;
    bool m_closing = false;
};

} // namespace publish
