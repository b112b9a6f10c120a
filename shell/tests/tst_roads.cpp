// Whole roads through the program with the real engine: a menu opens a
// dialog, the dialog is filled as a person fills it, and what the engine made
// of the result is read back from the page and from the saved file. The
// link and image dialogs and a dropped picture work on what the user
// selected: a picture clicked on, or text that holds markup characters.
// Pages that try to run, navigate, exhaust or confuse the editor each open
// (or fail with the load error box), run nothing, go nowhere, and an
// unchanged page saved back keeps what it had. And the program's windows as
// a screen reader finds them: every control a person can use says what it is.
#include "about/aboutbox.h"
#include "hyperlink/hyperlinkdialog.h"
#include "image/insertimagedialog.h"
#include "pageprops/pagepropertiesdialog.h"
#include "publish/publishdialog.h"
#include "shell/inserthtmldialog.h"
#include "shell/sourceview.h"
#include "surface/surfacedialogs.h"
#include "testsupport/children.h"
#include "testsupport/testwindow.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace shell;
using namespace surface;

namespace {
// A 2 x 3 GIF (Qt reads GIF but cannot write it).
const QByteArray kGif = QByteArray::fromHex("47494638396102000300800000ff0000ffffff2c000000000200030000020384"
                                            "6f05003b");

// Fills the next modal dialog of type Dialog once it shows (the window may
// wait on the page before it opens one); false is left in answered when
// another window came instead.
template <typename Dialog> void whenShown(bool &answered, std::function<void(Dialog &)> fill)
{
    answered = false;
    auto *timer = new QTimer(qApp); // the application owns it until it is done
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [&answered, fill, timer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        if (auto *d = qobject_cast<Dialog *>(modal)) {
            answered = true;
            fill(*d);
        } else {
            modal->close();
        }
    });
    timer->start();
}
struct NoPasswords final : publish::PasswordStore
{
    void read(QObject *, std::function<void(std::optional<QString>)> done) override { done(std::nullopt); }
    void write(const QString &, QObject *, std::function<void(bool)> done) override { done(false); }
    void remove() override {}
};

bool interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::SpinBox:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::Button:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Slider:
        return true;
    default:
        return false;
    }
}

// A combo box's name on some platforms is its current text, and a label
// names it through a relation; its own name or a label will do.
bool named(QAccessibleInterface *iface)
{
    if (!iface->text(QAccessible::Name).trimmed().isEmpty())
        return true;
    if (iface->role() != QAccessible::ComboBox)
        return false;
    const auto *widget = qobject_cast<const QWidget *>(iface->object());
    return (widget && !widget->accessibleName().isEmpty()) || !iface->relations(QAccessible::Label).isEmpty();
}

// The unnamed controls under iface, as "objectName (class)" or the path to them.
void collectUnnamed(QAccessibleInterface *iface, const QWidget *skip, const QString &path, QStringList &out)
{
    const auto *widget = qobject_cast<const QWidget *>(iface->object());
    if (widget && skip && (widget == skip || skip->isAncestorOf(widget)))
        return; // the page itself: its content is the author's, not ours
    const QString here =
        path + u'/' +
        (widget ? (widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                  : widget->objectName())
                : QStringLiteral("#%1").arg(int(iface->role())));
    if (widget && interactive(iface->role()) && !named(iface))
        out << here + QStringLiteral(" (%1)").arg(QString::fromLatin1(widget->metaObject()->className()));
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        // A combo box's drop-down list is read out as the box's own items.
        if (child && !(iface->role() == QAccessible::ComboBox && child->role() == QAccessible::List))
            collectUnnamed(child, skip, here, out);
    }
}
} // namespace

class TestRoads final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void linkReplacesWhatTheSelectionShows_data();
    void linkReplacesWhatTheSelectionShows();
    void insertedFileIsSavedRelative_data();
    void insertedFileIsSavedRelative();
    void referencesSavedAsTheyRead_data();
    void referencesSavedAsTheyRead();
    void pagePropertiesEditThePageInPlace_data();
    void pagePropertiesEditThePageInPlace();
    void underlineKeyUnderlinesTyping();
    void selectedPicture_data();
    void selectedPicture();
    void activePage();
    void pages_data();
    void pages();
    void everyControlIsNamed_data();
    void everyControlIsNamed();

