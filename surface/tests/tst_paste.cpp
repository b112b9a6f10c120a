// Pasting into the real engine: what other programs put on the clipboard
// (the fixtures in paste/, see its README), the page's own content, plain
// text, and the markup the engine adds by itself when blocks are joined.
#include "testsupport/surfacehost.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>

using namespace surface;

class TestPaste final : public QObject, SurfaceHost
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fromOtherPrograms_data();
    void fromOtherPrograms();
    void inlineFromABrowserJoinsTheParagraph();
    void cleaningRules_data();
    void cleaningRules();
    void ownContentKeepsItsMarkup();
    void plainTextAsParagraphs();
    void pasteUndoesInOneStep();
    void editsLeaveNoEngineStyles_data();
    void editsLeaveNoEngineStyles();

private:
    // Selects the contents of the element (collapsed to its end when asked).
    void select(const QString &id, bool caretAtEnd = false, bool caretAtStart = false)
    {
        js(QStringLiteral("(() => { const r = document.createRange();"
                          " r.selectNodeContents(document.getElementById('%1'));"
                          " if (%2) r.collapse(false); if (%3) r.collapse(true);"
                          " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r);"
                          " return true; })()")
               .arg(id, caretAtEnd ? QStringLiteral("true") : QStringLiteral("false"),
                    caretAtStart ? QStringLiteral("true") : QStringLiteral("false")));
        m_surface->evaluate(QStringLiteral("qk.snap()"));
    }
    void putOnClipboard(const QString &html, const QString &text)
    {
        auto *data = new QMimeData; // the clipboard owns it
        if (!html.isEmpty())
            data->setHtml(html);
        data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    // The page's body as a save writes it.
    QString savedBody()
    {
        const DocumentRead read = m_surface->readDocument();
        const QString &t = read.text;
        const qsizetype from = t.indexOf(QLatin1String("<body>")),
                        to = t.lastIndexOf(QLatin1String("</body>"));
        return from < 0 || to < from ? t : t.mid(from + 6, to - from - 6);
    }
    // Pastes with the engine's own command, which the page answers in its own time.
    void paste(int command = DECMD_PASTE)
    {
        const QString before = savedBody();
        QVERIFY(m_surface->ExecCommand(command).isValid());
        QTRY_VERIFY(savedBody() != before);
    }
};

void TestPaste::initTestCase()
{
    QVERIFY(openSurface());
}

// A row per structure kept and per thing of the other program's dropped.
void TestPaste::fromOtherPrograms_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("kept");
    const auto keeps = [](const QByteArray &name, const char *fixture, const char *pattern) {
        QTest::newRow(name.constData()) << QString::fromLatin1(fixture) << QString::fromUtf8(pattern) << true;
    };
    const auto drops = [](const QByteArray &name, const char *fixture, const char *pattern) {
        QTest::newRow(name.constData())
            << QString::fromLatin1(fixture) << QString::fromUtf8(pattern) << false;
    };
    for (const char *f : {"word.html", "libreoffice-writer.html"}) {
        const QByteArray n(f);
        keeps(n + ": heading", f, "<h1>Annual report</h1>");
        keeps(n + ": bold", f, "<b>strong</b>");
        keeps(n + ": italic", f, "<i>careful</i>");
        keeps(n + ": underline", f, "<u>new</u>");
        keeps(n + ": subscript", f, "H<sub>2</sub>O");
        keeps(n + ": superscript", f, "m<sup>2</sup>\\.");
        keeps(n + ": paragraph", f, "<p>The year began with ");
        keeps(n + ": link", f, "<a href=\"https://example.com/figures\">figures page</a>");
        keeps(n + ": line break", f, "\\.<br>A second line\\.</p>");
        keeps(n + ": table", f, "<table[^>]*><tbody><tr><td>(<b>)?Quarter(</b>)?</td><td>Sales</td>");
        drops(n + ": class", f, "class=");
        drops(n + ": style", f, "style=");
        drops(n + ": mso", f, "mso-");
        drops(n + ": namespaced", f, "<o:|<v:|<w:");
        drops(n + ": comment", f, "<!--|<!\\[");
        drops(n + ": span", f, "<span");
        drops(n + ": font", f, "<font");
        drops(n + ": empty paragraph", f, "<p>(&nbsp;|<br>|\\s)*</p>");
        drops(n + ": columns", f, "<col");
    }
    keeps("word: bulleted list from paragraphs", "word.html",
          "<ul><li>Grow the shop<ul><li>Open a second room</li></ul></li><li>Hire two people</li></ul>");
    keeps("word: numbered list from paragraphs", "word.html", "<ol><li>Plan</li><li>Build</li></ol>");
    drops("word: bullets drawn by hand", "word.html", "·|&nbsp;&nbsp;");
    keeps("writer: list", "libreoffice-writer.html",
          "<ul><li>Grow the shop</li><li>Hire two people</li></ul>");
    keeps("writer: block quote", "libreoffice-writer.html",
          "<blockquote>Quality is never an accident\\.</blockquote>");
    keeps("writer: preformatted", "libreoffice-writer.html", "<pre>total = a \\+ b</pre>");
    keeps("browser: heading", "chromium-blocks.html", "<h2>Making bread at home</h2>");
    keeps(
        "browser: paragraph", "chromium-blocks.html",
        "<p>Bread needs <b>flour</b>, <em>water</em> and <a href=\"https://example.org/yeast\">yeast</a>\\. "
        "Knead for ten minutes\\.</p>");
    keeps("browser: list", "chromium-blocks.html", "<ol><li>Mix the dough</li><li>Let it rise</li></ol>");
    drops("browser: computed colours", "chromium-blocks.html", "rgb\\(|color");
    drops("browser: computed fonts", "chromium-blocks.html", "Roboto|font-");
    drops("browser: class", "chromium-blocks.html", "class=");
    drops("browser: span", "chromium-blocks.html", "<span");
}

