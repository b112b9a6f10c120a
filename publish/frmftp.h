#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace surface {
class EditSurface;
}

namespace publish {
class Inet;

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
} // namespace publish

// The publish dialog: a small FTP client that uploads the open page.
class frmFTP final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmFTP)

public:
    frmFTP(surface::EditSurface *surface, std::unique_ptr<publish::PasswordStore> passwords,
           QWidget *parent = nullptr);
    ~frmFTP() override;

    QLineEdit *txtURL = nullptr;
    QLineEdit *txtUsername = nullptr;
    QLineEdit *txtPassword = nullptr;
    QLineEdit *txtInitDir = nullptr;
    QCheckBox *Check1 = nullptr;
    QListWidget *lstData = nullptr;
    QLabel *panels[3] = {};
    QPushButton *cmdConnect = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QPushButton *cmdUpload = nullptr;
    QPushButton *cmdQuit = nullptr;
    publish::Inet *Inet1 = nullptr;

    QString PendingCommand;
    QString DownloadTarget;
    QString UploadSource;
    QString UploadTarget;

public slots:
    void cmdConnect_Click();
    void cmdRefresh_Click();
    void cmdUpload_Click();
    void cmdQuit_Click();
    void lstData_DblClick();
    void Inet1_StateChanged(int state);

    // Esc, the close button and accept() all end here: the running command
    // stops at once and no further step of a handler is sent.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    QString ReadReplyText();
    // Lets events run until the command ends; true only when it completed
    // and the dialog is still open.
    bool waitFor(quint64 command);
    void hourglass(bool on);
    void storePassword(const QString &password);
    // A refused entry or page: panel 1 says so and a message box says why.
    void refuse(const QString &why);

    surface::EditSurface *m_surface;
    std::unique_ptr<publish::PasswordStore> m_passwords;
    bool m_busyCursor = false;
    QString m_passwordNote;
    bool m_closing = false;
};
