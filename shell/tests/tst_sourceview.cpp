// The page's source beside the page, and spell checking, through the real
// window as a person uses them.
#include "document/documentsession.h"
#include "shell/sourceview.h"
#include "surface/spelling.h"
#include "testsupport/testwindow.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>

using namespace shell;
using namespace surface;

namespace {
const QByteArray kPage = "<!DOCTYPE html>\r\n<html><head><title>t</title></head>\r\n<body>\r\n"
                         "<p id=one>One line</p>\r\n</body></html>\r\n";
// Two misspelt words in one run of text: when one is marked, the checker has
// seen the other too.
const char *kAdded = "recieve";
const char *kControl = "definately";
} // namespace

class TestSourceView final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void visualEditShowsInSource();
    void sourceEditGoesIntoPageAndSaves();
    void refusedSourceKeepsThePage_data();
    void refusedSourceKeepsThePage();
    void untouchedPageStaysByteIdentical_data();
    void untouchedPageStaysByteIdentical();
    void misspeltWordGetsSuggestions();
    void addedWordStaysAddedAfterRestart();

private:
    QString page(const QByteArray &bytes);
    void openWithSource(const QString &path);
    QPoint wordAt(const QString &word);
    void clickInto(const QPoint &at, Qt::MouseButton button = Qt::LeftButton);
    // The captions of the context menu at the word; choose is picked from it.
    QStringList menuAt(const QString &word, const QString &choose = {});
    bool marked(const QString &word) { return menuAt(word).contains(QStringLiteral("Add to Dictionary")); }
    QString spellingPage();

    TestWindow w;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSourceView::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(spelling::personalListPath());
    QDir(spelling::engineFolder()).removeRecursively();
    QVERIFY2(!spelling::installed().isEmpty(), "no spelling dictionary was built");
}

void TestSourceView::init()
{
    QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).clear();
    m_dir = std::make_unique<QTemporaryDir>();
    w.script = ui::Script();
    QVERIFY(w.open());
}

void TestSourceView::cleanup()
{
    w.close();
    m_dir.reset();
}

QString TestSourceView::page(const QByteArray &bytes)
{
    return writeTestFile(m_dir->filePath(QStringLiteral("page.html")), bytes);
}

void TestSourceView::openWithSource(const QString &path)
{
    w.form->session()->open(path);
    QCOMPARE(w.form->surface()->CurrentDocumentPath(), path);
    // Shown unless the layout of an earlier window already shows it.
    if (!w.form->sourceView() || !w.form->sourceView()->isVisible())
        w.form->findChild<QAction *>(QStringLiteral("mnuViewSource"))->trigger();
    QVERIFY(w.form->sourceView()->isVisible());
    QVERIFY(w.form->findChild<QAction *>(QStringLiteral("mnuViewSource"))->isChecked());
}

QPoint TestSourceView::wordAt(const QString &word)
{
    const QVariantList box =
        w.js(QStringLiteral(
                 "(() => { const walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);"
                 "  for (let n; (n = walk.nextNode());) { const i = n.data.indexOf(%1);"
                 "    if (i < 0) continue; n.parentElement.scrollIntoView({block: 'center'});"
                 "    const r = document.createRange(); r.setStart(n, i); r.setEnd(n, i + %1.length);"
                 "    const b = r.getBoundingClientRect(); return [b.left + b.width / 2, b.top + b.height / "
                 "2]; }"
                 "  return []; })()")
                 .arg(u'\'' + word + u'\''))
            .toList();
    return box.size() == 2 ? QPoint(int(box[0].toDouble()), int(box[1].toDouble())) : QPoint(-1, -1);
}

void TestSourceView::clickInto(const QPoint &at, Qt::MouseButton button)
{
    QTest::mouseClick(w.input(), button, {}, at);
}

QStringList TestSourceView::menuAt(const QString &word, const QString &choose)
{
    QStringList captions;
    bool shown = false;
    // The menu runs a loop of its own: it is read, and an item chosen, from there.
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        shown = true;
        QAction *chosen = nullptr;
        for (QAction *a : menu->actions()) {
            captions << a->text();
            if (!choose.isEmpty() && a->text() == choose)
                chosen = a;
        }
        if (!chosen) {
            menu->close();
            return;
        }
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    poll.start();
    clickInto(wordAt(word), Qt::RightButton);
    for (int i = 0; i < 500 && !shown; ++i)
        QTest::qWait(10);
    return captions;
}

