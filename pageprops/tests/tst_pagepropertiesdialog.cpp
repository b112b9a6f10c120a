// The page-properties dialog on the real surface and main window.
#include "pageprops/bgcolor.h"
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace surface;

class TestBgColor final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void pagesAndOrder();
    void okChangesOnlyWhatTheUserChanged_data();
    void okChangesOnlyWhatTheUserChanged();
    void titleRules();
    void colourBoxes();
    void swatches();
    void swatchCaptionContrast_data();
    void swatchCaptionContrast();
    void watermarkAndBackground();
    void browseCancelled();
    void backgroundBecomesRelativeOnSave();

private:
    void load(const QString &html)
    {
        m_form->DHTMLEdit1->NewDocument();
        QVERIFY(m_form->DHTMLEdit1->setDocumentHTML(html));
    }
    QString bodyAttr(const char *name)
    {
        return m_form->DHTMLEdit1->DOM().body().getAttribute(QString::fromLatin1(name));
    }

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &m_form = m_window.form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBgColor::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestBgColor::init()
{
    m_script = ui::Script();
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestBgColor::cleanup()
{
    m_dir.reset();
}

void TestBgColor::cleanupTestCase()
{
    m_window.close();
}

void TestBgColor::pagesAndOrder()
{
    load(QStringLiteral("<html><head><title>T</title></head><body>x</body></html>"));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(d.windowTitle(), QStringLiteral("Web Page Properties"));
    QCOMPARE(d.TabStrip1->tabText(0), QStringLiteral(" Page Title "));
    QCOMPARE(d.TabStrip1->tabText(1), QStringLiteral(" Colors "));
    QCOMPARE(d.TabStrip1->tabText(2), QStringLiteral(" Background Image "));
    QCOMPARE(d.Text1->maxLength(), 7);
    QCOMPARE(d.swatches[0]->text(), QStringLiteral("Select"));
    QCOMPARE(d.swatches[0]->toolTip(), QStringLiteral("Click here to select a color"));
    QVERIFY(!d.Check1->isChecked());
    auto nextTab = [](QWidget *w) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    QCOMPARE(nextTab(d.Text5), static_cast<QWidget *>(d.Command2));
    QCOMPARE(nextTab(d.Command5), static_cast<QWidget *>(d.Text1));
    QCOMPARE(nextTab(d.Text10), static_cast<QWidget *>(d.Text9));

    // QK_SCREENSHOT_DIR=folder keeps a picture of every page, to look at.
    const QString shots = qEnvironmentVariable("QK_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        d.show();
        d.Text1->setText(QStringLiteral("FFFFCC"));
        d.Text2->setText(QStringLiteral("000080"));
        d.Text3->setText(QStringLiteral("0000FF"));
        for (int i = 0; i < d.TabStrip1->count(); ++i) {
            d.TabStrip1->setCurrentIndex(i);
            QTest::qWait(50);
            d.grab().save(QStringLiteral("%1/bgcolor-%2.png").arg(shots).arg(i));
        }
    }
}

void TestBgColor::okChangesOnlyWhatTheUserChanged_data()
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

void TestBgColor::okChangesOnlyWhatTheUserChanged()
{
    QFETCH(QString, attributes);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    const QString page = writeTestFile(
        m_dir->filePath(QStringLiteral("page.html")),
        QStringLiteral("<html><head><title>My page</title></head><body %1><p>x</p></body></html>")
            .arg(attributes)
            .toUtf8());
    m_form->DHTMLEdit1->NewDocument(); // no save prompt for the last row's page
    m_script.fileAnswers << page;
    m_form->FileOpen_Click();
    QCOMPARE(m_form->DHTMLEdit1->CurrentDocumentPath(), page);
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    d.show();
    if (!field.isEmpty()) {
        auto *box = d.findChild<QLineEdit *>(field);
        QVERIFY(box);
        box->clear();
        QTest::keyClicks(box, typed);
    }
    d.Command2_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const QString html = m_form->DHTMLEdit1->DocumentHTML();
    const QRegularExpressionMatch body =
        QRegularExpression(QStringLiteral("<body ?([^>]*)>"), QRegularExpression::CaseInsensitiveOption)
            .match(html);
    QVERIFY2(body.hasMatch(), qPrintable(html));
    QCOMPARE(body.captured(1), expected);
    QCOMPARE(m_form->DHTMLEdit1->DocumentTitle(), QStringLiteral("My page"));
    // Nothing changed, nothing to save.
    QCOMPARE(m_form->DHTMLEdit1->IsDirty(), !field.isEmpty());
}

void TestBgColor::titleRules()
{
    load(QStringLiteral("<html><head><title>keep</title></head><body>x</body></html>"));
    {
        BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
        d.Text5->clear();
        d.Command2_Click();
    }
    QCOMPARE(m_form->DHTMLEdit1->DocumentTitle(), QStringLiteral("keep"));
    {
        BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
        d.Text5->setText(QStringLiteral("A & B <new>"));
        d.Command2_Click();
    }
    QCOMPARE(m_form->DHTMLEdit1->DocumentTitle(), QStringLiteral("A & B <new>"));
    QVERIFY(m_form->DHTMLEdit1->IsDirty());
    {
        BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
        d.Text5->setText(QStringLiteral("cancelled"));
        d.reject();
    }
    QCOMPARE(m_form->DHTMLEdit1->DocumentTitle(), QStringLiteral("A & B <new>"));
}

void TestBgColor::colourBoxes()
{
    load(QStringLiteral("<html><head><title>t</title></head><body>x</body></html>"));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(d.previewColor(0), QColor(192, 192, 192)); // empty shows grey
    d.Text2->clear();
    QTest::keyClicks(d.Text2, QStringLiteral("#00FF00"));
    QCOMPARE(d.Text2->text(), QStringLiteral("00FF00"));
    QCOMPARE(d.previewColor(1), QColor(0, 255, 0));
    QCOMPARE(d.Label6[0]->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    d.Text1->setText(QStringLiteral("##12"));
    QCOMPARE(d.Text1->text(), QStringLiteral("12"));
    QCOMPARE(d.Frame4->palette().color(QPalette::Window), QColor(18, 0, 0));
    QCOMPARE(d.Label6[3]->palette().color(QPalette::Window), QColor(18, 0, 0));
}

void TestBgColor::swatches()
{
    load(QStringLiteral("<html><head><title>t</title></head><body bgcolor=\"#112233\">x</body></html>"));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    m_script.colorAnswers << QColor(); // cancelled
    d.swatchClicked(0);
    QCOMPARE(d.swatches[0]->text(), QString());
    QCOMPARE(d.Text1->text(), QStringLiteral("112233"));
    m_script.colorAnswers << QColor(255, 128, 0);
    d.swatchClicked(2);
    QCOMPARE(d.Text3->text(), QStringLiteral("FF8000"));
    QCOMPARE(d.previewColor(2), QColor(255, 128, 0));
}

void TestBgColor::swatchCaptionContrast_data()
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

void TestBgColor::swatchCaptionContrast()
{
    QFETCH(QString, attributes);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QColor, caption);
    load(QStringLiteral("<html><head><title>t</title></head><body %1>x</body></html>").arg(attributes));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    QLineEdit *boxes[] = {d.Text1, d.Text2, d.Text3, d.Text4, d.Text10};
    if (!typed.isNull()) {
        boxes[row]->clear();
        QTest::keyClicks(boxes[row], typed);
    }
    QCOMPARE(d.swatches[row]->text(), QStringLiteral("Select"));
    QCOMPARE(d.swatches[row]->palette().color(QPalette::WindowText), caption);
}

void TestBgColor::watermarkAndBackground()
{
    load(QStringLiteral("<html><head><title>t</title></head><body>x</body></html>"));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    d.Text9->setText(QStringLiteral("/srv/site/bg.gif"));
    d.Check1->click();
    QCOMPARE(d.Text9->text(), QStringLiteral("/srv/site/bg.gif")); // the check leaves the box alone
    d.Command2_Click();
    QCOMPARE(bodyAttr("background"), QStringLiteral("file:///srv/site/bg.gif"));
    QCOMPARE(bodyAttr("bgproperties"), QStringLiteral("FIXED"));
    // Reopened, the box shows the path; OK writes it back unchanged.
    BGCOLOR again(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(again.Text9->text(), QStringLiteral("/srv/site/bg.gif"));
    again.Text9->setText(QStringLiteral("img/bg.gif"));
    again.Command2_Click();
    QCOMPARE(bodyAttr("background"), QStringLiteral("img/bg.gif"));
    QCOMPARE(bodyAttr("bgproperties"), QStringLiteral("FIXED")); // unchecked writes nothing
}

void TestBgColor::browseCancelled()
{
    load(QStringLiteral("<html><head><title>t</title></head><body>x</body></html>"));
    const QString picture = m_dir->filePath(QStringLiteral("p.png"));
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture, "PNG"));
    BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
    m_script.fileAnswers << picture;
    d.Command6_Click();
    QCOMPARE(d.Text9->text(), picture);
    QVERIFY(!d.Picture1->pixmap().isNull());
    QCOMPARE(m_script.lastFilterIndex, 2);
    d.Command6_Click(); // cancelled
    QCOMPARE(d.Text9->text(), QString());
    QVERIFY(d.Picture1->pixmap().isNull());
}

void TestBgColor::backgroundBecomesRelativeOnSave()
{
    const QString page = m_dir->filePath(QStringLiteral("site/index.html"));
    const QString picture = m_dir->filePath(QStringLiteral("site/bg/b.png"));
    QDir().mkpath(QFileInfo(picture).absolutePath());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QVERIFY(image.save(picture, "PNG"));
    QFile f(page);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html><head><title>t</title></head><body><p>x</p></body></html>");
    f.close();
    m_script.fileAnswers << page;
    m_form->FileOpen_Click();
    {
        BGCOLOR d(m_form->DHTMLEdit1, m_form.get());
        d.Text9->setText(picture);
        d.Command2_Click();
    }
    QVERIFY(m_form->DHTMLEdit1->DocumentHTML().contains(QStringLiteral("background=\"file://") + picture));
    QVERIFY(m_form->SaveCurrentDocument(false));
    QFile saved(page);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QVERIFY2(bytes.contains("background=\"bg/b.png\""), bytes.constData());
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestBgColor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bgcolor.moc"