private:
    EditSurface *surface() const { return m_window.form->surface(); }
    // The body's markup, with the engine's choice between a space and a
    // no-break space left out.
    QString body() const { return spaced(QStringLiteral("document.body.innerHTML")); }
    QString paragraph() const { return spaced(QStringLiteral("document.querySelector('p').innerHTML")); }
    QString spaced(const QString &markup) const
    {
        return m_window.js(markup).toString().replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    }
    // Where a person clicks on an element's first line: a little inside its left edge.
    QPoint pointOn(const QString &selector) const;
    void click(const QString &selector)
    {
        QTest::mouseMove(m_window.input(), pointOn(selector));
        QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, pointOn(selector));
    }
    // Three clicks in quick succession on an element, as a person makes them.
    void tripleClick(const QString &selector);

    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeTestFile(m_dir->filePath(name), bytes);
    }
    QVariant js(const QString &code) { return m_window.js(code); }

    std::unique_ptr<QWidget> make(const QString &window);

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &m_form = m_window.form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRoads::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestRoads::init()
{
    m_window.script = ui::Script();
    m_dir = std::make_unique<QTemporaryDir>();
    surface()->NewDocument(); // no save prompt for the last test's page
    image::InsertImageDialog::lastImageFolder().clear();
}

QPoint TestRoads::pointOn(const QString &selector) const
{
    const QVariantMap r =
        m_window
            .js(QStringLiteral("(() => { const b = document.querySelector('%1').getBoundingClientRect();"
                               " return {x: b.left + 10, y: b.top + b.height / 2}; })()")
                    .arg(selector))
            .toMap();
    return {r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt()};
}

void TestRoads::tripleClick(const QString &selector)
{
    QWidget *target = m_window.input();
    const QPoint p = pointOn(selector);
    QTest::mouseMove(target, p);
    // QTest spaces its clicks apart so that they never count as one; the
    // engine counts presses that come within the double-click interval.
    ulong time = 1'000'000;
    for (int click = 0; click < 3; ++click)
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, p, target->mapToGlobal(p), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
            e.setTimestamp(time += 30);
            QApplication::sendEvent(target, &e);
        }
}

void TestRoads::linkReplacesWhatTheSelectionShows_data()
{
    QTest::addColumn<QString>("page");     // the body's markup
    QTest::addColumn<QString>("select");   // script that selects with r (a range) and text(selector)
    QTest::addColumn<QString>("linkText"); // typed; null: as the selection fills it
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected"); // the body's markup after OK
    QTest::newRow("triple-clicked line") << "<div id=s>Triple click me</div><div>Next paragraph</div>"
                                         << "triple-click" << QString() << "https://example.org/t"
                                         << "<div id=\"s\"><a href=\"https://example.org/t\">Triple click "
                                            "me</a></div><div>Next paragraph</div>";
    QTest::newRow("from the end of the line before")
        << "<p>abc</p><p id=s>Link me</p>"
        << "r.setStart(text('p'), 3); r.setEnd(text('#s'), 7);" << QString() << "x.html"
        << "<p>abc</p><p id=\"s\"><a href=\"x.html\">Link me</a></p>";
    QTest::newRow("start of a named anchor's text")
        << "<p><a name=\"bottom\">Go to bottom Bottom here</a></p>"
        << "r.setStart(text('a'), 0); r.setEnd(text('a'), 12);" << QString() << "#bottom"
        << "<p><a href=\"#bottom\">Go to bottom</a><a name=\"bottom\"> Bottom here</a></p>";
    QTest::newRow("middle of a named anchor's text")
        << "<p>x <a name=\"bottom\" class=\"c\">Go to bottom</a> y</p>"
        << "r.setStart(text('a'), 3); r.setEnd(text('a'), 5);" << QString() << "#bottom"
        << "<p>x <a name=\"bottom\" class=\"c\">Go </a><a href=\"#bottom\">to</a><a class=\"c\"> bottom</a> "
           "y</p>";
    QTest::newRow("all of a named anchor's text")
        << "<p><a name=\"bottom\">Bottom</a></p>"
        << "r.selectNodeContents(document.querySelector('a'));" << QString() << "#bottom"
        << "<p><a name=\"bottom\"></a><a href=\"#bottom\">Bottom</a></p>";
    QTest::newRow("caret inside a link")
        << "<p><a href=\"a.html\">one two</a></p>"
        << "r.setStart(text('a'), 3); r.collapse(true);"
        << "new"
        << "b.html"
        << "<p><a href=\"a.html\">one</a><a href=\"b.html\">new</a><a href=\"a.html\"> two</a></p>";
    // Linked untouched, the selection's text reads the same, markup characters and all.
    QTest::newRow("text with markup characters")
        << "<p id=s>a&lt;b and c&gt;d &amp;copy</p>"
        << "r.selectNodeContents(document.querySelector('#s'));" << QString() << "x.html"
        << "<p id=\"s\"><a href=\"x.html\">a&lt;b and c&gt;d &amp;copy</a></p>";
}

