// The HyperLink dialog against a page held in memory. What the engine makes
// of the pasted link (a trimmed selection, anchors split around it) is tried
// end to end in the shell's tests.
#include "hyperlink/hyperlinkdialog.h"
#include "testsupport/children.h"
#include "testsupport/fakeeditsurface.h"
#include "testsupport/testfiles.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using hyperlink::HyperlinkDialog;

class TestHyperlinkDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void selectionFillsTheLinkText_data();
    void selectionFillsTheLinkText();
    void anchorName();
    void checksKeepTheDialogOpen();
    void browsing();

private:
    testsupport::FakeEditSurface m_surface;
    ui::Script m_script;
};

void TestHyperlinkDialog::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    m_surface.setPage(QStringLiteral("<html><body><p>see <b id=s>our <i>products</i></b> here <img "
                                     "src=\"p.gif\"> a&lt;b &amp;copy</p></body></html>"));
}

void TestHyperlinkDialog::cleanup()
{
    ui::setScript(nullptr);
}

void TestHyperlinkDialog::selectionFillsTheLinkText_data()
{
    QTest::addColumn<QString>(
        "selection");                      // markup selected; "img:" and markup for a picture, "" for a caret
    QTest::addColumn<QString>("linkText"); // as the dialog opens
    QTest::addColumn<bool>("focusOnAddress");
    QTest::addColumn<QString>("typed"); // typed into the link text box; null: nothing
    QTest::addColumn<QString>("link");  // what takes the selection's place after OK with products.html
    const QString picture = QStringLiteral("<img src=\"p.gif\">");
    QTest::newRow("text, formatting left out")
        << "our <i>products</i>"
        << "our products" << true << QString() << "<a href=\"products.html\">our products</a>";
    // The selection's text reads the same inside the link; typed text is markup.
    QTest::newRow("text with markup characters")
        << "a&lt;b &amp;copy"
        << "a<b &copy" << true << QString() << "<a href=\"products.html\">a&lt;b &amp;copy</a>";
    QTest::newRow("text typed over") << "a&lt;b &amp;copy"
                                     << "a<b &copy" << true << "<b>x</b> &copy;"
                                     << "<a href=\"products.html\"><b>x</b> &copy;</a>";
    // The link goes around the picture, which stays.
    QTest::newRow("picture") << QStringLiteral("img:") + picture << "The selected picture is linked" << true
                             << QString()
                             << QStringLiteral("<a href=\"products.html\">") + picture +
                                    QStringLiteral("</a>");
    QTest::newRow("caret") << "" << QString() << false << "typed"
                           << "<a href=\"products.html\">typed</a>";
}

void TestHyperlinkDialog::selectionFillsTheLinkText()
{
    QFETCH(QString, selection);
    QFETCH(QString, linkText);
    QFETCH(bool, focusOnAddress);
    QFETCH(QString, typed);
    QFETCH(QString, link);
    const QString before = m_surface.page();
    const bool picture = selection.startsWith(QLatin1String("img:"));
    if (picture)
        QVERIFY(m_surface.selectObject(selection.mid(4)));
    else if (!selection.isEmpty())
        QVERIFY(m_surface.selectMarkup(selection));
    else
        m_surface.placeCaret(before.indexOf(QLatin1String("</body>")));
    HyperlinkDialog d(&m_surface);
    d.show();
    QCOMPARE(child<QLineEdit>(d, "LText1")->text(), linkText);
    QCOMPARE(child<QLineEdit>(d, "LText1")->isEnabled(), !picture);
    QTRY_COMPARE(QApplication::focusWidget(), focusOnAddress
                                                  ? static_cast<QWidget *>(child<QComboBox>(d, "httpsite"))
                                                  : static_cast<QWidget *>(child<QLineEdit>(d, "LText1")));
    if (!typed.isNull())
        child<QLineEdit>(d, "LText1")->setText(typed);
    child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("products.html"));
    d.insertLink();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(m_surface.pasted, QStringList{link});
    const QString replaced = picture ? selection.mid(4) : selection;
    QCOMPARE(m_surface.page(), selection.isEmpty()
                                   ? QString(before).insert(before.indexOf(QLatin1String("</body>")), link)
                                   : QString(before).replace(replaced, link));
}

void TestHyperlinkDialog::anchorName()
{
    HyperlinkDialog d(&m_surface);
    d.show();
    QVERIFY(child<QLineEdit>(d, "Text1")->isHidden() && child<QLabel>(d, "Label3")->isHidden());
    child<QCheckBox>(d, "Check1")->click();
    QVERIFY(child<QLineEdit>(d, "Text1")->isVisible() && child<QLabel>(d, "Label3")->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(child<QLineEdit>(d, "Text1")));
    child<QLineEdit>(d, "Text1")->setText(QStringLiteral("q3"));
    child<QCheckBox>(d, "Check1")->click();
    QVERIFY(child<QLineEdit>(d, "Text1")->isHidden());
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("q3")); // hidden, not cleared
    child<QCheckBox>(d, "Check1")->click();
    child<QLineEdit>(d, "LText1")->setText(QStringLiteral("Question 3"));
    child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("faq.html"));
    d.insertLink();
    QCOMPARE(m_surface.pasted, QStringList{QStringLiteral("<a href=\"faq.html#q3\">Question 3</a>")});
}

void TestHyperlinkDialog::checksKeepTheDialogOpen()
{
    HyperlinkDialog d(&m_surface);
    d.show();
    child<QLineEdit>(d, "LText1")->setText(QStringLiteral("x"));
    child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("http://"));
    d.insertLink();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please enter Web site to be linked in the appropriate box")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::NoIcon);
    QVERIFY(d.isVisible());
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), QStringLiteral("http://"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(child<QComboBox>(d, "httpsite")));
    QVERIFY(m_surface.pasted.isEmpty());
    // The bare scheme with an anchor links within the page and empties the box.
    child<QCheckBox>(d, "Check1")->click();
    child<QLineEdit>(d, "Text1")->setText(QStringLiteral("top"));
    d.insertLink();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), QString());
    QCOMPARE(m_surface.pasted, QStringList{QStringLiteral("<a href=\"#top\">x</a>")});
}

void TestHyperlinkDialog::browsing()
{
    QTemporaryDir dir;
    const QString shortcut = writeTestFile(
        dir.filePath(QStringLiteral("fav.url")),
        "[DEFAULT]\nBASEURL=http://wrong.example/\n[InternetShortcut]\nURL=http://right.example/\n");

    HyperlinkDialog d(&m_surface);
    child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("typed"));
    d.browsePage(); // cancelled: the address typed stays
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), QStringLiteral("typed"));
    QCOMPARE(m_script.lastFilterIndex, 2);
    QCOMPARE(m_script.lastFilter,
             QStringLiteral("All Files (*.*)|*.*|HTML files (*.html, *.htm)|*.html;*.htm"));

    m_script.fileAnswers << dir.filePath(QStringLiteral("page.html"));
    d.browsePage();
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), dir.filePath(QStringLiteral("page.html")));

    m_script.fileAnswers << shortcut;
    d.browseFavourites();
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), QStringLiteral("http://right.example/"));
    QCOMPARE(m_script.lastFilter, QStringLiteral("All Files (*.*)|*.*|URL files (*.url)|*.url"));
    QCOMPARE(m_script.lastStartFolder, browse::favoritesFolder());
    d.browseFavourites(); // cancelled
    QCOMPARE(child<QComboBox>(d, "httpsite")->currentText(), QStringLiteral("http://right.example/"));
}

QTEST_MAIN(TestHyperlinkDialog)
#include "tst_hyperlinkdialog.moc"
