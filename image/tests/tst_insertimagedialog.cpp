// The Insert Image dialog against a page held in memory.
#include "image/insertimagedialog.h"
#include "testsupport/children.h"
#include "testsupport/fakeeditsurface.h"
#include "testsupport/testfiles.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using image::InsertImageDialog;

namespace {
// A 2 x 3 GIF (Qt reads GIF but cannot write it).
const QByteArray kGif = QByteArray::fromHex("47494638396102000300800000ff0000ffffff2c000000000200030000020384"
                                            "6f05003b");

// An attribute's value in a pasted fragment; "" when it has none.
QString attribute(const QString &fragment, const QString &name)
{
    return QRegularExpression(u' ' + name + QStringLiteral("=\"([^\"]*)\"")).match(fragment).captured(1);
}
} // namespace

class TestInsertImageDialog final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingImageKeepsTheDialog();
    void replacesTheSelectedPicture();
    void fileList_data();
    void fileList();
    void folderLists();
    void startFolder_data();
    void startFolder();
    void previewsAndReadings();
    void typedPath_data();
    void typedPath();
    void browsing();
    void cancelledBrowseKeepsTheBox_data();
    void cancelledBrowseKeepsTheBox();
    void blueBoxAgainstCurrentGeometry_data();
    void blueBoxAgainstCurrentGeometry();

private:
    // A saved page, opened as File > Open opens it.
    void openPage(const QString &path) { QCOMPARE(m_surface.LoadDocument(path, false), surface::codes::Ok); }

    testsupport::FakeEditSurface m_surface;
    ui::Script m_script;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestInsertImageDialog::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    m_dir = std::make_unique<QTemporaryDir>();
    m_surface.NewDocument();
    InsertImageDialog::lastImageFolder().clear();
}

void TestInsertImageDialog::cleanup()
{
    ui::setScript(nullptr);
    m_dir.reset();
}

void TestInsertImageDialog::missingImageKeepsTheDialog()
{
    InsertImageDialog d(&m_surface);
    d.show();
    child<QLineEdit>(d, "Alt")->setText(QStringLiteral("kept"));
    child<QTabWidget>(d, "TabStrip1")->setCurrentIndex(1);
    d.insertImage();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Please enter image filename in the box below.")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::NoIcon);
    QVERIFY(d.isVisible());
    QCOMPARE(child<QLineEdit>(d, "Alt")->text(), QStringLiteral("kept"));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(child<QLineEdit>(d, "GraphText")));
}

void TestInsertImageDialog::replacesTheSelectedPicture()
{
    m_surface.setPage(QStringLiteral("<html><body><p>a <img src=\"old.gif\"> b</p></body></html>"));
    QVERIFY(m_surface.selectObject(QStringLiteral("<img src=\"old.gif\">")));
    InsertImageDialog d(&m_surface);
    child<QLineEdit>(d, "GraphText")->setText(QStringLiteral("new.gif"));
    child<QLineEdit>(d, "Alt")->setText(QStringLiteral("New"));
    d.insertImage();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(m_surface.page(),
             QStringLiteral("<html><body><p>a <img src=\"new.gif\" alt=\"New\"> b</p></body></html>"));
}

void TestInsertImageDialog::fileList_data()
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

void TestInsertImageDialog::fileList()
{
    QFETCH(QString, name);
    QFETCH(bool, listed);
    const QString path = writeTestFile(m_dir->filePath(name), QByteArray());
    InsertImageDialog d(&m_surface);
    QVERIFY(d.setFolder(m_dir->path()));
    QCOMPARE(child<QListWidget>(d, "File1")->findItems(name, Qt::MatchExactly).size(), listed ? 1 : 0);
    QListWidgetItem item(name);
    d.pickListedFile(&item);
    QCOMPARE(child<QLineEdit>(d, "GraphText")->text(), listed ? path : QString());
}

void TestInsertImageDialog::folderLists()
{
    QDir(m_dir->path()).mkdir(QStringLiteral("sub"));
    InsertImageDialog d(&m_surface);
    QVERIFY(d.setFolder(m_dir->path()));
    QVERIFY(!child<QListWidget>(d, "Dir1")->findItems(QStringLiteral("sub"), Qt::MatchExactly).isEmpty());
    // At the root of a volume there is still exactly one separator.
    QVERIFY(d.setFolder(QStringLiteral("/")));
    QListWidgetItem root(QStringLiteral("logo.gif"));
    d.pickListedFile(&root);
    QCOMPARE(child<QLineEdit>(d, "GraphText")->text(), QStringLiteral("/logo.gif"));
    QCOMPARE(browse::ChosenFileName(), QStringLiteral("/logo.gif"));
    QVERIFY(!d.setFolder(m_dir->filePath(QStringLiteral("missing"))));
    QCOMPARE(d.folder(), QStringLiteral("/"));
}

