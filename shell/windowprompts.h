#pragma once

#include "document/prompts.h"

#include <QCoreApplication>
#include <QPointer>

class QMainWindow;

namespace shell {

// The page's questions and messages as the window shows them: message boxes
// through the dialog seam, notices in the status bar.
class WindowPrompts final : public document::Prompts
{
    Q_DECLARE_TR_FUNCTIONS(WindowPrompts)

public:
    explicit WindowPrompts(QMainWindow *window);

    Answer saveChanges(const QString &text) override;
    bool replaceFile(const QString &text) override;
    bool overwriteChangedFile(const QString &text) override;
    void error(const QString &text) override;
    Recovery recover(const QString &text, RecoveryOf of) override;
    bool engineStopped(const QString &text, bool copyOffered) override;
    void notice(const QString &text) override;

private:
    QPointer<QMainWindow> m_window;
};

} // namespace shell
