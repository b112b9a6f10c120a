// The HyperLink dialog against a page held in memory. What the engine makes
// of the pasted link (a trimmed selection, anchors split around it) is tried
// end to end in the shell's tests.
#include "hyperlink/hyperlinkdialog.h"
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
    m_surface.setPage(
        QStringLiteral("<html><body><p>see <b id=s>our <i>products</i></b> here</p></body></html>"));
}

void TestHyperlinkDialog::cleanup()
{
    ui::setScript(nullptr);
}

void TestHyperlinkDialog::selectionFillsTheLinkText_data()
{
    QTest::addColumn<QString>("selection"); // markup selected; "object" for a picture, "" for a caret
    QTest::addColumn<QString>("linkText");  // as the dialog opens
    QTest::addColumn<bool>("focusOnAddress");
    QTest::addColumn<QString>("page"); // after OK with the address products.html, the text typed if none
    QTest::newRow("text, formatting left out")
        << "our <i>products</i>"
        << "our products" << true
        << "<html><body><p>see <b id=s><a href=\"products.html\">our products</a></b> here</p></body></html>";
    // A picture gives no text range: nothing goes in, and the dialog closes all the same.
    QTest::newRow("picture") << "object" << QString() << true
                             << "<html><body><p>see <b id=s>our <i>products</i></b> here</p></body></html>";
    QTest::newRow("caret") << "" << QString() << false
                           << "<html><body><p>see <b id=s>our <i>products</i></b> here</p><a "
                              "href=\"products.html\">typed</a></body></html>";
}

void TestHyperlinkDialog::selectionFillsTheLinkText()
{
    QFETCH(QString, selection);
    QFETCH(QString, linkText);
    QFETCH(bool, focusOnAddress);
    QFETCH(QString, page);
    if (selection == QLatin1String("object"))
        m_surface.selectObject();
    else if (!selection.isEmpty())
        QVERIFY(m_surface.selectMarkup(selection));
    HyperlinkDialog d(&m_surface);
    d.show();
    QCOMPARE(d.linkTextEdit->text(), linkText);
    QTRY_COMPARE(QApplication::focusWidget(), focusOnAddress ? static_cast<QWidget *>(d.addressBox)
                                                             : static_cast<QWidget *>(d.linkTextEdit));
    if (linkText.isEmpty())
        d.linkTextEdit->setText(QStringLiteral("typed"));
    d.addressBox->setEditText(QStringLiteral("products.html"));
    d.insertLink();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(m_surface.page(), page);
}

void TestHyperlinkDialog::anchorName()
{
    HyperlinkDialog d(&m_surface);
    d.show();
    QVERIFY(d.anchorNameEdit->isHidden() && d.anchorNameLabel->isHidden());
    d.anchorCheck->click();
    QVERIFY(d.anchorNameEdit->isVisible() && d.anchorNameLabel->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.anchorNameEdit));
    d.anchorNameEdit->setText(QStringLiteral("q3"));
    d.anchorCheck->click();
    QVERIFY(d.anchorNameEdit->isHidden());
    QCOMPARE(d.anchorNameEdit->text(), QStringLiteral("q3")); // hidden, not cleared
    d.anchorCheck->click();
    d.linkTextEdit->setText(QStringLiteral("Question 3"));
    d.addressBox->setEditText(QStringLiteral("faq.html"));
    d.insertLink();
    QCOMPARE(m_surface.pasted, QStringList{QStringLiteral("<a href=\"faq.html#q3\">Question 3</a>")});
}

void TestHyperlinkDialog::checksKeepTheDialogOpen()
{
    HyperlinkDialog d(&m_surface);
    d.show();
    d.linkTextEdit->setText(QStringLiteral("x"));
    d.addressBox->setEditText(QStringLiteral("http://"));
    d.insertLink();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please enter Web site to be linked in the appropriate box")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::NoIcon);
    QVERIFY(d.isVisible());
    QCOMPARE(d.addressBox->currentText(), QStringLiteral("http://"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.addressBox));
    QVERIFY(m_surface.pasted.isEmpty());
    // The bare scheme with an anchor links within the page and empties the box.
    d.anchorCheck->click();
    d.anchorNameEdit->setText(QStringLiteral("top"));
    d.insertLink();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.addressBox->currentText(), QString());
    QCOMPARE(m_surface.pasted, QStringList{QStringLiteral("<a href=\"#top\">x</a>")});
}

void TestHyperlinkDialog::browsing()
{
    QTemporaryDir dir;
    const QString shortcut = writeTestFile(
        dir.filePath(QStringLiteral("fav.url")),
        "[DEFAULT]\nBASEURL=http://wrong.example/\n[InternetShortcut]\nURL=http://right.example/\n");

    HyperlinkDialog d(&m_surface);
    d.addressBox->setEditText(QStringLiteral("typed"));
    d.browsePage(); // cancelled: the address typed stays
    QCOMPARE(d.addressBox->currentText(), QStringLiteral("typed"));
    QCOMPARE(m_script.lastFilterIndex, 2);
    QCOMPARE(m_script.lastFilter,
             QStringLiteral("All Files (*.*)|*.*|HTML files (*.html, *.htm)|*.html;*.htm"));

    m_script.fileAnswers << dir.filePath(QStringLiteral("page.html"));
    d.browsePage();
    QCOMPARE(d.addressBox->currentText(), dir.filePath(QStringLiteral("page.html")));

    m_script.fileAnswers << shortcut;
    d.browseFavourites();
    QCOMPARE(d.addressBox->currentText(), QStringLiteral("http://right.example/"));
    QCOMPARE(m_script.lastFilter, QStringLiteral("All Files (*.*)|*.*|URL files (*.url)|*.url"));
    QCOMPARE(m_script.lastStartFolder, browse::favoritesFolder());
    d.browseFavourites(); // cancelled
    QCOMPARE(d.addressBox->currentText(), QStringLiteral("http://right.example/"));
}

QTEST_MAIN(TestHyperlinkDialog)
#include "tst_hyperlinkdialog.moc"
