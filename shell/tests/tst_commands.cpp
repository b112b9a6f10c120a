// The right-click menu's rules: what it offers in each situation, and that
// every item offered does something. The page's questions as the window asks
// them: through the dialog seam, each with its icon, and the user's button
// read back as the session's answer.
#include "shell/commands.h"
#include "shell/windowprompts.h"
#include "surface/editsurface.h"
#include "uikit/uiseam.h"

#include <QHash>
#include <QTest>

using document::Prompts;
using shell::WindowPrompts;
using namespace surface;

class TestCommands final : public QObject
{
    Q_OBJECT

private slots:
    void everyItemActs_data();
    void everyItemActs();
    void asked_data();
    void asked();
};

void TestCommands::everyItemActs_data()
{
    QTest::addColumn<bool>("positioning");
    QTest::addColumn<bool>("table");
    QTest::addColumn<bool>("selection");
    QTest::addColumn<QString>("misspelt");
    QTest::newRow("plain, nothing selected") << false << false << false << QString();
    QTest::newRow("table, text selected") << false << true << true << QString();
    QTest::newRow("positioning") << true << false << true << QString();
    QTest::newRow("misspelt word in a positioned table")
        << true << true << false << QStringLiteral("recieve");
}

void TestCommands::everyItemActs()
{
    QFETCH(bool, positioning);
    QFETCH(bool, table);
    QFETCH(bool, selection);
    QFETCH(QString, misspelt);
    const QHash<int, int> status = {{DECMD_MAKE_ABSOLUTE, positioning ? 3 : 1},
                                    {DECMD_INSERTROW, table ? 3 : 1},
                                    {DECMD_CUT, selection ? 3 : 1},
                                    {DECMD_COPY, selection ? 3 : 1},
                                    {DECMD_PASTE, 3},
                                    {DECMD_PASTEPLAINTEXT, 3},
                                    {DECMD_SELECTALL, 3},
                                    {DECMD_FONT, 3}};
    const QStringList suggestions = {QStringLiteral("receive"), QStringLiteral("relieve")};
    const commands::ContextMenu m = commands::withSpelling(
        commands::buildContextMenu([&](int c) { return status.value(c, 0); }), misspelt, suggestions);
    QCOMPARE(m.states().size(), m.captions().size());
    QHash<int, int> stateOf;
    QStringList replacements;
    for (const commands::ContextItem &item : m.items) {
        const bool acts = item.command.command || item.spelling.kind != commands::SpellingChoice::Kind::None;
        QVERIFY2(acts == !item.caption.isEmpty(), qPrintable(item.caption)); // only separators do nothing
        stateOf[item.command.command] = item.state;
        if (item.spelling.kind == commands::SpellingChoice::Kind::Replace)
            replacements << item.spelling.replacement;
    }
    // Greyed exactly where the surface cannot act; sections only where they apply.
    QCOMPARE(stateOf.value(DECMD_CUT), selection ? 0 : 2);
    QCOMPARE(stateOf.value(DECMD_PASTE), 0);
    QVERIFY(stateOf.contains(DECMD_PASTEPLAINTEXT) && stateOf.value(DECMD_PASTEPLAINTEXT) == 0);
    QCOMPARE(stateOf.contains(DECMD_MAKE_ABSOLUTE), positioning);
    QCOMPARE(stateOf.contains(DECMD_INSERTROW) && stateOf.contains(DECMD_DELETECOLS), table);
    QCOMPARE(replacements, misspelt.isEmpty() ? QStringList() : suggestions);
    // The spelling items come first, above the editing commands.
    QCOMPARE(m.items.constFirst().spelling.kind != commands::SpellingChoice::Kind::None, !misspelt.isEmpty());
    QVERIFY(!m.at(-1) && !m.at(int(m.items.size())));
}

void TestCommands::asked_data()
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

void TestCommands::asked()
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

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