void TestSourceView::visualEditShowsInSource()
{
    openWithSource(page(kPage));
    clickInto(wordAt(QStringLiteral("line")));
    QTest::keyClicks(w.input(), QStringLiteral("Zq"));
    // Not at every key: after a pause while the text is shown.
    QTRY_VERIFY_WITH_TIMEOUT(w.form->sourceView()->toPlainText().contains(QStringLiteral("Zq")), 10000);
}

void TestSourceView::sourceEditGoesIntoPageAndSaves()
{
    const QString path = page(kPage);
    openWithSource(path);
    SourceView *view = w.form->sourceView();
    QCOMPARE(view->sourceText(), QString::fromUtf8(kPage));
    const auto insertBeforeBody = [&](const QString &html) {
        QTextCursor c = view->document()->find(QStringLiteral("</body>"));
        c.setPosition(c.selectionStart());
        c.insertText(html);
        view->setTextCursor(c);
    };
    insertBeforeBody(QStringLiteral("<p id=two>Two</p>\n"));
    // After a pause, with the caret in the element typed.
    QTRY_COMPARE_WITH_TIMEOUT(w.js(QStringLiteral("document.querySelector('#two')?.textContent")).toString(),
                              QStringLiteral("Two"), 10000);
    QCOMPARE(w.js(QStringLiteral("getSelection().anchorNode.parentElement.id")).toString(),
             QStringLiteral("two"));
    QVERIFY(w.form->surface()->IsDirty());

    // Saved at once, before any pause: the save writes what the pane holds.
    insertBeforeBody(QStringLiteral("<p id=three>Three</p>\n"));
    w.form->save();
    QByteArray expected = kPage;
    expected.replace("</body>", "<p id=two>Two</p>\r\n<p id=three>Three</p>\r\n</body>");
    QCOMPARE(readTestFile(path), expected);
    QVERIFY(!w.form->surface()->IsDirty());

    // The engine forgets its history with a new page: the page before the
    // text came back is one step.
    QVERIFY(w.form->surface()->ExecCommand(DECMD_UNDO).isValid());
    QCOMPARE(w.js(QStringLiteral("!!document.querySelector('#three')")).toBool(), false);
    QCOMPARE(w.js(QStringLiteral("!!document.querySelector('#two')")).toBool(), true);
}

void TestSourceView::refusedSourceKeepsThePage_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<bool>("discard");
    for (const char *road : {"hide", "save", "new", "close"}) {
        QTest::addRow("%s, keep editing", road) << QString::fromLatin1(road) << false;
        QTest::addRow("%s, discard", road) << QString::fromLatin1(road) << true;
    }
}

// A text the page refuses stays to be put right, but never traps the user:
// whatever waits on it may go on once the text is given up.
void TestSourceView::refusedSourceKeepsThePage()
{
    QFETCH(QString, road);
    QFETCH(bool, discard);
    const QString path = page(kPage);
    openWithSource(path);
    SourceView *view = w.form->sourceView();
    QVERIFY(w.edit(QStringLiteral("<b>edit</b>")));
    QTRY_VERIFY(view->toPlainText().contains(QStringLiteral("<b>edit</b>")));
    const QString frameset =
        QStringLiteral("<html><frameset cols='*,*'><frame src=a.html></frameset></html>");
    view->selectAll();
    view->insertPlainText(frameset);

    w.script.choiceAnswers << (discard ? 0 : 1);
    w.script.messageAnswers << QMessageBox::No; // then: save the changes? no
    if (road == QLatin1String("hide"))
        w.form->findChild<QAction *>(QStringLiteral("mnuViewSource"))->trigger();
    else if (road == QLatin1String("save"))
        w.form->save();
    else if (road == QLatin1String("new"))
        w.form->newPage();
    else
        w.form->close();
    QVERIFY(!w.script.messagesShown.isEmpty());
    QVERIFY(w.script.messagesShown.constFirst().startsWith(
        QStringLiteral("Error occurred while loading document: Document contains a frameset.")));
    // The page never took the text.
    QVERIFY(!w.form->surface()->DocumentHTML().contains(QStringLiteral("frameset")));
    if (!discard) {
        QCOMPARE(w.script.messagesShown.join(u'|'), w.script.messagesShown.constFirst());
        QVERIFY(view->isVisible());
        QCOMPARE(view->toPlainText(), frameset);
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.form->surface()->CurrentDocumentPath(), path);
        QCOMPARE(readTestFile(path), kPage);
        return;
    }
    if (road == QLatin1String("hide")) {
        QVERIFY(!view->isVisible());
    } else if (road == QLatin1String("save")) {
        QVERIFY(readTestFile(path).contains("<b>edit</b>"));
        QTRY_VERIFY(view->toPlainText().contains(QStringLiteral("<b>edit</b>")));
    } else if (road == QLatin1String("new")) {
        QCOMPARE(w.form->surface()->CurrentDocumentPath(), QString());
    } else {
        QVERIFY(!w.form->isVisible());
    }
}