void TestPaste::fromOtherPrograms()
{
    QFETCH(QString, fixture);
    QFETCH(QString, pattern);
    QFETCH(bool, kept);
    QFile file(QStringLiteral(QK_PASTE_FIXTURES "/") + fixture);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    load(QStringLiteral("<p id=\"t\">x</p>"));
    select(QStringLiteral("t"));
    putOnClipboard(html, QStringLiteral("some text"));
    paste();
    const QString body = savedBody();
    const bool found = body.contains(QRegularExpression(pattern));
    QVERIFY2(found == kept, qPrintable(body));
}

// A few words from inside a browser's paragraph join the paragraph they are
// pasted into, without the colours and fonts computed for the other page.
void TestPaste::inlineFromABrowserJoinsTheParagraph()
{
    QFile file(QStringLiteral(QK_PASTE_FIXTURES "/chromium-inline.html"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    load(QStringLiteral("<p id=\"t\">Start</p>"));
    select(QStringLiteral("t"), true);
    putOnClipboard(QString::fromUtf8(file.readAll()), QStringLiteral("Bread needs flour, water"));
    paste();
    QCOMPARE(savedBody().trimmed(),
             QStringLiteral("<p id=\"t\">StartBread needs <b>flour</b>, <em>water</em></p>"));
}

// Markup from elsewhere, as the page keeps it.
void TestPaste::cleaningRules_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("kept");
    QTest::newRow("emphasis written as a style") << "<span style=\"font-weight:bold\">b</span><span "
                                                    "style=\"font-style: italic\">i</span>"
                                                 << "<b>b</b><i>i</i>";
    QTest::newRow("a bold tag of normal weight around it all")
        << "<b style=\"font-weight:normal;\" id=\"docs-internal-guid-1\"><p>text</p></b>"
        << "<p>text</p>";
    QTest::newRow("script links and handlers") << "<a href=\"javascript:alert(1)\" onclick=\"x()\">go</a>"
                                               << "<a>go</a>";
    QTest::newRow("scripts and frames") << "<p>a<script>x()</script><iframe src=\"http://x/\"></iframe></p>"
                                        << "<p>a</p>";
}

void TestPaste::cleaningRules()
{
    QFETCH(QString, html);
    QFETCH(QString, kept);
    load(QStringLiteral("<p>x</p>"));
    QCOMPARE(js(QStringLiteral("qk.cleanPastedHtml(%1)")
                    .arg(QString::fromUtf8(QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact))
                             .mid(1)
                             .chopped(1)))
                 .toString(),
             kept);
}