void TestInsertImageDialog::startFolder_data()
{
    QTest::addColumn<bool>("saved");    // the page has a file
    QTest::addColumn<bool>("usedOne");  // an image was chosen in an earlier opening
    QTest::addColumn<QString>("start"); // "site", "pics", or "" for Pictures or home
    QTest::newRow("saved page") << true << false << "site";
    QTest::newRow("page never saved") << false << false << "";
    QTest::newRow("image used before") << true << true << "pics";
    QTest::newRow("image used before, page never saved") << false << true << "pics";
}

void TestInsertImageDialog::startFolder()
{
    QFETCH(bool, saved);
    QFETCH(bool, usedOne);
    QFETCH(QString, start);
    const QString page = writeTestFile(m_dir->filePath(QStringLiteral("site/index.html")), "<p>x</p>");
    const QString picture = writeTestFile(m_dir->filePath(QStringLiteral("pics/p.gif")), kGif);
    if (saved)
        openPage(page);
    else
        m_surface.NewDocument();
    if (usedOne) {
        InsertImageDialog first(&m_surface);
        m_script.fileAnswers << picture;
        first.browseImage();
    }
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString expected = !start.isEmpty()          ? m_dir->filePath(start)
                             : QDir(pictures).exists() ? pictures
                                                       : QDir::homePath();
    InsertImageDialog d(&m_surface);
    QCOMPARE(d.folder(), expected);
    d.browseImage(); // the image browse, cancelled
    QCOMPARE(m_script.lastStartFolder, expected);
    d.browseLowResImage(); // the low-resolution image's
    QCOMPARE(m_script.lastStartFolder, expected);
}

void TestInsertImageDialog::previewsAndReadings()
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

    InsertImageDialog d(&m_surface);
    m_script.fileAnswers << jpg;
    d.browseImage();
    QCOMPARE(child<QLineEdit>(d, "GraphText")->text(), jpg);
    QCOMPARE(child<QLabel>(d, "Label15")->text(), QStringLiteral("Image width (pixels):  120"));
    QCOMPARE(child<QLabel>(d, "Label16")->text(), QStringLiteral("Image height (pixels):  60"));
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("120"));
    QCOMPARE(child<QLineEdit>(d, "Text2")->text(), QStringLiteral("60"));
    QVERIFY(!child<QLabel>(d, "Label15")->isHidden());

    // The path goes in all the same; the picture shown before and its size
    // go, so that they cannot be taken for this file's.
    for (const QString &bad : {damaged, huge}) {
        m_script.fileAnswers << bad;
        d.browseImage();
        QCOMPARE(child<QLineEdit>(d, "GraphText")->text(), bad);
        QVERIFY(child<QLabel>(d, "Picture2")->pixmap().isNull());
        QVERIFY(child<QLabel>(d, "Label15")->isHidden());
        QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QString());
        QCOMPARE(child<QLineEdit>(d, "Text2")->text(), QString());
    }

    child<QLineEdit>(d, "Text1")->setText(QStringLiteral("7")); // typed before choosing
    m_script.fileAnswers << gif;
    d.browseImage();
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLineEdit>(d, "Text2")->text(), QStringLiteral("3"));
}

void TestInsertImageDialog::typedPath_data()
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
void TestInsertImageDialog::typedPath()
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

    InsertImageDialog d(&m_surface);
    d.show();
    QVERIFY(d.setFolder(folder + QStringLiteral("/img")));
    d.pickListedFile(
        child<QListWidget>(d, "File1")->findItems(QStringLiteral("b.jpg"), Qt::MatchExactly).value(0));
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("100"));
    if (!typedWidth.isNull()) {
        child<QLineEdit>(d, "Text1")->selectAll();
        QTest::keyClicks(child<QLineEdit>(d, "Text1"), typedWidth);
    }
    child<QLineEdit>(d, "GraphText")->selectAll();
    if (paste) {
        QGuiApplication::clipboard()->setText(path.arg(folder));
        QTest::keySequence(child<QLineEdit>(d, "GraphText"), QKeySequence::Paste);
    } else {
        QTest::keyClicks(child<QLineEdit>(d, "GraphText"), path.arg(folder));
    }
    QCOMPARE(child<QLineEdit>(d, "GraphText")->text(), path.arg(folder));
    QCOMPARE(child<QLabel>(d, "Picture2")->pixmap().width(), width.isEmpty() ? 0 : 120);
    QCOMPARE(child<QLabel>(d, "Label15")->isVisible(), !width.isEmpty());
    d.insertImage();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(m_surface.pasted.size(), 1);
    QCOMPARE(attribute(m_surface.pasted.constFirst(), QStringLiteral("width")), width);
    QCOMPARE(attribute(m_surface.pasted.constFirst(), QStringLiteral("height")), height);
}