// Insert > Hyperlink: what the link replaces is what the user sees selected,
// and a link never lands inside another anchor, which the next load would
// take apart.
void TestRoads::linkReplacesWhatTheSelectionShows()
{
    QFETCH(QString, page);
    QFETCH(QString, select);
    QFETCH(QString, linkText);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    // In standards mode, as the program's own pages are.
    QVERIFY(
        surface()->setDocumentHTML(QStringLiteral("<!DOCTYPE html><html><body>%1</body></html>").arg(page)));
    const QString before = body();
    if (select == QLatin1String("triple-click")) {
        tripleClick(QStringLiteral("#s"));
        // The engine's own line selection: from the line's text to the start
        // of the next block.
        QTRY_COMPARE(m_window
                         .js(QStringLiteral("(() => { const s = document.getSelection();"
                                            " return [s.anchorNode.nodeName, s.anchorOffset,"
                                            " s.focusNode.textContent, s.focusOffset].join(); })()"))
                         .toString(),
                     QStringLiteral("#text,0,Next paragraph,0"));
    } else
        m_window.js(
            QStringLiteral(
                "(() => { const text = (q) => document.querySelector(q).firstChild;"
                " const r = document.createRange(); %1"
                " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()")
                .arg(select));
    QTRY_COMPARE(surface()->selectionType(),
                 linkText.isNull() ? QStringLiteral("Text") : QStringLiteral("None"));
    bool answered = false;
    whenShown<hyperlink::HyperlinkDialog>(answered, [&](hyperlink::HyperlinkDialog &d) {
        if (!linkText.isNull())
            child<QLineEdit>(d, "LText1")->setText(linkText);
        child<QComboBox>(d, "httpsite")->setEditText(address);
        d.insertLink();
        if (d.isVisible())
            d.reject(); // a field check kept it open
    });
    m_window.trigger(QStringLiteral("mnuInsertHyperlink"));
    QVERIFY(answered);
    QCOMPARE(body(), expected);
    // The link is one step to undo, and the page reads back as it stands.
    surface()->ExecCommand(DECMD_UNDO);
    QTRY_COMPARE(body(), before);
    surface()->ExecCommand(DECMD_REDO);
    QTRY_COMPARE(body(), expected);
    QVERIFY(surface()->setDocumentHTML(surface()->DocumentHTML()));
    QCOMPARE(body(), expected);
}

void TestRoads::insertedFileIsSavedRelative_data()
{
    QTest::addColumn<QString>("menu"); // Insert > Image or Insert > Page Properties
    QTest::addColumn<QString>("file"); // under the page's folder
    QTest::addColumn<QString>("attribute");
    QTest::newRow("picture") << "image"
                             << "img/logo.gif"
                             << "src";
    QTest::newRow("background") << "page properties"
                                << "bg/paper.gif"
                                << "background";
}

