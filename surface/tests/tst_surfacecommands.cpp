// The surface's own commands: tables, positioning, find, font, view aids,
// context menu and printing, on the real engine.
#include "surface/surfacedialogs.h"
#include "testsupport/surfacehost.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace surface;

Q_DECLARE_METATYPE(QList<QList<int>>)

namespace {
struct ScriptedFonts final : FilePicker
{
    std::optional<FontChoice> answer;
    QString pickFile(QWidget *, Kind, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    std::optional<FontChoice> pickFont(QWidget *, const FontChoice &) override { return answer; }
};

const char kPlain[] =
    "<table border=1 id=t><tr><td>a</td><td id=x>b</td></tr><tr><td>c</td><td>d</td></tr></table>";
// a spans two rows, c spans two columns:
// | a | b |
// | a | x |
// | c   c |
const char kSpanned[] = "<table border=1 id=t><tr><td rowspan=2>a</td><td>b</td></tr><tr><td id=x>x</td></tr>"
                        "<tr><td colspan=2>c</td></tr></table>";
} // namespace

class TestSurfaceCommands final : public QObject, SurfaceHost
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void tables_data();
    void tables();
    void lastRowTakesTheTable();
    void tableStatuses();
    void positioning_data();
    void positioning();
    void find();
    void fontInOneStep();
    void viewAidsStayOutOfTheHtml();
    void commentMarkStandsAtTheComment_data();
    void commentMarkStandsAtTheComment();
    void contextMenuReportsPosition();
    void printsToPdf();

private:
    void caretIn(const QString &id)
    {
        js(QStringLiteral(
               "(() => { const r = document.createRange(); "
               "r.selectNodeContents(document.getElementById('%1'));"
               " r.collapse(true); const s = document.getSelection(); s.removeAllRanges(); s.addRange(r);"
               " return true; })()")
               .arg(id));
        QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("None"));
        m_surface->evaluate(QStringLiteral("qk.snap()"));
    }
    // The table as rows of "rowspan x colspan" cells, to compare shapes.
    QList<QList<int>> shape()
    {
        const QVariantList rows =
            js(QStringLiteral(
                   "(() => { const t = document.querySelector('table'); if (!t) return [];"
                   " return [...t.rows].map(r => [...r.cells].map(c => c.rowSpan * 10 + c.colSpan)); })()"))
                .toList();
        QList<QList<int>> out;
        for (const QVariant &row : rows) {
            QList<int> cells;
            for (const QVariant &c : row.toList())
                cells << c.toInt();
            out << cells;
        }
        return out;
    }
    QString body() { return js(QStringLiteral("document.body.innerHTML")).toString(); }

    std::shared_ptr<ScriptedFonts> m_picker = std::make_shared<ScriptedFonts>();
};

void TestSurfaceCommands::initTestCase()
{
    QVERIFY(openSurface(m_picker));
}

void TestSurfaceCommands::cleanupTestCase()
{
    closeSurface();
}

void TestSurfaceCommands::tables_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("command");
    QTest::addColumn<QList<QList<int>>>("after");
    // Cells are rowspan * 10 + colspan.
    QTest::newRow("plain: insert row")
        << kPlain << int(DECMD_INSERTROW) << QList<QList<int>>{{11, 11}, {11, 11}, {11, 11}};
    QTest::newRow("plain: insert column")
        << kPlain << int(DECMD_INSERTCOL) << QList<QList<int>>{{11, 11, 11}, {11, 11, 11}};
    QTest::newRow("plain: delete row") << kPlain << int(DECMD_DELETEROWS) << QList<QList<int>>{{11, 11}};
    QTest::newRow("plain: delete column") << kPlain << int(DECMD_DELETECOLS) << QList<QList<int>>{{11}, {11}};
    // In the spanned table the caret is in x (row 2, column 2).
    QTest::newRow("spanned: insert row")
        << kSpanned << int(DECMD_INSERTROW) << QList<QList<int>>{{21, 11}, {11}, {11, 11}, {12}};
    QTest::newRow("spanned: insert column")
        << kSpanned << int(DECMD_INSERTCOL) << QList<QList<int>>{{21, 11, 11}, {11, 11}, {12, 11}};
    QTest::newRow("spanned: delete row")
        << kSpanned << int(DECMD_DELETEROWS) << QList<QList<int>>{{11, 11}, {12}};
    QTest::newRow("spanned: delete column")
        << kSpanned << int(DECMD_DELETECOLS) << QList<QList<int>>{{21}, {}, {11}};
}

