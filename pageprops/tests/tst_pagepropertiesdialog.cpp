// The Web Page Properties dialog against a page held in memory.
#include "pageprops/pagepropertiesdialog.h"
#include "testsupport/children.h"
#include "testsupport/fakeeditsurface.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using pageprops::PagePropertiesDialog;

namespace {
// The colour swatches, from background to active link.
const char *const kSwatchNames[] = {"Label9", "Label10", "Label11", "Label12", "Label13"};
} // namespace

class TestPagePropertiesDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void okChangesOnlyWhatTheUserChanged_data();
    void okChangesOnlyWhatTheUserChanged();
    void pageWithoutBodyTagShowsNoOtherPagesBackground();
    void titleRules();
    void colourBoxes();
    void swatches();
    void swatchCaptionContrast_data();
    void swatchCaptionContrast();
    void watermarkAndBackground();
    void browseCancelled();

private:
    QString bodyAttr(const char *name) { return m_surface.bodyAttribute(QString::fromLatin1(name)); }

    testsupport::FakeEditSurface m_surface;
    ui::Script m_script;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPagePropertiesDialog::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestPagePropertiesDialog::cleanup()
{
    ui::setScript(nullptr);
    m_dir.reset();
}

void TestPagePropertiesDialog::okChangesOnlyWhatTheUserChanged_data()
{
    QTest::addColumn<QString>("attributes"); // of the page's body
    QTest::addColumn<QString>("field");      // the box the user edits; "" for none
    QTest::addColumn<QString>("typed");      // what the user leaves in it
    QTest::addColumn<QString>("expected");   // the body's attributes after OK
    const QString colours = QStringLiteral(
        "bgcolor=\"#FFFFFF\" text=\"#000080\" link=\"#0000ff\" vlink=\"#800080\" alink=\"#ff0000\"");
    QTest::newRow("untouched colours") << colours << QString() << QString() << colours;
    QTest::newRow("untouched background")
        << QStringLiteral("background=\"img/bg.gif\" bgcolor=\"#FFFFFF\"") << QString() << QString()
        << QStringLiteral("background=\"img/bg.gif\" bgcolor=\"#FFFFFF\"");
    QTest::newRow("no attributes") << QString() << QString() << QString() << QString();
    QTest::newRow("emptied colour") << QStringLiteral("bgcolor=\"#FFFFFF\" text=\"#000080\"")
                                    << QStringLiteral("Text1") << QString()
                                    << QStringLiteral("text=\"#000080\"");
    QTest::newRow("emptied background")
        << QStringLiteral("background=\"img/bg.gif\" bgcolor=\"#FFFFFF\"") << QStringLiteral("Text9")
        << QString() << QStringLiteral("bgcolor=\"#FFFFFF\"");
    // Typed values keep their rule: written as the box holds them.
    QTest::newRow("typed colour") << QStringLiteral("bgcolor=\"#FFFFFF\"") << QStringLiteral("Text3")
                                  << QStringLiteral("#00ff00")
                                  << QStringLiteral("bgcolor=\"#FFFFFF\" link=\"00ff00\"");
    QTest::newRow("typed background")
        << QStringLiteral("bgcolor=\"#FFFFFF\"") << QStringLiteral("Text9") << QStringLiteral("/srv/bg.gif")
        << QStringLiteral("bgcolor=\"#FFFFFF\" background=\"file:///srv/bg.gif\"");
}

void TestPagePropertiesDialog::okChangesOnlyWhatTheUserChanged()
{
    QFETCH(QString, attributes);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    m_surface.setPage(
        QStringLiteral("<html><head><title>My page</title></head><body %1><p>x</p></body></html>")
            .arg(attributes));
    PagePropertiesDialog d(&m_surface);
    d.show();
    if (!field.isEmpty()) {
        auto *box = d.findChild<QLineEdit *>(field);
        QVERIFY(box);
        box->clear();
        QTest::keyClicks(box, typed);
    }
    d.applyToPage();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const QString html = m_surface.DocumentHTML();
    const QRegularExpressionMatch body =
        QRegularExpression(QStringLiteral("<body ?([^>]*)>"), QRegularExpression::CaseInsensitiveOption)
            .match(html);
    QVERIFY2(body.hasMatch(), qPrintable(html));
    QCOMPARE(body.captured(1), expected);
    QCOMPARE(m_surface.DocumentTitle(), QStringLiteral("My page"));
    // Nothing changed, nothing to save.
    QCOMPARE(m_surface.IsDirty(), !field.isEmpty());
}

