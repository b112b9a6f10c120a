// Pure rules of command dispatch: the right-click menu.
#include "shell/commands.h"
#include "surface/editsurface.h"

#include <QHash>
#include <QTest>

using namespace surface;

class TestCommands final : public QObject
{
    Q_OBJECT

private slots:
    void contextMenu_data();
    void contextMenu();
    void contextMenuActions_data();
    void contextMenuActions();
};

void TestCommands::contextMenu_data()
{
    QTest::addColumn<bool>("positioning");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<bool>("table");
    QTest::addColumn<bool>("selection");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QList<int>>("states");
    const QStringList base = {QStringLiteral("Cut"),        QStringLiteral("Copy"),
                              QStringLiteral("Paste"),      QString(),
                              QStringLiteral("Select All"), QString(),
                              QStringLiteral("Font...")};
    const QStringList table = {QString(), QStringLiteral("Insert Row"), QStringLiteral("Insert Column"),
                               QString(), QStringLiteral("Delete Row"), QStringLiteral("Delete Column")};
    QTest::newRow("plain, nothing selected")
        << false << false << false << false << base << QList<int>{2, 2, 0, 0, 0, 0, 0};
    QTest::newRow("plain, text selected")
        << false << false << false << true << base << QList<int>{0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("table") << false << false << true << true << base + table
                           << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("positioning, flowing")
        << true << false << false << true << base + QStringList{QString(), QStringLiteral("Make 2D")}
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("positioning and table, absolute")
        << true << true << true << true << base + QStringList{QString(), QStringLiteral("Make 1D")} + table
        << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

void TestCommands::contextMenu()
{
    QFETCH(bool, positioning);
    QFETCH(bool, absolute);
    QFETCH(bool, table);
    QFETCH(bool, selection);
    QFETCH(QStringList, captions);
    QFETCH(QList<int>, states);
    const QHash<int, int> status = {{DECMD_MAKE_ABSOLUTE, positioning ? 3 : 1},
                                    {DECMD_SEND_TO_BACK, absolute ? 3 : 1},
                                    {DECMD_INSERTROW, table ? 3 : 1},
                                    {DECMD_CUT, selection ? 3 : 1},
                                    {DECMD_COPY, selection ? 3 : 1},
                                    {DECMD_PASTE, 3},
                                    {DECMD_SELECTALL, 3},
                                    {DECMD_FONT, 3}};
    const commands::ContextMenu m = commands::buildContextMenu([&](int c) { return status.value(c, 0); });
    QCOMPARE(m.captions, captions);
    QCOMPARE(m.states, states);
}

void TestCommands::contextMenuActions_data()
{
    QTest::addColumn<bool>("positioning");
    QTest::addColumn<bool>("table");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("option");
    QTest::newRow("cut") << false << false << 0 << int(DECMD_CUT) << 0;
    QTest::newRow("copy") << false << false << 1 << int(DECMD_COPY) << 0;
    QTest::newRow("paste") << false << false << 2 << int(DECMD_PASTE) << 0;
    QTest::newRow("separator") << false << false << 3 << 0 << 0;
    QTest::newRow("select all") << false << false << 4 << int(DECMD_SELECTALL) << 0;
    QTest::newRow("font prompts") << false << false << 6 << int(DECMD_FONT) << 1;
    QTest::newRow("past the end") << false << false << 7 << 0 << 0;
    QTest::newRow("negative") << false << false << -1 << 0 << 0;
    QTest::newRow("make absolute") << true << false << 8 << int(DECMD_MAKE_ABSOLUTE) << 0;
    QTest::newRow("table: insert row at 8") << false << true << 8 << int(DECMD_INSERTROW) << 0;
    QTest::newRow("table: insert column at 9") << false << true << 9 << int(DECMD_INSERTCOL) << 0;
    QTest::newRow("table: delete row at 11") << false << true << 11 << int(DECMD_DELETEROWS) << 0;
    QTest::newRow("table: delete column at 12") << false << true << 12 << int(DECMD_DELETECOLS) << 0;
    QTest::newRow("both: insert row at 10") << true << true << 10 << int(DECMD_INSERTROW) << 0;
    QTest::newRow("both: delete column at 14") << true << true << 14 << int(DECMD_DELETECOLS) << 0;
    QTest::newRow("both: 8 is positioning") << true << true << 8 << int(DECMD_MAKE_ABSOLUTE) << 0;
    QTest::newRow("no table: 12 does nothing") << true << false << 12 << 0 << 0;
}

void TestCommands::contextMenuActions()
{
    QFETCH(bool, positioning);
    QFETCH(bool, table);
    QFETCH(int, position);
    QFETCH(int, command);
    QFETCH(int, option);
    commands::ContextMenu m;
    m.canMakeAbsolute = positioning;
    m.canInsertRow = table;
    const commands::MenuCommand c = commands::contextMenuCommand(m, position);
    QCOMPARE(c.command, command);
    QCOMPARE(c.option, option);
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