void TestSurfaceCommands::tables()
{
    QFETCH(QString, table);
    QFETCH(int, command);
    QFETCH(QList<QList<int>>, after);
    load(QStringLiteral("<p>before</p>") + table + QStringLiteral("<p>after</p>"));
    caretIn(QStringLiteral("x"));
    QCOMPARE(m_surface->QueryStatus(command), int(DECMDF_ENABLED));
    const QString before = body();
    QVERIFY(m_surface->ExecCommand(command).isValid());
    QCOMPARE(shape(), after);
    const QString changed = body();
    QVERIFY(m_surface->IsDirty());
    // One step each way.
    QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
    QTRY_COMPARE(body(), before);
    QVERIFY(m_surface->ExecCommand(DECMD_REDO).isValid());
    QTRY_COMPARE(body(), changed);
}

void TestSurfaceCommands::lastRowTakesTheTable()
{
    load(QStringLiteral("<p>a</p><table border=1><tr><td id=x>only</td></tr></table><p>b</p>"));
    caretIn(QStringLiteral("x"));
    QVERIFY(m_surface->ExecCommand(DECMD_DELETEROWS).isValid());
    QVERIFY(!js(QStringLiteral("!!document.querySelector('table')")).toBool());
    load(QStringLiteral("<table border=1><tr><td id=x>one</td></tr><tr><td>two</td></tr></table>"));
    caretIn(QStringLiteral("x"));
    QVERIFY(m_surface->ExecCommand(DECMD_DELETECOLS).isValid());
    QVERIFY(!js(QStringLiteral("!!document.querySelector('table')")).toBool());
}

void TestSurfaceCommands::tableStatuses()
{
    load(QStringLiteral("<p id=p>text</p><table border=1><tr><td id=x>cell</td></tr></table>"));
    caretIn(QStringLiteral("p"));
    for (int c : {DECMD_INSERTROW, DECMD_INSERTCOL, DECMD_DELETEROWS, DECMD_DELETECOLS})
        QCOMPARE(m_surface->QueryStatus(c), int(DECMDF_DISABLED));
    QVERIFY(!m_surface->ExecCommand(DECMD_INSERTROW).isValid());
    caretIn(QStringLiteral("x"));
    for (int c : {DECMD_INSERTROW, DECMD_INSERTCOL, DECMD_DELETEROWS, DECMD_DELETECOLS})
        QCOMPARE(m_surface->QueryStatus(c), int(DECMDF_ENABLED));
    QCOMPARE(m_surface->QueryStatus(DECMD_FONT), int(DECMDF_ENABLED));
    QCOMPARE(m_surface->QueryStatus(DECMD_FINDTEXT), int(DECMDF_ENABLED));
}

void TestSurfaceCommands::positioning_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("select"); // "click": a click on #x; otherwise the caret in #x
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("positionedAfter");
    QTest::newRow("caret in a paragraph") << "<p>first</p><p id=x>text</p>"
                                          << "caret" << false << false;
    QTest::newRow("selected picture") << "<p>a <img id=x style=\"width:40px;height:40px\"> b</p>"
                                      << "click" << true << true;
    QTest::newRow("caret in a positioned block")
        << "<p>first</p><div style=\"position: absolute; left: 30px; top: 60px\"><b id=x>moved</b></div>"
        << "caret" << true << false;
}

// Make 2D is for a selected object or an element already positioned, and one
// undo brings an object back into the flow.
void TestSurfaceCommands::positioning()
{
    QFETCH(QString, page);
    QFETCH(QString, select);
    QFETCH(bool, offered);
    QFETCH(bool, positionedAfter);
    load(page);
    if (select == QLatin1String("click")) {
        const QVariantMap c = js(QStringLiteral("(() => { const b = document.getElementById('x')"
                                                ".getBoundingClientRect(); return {x: b.left + b.width / 2,"
                                                " y: b.top + b.height / 2}; })()"))
                                  .toMap();
        QTest::mouseClick(m_surface->widget()->focusProxy(), Qt::LeftButton, {},
                          QPoint(c.value(QStringLiteral("x")).toInt(), c.value(QStringLiteral("y")).toInt()));
        QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Control"));
    } else {
        caretIn(QStringLiteral("x"));
    }
    QCOMPARE(m_surface->QueryStatus(DECMD_MAKE_ABSOLUTE) >= DECMDF_ENABLED, offered);
    const QString before = body();
    QCOMPARE(m_surface->ExecCommand(DECMD_MAKE_ABSOLUTE).isValid(), offered);
    if (!offered) {
        QCOMPARE(body(), before);
        return;
    }
    const QString positioned =
        QStringLiteral("getComputedStyle(document.getElementById('x')%1).position")
            .arg(select == QLatin1String("click") ? QString() : QStringLiteral(".parentElement"));
    QCOMPARE(js(positioned).toString(),
             positionedAfter ? QStringLiteral("absolute") : QStringLiteral("static"));
    QTRY_COMPARE(m_surface->QueryStatus(DECMD_SEND_TO_BACK) >= DECMDF_ENABLED, positionedAfter);
    if (select == QLatin1String("click")) {
        QCOMPARE(m_surface->selectionType(), QStringLiteral("Control"));
        QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
        QTRY_COMPARE(js(positioned).toString(), QStringLiteral("static"));
        QVERIFY2(!body().contains(QStringLiteral("absolute")), qPrintable(body()));
    }
}

