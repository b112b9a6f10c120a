// The page's questions as the window asks them: through the dialog seam,
// each with its icon, and the user's button read back as the session's answer.
#include "shell/windowprompts.h"
#include "uikit/uiseam.h"

#include <QTest>

using document::Prompts;
using shell::WindowPrompts;

class TestWindowPrompts final : public QObject
{
    Q_OBJECT

private slots:
    void asked_data();
    void asked();
};

void TestWindowPrompts::asked_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("button"); // the user's, by the seam's numbers; -1: closed or none
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("answer"); // as the session reads it
    const int warning = QMessageBox::Warning;
    QTest::newRow("save changes: yes")
        << "save" << int(QMessageBox::Yes) << warning << int(Prompts::Answer::Yes);
    QTest::newRow("save changes: no")
        << "save" << int(QMessageBox::No) << warning << int(Prompts::Answer::No);
    QTest::newRow("save changes: closed") << "save" << -1 << warning << int(Prompts::Answer::Cancel);
    QTest::newRow("replace: yes") << "replace" << int(QMessageBox::Yes) << warning << 1;
    QTest::newRow("replace: closed") << "replace" << -1 << warning << 0;
    QTest::newRow("overwrite: yes") << "overwrite" << int(QMessageBox::Yes) << warning << 1;
    QTest::newRow("overwrite: closed") << "overwrite" << -1 << warning << 0;
    QTest::newRow("error") << "error" << -1 << int(QMessageBox::Critical) << 0;
    QTest::newRow("engine stopped, copy offered") << "stopped" << int(QMessageBox::Yes) << warning << 1;
    QTest::newRow("engine stopped, no copy") << "told" << -1 << warning << 0;
    const int question = QMessageBox::Question;
    QTest::newRow("recover") << "recover" << 0 << question << int(Prompts::Recovery::Recover);
    QTest::newRow("discard") << "recover" << 1 << question << int(Prompts::Recovery::Discard);
    QTest::newRow("recovery closed") << "recover" << -1 << question << int(Prompts::Recovery::Later);
}

void TestWindowPrompts::asked()
{
    QFETCH(QString, kind);
    QFETCH(int, button);
    QFETCH(int, icon);
    QFETCH(int, answer);
    ui::Script script;
    ui::setScript(&script);
    if (button >= 0 && kind == QLatin1String("recover"))
        script.choiceAnswers << button;
    else if (button >= 0)
        script.messageAnswers << QMessageBox::StandardButton(button);
    WindowPrompts prompts(nullptr);
    const QString text = QStringLiteral("text");
    int got = 0;
    if (kind == QLatin1String("save"))
        got = int(prompts.saveChanges(text));
    else if (kind == QLatin1String("replace"))
        got = prompts.replaceFile(text);
    else if (kind == QLatin1String("overwrite"))
        got = prompts.overwriteChangedFile(text);
    else if (kind == QLatin1String("error"))
        prompts.error(text);
    else if (kind == QLatin1String("recover"))
        got = int(prompts.recover(text, Prompts::RecoveryOf::EndedProgram));
    else
        got = prompts.engineStopped(text, kind == QLatin1String("stopped"));
    ui::setScript(nullptr);
    QCOMPARE(got, answer);
    QCOMPARE(script.messagesShown, QStringList{text});
    QCOMPARE(int(script.iconsShown.value(0)), icon);
}

QTEST_GUILESS_MAIN(TestWindowPrompts)
#include "tst_windowprompts.moc"
