// Saving changes only what the user edited: real pages written by others,
// opened in the real engine, edited the ways people edit, and read back.
#include "testsupport/surfacehost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace surface;

namespace {
const QString kCorpus = QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus");

struct Change
{
    QString removed;
    QString added;
};

// What one contiguous change turned before into after.
Change changeBetween(const QString &before, const QString &after)
{
    qsizetype p = 0;
    const qsizetype common = std::min(before.size(), after.size());
    while (p < common && before[p] == after[p])
        ++p;
    qsizetype q = 0;
    while (q < common - p && before[before.size() - 1 - q] == after[after.size() - 1 - q])
        ++q;
    return {before.mid(p, before.size() - p - q), after.mid(p, after.size() - p - q)};
}

// Selects the first word of the page's text that is shown and not bold
// (when %1 is false, places the caret after it); returns the word.
const char *const kFirstWord = R"((() => {
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    let t;
    while ((t = walker.nextNode())) {
        const m = /^([ \t\r\n]*)([A-Za-z]{3,})\b/.exec(t.data);
        const el = t.parentElement;
        if (!m || !el.closest('p,li,td,dd,div,h1,h2,h3,h4,pre') || el.closest('script,style,title,a') ||
            !el.getClientRects().length || parseInt(getComputedStyle(el).fontWeight, 10) >= 600)
            continue;
        const r = document.createRange();
        r.setStart(t, m[1].length + (%1 ? 0 : m[2].length));
        r.setEnd(t, m[1].length + m[2].length);
        const s = getSelection();
        s.removeAllRanges();
        s.addRange(r);
        return m[2];
    }
    return '';
})())";

} // namespace

class TestLossless final : public QObject, SurfaceHost
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pages_data();
    void pages();
    void savedTextStaysAsWritten();

private:
    QString load(const QString &name);
    QString readBack();
    // The page the engine reads from text, as the engine writes it.
    QString parsedAs(const QString &text);
    // The engine reads what was written as it reads its own writing of the
    // page in the editor (which leaves out ids an edit copied).
    bool readsAsTheEngineWritesIt(const QString &text);

    QTemporaryDir m_dir;
    int m_fallbacks = 0;
    int m_pages = 0;
};

void TestLossless::initTestCase()
{
    QVERIFY(openSurface());
}

void TestLossless::cleanupTestCase()
{
    qInfo("pages: %d, subtrees written afresh: %d", m_pages, m_fallbacks);
    closeSurface();
}

QString TestLossless::load(const QString &name)
{
    const QString copy = m_dir.filePath(name);
    QFile::remove(copy);
    if (!QFile::copy(QDir(kCorpus).filePath(name), copy))
        return {};
    return m_surface->LoadDocument(copy, false) == codes::Ok ? copy : QString();
}

QString TestLossless::readBack()
{
    const DocumentRead read = m_surface->readDocument();
    return read.ok ? read.text : QStringLiteral("<read failed: %1>").arg(read.error);
}

QString TestLossless::parsedAs(const QString &text)
{
    const QString file = m_dir.filePath(QStringLiteral("parsed.html"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8());
    f.close();
    if (m_surface->LoadDocument(file, false) != codes::Ok)
        return {};
    return js(QStringLiteral("document.documentElement.outerHTML")).toString();
}

bool TestLossless::readsAsTheEngineWritesIt(const QString &text)
{
    // Compared as shown: a no-break space the engine put beside an edit reads
    // as the space the source had, and white space at the edge of a block,
    // which the engine drops when it edits there, shows nothing.
    const auto shown = [](QString dom) {
        static const QRegularExpression blockEdge(QStringLiteral(
            " ?(</?(?:p|div|li|ul|ol|dl|dt|dd|h[1-6]|table|tbody|tr|td|th|pre|body|head|html)\\b[^>]*>) ?"));
        dom.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
        dom.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
        return dom.replace(blockEdge, QStringLiteral("\\1"));
    };
    const QString engines = js(QStringLiteral("qk.html()")).toString();
    const QString expected = shown(parsedAs(engines));
    const QString actual = shown(parsedAs(text));
    if (actual == expected)
        return true;
    const Change c = changeBetween(expected, actual);
    qWarning("reads differently: %s -> %s", qPrintable(c.removed.left(300)), qPrintable(c.added.left(300)));
    return false;
}

void TestLossless::pages_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : QDir(kCorpus).entryList({QStringLiteral("*.htm*")}, QDir::Files))
        QTest::newRow(qPrintable(name)) << name;
}