void TestSurfaceCommands::find()
{
    load(QStringLiteral("<p>the cat sat on the Catalog of cats; Cat.</p>"));
    QVERIFY(m_surface->findText(QStringLiteral("cat"), false, false, false));
    QCOMPARE(m_surface->selectionType(), QStringLiteral("Text"));
    QCOMPARE(m_surface->DOM().selection().createRange()->text().toLower(), QStringLiteral("cat"));
    // Whole word and letter case: only the last "Cat".
    QVERIFY(m_surface->findText(QStringLiteral("Cat"), true, true, false));
    QVERIFY(js(QStringLiteral(
                   "(() => { const r = document.getSelection().getRangeAt(0);"
                   " return r.startContainer.data.substring(r.startOffset - 2, r.endOffset + 1); })()"))
                .toString() == QStringLiteral("; Cat."));
    QVERIFY(!m_surface->findText(QStringLiteral("dog"), false, false, false));
    QVERIFY(!m_surface->findText(QStringLiteral("ca"), false, true, false));
    // Typing replaces the found text.
    QVERIFY(m_surface->findText(QStringLiteral("sat"), false, true, false));
    m_surface->DOM().selection().createRange()->pasteHTML(QStringLiteral("stood"));
    QVERIFY(body().contains(QStringLiteral("cat stood on")));

    // The dialog tells when nothing is found.
    QVERIFY(m_surface->ExecCommand(DECMD_FINDTEXT).isValid());
    auto *dialog = qobject_cast<FindDialog *>(m_surface->findDialog());
    QVERIFY(dialog);
    dialog->text->setText(QStringLiteral("zebra"));
    dialog->findNextClicked();
    QCOMPARE(dialog->feedback->text(), QStringLiteral("Cannot find \"zebra\"."));
    dialog->text->setText(QStringLiteral("stood"));
    dialog->findNextClicked();
    QCOMPARE(dialog->feedback->text(), QString());
    dialog->close();
}

void TestSurfaceCommands::fontInOneStep()
{
    load(QStringLiteral("<p id=p>plain words here</p>"));
    js(QStringLiteral(
        "(() => { const t = document.getElementById('p').firstChild; const r = document.createRange();"
        " r.setStart(t, 6); r.setEnd(t, 11); const s = document.getSelection(); s.removeAllRanges();"
        " s.addRange(r); return true; })()"));
    QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Text"));
    const QString before = body();
    m_picker->answer = std::nullopt; // dismissed
    QVERIFY(!m_surface->ExecCommand(DECMD_FONT, OLECMDEXECOPT_PROMPTUSER).isValid());
    QCOMPARE(body(), before);
    FontChoice f;
    f.face = QStringLiteral("Verdana");
    f.size = 5;
    f.bold = true;
    f.underline = true;
    f.color = QStringLiteral("#FF0000");
    m_picker->answer = f;
    QVERIFY(m_surface->ExecCommand(DECMD_FONT, OLECMDEXECOPT_PROMPTUSER).isValid());
    const QString html = body();
    QVERIFY2(html.contains(QStringLiteral("face=\"Verdana\"")) &&
                 html.contains(QStringLiteral("<b><u>words</u></b>")),
             qPrintable(html));
    QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
    QTRY_COMPARE(body(), before);
}

void TestSurfaceCommands::viewAidsStayOutOfTheHtml()
{
    load(
        QStringLiteral("<table><tr><td id=c>cell</td></tr></table><script>var x = 1;</script><a name=top></a>"
                       "<p>one<br>two<!-- note --></p>"));
    const QString html = m_surface->DocumentHTML();
    m_surface->setShowBorders(true);
    m_surface->setShowDetails(true);
    QCOMPARE(js(QStringLiteral("getComputedStyle(document.getElementById('c')).outlineStyle")).toString(),
             QStringLiteral("dotted"));
    QCOMPARE(js(QStringLiteral("getComputedStyle(document.querySelector('script')).display")).toString(),
             QStringLiteral("inline-block"));
    // Line breaks and comments get their marks too.
    QCOMPARE(js(QStringLiteral("document.querySelectorAll('qk-view-aids span').length")).toInt(), 2);
    QCOMPARE(m_surface->DocumentHTML(), html);
    QVERIFY(!m_surface->IsDirty());
    // An edit made while they show reads back without them.
    m_surface->DOM().body().setAttribute(QStringLiteral("bgcolor"), QStringLiteral("white"));
    QVERIFY(!m_surface->DocumentHTML().contains(QStringLiteral("qk-view-aids")));
    // They follow the page to the next one, and go off live.
    load(QStringLiteral("<table><tr><td id=c>again</td></tr></table>"));
    QCOMPARE(js(QStringLiteral("getComputedStyle(document.getElementById('c')).outlineStyle")).toString(),
             QStringLiteral("dotted"));
    m_surface->setShowBorders(false);
    m_surface->setShowDetails(false);
    QCOMPARE(js(QStringLiteral("getComputedStyle(document.getElementById('c')).outlineStyle")).toString(),
             QStringLiteral("none"));
}

