// Command dispatch and state refresh on the real main window and surface,
// pasting and typing there with the keys a user presses, and the handles of
// a selected picture, table or block, driven with the mouse.
#include "shell/inserthtmldialog.h"
#include "testsupport/children.h"
#include "testsupport/testwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace shell;
using namespace surface;

class TestDispatch final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void boldSelectionPressesBold();
    void fontBoxes_data();
    void fontBoxes();
    void imageSelectedDisablesInsertHtml();
    void indentButtonsFollowTheirCommands();
    void fontBeforeReadySendsNothing();
    void findFollowsThePageOnceReady();
    void colourButton();
    void formatMenuChecksCurrentFormat();
    void contextMenuInThreeSituations();
    void insertHtml_data();
    void insertHtml();
    void newPageMakesParagraphs();
    void plainTextByKeyAndFromTheContextMenu();
    void pictureIntoASavedPage();
    void pictureIntoAPageNeverSaved();
    void dragResizes_data();
    void dragResizes();
    void arrowKeysMoveNothing();
    void tableByItsFrame();
    void positionedBlockByItsEdge();

private:
    void load(const QString &html);
    QVariant js(const QString &code) { return m_window.js(code); }
    QAction *action(const char *name) { return m_form->findChild<QAction *>(QString::fromLatin1(name)); }
    QComboBox *combo(const char *name) { return m_form->findChild<QComboBox *>(QString::fromLatin1(name)); }
    void clickElement(const QString &id);
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
    QString page() const { return m_window.form->surface()->DocumentHTML(); }
    // The picture's box in the view, as the page lays it out.
    QRect pictureBox() const
    {
        const QVariantMap r = m_window
                                  .js(QStringLiteral("(() => { const b = document.getElementById('g')"
                                                     ".getBoundingClientRect(); return {x: b.left, y: b.top,"
                                                     " w: b.width, h: b.height}; })()"))
                                  .toMap();
        return QRect(
            qRound(r.value(QStringLiteral("x")).toDouble()), qRound(r.value(QStringLiteral("y")).toDouble()),
            qRound(r.value(QStringLiteral("w")).toDouble()), qRound(r.value(QStringLiteral("h")).toDouble()));
    }
    void selectPicture()
    {
        const QPoint center = pictureBox().center();
        QTest::mouseMove(m_window.input(), center);
        QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, center);
        QTRY_COMPARE(m_window.form->surface()->selectionType(), QStringLiteral("Control"));
        QTRY_VERIFY(m_window.js(QStringLiteral("!!document.querySelector('qk-handles')")).toBool());
    }
    // A page with a 100 x 50 picture, opened and laid out.
    bool openPicturePage()
    {
        QImage picture(100, 50, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        const QString path =
            writeTestFile(m_dir.filePath(QStringLiteral("page.html")),
                          "<html><body><p>Pic: <img id=\"g\" src=\"g.png\"></p></body></html>");
        if (!picture.save(m_dir.filePath(QStringLiteral("g.png"))))
            return false;
        m_window.openPage(path);
        return QTest::qWaitFor([&] {
            return m_window.form->surface()->CurrentDocumentPath() == path &&
                   pictureBox().size() == QSize(100, 50);
        });
    }

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &m_form = m_window.form;
    WebEngineSurface *m_surface = nullptr;
    QTemporaryDir m_dir;
};

void TestDispatch::init()
{
    m_script = ui::Script();
    QVERIFY(m_window.open());
    m_form->resize(900, 700);
    m_surface = static_cast<WebEngineSurface *>(m_form->surface());
    m_surface->widget()->setFocus();
}

void TestDispatch::cleanup()
{
    m_window.close();
}

void TestDispatch::load(const QString &html)
{
    m_surface->NewDocument(); // so that the page starts unchanged
    QVERIFY(m_surface->setDocumentHTML(html));
    QVERIFY(!m_surface->IsDirty());
}

void TestDispatch::clickElement(const QString &id)
{
    const QVariantMap r =
        js(QStringLiteral("(() => { const b = document.getElementById('%1').getBoundingClientRect();"
                          " return {x: b.left + b.width / 2, y: b.top + b.height / 2}; })()")
               .arg(id))
            .toMap();
    QWidget *target = m_window.input();
    const QPoint p(qRound(r.value(QStringLiteral("x")).toDouble()),
                   qRound(r.value(QStringLiteral("y")).toDouble()));
    QTest::mouseMove(target, p);
    QTest::mouseClick(target, Qt::LeftButton, {}, p);
}