// The typical road: open a page, put a file from its folder into it through a
// dialog, see it, save, and find the reference relative to the page.
void TestRoads::insertedFileIsSavedRelative()
{
    QFETCH(QString, menu);
    QFETCH(QString, file);
    QFETCH(QString, attribute);
    const QString page =
        writeTestFile(m_dir->filePath(QStringLiteral("site/index.html")),
                      "<html><head><title>Site</title></head><body><p>Welcome</p></body></html>");
    const QString picture = writeTestFile(m_dir->filePath(QStringLiteral("site/") + file), kGif);
    m_window.openPage(page);
    QCOMPARE(surface()->CurrentDocumentPath(), page);

    bool answered = false;
    if (menu == QLatin1String("image")) {
        whenShown<image::InsertImageDialog>(answered, [&](image::InsertImageDialog &d) {
            d.setFolder(QFileInfo(picture).absolutePath());
            d.pickListedFile(child<QListWidget>(d, "File1")
                                 ->findItems(QFileInfo(picture).fileName(), Qt::MatchExactly)
                                 .value(0));
            child<QLineEdit>(d, "Alt")->setText(QStringLiteral("Logo"));
            d.insertImage();
        });
        m_window.trigger(QStringLiteral("mnuInsertImage"));
    } else {
        whenShown<pageprops::PagePropertiesDialog>(answered, [&](pageprops::PagePropertiesDialog &d) {
            child<QLineEdit>(d, "Text9")->setText(picture);
            d.applyToPage();
        });
        m_window.trigger(QStringLiteral("mnuInsertPageProperties"));
    }
    QVERIFY(answered);
    const QString inserted = attribute + QStringLiteral("=\"file://") + picture + u'"';
    QVERIFY2(surface()->DocumentHTML().contains(inserted), qPrintable(surface()->DocumentHTML()));
    if (menu == QLatin1String("image"))
        QTRY_COMPARE(m_window.js(QStringLiteral("document.querySelector('img').naturalWidth")).toInt(), 2);

    QVERIFY(m_window.form->savePage(false));
    const QByteArray relative = (attribute + QStringLiteral("=\"") + file + u'"').toUtf8();
    QVERIFY2(readTestFile(page).contains(relative), readTestFile(page).constData());
    QVERIFY(surface()->DocumentHTML().contains(QString::fromUtf8(relative)));
    if (menu == QLatin1String("image"))
        QTRY_COMPARE(m_window.js(QStringLiteral("document.querySelector('img').naturalWidth")).toInt(), 2);
}