void TestPagePropertiesDialog::titleRules()
{
    m_surface.setPage(QStringLiteral("<html><head><title>keep</title></head><body>x</body></html>"));
    {
        PagePropertiesDialog d(&m_surface);
        child<QLineEdit>(d, "Text5")->clear();
        d.applyToPage();
    }
    QCOMPARE(m_surface.DocumentTitle(), QStringLiteral("keep"));
    {
        PagePropertiesDialog d(&m_surface);
        child<QLineEdit>(d, "Text5")->setText(QStringLiteral("A & B <new>"));
        d.applyToPage();
    }
    QCOMPARE(m_surface.DocumentTitle(), QStringLiteral("A & B <new>"));
    QVERIFY(m_surface.IsDirty());
    {
        PagePropertiesDialog d(&m_surface);
        child<QLineEdit>(d, "Text5")->setText(QStringLiteral("cancelled"));
        d.reject();
    }
    QCOMPARE(m_surface.DocumentTitle(), QStringLiteral("A & B <new>"));
}

void TestPagePropertiesDialog::colourBoxes()
{
    m_surface.setPage(QStringLiteral("<html><head><title>t</title></head><body>x</body></html>"));
    PagePropertiesDialog d(&m_surface);
    QCOMPARE(d.previewColor(0), QColor(192, 192, 192)); // empty shows grey
    child<QLineEdit>(d, "Text2")->clear();
    QTest::keyClicks(child<QLineEdit>(d, "Text2"), QStringLiteral("#00FF00"));
    QCOMPARE(child<QLineEdit>(d, "Text2")->text(), QStringLiteral("00FF00"));
    QCOMPARE(d.previewColor(1), QColor(0, 255, 0));
    QCOMPARE(child<QLabel>(d, "Label6_0")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    child<QLineEdit>(d, "Text1")->setText(QStringLiteral("##12"));
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("12"));
    QCOMPARE(child<QGroupBox>(d, "Frame4")->palette().color(QPalette::Window), QColor(18, 0, 0));
    QCOMPARE(child<QLabel>(d, "Label6_3")->palette().color(QPalette::Window), QColor(18, 0, 0));
}

void TestPagePropertiesDialog::swatches()
{
    m_surface.setPage(
        QStringLiteral("<html><head><title>t</title></head><body bgcolor=\"#112233\">x</body></html>"));
    PagePropertiesDialog d(&m_surface);
    m_script.colorAnswers << QColor(); // cancelled
    d.swatchClicked(0);
    QCOMPARE(child<QLabel>(d, "Label9")->text(), QString());
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("112233"));
    m_script.colorAnswers << QColor(255, 128, 0);
    d.swatchClicked(2);
    QCOMPARE(child<QLineEdit>(d, "Text3")->text(), QStringLiteral("FF8000"));
    QCOMPARE(d.previewColor(2), QColor(255, 128, 0));
}

void TestPagePropertiesDialog::swatchCaptionContrast_data()
{
    QTest::addColumn<QString>("attributes"); // of the page's body
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed"); // null: as the page filled the box
    QTest::addColumn<QColor>("caption");
    const QColor black(Qt::black), white(Qt::white);
    QTest::newRow("dark from the page") << QStringLiteral("bgcolor=\"#102030\"") << 0 << QString() << white;
    QTest::newRow("light from the page") << QStringLiteral("bgcolor=\"#FFFFCC\"") << 0 << QString() << black;
    QTest::newRow("empty box, grey") << QString() << 1 << QString() << black;
    QTest::newRow("typed navy") << QString() << 1 << QStringLiteral("000080") << white;
    QTest::newRow("typed pure blue") << QString() << 2 << QStringLiteral("#0000FF") << white;
}

void TestPagePropertiesDialog::swatchCaptionContrast()
{
    QFETCH(QString, attributes);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QColor, caption);
    m_surface.setPage(
        QStringLiteral("<html><head><title>t</title></head><body %1>x</body></html>").arg(attributes));
    PagePropertiesDialog d(&m_surface);
    QLineEdit *boxes[] = {child<QLineEdit>(d, "Text1"), child<QLineEdit>(d, "Text2"),
                          child<QLineEdit>(d, "Text3"), child<QLineEdit>(d, "Text4"),
                          child<QLineEdit>(d, "Text10")};
    if (!typed.isNull()) {
        boxes[row]->clear();
        QTest::keyClicks(boxes[row], typed);
    }
    QCOMPARE(child<QLabel>(d, kSwatchNames[row])->text(), QStringLiteral("Select"));
    QCOMPARE(child<QLabel>(d, kSwatchNames[row])->palette().color(QPalette::WindowText), caption);
}