// Selects the contents of the element with the id (or puts the caret in it).
static QString selectScript(const QString &id, bool caretOnly)
{
    return QStringLiteral(
               "(() => { const r = document.createRange(); const e = document.getElementById('%1');"
               " r.selectNodeContents(e); if (%2) r.collapse(true);"
               " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()")
        .arg(id, caretOnly ? QStringLiteral("true") : QStringLiteral("false"));
}

void TestDispatch::boldSelectionPressesBold()
{
    load(QStringLiteral("<html><body><p>plain <b id=b>bold words</b> end</p></body></html>"));
    js(selectScript(QStringLiteral("b"), false));
    QTRY_VERIFY(action("Bold")->isChecked());
    QVERIFY(action("Bold")->isEnabled());
    QVERIFY(!action("Italic")->isChecked());
    js(selectScript(QStringLiteral("b"), true));
    js(QStringLiteral("document.getSelection().modify('move', 'backward', 'paragraphboundary'), true"));
    QTRY_VERIFY(!action("Bold")->isChecked());
}

void TestDispatch::fontBoxes_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("caret");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("nameEnabled");
    QTest::addColumn<QString>("size");
    QTest::newRow("one font") << "<p id=t><font face=Arial size=5>same</font></p>" << true << "Arial" << true
                              << "5";
    QTest::newRow("mixed fonts")
        << "<p id=t><font face=Arial>aa</font><font face=Verdana size=6>bb</font></p>" << false << "" << true
        << "";
}

void TestDispatch::fontBoxes()
{
    QFETCH(QString, html);
    QFETCH(bool, caret);
    QFETCH(QString, name);
    QFETCH(bool, nameEnabled);
    QFETCH(QString, size);
    load(QStringLiteral("<html><body>%1</body></html>").arg(html));
    if (caret)
        js(QStringLiteral(
            "(() => { const t = document.querySelector('#t font').firstChild; const r = "
            "document.createRange();"
            " r.setStart(t, 1); r.collapse(true); const s = document.getSelection(); s.removeAllRanges();"
            " s.addRange(r); return true; })()"));
    else
        js(selectScript(QStringLiteral("t"), false));
    QTRY_COMPARE(combo("FontCombo")->currentText(), name);
    QTRY_COMPARE(combo("FontCombo")->isEnabled(), nameEnabled);
    QTRY_COMPARE(combo("FontSizeCombo")->currentText(), size);
    QVERIFY(combo("FontSizeCombo")->isEnabled());
}

void TestDispatch::imageSelectedDisablesInsertHtml()
{
    load(QStringLiteral(
        "<html><body><p>text <img id=i style=\"width:40px;height:40px\"> more</p></body></html>"));
    QMenu *insert = m_form->findChild<QMenu *>(QStringLiteral("Insert"));
    QVERIFY(insert);
    emit insert->aboutToShow();
    QVERIFY(action("InsertHTML")->isEnabled());
    clickElement(QStringLiteral("i"));
    QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Control"));
    emit insert->aboutToShow();
    QVERIFY(!action("InsertHTML")->isEnabled());
    // Fonts do not apply to a picture: boxes empty and disabled.
    QTRY_VERIFY(!combo("FontCombo")->isEnabled());
    QCOMPARE(combo("FontCombo")->currentText(), QString());
    QVERIFY(!action("Bold")->isEnabled());
}

void TestDispatch::indentButtonsFollowTheirCommands()
{
    load(QStringLiteral("<html><body><p id=p>para</p><ul><li id=li>item</li></ul></body></html>"));
    js(selectScript(QStringLiteral("p"), true));
    QTRY_VERIFY(action("Indent")->isEnabled());
    QTRY_VERIFY(!action("Outdent")->isEnabled());
    js(selectScript(QStringLiteral("li"), true));
    QTRY_VERIFY(action("Outdent")->isEnabled());
    QVERIFY(action("Bullets")->isChecked());
    action("Bullets")->trigger(); // out of the list
    QTRY_VERIFY(!action("Bullets")->isChecked());
    QVERIFY(!action("Outdent")->isEnabled());
}