// Copying a paragraph of the page and pasting it elsewhere gives the
// paragraph's markup as it stands in the page.
void TestPaste::ownContentKeepsItsMarkup()
{
    load(QStringLiteral("<div id=\"a\"><h2><b class=\"k\">Bold</b> words</h2><p class=\"x\">second</p></div>"
                        "<p id=\"b\">end</p>"));
    select(QStringLiteral("a"));
    QGuiApplication::clipboard()->clear(); // what the copy puts there, nothing before it
    QVERIFY(m_surface->ExecCommand(DECMD_COPY).isValid());
    // The clipboard has no data at all until the engine's copy lands.
    QTRY_VERIFY(QGuiApplication::clipboard()->mimeData() &&
                QGuiApplication::clipboard()->mimeData()->hasHtml());
    select(QStringLiteral("b"), true);
    paste();
    const QString body = savedBody();
    QVERIFY2(body.contains(QStringLiteral(
                 "<p id=\"b\">end</p><h2><b class=\"k\">Bold</b> words</h2><p class=\"x\">second</p>")),
             qPrintable(body));
    QVERIFY2(!body.contains(QStringLiteral("style=")), qPrintable(body));
}

void TestPaste::plainTextAsParagraphs()
{
    load(QStringLiteral("<p id=\"t\">x</p>"));
    select(QStringLiteral("t"), true);
    putOnClipboard(QStringLiteral("<b>bold</b>"), QStringLiteral("one <two>\n\nthree"));
    paste(DECMD_PASTEPLAINTEXT);
    QCOMPARE(savedBody().trimmed(),
             QStringLiteral("<p id=\"t\">xone &lt;two&gt;</p><p><br></p><p>three</p>"));
}

void TestPaste::pasteUndoesInOneStep()
{
    load(QStringLiteral("<p id=\"t\">keep</p>"));
    select(QStringLiteral("t"), true);
    putOnClipboard(QStringLiteral("<p style=\"color:red\">one</p><p>two</p>"), QStringLiteral("one\ntwo"));
    paste();
    QVERIFY(savedBody().contains(QStringLiteral("two")));
    QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
    QTRY_COMPARE(savedBody().trimmed(), QStringLiteral("<p id=\"t\">keep</p>"));
}

// Joining blocks and deleting across formatting: the engine keeps the look
// of the text it moves with styles of its own, which the page does not want.
void TestPaste::editsLeaveNoEngineStyles_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("caretAtStartOf"); // "" for the selection set by script
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    // The page's own style sheet gives the blocks another look, which the
    // engine keeps on the text it moves with a style of its own.
    QTest::newRow("Backspace at the start of a paragraph after a heading")
        << "<style>p{color:red}</style><h1>Title</h1><p id=\"p\">text <i>more</i></p>"
        << "p" << int(Qt::Key_Backspace) << ""
        << "<style>p{color:red}</style><h1>Titletext <i>more</i></h1>";
    QTest::newRow("Backspace at the start of a styled heading")
        << "<style>h1{color:blue}</style><p>text</p><h1 id=\"h\">Title</h1>"
        << "h" << int(Qt::Key_Backspace) << ""
        << "<style>h1{color:blue}</style><p>textTitle</p>";
    QTest::newRow("Delete before a styled paragraph, then typing")
        << "<style>.c{color:red}</style><p id=\"a\">text <b>bo</b></p><p class=\"c\">more</p>"
        << "a!" << int(Qt::Key_Delete) << "X"
        << "<style>.c{color:red}</style><p id=\"a\">text <b>boX</b>more</p>";
}

void TestPaste::editsLeaveNoEngineStyles()
{
    QFETCH(QString, body);
    QFETCH(QString, caretAtStartOf);
    QFETCH(int, key);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    load(body);
    const QString before = savedBody();
    const bool atEnd = caretAtStartOf.endsWith(u'!');
    select(atEnd ? caretAtStartOf.chopped(1) : caretAtStartOf, atEnd, !atEnd);
    m_surface->widget()->setFocus();
    QTest::keyClick(inputTarget(), Qt::Key(key));
    if (!typed.isEmpty())
        QTest::keyClicks(inputTarget(), typed);
    QTRY_VERIFY(m_surface->IsDirty());
    QTRY_COMPARE(savedBody().trimmed(), expected);
    // The engine's Undo still takes the edit back (typing joins the step).
    QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
    QTRY_COMPARE(savedBody(), before);
}

QTEST_MAIN(TestPaste)
#include "tst_paste.moc"