void TestLossless::pages()
{
    QFETCH(QString, name);
    ++m_pages;
    // Unchanged: exactly the source.
    QVERIFY(!load(name).isEmpty());
    const QString original = readBack();
    QVERIFY(m_surface->readDocument().unchanged);

    // A word typed into the first paragraph: that word and nothing else.
    const QString word = js(QString::fromLatin1(kFirstWord).arg(QStringLiteral("false"))).toString();
    QVERIFY2(!word.isEmpty(), "no text starting with a word");
    QWidget *view = m_surface->widget();
    view->setFocus();
    QTest::keyClicks(view->focusProxy() ? view->focusProxy() : view, QStringLiteral("Quillon"));
    QTRY_VERIFY(m_surface->IsDirty());
    const QString typed = readBack();
    const Change typing = changeBetween(original, typed);
    QCOMPARE(typing.added, QStringLiteral("Quillon"));
    QCOMPARE(typing.removed, QString());
    m_fallbacks += m_surface->sourceFallbacks();
    QVERIFY(readsAsTheEngineWritesIt(typed));

    // A word made bold: only that run's markup.
    QVERIFY(!load(name).isEmpty());
    const QString bolded = js(QString::fromLatin1(kFirstWord).arg(QStringLiteral("true"))).toString();
    QVERIFY(m_surface->ExecCommand(DECMD_BOLD).isValid());
    const QString boldText = readBack();
    const Change bold = changeBetween(original, boldText);
    // The engine may take the white space before the word into the <b>.
    const auto squeezed = [](QString t) { return t.remove(QRegularExpression(QStringLiteral("\\s"))); };
    QVERIFY2(squeezed(bold.added) ==
                     QStringLiteral("<b>") + squeezed(bold.removed) + QStringLiteral("</b>") &&
                 squeezed(bold.removed).endsWith(bolded),
             qPrintable(bold.removed + QStringLiteral(" -> ") + bold.added));

    // A paragraph deleted: its text disappears and nothing is added.
    QVERIFY(!load(name).isEmpty());
    const QString paragraph =
        js(QStringLiteral("qk.shape() && (() => { const p = [...document.querySelectorAll('p')].find((p) =>"
                          " p.textContent.trim()) || [...document.querySelectorAll('li,dd,td')].find((p) => "
                          "p.textContent.trim());"
                          " if (!p) return ''; const t = p.textContent; p.remove();"
                          " return t; })()"))
            .toString();
    QVERIFY(!paragraph.isEmpty());
    const QString deleted = readBack();
    const Change removal = changeBetween(original, deleted);
    QVERIFY2(removal.added.isEmpty(), qPrintable(removal.added));
    QVERIFY(removal.removed.contains(u'<'));
    QVERIFY(readsAsTheEngineWritesIt(deleted));

    // Markup typed into Insert HTML goes as typed, entity and table included.
    QVERIFY(!load(name).isEmpty());
    js(QString::fromLatin1(kFirstWord).arg(QStringLiteral("false")));
    const QString fragment = QStringLiteral("&copy; 2026 <table><tr><td>cell</td></tr></table>");
    QVERIFY(m_surface->pasteAtRange(fragment));
    const QString inserted = readBack();
    // The engine puts the text into the paragraph and the table after it;
    // each is written as typed.
    const QString added = changeBetween(original, inserted).added;
    QVERIFY2(added.contains(QStringLiteral("&copy; 2026")) &&
                 added.contains(QStringLiteral("<table><tr><td>cell</td></tr></table>")) &&
                 !added.contains(u'\u00a9'),
             qPrintable(added));
    QVERIFY(readsAsTheEngineWritesIt(inserted));
}

// A paragraph split with Enter and saved: the next save, with nothing
// changed there since, writes that paragraph as the first one did.
void TestLossless::savedTextStaysAsWritten()
{
    const QString path = m_dir.filePath(QStringLiteral("split.html"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(
        "<HTML><BODY>\n<P>\nLua is distributed in source form. The instructions given below for building Lua "
        "are for Unix.\n<P>\nNext one.\n</BODY></HTML>");
    f.close();
    QVERIFY(m_surface->LoadDocument(path, false) == codes::Ok);
    QVERIFY(
        js(QStringLiteral("(() => { const t = document.querySelector('p').firstChild;"
                          " const r = document.createRange(); r.setStart(t, t.data.indexOf('building'));"
                          " getSelection().removeAllRanges(); getSelection().addRange(r); return true; })()"))
            .toBool());
    QWidget *view = m_surface->widget();
    view->setFocus();
    QWidget *input = view->focusProxy() ? view->focusProxy() : view;
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClicks(input, QStringLiteral("New "));
    QTRY_VERIFY(js(QStringLiteral("document.querySelectorAll('p').length === 3")).toBool());
    QTRY_VERIFY(readBack().contains(QStringLiteral("New building")));
    const DocumentRead first = m_surface->readDocument();
    QVERIFY(first.ok);
    SavedDocument saved;
    saved.path = path;
    saved.text = first.text;
    saved.bytes = first.text.toUtf8();
    saved.changes = first.changes;
    m_surface->documentSaved(saved);
    QVERIFY(
        js(QStringLiteral("(() => { const t = [...document.querySelectorAll('p')].pop().firstChild;"
                          " const r = document.createRange(); r.setStart(t, t.data.indexOf('one'));"
                          " getSelection().removeAllRanges(); getSelection().addRange(r); return true; })()"))
            .toBool());
    QTest::keyClicks(input, QStringLiteral("more "));
    QTRY_VERIFY(readBack().contains(QStringLiteral("more one")));
    const Change second = changeBetween(first.text, readBack());
    QCOMPARE(second.removed, QString());
    QCOMPARE(second.added, QStringLiteral("more "));
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestLossless test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lossless.moc"
