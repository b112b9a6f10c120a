// Pasting and typing in the whole window, with the keys a user presses.
#include "testsupport/testwindow.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace surface;

class TestPasteRoads final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newPageMakesParagraphs();
    void plainTextByKeyAndFromTheContextMenu();
    void pictureIntoASavedPage();
    void pictureIntoAPageNeverSaved();

private:
    static void putOnClipboard(const QString &html, const QString &text)
    {
        auto *data = new QMimeData; // the clipboard owns it
        data->setHtml(html);
        data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    static void putPictureOnClipboard()
    {
        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        auto *data = new QMimeData;
        data->setImageData(picture);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    static QString fileText(const QString &path) { return QString::fromUtf8(readTestFile(path)); }
    QString page() const { return w.form->surface()->DocumentHTML(); }

    TestWindow w;
};

void TestPasteRoads::init()
{
    QVERIFY(w.open());
    w.form->surface()->widget()->setFocus();
}

void TestPasteRoads::cleanup()
{
    w.close();
}

void TestPasteRoads::newPageMakesParagraphs()
{
    QTest::keyClicks(w.input(), QStringLiteral("one"));
    QTest::keyClick(w.input(), Qt::Key_Return);
    QTest::keyClicks(w.input(), QStringLiteral("two"));
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>one</p><p>two</p>")), qPrintable(page()));
    QVERIFY2(!page().contains(QStringLiteral("<div"), Qt::CaseInsensitive), qPrintable(page()));
}

void TestPasteRoads::plainTextByKeyAndFromTheContextMenu()
{
    QTest::keyClicks(w.input(), QStringLiteral("a"));
    QTRY_VERIFY(w.form->surface()->IsDirty());
    putOnClipboard(QStringLiteral("<b style=\"color:red\">bold</b>"), QStringLiteral("bold"));
    QTest::keyClick(w.input(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>abold</p>")), qPrintable(page()));

    putOnClipboard(QStringLiteral("<i>more</i>"), QStringLiteral("more"));
    emit w.form->surface()->ShowContextMenu();
    const QStringList captions = w.form->contextMenu.captions();
    const qsizetype at = captions.indexOf(QStringLiteral("Paste as Plain Text"));
    QCOMPARE(at, captions.indexOf(QStringLiteral("Paste")) + 1);
    emit w.form->surface()->ContextMenuAction(int(at));
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>aboldmore</p>")), qPrintable(page()));
}

// A screenshot pasted with Ctrl+V: a file of its own in the page's images
// folder, beside a picture it must not replace, and relative once saved.
void TestPasteRoads::pictureIntoASavedPage()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("images")));
    writeTestFile(dir.filePath(QStringLiteral("images/pasted-picture-1.png")), "not to be replaced");
    const QString pagePath = dir.filePath(QStringLiteral("page.html"));
    writeTestFile(pagePath, "<html><body><p id=\"p\">text</p></body></html>");
    w.openPage(pagePath);
    QTRY_COMPARE(w.form->surface()->CurrentDocumentPath(), pagePath);
    w.form->surface()->widget()->setFocus();
    QTest::keyClick(w.input(), Qt::Key_End, Qt::ControlModifier);
    putPictureOnClipboard();
    QTest::keyClick(w.input(), Qt::Key_V, Qt::ControlModifier);
    const QString made = dir.filePath(QStringLiteral("images/pasted-picture-2.png"));
    QTRY_VERIFY(QFileInfo::exists(made));
    QCOMPARE(QImage(made).size(), QSize(30, 20));
    QVERIFY(QFileInfo(made).permissions().testFlag(QFileDevice::ReadOther)); // the site's reader reads it
    QCOMPARE(fileText(dir.filePath(QStringLiteral("images/pasted-picture-1.png"))),
             QStringLiteral("not to be replaced"));
    QTRY_VERIFY(w.form->surface()->IsDirty());
    w.form->save();
    QVERIFY2(fileText(pagePath).contains(QStringLiteral(
                 "<p id=\"p\">text<img src=\"images/pasted-picture-2.png\" width=\"30\" height=\"20\"></p>")),
             qPrintable(fileText(pagePath)));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("images"))).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// A page never saved is given its name first; dismissed, nothing is pasted.
void TestPasteRoads::pictureIntoAPageNeverSaved()
{
    QTemporaryDir dir;
    putPictureOnClipboard();
    QTest::keyClick(w.input(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(w.form->statusBar()->currentMessage().contains(QStringLiteral("not pasted")));
    QVERIFY(!page().contains(QStringLiteral("<img")));

    const QString pagePath = dir.filePath(QStringLiteral("new.html"));
    w.script.fileAnswers << pagePath;
    QTest::keyClick(w.input(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(page().contains(QStringLiteral("<img")));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("pasted-picture-1.png"))).size(), QSize(30, 20));
    w.form->save();
    QVERIFY2(fileText(pagePath).contains(
                 QStringLiteral("<img src=\"pasted-picture-1.png\" width=\"30\" height=\"20\">")),
             qPrintable(fileText(pagePath)));
}

QK_WINDOW_TEST_MAIN(TestPasteRoads)
#include "tst_pasteroads.moc"