void TestRoads::referencesSavedAsTheyRead_data()
{
    QTest::addColumn<QString>("road"); // unchanged, pasted, or whole page (no recipe)
    QTest::addColumn<QString>("body"); // {site}: the site's folder as a path
    QTest::addColumn<QStringList>("saved");
    // A file URL as browsers write it: escaped once, and written relative escaped once.
    const QString escaped = QString::fromUtf8(R"(<img src="file://{site}/images/caf%C3%A9%201.png">)");
    const QStringList relative{QString::fromUtf8(R"(src="images/caf%C3%A9%201.png")")};
    QTest::newRow("escaped file url, unchanged") << "unchanged" << escaped << relative;
    QTest::newRow("escaped file url, pasted") << "pasted" << escaped << relative;
    QTest::newRow("escaped file url, whole page") << "whole page" << escaped << relative;
    // A path from the root is a local file only where that file exists.
    const QString rooted =
        QString::fromUtf8(R"(<a href="/about.html">About</a><img src="{site}/images/logo.gif">)");
    const QStringList kept{QString::fromUtf8(R"(href="/about.html")"),
                           QStringLiteral(R"(src="images/logo.gif")")};
    QTest::newRow("site-root link, pasted") << "pasted" << rooted << kept;
    QTest::newRow("site-root link, whole page") << "whole page" << rooted << kept;
}

void TestRoads::referencesSavedAsTheyRead()
{
    QFETCH(QString, road);
    QFETCH(QString, body);
    QFETCH(QStringList, saved);
    const QString site = m_dir->filePath(QStringLiteral("site"));
    writeTestFile(site + QStringLiteral("/images/café 1.png"), kGif);
    writeTestFile(site + QStringLiteral("/images/logo.gif"), kGif);
    body.replace(QStringLiteral("{site}"), site);
    const bool pasted = road == QLatin1String("pasted");
    const QString page = writeTestFile(site + QStringLiteral("/index.html"),
                                       "<html><head><title>Site</title></head><body><p>Welcome</p>" +
                                           (pasted ? QByteArray() : body.toUtf8()) + "</body></html>");
    m_window.openPage(page);
    QCOMPARE(surface()->CurrentDocumentPath(), page);
    if (pasted) {
        QVERIFY(m_window.edit(body));
    } else if (road == QLatin1String("whole page")) {
        QVERIFY(m_window.edit());
        QVERIFY(
            m_window.js(QStringLiteral("qk.recipe = () => { throw new Error('no recipe'); }; 1")).toBool());
    }
    QVERIFY(m_window.form->savePage(false));
    const QByteArray file = readTestFile(page);
    for (const QString &reference : saved)
        QVERIFY2(file.contains(reference.toUtf8()), file.constData());
}

void TestRoads::pagePropertiesEditThePageInPlace_data()
{
    QTest::addColumn<bool>("colour"); // the text colour changes too
    QTest::newRow("title") << false;
    QTest::newRow("title and colour") << true;
}

// A page in Latin-1 keeps its charset and every byte the dialog did not
// change; the page is not read again, and one Undo takes the title back.
void TestRoads::pagePropertiesEditThePageInPlace()
{
    QFETCH(bool, colour);
    const QByteArray head = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                            "charset=iso-8859-1\">\r\n<title>";
    const QByteArray rest = "</title></head>\r\n<body><p>Caf\xE9 \xFC"
                            "ber &eacute;t\xE9</p></body></html>\r\n";
    const QString page = writeTestFile(m_dir->filePath(QStringLiteral("latin.html")), head + "Alt" + rest);
    m_window.openPage(page);
    QCOMPARE(surface()->CurrentDocumentPath(), page);
    QVERIFY(m_window.js(QStringLiteral("window.notReadAgain = true")).toBool());

    const QString title = QString::fromLatin1("Neu \xE9t\xE9 & <mehr>");
    bool answered = false;
    whenShown<pageprops::PagePropertiesDialog>(answered, [&](pageprops::PagePropertiesDialog &d) {
        child<QLineEdit>(d, "Text5")->setText(title);
        if (colour)
            child<QLineEdit>(d, "Text2")->setText(QStringLiteral("ff0000"));
        d.applyToPage();
    });
    m_window.trigger(QStringLiteral("mnuInsertPageProperties"));
    QVERIFY(answered);
    QCOMPARE(surface()->DocumentTitle(), title);
    QVERIFY(surface()->IsDirty());
    QVERIFY(m_window.js(QStringLiteral("window.notReadAgain === true")).toBool());

    QVERIFY(m_window.form->savePage(false));
    const QByteArray file = readTestFile(page);
    const QByteArray newTitle = "Neu \xE9t\xE9 &amp; &lt;mehr&gt;";
    if (colour) {
        QVERIFY2(file.startsWith(head + newTitle + "</title></head>\r\n<body "), file.constData());
        QVERIFY2(file.endsWith("><p>Caf\xE9 \xFC"
                               "ber &eacute;t\xE9</p></body></html>\r\n"),
                 file.constData());
    } else {
        QCOMPARE(file, head + newTitle + rest);
    }

    QVERIFY(surface()->ExecCommand(DECMD_UNDO).isValid());
    QTRY_COMPARE(surface()->DocumentTitle(), QStringLiteral("Alt"));
    QVERIFY(m_window.js(QStringLiteral("window.notReadAgain === true")).toBool());
}

// Ctrl+U underlines, as in every editor: the words typed next come out
// underlined in the page, and the page's text pane stays where it was.
void TestRoads::underlineKeyUnderlinesTyping()
{
    QVERIFY(surface()->setDocumentHTML(
        QStringLiteral("<!DOCTYPE html><html><body><div id=s>Hello</div></body></html>")));
    m_window.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.form.get()));
    QWidget *input = m_window.input();
    QTest::mouseClick(input, Qt::LeftButton, {}, pointOn(QStringLiteral("#s")));
    QTest::keyClick(input, Qt::Key_End);
    QTest::keyClick(input, Qt::Key_U, Qt::ControlModifier);
    QTest::keyClicks(input, QStringLiteral("under"));
    QTRY_COMPARE(body(), QStringLiteral("<div id=\"s\">Hello<u>under</u></div>"));
    QVERIFY(!m_window.form->sourceView() || !m_window.form->sourceView()->isVisible());
}