void TestInsertImageDialog::browsing()
{
    const QString shortcut = m_dir->filePath(QStringLiteral("site.url"));
    writeTestFile(shortcut, "[InternetShortcut]\nURL=http://site.example/\n");
    InsertImageDialog d(&m_surface);
    // The link target keeps its letter case on a case-sensitive file system.
    m_script.fileAnswers << QStringLiteral("/Web/About.html");
    d.browseLinkFile();
    QCOMPARE(child<QComboBox>(d, "XimageLink")->currentText(), QStringLiteral("/Web/About.html"));
    QCOMPARE(m_script.lastFilterIndex, 7);
    m_script.fileAnswers << shortcut;
    d.browseFavourites();
    QCOMPARE(child<QComboBox>(d, "XimageLink")->currentText(), QStringLiteral("http://site.example/"));
    m_script.fileAnswers << m_dir->filePath(QStringLiteral("clip.avi"));
    d.browseVideo();
    QCOMPARE(child<QLineEdit>(d, "Text6")->text(), m_dir->filePath(QStringLiteral("clip.avi")));
}

void TestInsertImageDialog::cancelledBrowseKeepsTheBox_data()
{
    QTest::addColumn<QString>("button"); // the browse button
    QTest::addColumn<QString>("box");    // the box it fills
    const char *const rows[][3] = {{"image", "Command2", "GraphText"},
                                   {"low-resolution image", "Command3", "Text8"},
                                   {"link target", "Command5", "XimageLink"},
                                   {"favourite", "Command1", "XimageLink"},
                                   {"video", "Command7", "Text6"}};
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromLatin1(r[1]) << QString::fromLatin1(r[2]);
}

// What the user typed or chose before is not theirs to lose by changing
// their mind in the file dialog.
void TestInsertImageDialog::cancelledBrowseKeepsTheBox()
{
    QFETCH(QString, button);
    QFETCH(QString, box);
    const QString gif = writeTestFile(m_dir->filePath(QStringLiteral("small.gif")), kGif);
    InsertImageDialog d(&m_surface);
    m_script.fileAnswers << gif; // an earlier choice, which a cancel must not bring back either
    d.browseImage();
    const QString typed = QStringLiteral("typed by hand");
    auto *line = d.findChild<QLineEdit *>(box);
    auto *combo = d.findChild<QComboBox *>(box);
    QVERIFY(line || combo);
    line ? line->setText(typed) : combo->setEditText(typed);
    d.findChild<QToolButton *>(button)->click(); // cancelled
    QCOMPARE(m_script.filesAsked, 2);
    QCOMPARE(line ? line->text() : combo->currentText(), typed);
    // The picture shown and the sizes it gave stay too.
    QVERIFY(!child<QLabel>(d, "Picture2")->pixmap().isNull());
    QCOMPARE(child<QLineEdit>(d, "Text1")->text(), QStringLiteral("2"));
}

void TestInsertImageDialog::blueBoxAgainstCurrentGeometry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("edge"); // of the blue box: top, middle or bottom
    QTest::addColumn<QString>("against");
    const char *const rows[][4] = {{"Top", "Top", "top", "Redtext"},
                                   {"Middle", "Middle", "middle", "Toplabel"},
                                   {"Bottom", "Bottom(Default)", "bottom", "Toplabel"},
                                   {"Baseline", "Baseline", "bottom", "Toplabel"},
                                   {"Texttop", "Texttop", "top", "Toplabel"},
                                   {"Absmiddle", "Absmiddle", "middle", "Redtext"},
                                   {"Absbottom", "Absbottom", "bottom", "Redtext"}};
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromLatin1(r[1]) << QString::fromLatin1(r[2])
                            << QString::fromLatin1(r[3]);
}

// The text label wraps to more lines than it was drawn for; the blue box is
// placed against the lines it shows now.
void TestInsertImageDialog::blueBoxAgainstCurrentGeometry()
{
    QFETCH(QString, entry);
    QFETCH(QString, edge);
    QFETCH(QString, against);
    InsertImageDialog d(&m_surface);
    QFont large = d.font();
    large.setPointSize(16);
    d.setFont(large);
    d.show();
    child<QTabWidget>(d, "TabStrip1")->setCurrentIndex(2);
    const int index = child<QComboBox>(d, "Combo1")->findText(entry);
    child<QComboBox>(d, "Combo1")->setCurrentIndex(index);
    d.alignPicked(index);
    QVERIFY(child<QLabel>(d, "Toplabel")->height() >
            2 * 195 / InsertImageDialog::twipsPerPixel()); // it wraps
    const QRect blue = child<QWidget>(d, "Leftimage")->geometry();
    const QRect other = d.findChild<QWidget *>(against)->geometry();
    auto at = [&](const QRect &r) {
        return edge == QLatin1String("top")      ? r.top()
               : edge == QLatin1String("bottom") ? r.bottom()
                                                 : r.center().y();
    };
    QVERIFY2(std::abs(at(blue) - at(other)) <= 1,
             qPrintable(QStringLiteral("%1 against %2").arg(at(blue)).arg(at(other))));
}

QTEST_MAIN(TestInsertImageDialog)

#include "tst_insertimagedialog.moc"