void TestSurfaceCommands::commentMarkStandsAtTheComment_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("inside a line") << "<p>some words<!-- note --> and more</p>";
    QTest::newRow("end of a line") << "<p>some words<!-- note --></p>";
    QTest::newRow("after bold") << "<p>some <b>bold</b><!-- note --> words</p>";
    QTest::newRow("start of a line") << "<p>one</p><p><!-- note -->two</p>";
    QTest::newRow("second line") << "<p>first<br>second line<!-- note --></p>";
}

void TestSurfaceCommands::commentMarkStandsAtTheComment()
{
    QFETCH(QString, body);
    load(body);
    m_surface->setShowDetails(true);
    // The comment's place: an empty inline box put where it was, once the mark is drawn.
    const QVariantMap d =
        js(QStringLiteral(
               "(() => { const m = [...document.querySelectorAll('qk-view-aids span')]"
               "    .find((s) => s.textContent === '!--').getBoundingClientRect();"
               "  const c = document.createTreeWalker(document.body, NodeFilter.SHOW_COMMENT).nextNode();"
               "  const probe = document.createElement('span'); c.replaceWith(probe);"
               "  const p = probe.getBoundingClientRect(); return {x: m.left - p.left, y: m.top - p.top}; "
               "})()"))
            .toMap();
    m_surface->setShowDetails(false);
    QVERIFY2(qAbs(d.value(QStringLiteral("x")).toDouble()) <= 2 &&
                 qAbs(d.value(QStringLiteral("y")).toDouble()) <= 3,
             qPrintable(QStringLiteral("%1, %2")
                            .arg(d.value(QStringLiteral("x")).toDouble())
                            .arg(d.value(QStringLiteral("y")).toDouble())));
}

void TestSurfaceCommands::contextMenuReportsPosition()
{
    load(QStringLiteral("<p id=p>some text</p>"));
    QSignalSpy show(m_surface.get(), &EditSurface::ShowContextMenu);
    QSignalSpy chosen(m_surface.get(), &EditSurface::ContextMenuAction);
    auto conn = connect(m_surface.get(), &EditSurface::ShowContextMenu, this, [this] {
        m_surface->SetContextMenu(
            {QStringLiteral("Cut"), QStringLiteral("Copy"), QString(), QStringLiteral("Select All")},
            {2, 0, 0, 0});
    });
    QTimer::singleShot(0, this, [] {}); // keep the loop turning
    bool checked = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        const QList<QAction *> actions = menu->actions();
        checked = actions.size() == 4 && !actions[0]->isEnabled() && actions[2]->isSeparator();
        menu->setActiveAction(actions[3]);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    poll.start(20);
    const QVariantMap r =
        js(QStringLiteral("(() => { const b = document.getElementById('p').getBoundingClientRect();"
                          " return {x: b.left + 10, y: b.top + 5}; })()"))
            .toMap();
    QWidget *target = m_surface->widget()->focusProxy();
    const QPoint p(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt());
    QTest::mouseMove(target, p);
    QTest::mouseClick(target, Qt::RightButton, {}, p);
    QTRY_COMPARE(chosen.count(), 1);
    QCOMPARE(show.count(), 1);
    QCOMPARE(chosen.first().first().toInt(), 3);
    QVERIFY(checked);
    disconnect(conn);
}

void TestSurfaceCommands::printsToPdf()
{
    load(QStringLiteral("<h1>Printed page</h1><p>with some text</p>"));
    m_surface->setShowBorders(true);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QVERIFY(m_surface->printToPdf(pdf));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    QVERIFY(bytes.size() > 1000);
    // The aids come back after printing.
    QCOMPARE(js(QStringLiteral("getComputedStyle(document.querySelector('p')).outlineStyle")).toString(),
             QStringLiteral("dotted"));
    m_surface->setShowBorders(false);
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestSurfaceCommands test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_surfacecommands.moc"