void TestDispatch::fontBeforeReadySendsNothing()
{
    load(QStringLiteral("<html><body><p id=p>para</p></body></html>"));
    js(selectScript(QStringLiteral("p"), false));
    QTRY_VERIFY(combo("FontCombo")->isEnabled());
    m_form->documentReady = false;
    emit combo("FontCombo")->activated(1);
    emit combo("FontSizeCombo")->activated(6);
    QVERIFY(!m_surface->IsDirty());
    m_form->documentReady = true;
    emit combo("FontCombo")->activated(1);
    QTRY_VERIFY(m_surface->DocumentHTML().contains(QStringLiteral("face=\"Arial\"")));
}

// Edit opened while a page loads shows Find disabled; once the page is ready
// Find is offered again, and Ctrl+F opens it without the menu being opened.
void TestDispatch::findFollowsThePageOnceReady()
{
    QAction *find = m_form->findChild<QAction *>(QStringLiteral("EditSub_8"));
    m_surface->beginDocumentHTML(QStringLiteral("<html><body><p>find me</p></body></html>"));
    emit m_form->findChild<QMenu *>(QStringLiteral("Edit"))->aboutToShow();
    QVERIFY(!find->isEnabled());
    QTRY_VERIFY(find->isEnabled());
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QTest::keyClick(m_window.input(), Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(m_surface->findDialog() && m_surface->findDialog()->isVisible());
    m_surface->findDialog()->close();
}

void TestDispatch::colourButton()
{
    load(QStringLiteral("<html><body><p id=p>para</p></body></html>"));
    js(selectScript(QStringLiteral("p"), false));
    QTRY_VERIFY(action("Color")->isEnabled());
    m_script.colorAnswers << QColor(); // cancelled
    m_form->chooseTextColor();
    QVERIFY(!m_surface->IsDirty());
    m_script.colorAnswers << QColor(0x56, 0x34, 0x12);
    m_form->chooseTextColor();
    QVERIFY2(m_surface->DocumentHTML().contains(QStringLiteral("#563412"), Qt::CaseInsensitive),
             qPrintable(m_surface->DocumentHTML()));
}

void TestDispatch::formatMenuChecksCurrentFormat()
{
    load(QStringLiteral("<html><body><h2 id=h>head</h2><p id=p>para</p></body></html>"));
    js(selectScript(QStringLiteral("h"), true));
    QTRY_COMPARE(m_form->findChild<QLabel *>(QStringLiteral("Panel1"))->text(), QStringLiteral("Heading 2"));
    QMenu *format = m_form->findChild<QMenu *>(QStringLiteral("Format"));
    emit format->aboutToShow();
    for (int i = 0; i < 16; ++i) {
        QAction *a = m_form->findChild<QAction *>(QStringLiteral("FormatSub_%1").arg(i));
        QCOMPARE(a->isChecked(), a->text() == QLatin1String("Heading 2"));
    }
    // Choosing an item sets that format at the caret.
    js(selectScript(QStringLiteral("p"), true));
    QTRY_COMPARE(m_form->findChild<QLabel *>(QStringLiteral("Panel1"))->text(), QStringLiteral("Paragraph"));
    m_form->findChild<QAction *>(QStringLiteral("FormatSub_5"))->trigger(); // Heading 3
    QTRY_VERIFY2(m_surface->DocumentHTML().contains(QStringLiteral("<h3>para</h3>")),
                 qPrintable(m_surface->DocumentHTML()));
}

void TestDispatch::contextMenuInThreeSituations()
{
    load(QStringLiteral(
        "<html><body><p id=p>para</p><table><tr><td id=c>cell</td></tr></table></body></html>"));
    // Where the item doing the command stands in the menu shown last (-1: not there).
    const auto position = [this](int command) {
        const QList<commands::ContextItem> &items = m_form->contextMenu.items;
        for (int i = 0; i < items.size(); ++i)
            if (items[i].command.command == command)
                return i;
        return -1;
    };
    js(selectScript(QStringLiteral("p"), true));
    QTRY_COMPARE(m_surface->QueryStatus(DECMD_INSERTROW), int(DECMDF_DISABLED));
    emit m_surface->ShowContextMenu();
    QCOMPARE(m_form->contextMenu.items.value(position(DECMD_CUT)).state, 2); // nothing selected: greyed
    QCOMPARE(position(DECMD_INSERTROW), -1);

    js(selectScript(QStringLiteral("c"), true));
    QTRY_COMPARE(m_surface->QueryStatus(DECMD_INSERTROW), int(DECMDF_ENABLED));
    emit m_surface->ShowContextMenu();
    // The table's items come after the positioning one where a block can be
    // positioned: each still does its own command.
    emit m_surface->ContextMenuAction(position(DECMD_INSERTROW));
    QTRY_COMPARE(js(QStringLiteral("document.querySelectorAll('tr').length")).toInt(), 2);
    // A separator does nothing.
    const int htmlBefore = m_surface->DocumentHTML().size();
    emit m_surface->ContextMenuAction(int(m_form->contextMenu.captions().indexOf(QString())));
    emit m_surface->ContextMenuAction(position(DECMD_SELECTALL));
    QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Text"));
    QCOMPARE(m_surface->DocumentHTML().size(), htmlBefore);
}

void TestDispatch::insertHtml_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("gone");
    QTest::newRow("sample") << QString() << "<b> Quillon Kiv is <i>great!</i></b>"
                            << "";
    QTest::newRow("empty box deletes the selection") << ""
                                                     << "<p id=p>ab</p>"
                                                     << "XY";
    QTest::newRow("unbalanced markup") << "<b>open"
                                       << "<b>open</b>"
                                       << "XY";
}

