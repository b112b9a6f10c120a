// The HyperLink dialog on the real editing surface.
#include "hyperlink/linktext.h"
#include "surface/webenginesurface.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace surface;

class TestLinkText final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void layoutAndInitialState();
    void textSelection();
    void imageSelected();
    void caretOnly();
    void linkReplacesWhatTheSelectionShows_data();
    void linkReplacesWhatTheSelectionShows();
    void checksKeepTheDialogOpen();
    void browsing();

private:
    QVariant js(const QString &code)
    {
        const std::optional<QVariant> v = m_surface->evaluate(code);
        return v ? *v : QVariant();
    }
    void load(const QString &html)
    {
        m_surface->NewDocument();
        QVERIFY(m_surface->setDocumentHTML(html));
    }
    // The body's markup, with the engine's choice between a space and a
    // no-break space left out.
    QString body()
    {
        return js(QStringLiteral("document.body.innerHTML"))
            .toString()
            .replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    }
    // Three clicks in quick succession on an element, as a person makes them.
    void tripleClick(const QString &selector)
    {
        const QVariantMap r =
            js(QStringLiteral("(() => { const b = document.querySelector('%1').getBoundingClientRect();"
                              " return {x: b.left + 10, y: b.top + b.height / 2}; })()")
                   .arg(selector))
                .toMap();
        QWidget *target = m_surface->widget()->focusProxy();
        const QPoint p(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt());
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

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<WebEngineSurface> m_surface;
    ui::Script m_script;
};

void TestLinkText::initTestCase()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(800, 600);
    m_surface = std::make_unique<WebEngineSurface>(m_window.get());
    m_surface->widget()->resize(800, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestLinkText::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
}

void TestLinkText::cleanup()
{
    ui::setScript(nullptr);
}

void TestLinkText::cleanupTestCase()
{
    m_surface.reset();
    m_window.reset();
}

void TestLinkText::layoutAndInitialState()
{
    load(QStringLiteral("<html><body><p>x</p></body></html>"));
    LINKTEXT d(m_surface.get());
    QCOMPARE(d.windowTitle(), QStringLiteral("HyperLink"));
    QCOMPARE(d.TabStrip1->tabText(0), QStringLiteral(" Properties "));
    QCOMPARE(d.TabStrip1->tabText(1), QStringLiteral(" Special Effects "));
    QCOMPARE(d.Combo1->count(), 4);
    QCOMPARE(d.Combo1->itemText(0), QStringLiteral("_blank"));
    QCOMPARE(d.Combo1->itemText(3), QStringLiteral("_top"));
    QCOMPARE(d.Combo1->currentText(), QString());
    QCOMPARE(d.httpsite->count(), 0);
    QVERIFY(d.Label3->isHidden() && d.Text1->isHidden());
    d.Check1->click();
    QVERIFY(!d.Label3->isHidden() && !d.Text1->isHidden());
    d.Check1->click();
    QVERIFY(d.Label3->isHidden() && d.Text1->isHidden());
    QCOMPARE(d.LtextOK->text(), QStringLiteral("&OK"));
    QVERIFY(d.LtextOK->isDefault());
    QCOMPARE(d.Command2->text(), QStringLiteral("&Cancel"));
}

void TestLinkText::textSelection()
{
    load(QStringLiteral("<html><body><p>see <b id=s>our <i>products</i></b> here</p></body></html>"));
    js(QStringLiteral(
        "(() => { const r = document.createRange(); r.selectNodeContents(document.getElementById('s'));"
        " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()"));
    QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Text"));
    LINKTEXT d(m_surface.get());
    d.show();
    QCOMPARE(d.LText1->text(), QStringLiteral("our products"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.httpsite));
    d.httpsite->setEditText(QStringLiteral("products.html"));
    d.LtextOK_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const QString html = m_surface->DocumentHTML();
    QVERIFY2(html.contains(QStringLiteral("<a href=\"products.html\">our products</a>")), qPrintable(html));
}

void TestLinkText::imageSelected()
{
    load(QStringLiteral("<html><body><p>a <img id=i style=\"width:40px;height:40px\"> b</p></body></html>"));
    js(QStringLiteral(
        "(() => { const e = document.getElementById('i'); const r = document.createRange(); r.selectNode(e);"
        " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()"));
    // A click is what makes a picture an object selection.
    const QVariantMap r =
        js(QStringLiteral("(() => { const b = document.getElementById('i').getBoundingClientRect();"
                          " return {x: b.left + 20, y: b.top + 20}; })()"))
            .toMap();
    QWidget *target = m_surface->widget()->focusProxy();
    const QPoint p(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt());
    QTest::mouseMove(target, p);
    QTest::mouseClick(target, Qt::LeftButton, {}, p);
    QTRY_COMPARE(m_surface->selectionType(), QStringLiteral("Control"));
    const QString before = m_surface->DocumentHTML();
    LINKTEXT d(m_surface.get());
    d.show();
    QCOMPARE(d.LText1->text(), QString());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.httpsite));
    d.LText1->setText(QStringLiteral("pic"));
    d.httpsite->setEditText(QStringLiteral("a.html"));
    d.LtextOK_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted)); // closes although nothing could be pasted
    QCOMPARE(m_surface->DocumentHTML(), before);
}

