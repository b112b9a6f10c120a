// The Insert Image dialog on the real surface, and the typical road: choose a
// picture under the page's folder, insert it, save, and find it relative.
#include "image/linkgraph.h"
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace surface;

namespace {
// A 2 x 3 GIF (Qt reads GIF but cannot write it).
const QByteArray kGif = QByteArray::fromHex("47494638396102000300800000ff0000ffffff2c000000000200030000020384"
                                            "6f05003b");

} // namespace

class TestLinkGraph final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void pagesAndInitialState();
    void missingImageKeepsTheDialog();
    void fileList_data();
    void fileList();
    void folderLists();
    void startFolder_data();
    void startFolder();
    void previewsAndReadings();
    void typedPath_data();
    void typedPath();
    void browsing();
    void upDownAndImageMap();
    void alignmentPreview();
    void blueBoxAgainstCurrentGeometry_data();
    void blueBoxAgainstCurrentGeometry();
    void typicalRoad();

private:
    // Opens a page file in the window, as File > Open does.
    void openPage(const QString &page)
    {
        m_form->DHTMLEdit1->NewDocument(); // no save prompt for the last test's page
        m_script.fileAnswers << page;
        m_form->FileOpen_Click();
        QCOMPARE(m_form->DHTMLEdit1->CurrentDocumentPath(), page);
    }

    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &m_form = m_window.form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLinkGraph::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestLinkGraph::init()
{
    m_script = ui::Script();
    m_dir = std::make_unique<QTemporaryDir>();
    LinkGraph::lastImageFolder().clear();
}

void TestLinkGraph::cleanup()
{
    m_dir.reset();
}

void TestLinkGraph::cleanupTestCase()
{
    m_window.close();
}

void TestLinkGraph::pagesAndInitialState()
{
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(d.windowTitle(), QStringLiteral("Insert Image"));
    // No page that could only say there are no special effects.
    const QStringList tabs = {QStringLiteral(" Select Image "), QStringLiteral(" Alternatives "),
                              QStringLiteral(" Layout "), QStringLiteral(" Link to URL "),
                              QStringLiteral(" Advanced ")};
    QCOMPARE(d.TabStrip1->count(), tabs.size());
    for (int i = 0; i < tabs.size(); ++i)
        QCOMPARE(d.TabStrip1->tabText(i), tabs[i]);
    QVERIFY(d.LgraphOK->isDefault());
    QCOMPARE(d.LgraphOK->text(), QStringLiteral("&OK"));
    QCOMPARE(d.CANCELBUT->text(), QStringLiteral("&Cancel"));
    QCOMPARE(d.XimageLink->count(), 1);
    QCOMPARE(d.XimageLink->itemText(0), QStringLiteral("http://"));
    QCOMPARE(d.XimageLink->currentText(), QString());
    QCOMPARE(d.Combo2->count(), 11);
    QCOMPARE(d.Combo2->itemText(10), QStringLiteral("Infinite Loop"));
    QCOMPARE(d.Combo3->itemText(2), QStringLiteral("FileOpen and MouseOver"));
    QCOMPARE(d.Combo1->count(), 10);
    QCOMPARE(d.Combo1->currentIndex(), -1);
    QVERIFY(!d.Text7->isEnabled());
    QVERIFY(d.Label15->isHidden() && d.Label16->isHidden());
    QVERIFY(d.Redtext->isHidden() && d.Label12->isHidden());
    QCOMPARE(d.Text5->toolTip(),
             QStringLiteral("Amount of clear space to the left and right of the image (in pixels)"));
    QVERIFY(d.Drive1->count() >= 1);

    // QK_SCREENSHOT_DIR=folder keeps a picture of every page, to look at.
    const QString shots = qEnvironmentVariable("QK_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        d.show();
        d.Combo1->setCurrentIndex(7);
        d.Combo1_Click(7);
        for (int i = 0; i < d.TabStrip1->count(); ++i) {
            d.TabStrip1->setCurrentIndex(i);
            QTest::qWait(50);
            d.grab().save(QStringLiteral("%1/linkgraph-%2.png").arg(shots).arg(i));
        }
    }
}