void TestDispatch::insertHtml()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(QString, gone);
    load(QStringLiteral("<html><body><p id=p>a<span id=s>XY</span>b</p></body></html>"));
    js(selectScript(QStringLiteral("s"), false));
    InsertHtmlDialog dialog(m_surface, m_form.get());
    QCOMPARE(child<QLineEdit>(dialog, "HTMLText")->selectedText(),
             child<QLineEdit>(dialog, "HTMLText")->text());
    QCOMPARE(child<QLineEdit>(dialog, "HTMLText")->text(),
             QStringLiteral("<B> Quillon Kiv is <I>great!</></B>"));
    if (!typed.isNull())
        child<QLineEdit>(dialog, "HTMLText")->setText(typed);
    dialog.insert();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QString html = m_surface->DocumentHTML();
    QVERIFY2(html.contains(expected, Qt::CaseInsensitive), qPrintable(html));
    if (!gone.isEmpty())
        QVERIFY2(!html.contains(gone), qPrintable(html));
}

void TestDispatch::newPageMakesParagraphs()
{
    QTest::keyClicks(m_window.input(), QStringLiteral("one"));
    QTest::keyClick(m_window.input(), Qt::Key_Return);
    QTest::keyClicks(m_window.input(), QStringLiteral("two"));
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>one</p><p>two</p>")), qPrintable(page()));
    QVERIFY2(!page().contains(QStringLiteral("<div"), Qt::CaseInsensitive), qPrintable(page()));
}