void TestRoads::selectedPicture_data()
{
    QTest::addColumn<QString>("menu");     // "hyperlink", "image", or a picture file dropped on the toolbar
    QTest::addColumn<QString>("picture");  // in the paragraph "a ... b"
    QTest::addColumn<QString>("expected"); // the paragraph's markup after OK
    const QString old = QStringLiteral("<img id=\"p\" src=\"old.gif\" width=\"40\" height=\"30\">");
    const QString made = QStringLiteral("<img src=\"new.gif\" alt=\"New\" width=\"20\" height=\"10\">");
    QTest::newRow("linked") << "hyperlink" << old << QStringLiteral("a <a href=\"x.html\">%1</a> b").arg(old);
    QTest::newRow("replaced") << "image" << old << QStringLiteral("a %1 b").arg(made);
    QTest::newRow("replaced in its link") << "image" << QStringLiteral("<a href=\"l.html\">%1</a>").arg(old)
                                          << QStringLiteral("a <a href=\"l.html\">%1</a> b").arg(made);
    // As Insert Image puts it: %1 is the dropped file.
    const QString dropped = QStringLiteral("<img src=\"%1\" width=\"3\" height=\"2\">");
    QTest::newRow("replaced by a drop") << "drop" << old << QStringLiteral("a %1 b").arg(dropped);
    QTest::newRow("replaced by a drop in its link")
        << "drop" << QStringLiteral("<a href=\"l.html\">%1</a>").arg(old)
        << QStringLiteral("a <a href=\"l.html\">%1</a> b").arg(dropped);
}

// A picture clicked on is linked as it is, or replaced by the one composed.
void TestRoads::selectedPicture()
{
    QFETCH(QString, menu);
    QFETCH(QString, picture);
    QFETCH(QString, expected);
    QVERIFY(
        surface()->setDocumentHTML(QStringLiteral("<html><body><p>a %1 b</p></body></html>").arg(picture)));
    const QString before = body();
    click(QStringLiteral("#p"));
    QTRY_COMPARE(surface()->selectionType(), QStringLiteral("Control"));
    bool answered = false;
    if (menu == QLatin1String("hyperlink")) {
        QString shown;
        bool enabled = true;
        whenShown<hyperlink::HyperlinkDialog>(answered, [&](hyperlink::HyperlinkDialog &d) {
            shown = child<QLineEdit>(d, "LText1")->text();
            enabled = child<QLineEdit>(d, "LText1")->isEnabled();
            child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("x.html"));
            d.insertLink();
            if (d.isVisible())
                d.reject(); // a field check kept it open
        });
        m_window.trigger(QStringLiteral("mnuInsertHyperlink"));
        QCOMPARE(shown, QStringLiteral("The selected picture is linked"));
        QVERIFY(!enabled);
    } else if (menu == QLatin1String("drop")) {
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("new.png"));
        QVERIFY(QImage(3, 2, QImage::Format_RGB32).save(file));
        expected = expected.arg(file);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QWidget *bar = m_window.form->findChild<QWidget *>(QStringLiteral("Toolbar2"));
        const QPoint at = bar->mapTo(m_window.form.get(), bar->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.form->windowHandle(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.form->windowHandle(), &drop);
        QTRY_VERIFY(surface()->IsDirty());
        answered = true;
    } else {
        whenShown<image::InsertImageDialog>(answered, [&](image::InsertImageDialog &d) {
            child<QLineEdit>(d, "GraphText")->setText(QStringLiteral("new.gif"));
            child<QLineEdit>(d, "Alt")->setText(QStringLiteral("New"));
            child<QLineEdit>(d, "Text1")->setText(QStringLiteral("20"));
            child<QLineEdit>(d, "Text2")->setText(QStringLiteral("10"));
            d.insertImage();
            if (d.isVisible())
                d.reject();
        });
        m_window.trigger(QStringLiteral("mnuInsertImage"));
    }
    QVERIFY(answered);
    QCOMPARE(paragraph(), expected);
    QVERIFY(surface()->IsDirty());
    // One step to undo, and the page reads back as it stands.
    surface()->ExecCommand(DECMD_UNDO);
    QTRY_COMPARE(body(), before);
    surface()->ExecCommand(DECMD_REDO);
    QTRY_COMPARE(paragraph(), expected);
    QVERIFY(surface()->setDocumentHTML(surface()->DocumentHTML()));
    QCOMPARE(paragraph(), expected);
}

