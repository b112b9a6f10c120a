// The right-click menu's rules: what it offers in each situation, and that
// every item offered does something.
#include "shell/commands.h"
#include "surface/editsurface.h"

#include <QHash>
#include <QTest>

using namespace surface;

class TestCommands final : public QObject
{
    Q_OBJECT

private slots:
    void everyItemActs_data();
    void everyItemActs();
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

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