void TestLinkText::caretOnly()
{
    load(QStringLiteral("<html><body><p id=p>text</p></body></html>"));
    LINKTEXT d(m_surface.get());
    d.show();
    QCOMPARE(d.LText1->text(), QString());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.LText1));
    d.LText1->setText(QStringLiteral("Question 3"));
    d.httpsite->setEditText(QStringLiteral("faq.html"));
    d.Check1->click();
    d.Text1->setText(QStringLiteral("q3"));
    d.LtextOK_Click();
    QVERIFY(m_surface->DocumentHTML().contains(QStringLiteral("<a href=\"faq.html#q3\">Question 3</a>")));
}

void TestLinkText::linkReplacesWhatTheSelectionShows_data()
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
}

// What the link replaces is what the user sees selected, and a link never
// lands inside another anchor, which the next load would take apart.
void TestLinkText::linkReplacesWhatTheSelectionShows()
{
    QFETCH(QString, page);
    QFETCH(QString, select);
    QFETCH(QString, linkText);
    QFETCH(QString, address);
    QFETCH(QString, expected);
    load(QStringLiteral("<html><body>%1</body></html>").arg(page));
    const QString before = body();
    if (select == QLatin1String("triple-click"))
        tripleClick(QStringLiteral("#s"));
    else
        js(QStringLiteral(
               "(() => { const text = (q) => document.querySelector(q).firstChild;"
               " const r = document.createRange(); %1"
               " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r); return true; })()")
               .arg(select));
    QTRY_COMPARE(m_surface->selectionType(),
                 linkText.isNull() ? QStringLiteral("Text") : QStringLiteral("None"));
    LINKTEXT d(m_surface.get());
    d.show();
    if (!linkText.isNull())
        d.LText1->setText(linkText);
    d.httpsite->setEditText(address);
    d.LtextOK_Click();
    QCOMPARE(body(), expected);
    // The link is one step to undo, and the page reads back as it stands.
    m_surface->ExecCommand(DECMD_UNDO);
    QTRY_COMPARE(body(), before);
    m_surface->ExecCommand(DECMD_REDO);
    QTRY_COMPARE(body(), expected);
    QVERIFY(m_surface->setDocumentHTML(m_surface->DocumentHTML()));
    QCOMPARE(body(), expected);
}

void TestLinkText::checksKeepTheDialogOpen()
{
    load(QStringLiteral("<html><body><p>text</p></body></html>"));
    LINKTEXT d(m_surface.get());
    d.show();
    d.LText1->setText(QStringLiteral("x"));
    d.httpsite->setEditText(QStringLiteral("http://"));
    d.LtextOK_Click();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please enter Web site to be linked in the appropriate box")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::NoIcon);
    QVERIFY(d.isVisible());
    QCOMPARE(d.httpsite->currentText(), QStringLiteral("http://"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.httpsite));
    // The bare scheme with an anchor links within the page and empties the box.
    d.Check1->click();
    d.Text1->setText(QStringLiteral("top"));
    d.LtextOK_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.httpsite->currentText(), QString());
}

void TestLinkText::browsing()
{
    load(QStringLiteral("<html><body><p>text</p></body></html>"));
    QTemporaryDir dir;
    const QString shortcut = dir.filePath(QStringLiteral("fav.url"));
    QFile f(shortcut);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[DEFAULT]\nBASEURL=http://wrong.example/\n[InternetShortcut]\nURL=http://right.example/\n");
    f.close();

    LINKTEXT d(m_surface.get());
    d.httpsite->setEditText(QStringLiteral("typed"));
    d.Command1_Click(); // cancelled: the address is lost
    QCOMPARE(d.httpsite->currentText(), QString());
    QCOMPARE(m_script.lastFilterIndex, 2);
    QCOMPARE(m_script.lastFilter,
             QStringLiteral("All Files (*.*)|*.*|HTML files (*.html, *.htm)|*.html;*.htm"));

    m_script.fileAnswers << dir.filePath(QStringLiteral("page.html"));
    d.Command1_Click();
    QCOMPARE(d.httpsite->currentText(), dir.filePath(QStringLiteral("page.html")));

    m_script.fileAnswers << shortcut;
    d.Command3_Click();
    QCOMPARE(d.httpsite->currentText(), QStringLiteral("http://right.example/"));
    QCOMPARE(m_script.lastFilter, QStringLiteral("All Files (*.*)|*.*|URL files (*.url)|*.url"));
    QCOMPARE(m_script.lastStartFolder, browse::favoritesFolder());
    d.Command3_Click(); // cancelled
    QCOMPARE(d.httpsite->currentText(), QString());
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestLinkText test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linktext.moc"
