#include "shell/windowprompts.h"

#include "uikit/uiseam.h"

#include <QMainWindow>
#include <QStatusBar>

namespace shell {

WindowPrompts::WindowPrompts(QMainWindow *window) : m_window(window) {}

WindowPrompts::Answer WindowPrompts::saveChanges(const QString &text)
{
    switch (ui::messageBox(m_window, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                           QMessageBox::Warning)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool WindowPrompts::replaceFile(const QString &text)
{
    return ui::messageBox(m_window, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning) ==
           QMessageBox::Yes;
}

bool WindowPrompts::overwriteChangedFile(const QString &text)
{
    return ui::messageBox(m_window, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning) ==
           QMessageBox::Yes;
}

void WindowPrompts::error(const QString &text)
{
    ui::messageBox(m_window, text, QMessageBox::Ok, QMessageBox::Critical);
}

WindowPrompts::Recovery WindowPrompts::recover(const QString &text, RecoveryOf of)
{
    // The question about a save cut short gives its buttons access keys.
    const QStringList buttons = of == RecoveryOf::InterruptedSave
                                    ? QStringList{tr("&Recover"), tr("&Discard"), tr("&Later")}
                                    : QStringList{tr("Recover"), tr("Discard"), tr("Later")};
    switch (ui::choose(m_window, text, buttons, QMessageBox::Question)) {
    case 0:
        return Recovery::Recover;
    case 1:
        return Recovery::Discard;
    default:
        return Recovery::Later;
    }
}

bool WindowPrompts::engineStopped(const QString &text, bool copyOffered)
{
    if (!copyOffered) {
        ui::messageBox(m_window, text, QMessageBox::Ok, QMessageBox::Warning);
        return false;
    }
    return ui::messageBox(m_window, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Warning) ==
           QMessageBox::Yes;
}

void WindowPrompts::notice(const QString &text)
{
    if (m_window)
        m_window->statusBar()->showMessage(text);
}

} // namespace shell