void TestDispatch::plainTextByKeyAndFromTheContextMenu()
{
    QTest::keyClicks(m_window.input(), QStringLiteral("a"));
    QTRY_VERIFY(m_window.form->surface()->IsDirty());
    putOnClipboard(QStringLiteral("<b style=\"color:red\">bold</b>"), QStringLiteral("bold"));
    QTest::keyClick(m_window.input(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>abold</p>")), qPrintable(page()));

    putOnClipboard(QStringLiteral("<i>more</i>"), QStringLiteral("more"));
    emit m_window.form->surface()->ShowContextMenu();
    const QStringList captions = m_window.form->contextMenu.captions();
    const qsizetype at = captions.indexOf(QStringLiteral("Paste as Plain Text"));
    QCOMPARE(at, captions.indexOf(QStringLiteral("Paste")) + 1);
    emit m_window.form->surface()->ContextMenuAction(int(at));
    QTRY_VERIFY2(page().contains(QStringLiteral("<p>aboldmore</p>")), qPrintable(page()));
}

// A screenshot pasted with Ctrl+V: a file of its own in the page's images
// folder, beside a picture it must not replace, and relative once saved.
void TestDispatch::pictureIntoASavedPage()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("images")));
    writeTestFile(dir.filePath(QStringLiteral("images/pasted-picture-1.png")), "not to be replaced");
    const QString pagePath = dir.filePath(QStringLiteral("page.html"));
    writeTestFile(pagePath, "<html><body><p id=\"p\">text</p></body></html>");
    m_window.openPage(pagePath);
    QTRY_COMPARE(m_window.form->surface()->CurrentDocumentPath(), pagePath);
    m_window.form->surface()->widget()->setFocus();
    QTest::keyClick(m_window.input(), Qt::Key_End, Qt::ControlModifier);
    putPictureOnClipboard();
    QTest::keyClick(m_window.input(), Qt::Key_V, Qt::ControlModifier);
    const QString made = dir.filePath(QStringLiteral("images/pasted-picture-2.png"));
    QTRY_VERIFY(QFileInfo::exists(made));
    QCOMPARE(QImage(made).size(), QSize(30, 20));
    QVERIFY(QFileInfo(made).permissions().testFlag(QFileDevice::ReadOther)); // the site's reader reads it
    QCOMPARE(fileText(dir.filePath(QStringLiteral("images/pasted-picture-1.png"))),
             QStringLiteral("not to be replaced"));
    QTRY_VERIFY(m_window.form->surface()->IsDirty());
    m_window.form->save();
    QVERIFY2(fileText(pagePath).contains(QStringLiteral(
                 "<p id=\"p\">text<img src=\"images/pasted-picture-2.png\" width=\"30\" height=\"20\"></p>")),
             qPrintable(fileText(pagePath)));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("images"))).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

// A page never saved is given its name first; dismissed, nothing is pasted.
void TestDispatch::pictureIntoAPageNeverSaved()
{
    QTemporaryDir dir;
    putPictureOnClipboard();
    QTest::keyClick(m_window.input(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(m_window.form->statusBar()->currentMessage().contains(QStringLiteral("not pasted")));
    QVERIFY(!page().contains(QStringLiteral("<img")));

    const QString pagePath = dir.filePath(QStringLiteral("new.html"));
    m_window.script.fileAnswers << pagePath;
    QTest::keyClick(m_window.input(), Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY(page().contains(QStringLiteral("<img")));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("pasted-picture-1.png"))).size(), QSize(30, 20));
    m_window.form->save();
    QVERIFY2(fileText(pagePath).contains(
                 QStringLiteral("<img src=\"pasted-picture-1.png\" width=\"30\" height=\"20\">")),
             qPrintable(fileText(pagePath)));
}

void TestDispatch::dragResizes_data()
{
    QTest::addColumn<QPointF>("handle"); // where on the picture's box, 0 to 1
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QString>("size");
    QTest::newRow("corner keeps the proportions") << QPointF(1, 1) << QPoint(40, 5) << "140 x 70";
    QTest::newRow("right edge: the width") << QPointF(1, 0.5) << QPoint(30, 40) << "130 x 50";
    QTest::newRow("bottom edge: the height") << QPointF(0.5, 1) << QPoint(30, -20) << "100 x 30";
}

void TestDispatch::dragResizes()
{
    QFETCH(QPointF, handle);
    QFETCH(QPoint, drag);
    QFETCH(QString, size);
    QVERIFY(openPicturePage());
    selectPicture();
    const QRect box = pictureBox();
    const QPoint from(box.x() + qRound(handle.x() * box.width()),
                      box.y() + qRound(handle.y() * box.height()));
    QTest::mouseMove(m_window.input(), from);
    QTest::mousePress(m_window.input(), Qt::LeftButton, {}, from);
    QTest::mouseMove(m_window.input(), from + drag / 2);
    QTest::mouseMove(m_window.input(), from + drag);
    QTRY_COMPARE(m_window.form->statusBar()->currentMessage(), size + QStringLiteral(" pixels"));
    QTest::mouseRelease(m_window.input(), Qt::LeftButton, {}, from + drag);
    const QStringList wh = size.split(QStringLiteral(" x "));
    const QString resized =
        QStringLiteral("<img id=\"g\" src=\"g.png\" width=\"%1\" height=\"%2\">").arg(wh[0], wh[1]);
    QTRY_VERIFY2(page().contains(resized), qPrintable(page()));
    QVERIFY(m_window.form->statusBar()->currentMessage().isEmpty());
    QCOMPARE(m_window.form->surface()->selectionType(),
             QStringLiteral("Control")); // still selected, handles and all
    // One step to undo.
    QVERIFY(m_window.form->surface()->ExecCommand(DECMD_UNDO).isValid());
    QTRY_VERIFY2(page().contains(QStringLiteral("<img id=\"g\" src=\"g.png\">")), qPrintable(page()));
}