void TestLinkGraph::missingImageKeepsTheDialog()
{
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    d.show();
    d.Alt->setText(QStringLiteral("kept"));
    d.TabStrip1->setCurrentIndex(1);
    d.LgraphOK_Click();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please enter image filename in the box below.")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::NoIcon);
    QVERIFY(d.isVisible());
    QCOMPARE(d.Alt->text(), QStringLiteral("kept"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.GraphText));
}

void TestLinkGraph::fileList_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("listed");
    QTest::newRow("png") << "a.png" << true;
    QTest::newRow("jpg") << "b.jpg" << true;
    QTest::newRow("gif") << "c.gif" << true;
    QTest::newRow("upper-case extension") << "photo.JPG" << true;
    QTest::newRow("jpeg") << "photo.jpeg" << true;
    QTest::newRow("bmp") << "old.bmp" << true;
    // The package list installs the SVG and WebP plugins.
    QTest::newRow("svg") << "d.svg" << true;
    QTest::newRow("webp") << "e.webp" << true;
    QTest::newRow("text") << "notes.txt" << false;
    QTest::newRow("no extension") << "README" << false;
}

void TestLinkGraph::fileList()
{
    QFETCH(QString, name);
    QFETCH(bool, listed);
    const QString path = writeTestFile(m_dir->filePath(name), QByteArray());
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QVERIFY(d.setFolder(m_dir->path()));
    QCOMPARE(d.File1->findItems(name, Qt::MatchExactly).size(), listed ? 1 : 0);
    QListWidgetItem item(name);
    d.File1_Click(&item);
    QCOMPARE(d.GraphText->text(), listed ? path : QString());
}

void TestLinkGraph::folderLists()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QVERIFY(d.setFolder(m_dir->path()));
    QVERIFY(!d.Dir1->findItems(QStringLiteral("sub"), Qt::MatchExactly).isEmpty());
    // At the root of a volume there is still exactly one separator.
    QVERIFY(d.setFolder(QStringLiteral("/")));
    QListWidgetItem root(QStringLiteral("logo.gif"));
    d.File1_Click(&root);
    QCOMPARE(d.GraphText->text(), QStringLiteral("/logo.gif"));
    QCOMPARE(browse::ChosenFileName(), QStringLiteral("/logo.gif"));
    QVERIFY(!d.setFolder(m_dir->filePath(QStringLiteral("missing"))));
    QCOMPARE(d.folder(), QStringLiteral("/"));
}

void TestLinkGraph::startFolder_data()
{
    QTest::addColumn<bool>("saved");    // the page has a file
    QTest::addColumn<bool>("usedOne");  // an image was chosen in an earlier opening
    QTest::addColumn<QString>("start"); // "site", "pics", or "" for Pictures or home
    QTest::newRow("saved page") << true << false << "site";
    QTest::newRow("page never saved") << false << false << "";
    QTest::newRow("image used before") << true << true << "pics";
    QTest::newRow("image used before, page never saved") << false << true << "pics";
}