void TestSourceView::untouchedPageStaysByteIdentical_data()
{
    QTest::addColumn<QString>("file");
    for (const QFileInfo &f : QDir(QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus"))
                                  .entryInfoList({QStringLiteral("*.html")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(f.fileName())) << f.absoluteFilePath();
}

void TestSourceView::untouchedPageStaysByteIdentical()
{
    QFETCH(QString, file);
    const QByteArray bytes = readTestFile(file);
    const QString path = page(bytes);
    openWithSource(path);
    w.form->findChild<QAction *>(QStringLiteral("mnuViewSource"))->trigger();
    QVERIFY(!w.form->sourceView()->isVisible());
    QVERIFY(!w.form->surface()->IsDirty());
    w.form->save();
    QCOMPARE(readTestFile(path), bytes);
}

QString TestSourceView::spellingPage()
{
    QByteArray bytes =
        readTestFile(QStringLiteral(QK_SOURCE_DIR "/surface/tests/corpus/debian-faq--kernel.en.html"));
    const qsizetype at = bytes.indexOf("<p>");
    bytes.insert(at + 3, QByteArray("I ") + kAdded + " it " + kControl + ". ");
    QString path = page(bytes);
    w.form->session()->open(path);
    // Words are checked once the page has the keyboard.
    clickInto(wordAt(QString::fromLatin1(kAdded)));
    return path;
}

void TestSourceView::misspeltWordGetsSuggestions()
{
    spellingPage();
    QStringList captions;
    QTRY_VERIFY_WITH_TIMEOUT(
        (captions = menuAt(QString::fromLatin1(kAdded))).contains(QStringLiteral("Ignore")), 20000);
    // The engine's suggestions first, then the two of ours, then the rest.
    const qsizetype add = captions.indexOf(QStringLiteral("Add to Dictionary"));
    QVERIFY(add > 0);
    QVERIFY(captions.mid(0, add).contains(QStringLiteral("receive")));
    QCOMPARE(captions.mid(add + 1, 3),
             (QStringList{QStringLiteral("Ignore"), QString(), QStringLiteral("Cut")}));
    menuAt(QString::fromLatin1(kAdded), QStringLiteral("receive"));
    QTRY_VERIFY(w.js(QStringLiteral("document.body.textContent.includes('I receive it')")).toBool());
    // Nothing about spelling goes into the page.
    QVERIFY(!w.js(QStringLiteral("document.documentElement.outerHTML.includes('spellcheck')")).toBool());
}

void TestSourceView::addedWordStaysAddedAfterRestart()
{
    spellingPage();
    QTRY_VERIFY_WITH_TIMEOUT(marked(QString::fromLatin1(kAdded)), 20000);
    menuAt(QString::fromLatin1(kAdded), QStringLiteral("Add to Dictionary"));
    QVERIFY(spelling::readWords(spelling::personalListPath()).contains(QString::fromLatin1(kAdded)));
    // The user's dictionary is built anew and the engine takes it at once.
    QTRY_VERIFY_WITH_TIMEOUT(!marked(QString::fromLatin1(kAdded)), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(marked(QString::fromLatin1(kControl)), 20000);

    w.close();
    QVERIFY(w.open());
    spellingPage();
    QTRY_VERIFY_WITH_TIMEOUT(marked(QString::fromLatin1(kControl)), 20000);
    QVERIFY(!marked(QString::fromLatin1(kAdded)));
}

QTEST_MAIN(TestSourceView)
#include "tst_sourceview.moc"