void TestDispatch::arrowKeysMoveNothing()
{
    QVERIFY(openPicturePage());
    const QString before = page();
    selectPicture();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Down, Qt::Key_Up})
        QTest::keyClick(m_window.input(), key);
    QTRY_VERIFY(!m_window.js(QStringLiteral("!!document.querySelector('qk-handles')")).toBool());
    QCOMPARE(page(), before);
    QVERIFY(!m_window.form->surface()->IsDirty());
}

// A click on a table's frame selects the table; a corner resizes it.
void TestDispatch::tableByItsFrame()
{
    const QString path = writeTestFile(m_dir.filePath(QStringLiteral("table.html")),
                                       "<html><body><table id=\"t\" border=\"8\" width=\"200\" height=\"60\">"
                                       "<tr><td>cell</td></tr></table><p>after</p></body></html>");
    m_window.openPage(path);
    QTRY_COMPARE(m_window.form->surface()->CurrentDocumentPath(), path);
    const QVariantMap r =
        m_window
            .js(QStringLiteral("(() => { const b = document.getElementById('t')"
                               ".getBoundingClientRect(); return {x: b.left, y: b.top}; })()"))
            .toMap();
    const QPoint corner(qRound(r.value(QStringLiteral("x")).toDouble()),
                        qRound(r.value(QStringLiteral("y")).toDouble()));
    const QPoint frame = corner + QPoint(3, 30); // on the left border
    QTest::mouseMove(m_window.input(), frame);
    QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, frame);
    QTRY_COMPARE(m_window.form->surface()->selectionType(), QStringLiteral("Control"));
    const QPoint handle = corner + QPoint(200, 60);
    QTest::mouseMove(m_window.input(), handle);
    QTest::mousePress(m_window.input(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(m_window.input(), handle + QPoint(100, 0));
    QTest::mouseRelease(m_window.input(), Qt::LeftButton, {}, handle + QPoint(100, 0));
    QTRY_VERIFY2(page().contains(QStringLiteral(
                     "<table id=\"t\" border=\"8\" width=\"300\" "
                     "height=\"90\"><tbody><tr><td>cell</td></tr></tbody></table><p>after</p>")),
                 qPrintable(page()));
}

// A click on the edge of a positioned block selects it; an edge resizes it.
void TestDispatch::positionedBlockByItsEdge()
{
    const QString path =
        writeTestFile(m_dir.filePath(QStringLiteral("box.html")),
                      "<html><body><div id=\"b\" style=\"position: absolute; left: 50px; top: 40px;"
                      " width: 120px; height: 80px; border: 2px solid\">boxed</div></body></html>");
    m_window.openPage(path);
    QTRY_COMPARE(m_window.form->surface()->CurrentDocumentPath(), path);
    const QPoint edge(51, 80);
    QTest::mouseMove(m_window.input(), edge);
    QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, edge);
    QTRY_COMPARE(m_window.form->surface()->selectionType(), QStringLiteral("Control"));
    const QPoint handle(50 + 124, 40 + 42); // the right edge's handle
    QTest::mouseMove(m_window.input(), handle);
    QTest::mousePress(m_window.input(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(m_window.input(), handle + QPoint(36, 20));
    QTest::mouseRelease(m_window.input(), Qt::LeftButton, {}, handle + QPoint(36, 20));
    QTRY_VERIFY2(page().contains(QStringLiteral("width: 156px; height: 80px;")), qPrintable(page()));
    QVERIFY(page().contains(QStringLiteral("left: 50px; top: 40px;"))); // it stays where it was
}

QK_WINDOW_TEST_MAIN(TestDispatch)

#include "tst_dispatch.moc"