void TestPagePropertiesDialog::watermarkAndBackground()
{
    m_surface.setPage(QStringLiteral("<html><head><title>t</title></head><body>x</body></html>"));
    PagePropertiesDialog d(&m_surface);
    child<QLineEdit>(d, "Text9")->setText(QStringLiteral("/srv/site/bg.gif"));
    child<QCheckBox>(d, "Check1")->click();
    QCOMPARE(child<QLineEdit>(d, "Text9")->text(),
             QStringLiteral("/srv/site/bg.gif")); // the check leaves the box alone
    d.applyToPage();
    QCOMPARE(bodyAttr("background"), QStringLiteral("file:///srv/site/bg.gif"));
    QCOMPARE(bodyAttr("bgproperties"), QStringLiteral("FIXED"));
    // Reopened, the box shows the path; OK writes it back unchanged.
    PagePropertiesDialog again(&m_surface);
    QCOMPARE(child<QLineEdit>(again, "Text9")->text(), QStringLiteral("/srv/site/bg.gif"));
    child<QLineEdit>(again, "Text9")->setText(QStringLiteral("img/bg.gif"));
    again.applyToPage();
    QCOMPARE(bodyAttr("background"), QStringLiteral("img/bg.gif"));
    QCOMPARE(bodyAttr("bgproperties"), QStringLiteral("FIXED")); // unchecked writes nothing
}

void TestPagePropertiesDialog::browseCancelled()
{
    m_surface.setPage(
        QStringLiteral("<html><head><title>t</title></head><body background=\"img/bg.gif\">x</body></html>"));
    const QString picture = m_dir->filePath(QStringLiteral("p.png"));
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture, "PNG"));
    {
        // A cancel leaves the page's background, and OK then keeps it.
        PagePropertiesDialog d(&m_surface);
        d.browseBackground();
        QCOMPARE(m_script.filesAsked, 1);
        QCOMPARE(child<QLineEdit>(d, "Text9")->text(), QStringLiteral("img/bg.gif"));
        d.applyToPage();
        QCOMPARE(bodyAttr("background"), QStringLiteral("img/bg.gif"));
    }
    PagePropertiesDialog d(&m_surface);
    m_script.fileAnswers << picture;
    d.browseBackground();
    QCOMPARE(child<QLineEdit>(d, "Text9")->text(), picture);
    QVERIFY(!child<QLabel>(d, "Picture1")->pixmap().isNull());
    QCOMPARE(m_script.lastFilterIndex, 2);
    d.browseBackground(); // cancelled: the chosen picture and its preview stay
    QCOMPARE(child<QLineEdit>(d, "Text9")->text(), picture);
    QVERIFY(!child<QLabel>(d, "Picture1")->pixmap().isNull());
}

// The dialog's values are its own: a page whose text has no body tag does
// not show, nor get, the background of the page before it.
void TestPagePropertiesDialog::pageWithoutBodyTagShowsNoOtherPagesBackground()
{
    m_surface.setPage(
        QStringLiteral("<html><head><title>a</title></head><body background=\"a.gif\">x</body></html>"));
    {
        PagePropertiesDialog d(&m_surface);
        QCOMPARE(child<QLineEdit>(d, "Text9")->text(), QStringLiteral("a.gif"));
        d.reject();
    }
    m_surface.setPage(QStringLiteral("<html><head><title>b</title></head><p>no body tag</p></html>"));
    PagePropertiesDialog d(&m_surface);
    QCOMPARE(child<QLineEdit>(d, "Text9")->text(), QString());
    child<QLineEdit>(d, "Text5")->setText(QStringLiteral("b2"));
    d.applyToPage();
    QCOMPARE(bodyAttr("background"), QString());
    QCOMPARE(m_surface.DocumentTitle(), QStringLiteral("b2"));
}

QTEST_MAIN(TestPagePropertiesDialog)
#include "tst_pagepropertiesdialog.moc"