void TestLinkGraph::startFolder()
{
    QFETCH(bool, saved);
    QFETCH(bool, usedOne);
    QFETCH(QString, start);
    const QString page = writeTestFile(m_dir->filePath(QStringLiteral("site/index.html")), "<p>x</p>");
    const QString picture = writeTestFile(m_dir->filePath(QStringLiteral("pics/p.gif")), kGif);
    if (saved)
        openPage(page);
    else
        m_form->DHTMLEdit1->NewDocument();
    if (usedOne) {
        LinkGraph first(m_form->DHTMLEdit1, m_form.get());
        m_script.fileAnswers << picture;
        first.Command2_Click();
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString expected = !start.isEmpty()          ? m_dir->filePath(start)
                             : QDir(pictures).exists() ? pictures
                                                       : QDir::homePath();
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(d.folder(), expected);
    d.Command2_Click(); // the image browse, cancelled
    QCOMPARE(m_script.lastStartFolder, expected);
    d.Command3_Click(); // the low-resolution image's
    QCOMPARE(m_script.lastStartFolder, expected);
}

void TestLinkGraph::previewsAndReadings()
{
    const QString gif = m_dir->filePath(QStringLiteral("small.gif"));
    writeTestFile(gif, kGif);
    const QString jpg = m_dir->filePath(QStringLiteral("wide.jpg"));
    QImage photo(120, 60, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    QVERIFY(photo.save(jpg, "JPG"));
    const QString damaged = m_dir->filePath(QStringLiteral("damaged.jpg"));
    writeTestFile(damaged, QByteArray("\xff\xd8\xff\xe0 not really a picture", 28));
    // A PNG header that claims 100000 x 100000 pixels.
    const QString huge = m_dir->filePath(QStringLiteral("huge.png"));
    writeTestFile(huge, QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000186a0000186a00806000000"));

    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    m_script.fileAnswers << jpg;
    d.Command2_Click();
    QCOMPARE(d.GraphText->text(), jpg);
    QCOMPARE(d.Label15->text(), QStringLiteral("Image width (pixels):  120"));
    QCOMPARE(d.Label16->text(), QStringLiteral("Image height (pixels):  60"));
    QCOMPARE(d.Text1->text(), QStringLiteral("120"));
    QCOMPARE(d.Text2->text(), QStringLiteral("60"));
    QVERIFY(!d.Label15->isHidden());

    // The path goes in all the same; the picture shown before and its size
    // go, so that they cannot be taken for this file's.
    for (const QString &bad : {damaged, huge}) {
        m_script.fileAnswers << bad;
        d.Command2_Click();
        QCOMPARE(d.GraphText->text(), bad);
        QVERIFY(d.Picture2->pixmap().isNull());
        QVERIFY(d.Label15->isHidden());
        QCOMPARE(d.Text1->text(), QString());
        QCOMPARE(d.Text2->text(), QString());
    }

    d.Text1->setText(QStringLiteral("7")); // typed before choosing
    m_script.fileAnswers << gif;
    d.Command2_Click();
    QCOMPARE(d.Text1->text(), QStringLiteral("2"));
    QCOMPARE(d.Text2->text(), QStringLiteral("3"));

    // A cancelled browse empties the box, the preview and the sizes (a zero
    // size would make an invisible picture).
    d.Command2_Click();
    QCOMPARE(d.GraphText->text(), QString());
    QVERIFY(d.Picture2->pixmap().isNull());
    QCOMPARE(d.Text1->text(), QString());
}

void TestLinkGraph::typedPath_data()
{
    QTest::addColumn<QString>("typedWidth"); // typed by the user first; null: none
    QTest::addColumn<QString>("path");       // "%1" stands for the page's folder
    QTest::addColumn<bool>("paste");
    QTest::addColumn<QString>("width"); // in the inserted tag; "" for none
    QTest::addColumn<QString>("height");
    const QString full = QStringLiteral("%1/img/a.png");
    QTest::newRow("typed path") << QString() << full << false << "120"
                                << "80";
    QTest::newRow("pasted path") << QString() << full << true << "120"
                                 << "80";
    QTest::newRow("relative to the page") << QString() << "img/a.png" << false << "120"
                                          << "80";
    QTest::newRow("file URL") << QString() << "file://%1/img/a.png" << true << "120"
                              << "80";
    QTest::newRow("no picture there") << QString() << "img/missing.png" << false << ""
                                      << "";
    QTest::newRow("size the user typed") << "50" << full << false << "50"
                                         << "60";
}

// The picture chosen first is 100 x 60; the path the user then types names
// another picture, 120 x 80.
void TestLinkGraph::typedPath()
{
    QFETCH(QString, typedWidth);
    QFETCH(QString, path);
    QFETCH(bool, paste);
    QFETCH(QString, width);
    QFETCH(QString, height);
    const QString page = writeTestFile(m_dir->filePath(QStringLiteral("site/index.html")), "<p>x</p>");
    const QString folder = QFileInfo(page).absolutePath();
    QDir().mkpath(folder + QStringLiteral("/img"));
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QVERIFY(picture.save(folder + QStringLiteral("/img/a.png"), "PNG"));
    QVERIFY(picture.scaled(100, 60).save(folder + QStringLiteral("/img/b.jpg"), "JPG"));
    openPage(page);

    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    d.show();
    QVERIFY(d.setFolder(folder + QStringLiteral("/img")));
    d.File1_Click(d.File1->findItems(QStringLiteral("b.jpg"), Qt::MatchExactly).value(0));
    QCOMPARE(d.Text1->text(), QStringLiteral("100"));
    if (!typedWidth.isNull()) {
        d.Text1->selectAll();
        QTest::keyClicks(d.Text1, typedWidth);
    }
    d.GraphText->selectAll();
    if (paste) {
        QGuiApplication::clipboard()->setText(path.arg(folder));
        QTest::keySequence(d.GraphText, QKeySequence::Paste);
    } else {
        QTest::keyClicks(d.GraphText, path.arg(folder));
    }
    QCOMPARE(d.GraphText->text(), path.arg(folder));
    QCOMPARE(d.Picture2->pixmap().width(), width.isEmpty() ? 0 : 120);
    QCOMPARE(d.Label15->isVisible(), !width.isEmpty());
    d.LgraphOK_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const QStringList size =
        m_window
            .js(QStringLiteral(
                "(() => { const i = document.querySelector('img');"
                " return i ? [i.getAttribute('width') || '', i.getAttribute('height') || ''] : []; })()"))
            .toStringList();
    QCOMPARE(size, (QStringList{width, height}));
}

void TestLinkGraph::browsing()
{
    const QString shortcut = m_dir->filePath(QStringLiteral("site.url"));
    writeTestFile(shortcut, "[InternetShortcut]\nURL=http://site.example/\n");
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    // The link target keeps its letter case on a case-sensitive file system.
    m_script.fileAnswers << QStringLiteral("/Web/About.html");
    d.Command5_Click();
    QCOMPARE(d.XimageLink->currentText(), QStringLiteral("/Web/About.html"));
    QCOMPARE(m_script.lastFilterIndex, 7);
    d.Command5_Click();
    QCOMPARE(d.XimageLink->currentText(), QString());

    m_script.fileAnswers << shortcut;
    d.Command1_Click();
    QCOMPARE(d.XimageLink->currentText(), QStringLiteral("http://site.example/"));

    // The low-resolution browse is not emptied first: a cancel puts in the
    // last path chosen in this dialog.
    d.Command3_Click();
    QCOMPARE(d.Text8->text(), shortcut);

    m_script.fileAnswers << m_dir->filePath(QStringLiteral("clip.avi"));
    d.Command7_Click();
    QCOMPARE(d.Text6->text(), m_dir->filePath(QStringLiteral("clip.avi")));
    d.Command7_Click();
    QCOMPARE(d.Text6->text(), QString());
}

void TestLinkGraph::upDownAndImageMap()
{
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QCOMPARE(d.Text3->text(), QString());
    d.UpDown3->step(1);
    QCOMPARE(d.Text3->text(), QStringLiteral("0"));
    d.UpDown3->step(1);
    QCOMPARE(d.Text3->text(), QStringLiteral("1"));
    d.Text3->setText(QStringLiteral("20"));
    d.UpDown3->step(1);
    QCOMPARE(d.Text3->text(), QStringLiteral("20"));
    d.Text5->setText(QStringLiteral("abc")); // typing is free
    d.UpDown1->step(-1);
    QCOMPARE(d.Text5->text(), QStringLiteral("0"));
    d.Text4->setText(QStringLiteral("99"));
    d.UpDown2->up->click();
    d.UpDown2->up->click();
    QCOMPARE(d.Text4->text(), QStringLiteral("100"));

    d.Text7->setText(QStringLiteral("nav"));
    d.Check2->click();
    QVERIFY(d.Text7->isEnabled());
    d.Check2->click();
    QVERIFY(!d.Text7->isEnabled());
    QCOMPARE(d.Text7->text(), QStringLiteral("nav")); // disabled, not cleared
}

void TestLinkGraph::alignmentPreview()
{
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    d.show();
    d.TabStrip1->setCurrentIndex(2);
    d.Combo1->setCurrentIndex(2); // Middle
    d.Combo1_Click(2);
    QCOMPARE(d.alignPiece(), QStringLiteral(" ALIGN=\"Middle\""));
    QVERIFY(d.Leftimage->isVisible() && d.Redtext->isVisible() && d.Label12->isVisible());
    QVERIFY(d.Label10->isVisible() && d.Label11->isVisible());
    d.Combo1->setCurrentIndex(4); // Left
    d.Combo1_Click(4);
    // No red box, so no legend for one.
    QVERIFY(d.Leftimage2->isVisible() && !d.Redtext->isVisible());
    QVERIFY(!d.Label10->isVisible() && d.Label11->isVisible());
    QCOMPARE(d.Toplabel->text(), QStringLiteral("This is neighboring text and more text."));
    d.Combo1->setCurrentIndex(1); // Top
    d.Combo1_Click(1);
    QVERIFY(!d.Leftimage2->isVisible());
    QCOMPARE(d.Toplabel->text(), QStringLiteral("This is neighboring text."));
    d.Combo1->setCurrentIndex(0); // None
    d.Combo1_Click(0);
    QCOMPARE(d.alignPiece(), QString());
    QVERIFY(!d.Redtext->isVisible() && !d.Label10->isVisible() && !d.Label12->isVisible() &&
            !d.Toplabel->isVisible());
}

void TestLinkGraph::blueBoxAgainstCurrentGeometry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("edge"); // of the blue box: top, middle or bottom
    QTest::addColumn<QString>("against");
    QTest::newRow("Top") << "Top"
                         << "top"
                         << "Redtext";
    QTest::newRow("Middle") << "Middle"
                            << "middle"
                            << "Toplabel";
    QTest::newRow("Bottom") << "Bottom(Default)"
                            << "bottom"
                            << "Toplabel";
    QTest::newRow("Baseline") << "Baseline"
                              << "bottom"
                              << "Toplabel";
    QTest::newRow("Texttop") << "Texttop"
                             << "top"
                             << "Toplabel";
    QTest::newRow("Absmiddle") << "Absmiddle"
                               << "middle"
                               << "Redtext";
    QTest::newRow("Absbottom") << "Absbottom"
                               << "bottom"
                               << "Redtext";
}

// The text label wraps to more lines than it was drawn for; the blue box is
// placed against the lines it shows now.
void TestLinkGraph::blueBoxAgainstCurrentGeometry()
{
    QFETCH(QString, entry);
    QFETCH(QString, edge);
    QFETCH(QString, against);
    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QFont large = d.font();
    large.setPointSize(16);
    d.setFont(large);
    d.show();
    d.TabStrip1->setCurrentIndex(2);
    const int index = d.Combo1->findText(entry);
    d.Combo1->setCurrentIndex(index);
    d.Combo1_Click(index);
    QVERIFY(d.Toplabel->height() > 2 * 195 / LinkGraph::twipsPerPixel()); // it wraps
    const QRect blue = d.Leftimage->geometry();
    const QRect other = d.findChild<QWidget *>(against)->geometry();
    auto at = [&](const QRect &r) {
        return edge == QLatin1String("top")      ? r.top()
               : edge == QLatin1String("bottom") ? r.bottom()
                                                 : r.center().y();
    };
    QVERIFY2(std::abs(at(blue) - at(other)) <= 1,
             qPrintable(QStringLiteral("%1 against %2").arg(at(blue)).arg(at(other))));
}

void TestLinkGraph::typicalRoad()
{
    const QString page = m_dir->filePath(QStringLiteral("site/index.html"));
    writeTestFile(page, "<html><head><title>Site</title></head><body><p>Welcome</p></body></html>");
    const QString picture = m_dir->filePath(QStringLiteral("site/img/logo.gif"));
    writeTestFile(picture, kGif);
    openPage(page);

    LinkGraph d(m_form->DHTMLEdit1, m_form.get());
    QVERIFY(d.setFolder(QFileInfo(picture).absolutePath()));
    const QList<QListWidgetItem *> items = d.File1->findItems(QStringLiteral("logo.gif"), Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    d.File1_Click(items.first());
    d.Alt->setText(QStringLiteral("Logo"));
    d.LgraphOK_Click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(m_form->DHTMLEdit1->DocumentHTML().contains(QStringLiteral("src=\"file://") + picture));

    QVERIFY(m_form->SaveCurrentDocument(false));
    QFile saved(page);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    QVERIFY2(bytes.contains("src=\"img/logo.gif\""), bytes.constData());
    QVERIFY(m_form->DHTMLEdit1->DocumentHTML().contains(QStringLiteral("src=\"img/logo.gif\"")));
    QTRY_COMPARE(m_window.js(QStringLiteral("document.querySelector('img').naturalWidth")).toInt(), 2);
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestLinkGraph test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linkgraph.moc"
