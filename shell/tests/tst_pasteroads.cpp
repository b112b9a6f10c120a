// Pasting and typing in the whole window, with the keys a user presses.
#include "testsupport/testwindow.h"

#include <QAction>
#include <QClipboard>
#include <QMimeData>

using namespace surface;

class TestPasteRoads final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void newPageMakesParagraphs();
    void plainTextByKeyAndFromTheContextMenu();

private:
    static void putOnClipboard(const QString &html, const QString &text)
    {
        auto *data = new QMimeData; // the clipboard owns it
        data->setHtml(html);
        data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data);
    }
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

QK_WINDOW_TEST_MAIN(TestPasteRoads)
#include "tst_pasteroads.moc"