void TestRoads::activePage()
{
    write(QStringLiteral("elsewhere.html"), "<html><body>ELSEWHERE</body></html>");
    const QByteArray page = "<html><head><title>Quiet</title>\r\n"
                            "<meta http-equiv=\"refresh\" content=\"0; url=elsewhere.html\">\r\n"
                            "<script>document.title = 'ran'; location.href = 'elsewhere.html';</script>\r\n"
                            "<!-- keep this comment -->\r\n"
                            "</head><body onload=\"document.body.innerHTML = 'replaced'\">\r\n"
                            "<img src=\"missing.gif\" onerror=\"document.title = 'onerror ran'\">\r\n"
                            "<form action=\"elsewhere.html\"><input type=submit autofocus></form>\r\n"
                            "<a href=\"elsewhere.html\" target=\"_blank\">new window</a>\r\n"
                            "<a href=\"javascript:document.title='js'\">js</a>\r\n"
                            "<p>Body text stays</p>\r\n"
                            "</body></html>";
    const QString path = write(QStringLiteral("active.html"), page);
    m_window.openPage(path);
    QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
    // Once the page and its broken picture are done loading, a refresh, a
    // script or an error handler would have acted.
    QTRY_VERIFY(
        js(QStringLiteral("document.readyState === 'complete' && document.images[0].complete")).toBool());
    QVERIFY(js(QStringLiteral("true")).toBool());
    QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
    QCOMPARE(m_form->surface()->DocumentTitle(), QStringLiteral("Quiet"));
    QCOMPARE(js(QStringLiteral("document.title")).toString(), QStringLiteral("Quiet"));
    QVERIFY(
        js(QStringLiteral("document.body.innerText")).toString().contains(QStringLiteral("Body text stays")));
    QVERIFY(!m_form->surface()->IsDirty());

    // Saved back unchanged: scripts, comments and event attributes are still there.
    QVERIFY(m_form->savePage(false));
    const QByteArray saved = readTestFile(path); // empty, and so failing, when unread
    for (const char *kept :
         {"<script>document.title = 'ran'; location.href = 'elsewhere.html';</script>",
          "<!-- keep this comment -->", "onload=\"document.body.innerHTML = 'replaced'\"",
          "onerror=\"document.title = 'onerror ran'\"", "href=\"javascript:document.title='js'\""})
        QVERIFY2(saved.contains(kept), kept);
    QVERIFY(m_script.messagesShown.isEmpty());
}

void TestRoads::pages_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // the load error box, or none

    QByteArray binary(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char &c : binary)
        c = char(rng.bounded(256));
    QTest::newRow("binary file")
        << binary
        << QStringLiteral("Error occurred while loading document: File holds binary data, not text.");

    QByteArray nested = "<html><body>";
    for (int i = 0; i < 10000; ++i)
        nested += "<div>";
    nested += "deep";
    for (int i = 0; i < 10000; ++i)
        nested += "</div>";
    nested += "</body></html>";
    QTest::newRow("10000 nested elements") << nested << QString();

    QTest::newRow("invalid UTF-8") << QByteArray(
                                          "<html><head><meta charset=utf-8></head><body>ok \xff\xfe\xc3 bad "
                                          "\xed\xa0\x80 end</body></html>")
                                   << QString();
    QTest::newRow("frameset") << QByteArray(
                                     "<html><frameset cols=\"50%,50%\"><frame src=a.html><frame src=b.html>"
                                     "</frameset></html>")
                              << QStringLiteral(
                                     "Error occurred while loading document: Document contains a frameset.");

    QByteArray big = "<html><head><title>Big</title></head><body>\n";
    const QByteArray para =
        "<p>A paragraph of a very large page, repeated until the page is fifty megabytes.</p>\n";
    big.reserve(50 * 1024 * 1024 + para.size());
    while (big.size() < 50 * 1024 * 1024)
        big += para;
    big += "</body></html>";
    QTest::newRow("50 MB page") << big << QString();
}

void TestRoads::pages()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString path = write(QStringLiteral("hostile.html"), bytes);
    m_script.fileAnswers << path;
    QElapsedTimer t;
    t.start();
    m_form->open();
    if (message.isEmpty()) {
        QVERIFY2(m_script.messagesShown.isEmpty(), qPrintable(m_script.messagesShown.join(u'\n')));
        QCOMPARE(m_form->surface()->CurrentDocumentPath(), path);
        QVERIFY(!m_form->surface()->DocumentHTML().isEmpty());
    } else {
        QCOMPARE(m_script.messagesShown, QStringList{message});
        QCOMPARE(m_form->surface()->CurrentDocumentPath(), QString());
    }
    // The window still answers.
    QVERIFY(js(QStringLiteral("1 + 1")).toInt() == 2);
    qInfo("opened in %lld ms", t.elapsed());
}

std::unique_ptr<QWidget> TestRoads::make(const QString &window)
{
    shell::MainForm *form = m_window.form.get();
    surface::EditSurface *s = form->surface();
    const auto open = [](const QString &) {};
    if (window == QLatin1String("Insert Image"))
        return std::make_unique<image::InsertImageDialog>(s, form);
    if (window == QLatin1String("HyperLink"))
        return std::make_unique<hyperlink::HyperlinkDialog>(s, form);
    if (window == QLatin1String("Web Page Properties"))
        return std::make_unique<pageprops::PagePropertiesDialog>(s, form);
    if (window == QLatin1String("Insert HTML"))
        return std::make_unique<shell::InsertHtmlDialog>(s, form);
    if (window == QLatin1String("Publish"))
        return std::make_unique<publish::PublishDialog>(s, std::make_unique<NoPasswords>(), form);
    if (window == QLatin1String("About"))
        return std::make_unique<about::AboutBox>(open, form);
    if (window == QLatin1String("Fizzet"))
        return std::make_unique<about::InfoBox>(about::InfoBox::Product::Fizzet, open, form);
    if (window == QLatin1String("Increase traffic"))
        return std::make_unique<about::InfoBox>(about::InfoBox::Product::IncreaseTraffic, open, form);
    if (window == QLatin1String("Font"))
        return std::make_unique<surface::FontDialog>(surface::FontChoice{}, form);
    if (window == QLatin1String("Find"))
        return std::make_unique<surface::FindDialog>([](const QString &, bool, bool, bool) { return false; },
                                                     form);
    return nullptr;
}

void TestRoads::everyControlIsNamed_data()
{
    QTest::addColumn<QString>("window");
    for (const char *window :
         {"main window", "Insert Image", "HyperLink", "Web Page Properties", "Insert HTML", "Publish",
          "About", "Fizzet", "Increase traffic", "Font", "Find"})
        QTest::newRow(window) << QString::fromLatin1(window);
}

void TestRoads::everyControlIsNamed()
{
    QFETCH(QString, window);
    std::unique_ptr<QWidget> dialog = make(window);
    QWidget *shown = dialog ? dialog.get() : m_window.form.get();
    QVERIFY(window == QLatin1String("main window") || dialog);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(shown);
    QVERIFY(root);
    QStringList unnamed;
    collectUnnamed(root, m_window.form->surface()->widget(), QString(), unnamed);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
}

QK_WINDOW_TEST_MAIN(TestRoads)

#include "tst_roads.moc"
