// The main window driven with the real editing surface; dialogs are answered
// through the program's dialog seam.
#include "quillonkiv_config.h"
#include "shell/capslock.h"
#include "shell/mainform.h"
#include "shell/pictures.h"
#include "shell/program.h"
#include "surface/webenginesurface.h"
#include "testsupport/testwindow.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWidgetAction>

#include <unistd.h>

#if defined(QK_WITH_XKB_X11)
// The XKB header names a member after a C++ keyword.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
#endif

using namespace shell;
using namespace surface;

namespace {
double twipsPerPixel()
{
    return 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}

} // namespace

class TestMainForm final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // First: any test before it may read a picture file.
    void startsWithoutReadingPictureFiles();
    void startupGeometry_data();
    void startupGeometry();
    void everyMenuItemActs();
    void menusOpenByTheirLetters();
    void typingReplacesTheStartPlaceholder();
    void typingGoesIntoThePageAtOnce();
    void shippedPicturesShow();
    void closePrompt_data();
    void closePrompt();
    void newOpenSave();
    void saveAs();
    void cancelBeforeOpenKeepsControlsDisabled();
    void openFailureShowsMessage();
    void nonLatinTextSurvivesSaveAndReopen();
    void geometryStoredOnClose();
    void offScreenPositionComesBack();
    void capsPanelFollowsTheLock();
    void commandLineOptions_data();
    void commandLineOptions();
    void commandLineOpensPages();
    void recentPages();
    void droppedFile_data();
    void droppedFile();
    void droppedPictureGoesWhereItFalls();
    void capsLockReadFromTheXServer();
    void pageFollowsSiteRename_data();
    void pageFollowsSiteRename();

private:
    void drop(MainForm &form, const QString &path, QPoint at);
    void makeDirty(const QString &html = QStringLiteral("<b>changed</b>")) { QVERIFY(m_window.edit(html)); }

    // A window of the test's own: open() replaces the one before.
    TestWindow m_window;
    ui::Script &m_script = m_window.script;
    std::unique_ptr<MainForm> &form = m_window.form;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestMainForm::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainForm::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    m_dir = std::make_unique<QTemporaryDir>();
    QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV")).clear();
}

void TestMainForm::cleanup()
{
    m_window.close();
    m_dir.reset();
}

void TestMainForm::startupGeometry_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<bool>("screenWidth");
    QTest::addColumn<bool>("screenHeight");
    QTest::addColumn<int>("twipsW");
    QTest::addColumn<int>("twipsH");
    QTest::newRow("no settings") << QString() << QString() << true << true << 0 << 0;
    QTest::newRow("5000 by 5000") << "5000"
                                  << "5000" << true << true << 0 << 0;
    QTest::newRow("5000 by 6000") << "5000"
                                  << "6000" << false << false << 5000 << 6000;
    QTest::newRow("width not a number") << "wide"
                                        << "6000" << true << false << 0 << 6000;
}

void TestMainForm::startupGeometry()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(bool, screenWidth);
    QFETCH(bool, screenHeight);
    QFETCH(int, twipsW);
    QFETCH(int, twipsH);
    {
        QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
        if (!width.isNull())
            s.setValue(QStringLiteral("Window/WindowXSize"), width);
        if (!height.isNull())
            s.setValue(QStringLiteral("Window/WindowYSize"), height);
    }
    QVERIFY(m_window.open());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const double tpp = twipsPerPixel();
    const int w = screenWidth ? screen.width() : qRound(twipsW / tpp);
    const int h = screenHeight ? screen.height() : qRound(twipsH / tpp);
    QCOMPARE(form->size(), QSize(w, h));
    QCOMPARE(form->pos(), QPoint(0, 0));
    QCOMPARE(form->windowTitle(), QStringLiteral("Quillon Kiv"));
    QVERIFY(!form->surface()->IsDirty());
}

void TestMainForm::everyMenuItemActs()
{
    QVERIFY(m_window.open());
    auto *surface = static_cast<WebEngineSurface *>(form->surface());
    const auto js = [&](const char *code) {
        return surface->evaluate(QString::fromLatin1(code)).value_or(QVariant());
    };
    // A page where every item applies: text selected in a table cell, an edit
    // to undo and one to redo, something on the clipboard.
    const auto prepare = [&] {
        surface->NewDocument();
        QVERIFY(surface->setDocumentHTML(
            QStringLiteral("<p>above</p><table><tr><td id=c>first words</td></tr></table>")));
        QVERIFY(js("getSelection().selectAllChildren(document.getElementById('c')), true").toBool());
        makeDirty(QStringLiteral("<b>one</b>"));
        makeDirty(QStringLiteral("<i>two</i>"));
        QVERIFY(surface->ExecCommand(DECMD_UNDO).isValid());
        QVERIFY(js("getSelection().selectAllChildren(document.getElementById('c')), true").toBool());
        QGuiApplication::clipboard()->setText(QStringLiteral("clip"));
        QVERIFY(surface->DOM().selection().createRange()); // the menus read this state, not a lagging one
    };
    // Whatever a person could see change.
    QStringList windows;
    const auto seen = [&](const QAction *a) {
        return QStringList{form->isVisible() ? QStringLiteral("open") : QStringLiteral("closed"),
                           surface->DocumentHTML(),
                           js("getSelection().toString()").toString(),
                           QGuiApplication::clipboard()->text(),
                           a->isChecked() ? QStringLiteral("checked") : QString(),
                           QString::number(m_script.filesAsked),
                           QString::number(m_script.foldersAsked),
                           QString::number(m_script.messagesShown.size()),
                           m_script.opened.join(u' '),
                           windows.join(u' ')};
    };
    // Any window an item shows is noted and closed, modal or not.
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w != form.get()) {
                windows << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                      : w->objectName());
                w->close();
            }
    });
    closer.start();
    const QHash<QString, QString> shows = {
        {QStringLiteral("mnuFilePrint"), QStringLiteral("QPrintDialog")},
        {QStringLiteral("EditSub_8"), QStringLiteral("FindDialog")},
        {QStringLiteral("mnuInsertPageProperties"), QStringLiteral("BGCOLOR")},
        {QStringLiteral("mnuInsertHyperlink"), QStringLiteral("LINKTEXT")},
        {QStringLiteral("mnuInsertImage"), QStringLiteral("LinkGraph")},
        {QStringLiteral("InsertHTML"), QStringLiteral("InsertHTMLDlg")},
        {QStringLiteral("mnuFizzet"), QStringLiteral("FizzetBox")},
        {QStringLiteral("mnuHelpContents"), QStringLiteral("HelpWindow")},
        {QStringLiteral("mnuHelpIncreaseTraffic"), QStringLiteral("TrafficBox")},
        {QStringLiteral("mnuAbout"), QStringLiteral("AboutFrm")}};

    QList<QAction *> items;
    std::function<void(QMenu *)> walk = [&](QMenu *menu) {
        for (QAction *a : menu->actions())
            if (a->menu())
                walk(a->menu());
            else if (!a->isSeparator() && !a->text().isEmpty())
                items << a;
    };
    for (QAction *top : form->menuBar()->actions())
        walk(top->menu());
    // Leaving the program comes last.
    std::stable_partition(items.begin(), items.end(),
                          [](const QAction *a) { return a->objectName() != QLatin1String("FileExit"); });
    QStringList tried;
    for (QAction *a : std::as_const(items)) {
        const QString name = a->objectName().isEmpty() ? a->text() : a->objectName();
        prepare();
        if (auto *menu = qobject_cast<QMenu *>(a->parent()))
            emit menu->aboutToShow(); // as the menu opens
        if (!a->isEnabled()) {
            QCOMPARE(name, QStringLiteral("mnuFilePublish")); // the only item never offered
            continue;
        }
        windows.clear();
        m_script.messageAnswers = {QMessageBox::No};
        const QStringList before = seen(a);
        a->trigger();
        QTRY_VERIFY2(seen(a) != before, qPrintable(name));
        QTRY_VERIFY(!windows.isEmpty() || !shows.contains(name));
        QCOMPARE(windows.value(0), shows.value(name));
        tried << name;
    }
    for (const QString &name : shows.keys())
        QVERIFY2(tried.contains(name), qPrintable(name));
}

void TestMainForm::menusOpenByTheirLetters()
{
    QVERIFY(m_window.open());
    auto *fonts = form->findChild<QComboBox *>(QStringLiteral("FontCombo"));
    // The font box takes typing once the caret is in the page.
    QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, QPoint(20, 20));
    QTRY_VERIFY(fonts->isEnabled());
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QList<QKeySequence> letters;
    for (QAction *top : form->menuBar()->actions()) {
        const QKeySequence letter = QKeySequence::mnemonic(top->text());
        QVERIFY2(!letter.isEmpty() && !letters.contains(letter), qPrintable(top->text()));
        letters << letter;
        fonts->setFocus();
        const QString typed = fonts->currentText();
        QTest::keyClick(fonts, letter[0].key(), Qt::AltModifier);
        QCOMPARE(fonts->currentText(), typed);
        QTRY_COMPARE(QApplication::activePopupWidget(), top->menu());
        top->menu()->close();
    }
}

// What is typed takes the place of the start page's no-break space, in a
// paragraph: the line the page starts with becomes one.
void TestMainForm::typingReplacesTheStartPlaceholder()
{
    QVERIFY(m_window.open());
    QWidget *input = m_window.input();
    form->surface()->widget()->setFocus();
    // Into the line, as a person clicks before typing.
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::keyClicks(input, QStringLiteral("abc"));
    QTRY_VERIFY2(form->surface()->DocumentHTML().contains(QStringLiteral("<p>abc</p>")),
                 qPrintable(form->surface()->DocumentHTML()));
}

// A new window takes typing into its page, not into the first box of a
// toolbar: the page is the widget that gets the keys once the window is
// made active, which a window manager does after the window is shown.
void TestMainForm::typingGoesIntoThePageAtOnce()
{
    form = std::make_unique<MainForm>(std::make_unique<surface::WebEngineSurface>(), programOffers());
    QCOMPARE(form->focusWidget(), form->surface()->widget());
    form->setAttribute(Qt::WA_ShowWithoutActivating);
    form->show();
    QTRY_VERIFY_WITH_TIMEOUT(form->documentReady, 20000);
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QWidget *focus = QApplication::focusWidget();
    QVERIFY2(focus == m_window.input(), focus ? qPrintable(focus->objectName()) : "nothing");
    QTest::keyClicks(focus, QStringLiteral("abc"));
    QTRY_VERIFY2(form->surface()->DocumentHTML().contains(QStringLiteral("<p>abc</p>")),
                 qPrintable(form->surface()->DocumentHTML()));
}

void TestMainForm::startsWithoutReadingPictureFiles()
{
    // Every picture the window shows as it opens is baked in: reading one
    // file, even a PNG, loads every image format plugin (about 1 MiB).
    Program program([] { return std::make_unique<WebEngineSurface>(); }, programOffers());
    QVERIFY(!program.start({QStringLiteral("quillon-kiv")}));
    MainForm *window = program.windows().value(0);
    QVERIFY(window);
    QTRY_VERIFY_WITH_TIMEOUT(window->documentReady, 60000);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->grab(); // every toolbar picture drawn, the disabled ones too
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        QSKIP("no /proc here");
    const QByteArray mapped = maps.readAll();
    QVERIFY2(!mapped.contains("/imageformats/"), "an image format plugin was loaded");
    QVERIFY2(!mapped.contains("libQt6Svg"), "Qt SVG was loaded");
}

void TestMainForm::shippedPicturesShow()
{
    // The window's pictures are baked at build time: lost on the way, or a
    // toolbar picture missing from the list baked, a button would be blank
    // here (this platform has no icon theme of its own).
    form = std::make_unique<MainForm>(std::make_unique<surface::WebEngineSurface>(), programOffers());
    QVERIFY(!form->windowIcon().availableSizes().isEmpty());
    QStringList themed;
    for (const QToolBar *bar : form->findChildren<QToolBar *>()) {
        for (const QAction *button : bar->actions()) {
            if (button->isSeparator() || qobject_cast<const QWidgetAction *>(button))
                continue;
            QVERIFY2(!button->icon().pixmap(24).isNull(), qPrintable(button->objectName()));
            QCOMPARE(button->icon().pixmap(24).size(), QSize(24, 24));
            themed << button->objectName();
        }
    }
    QVERIFY(themed.size() > 20);

    // Baked pixels look as the theme's and the style's own pictures do.
    const QStringList searchPaths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    const QImage cut = QIcon::fromTheme(QStringLiteral("edit-cut")).pixmap(24).toImage();
    QIcon::setThemeSearchPaths(searchPaths);
    if (cut.isNull())
        QSKIP("the Adwaita icon theme is not installed");
    const auto *cutButton = form->findChild<QAction *>(QStringLiteral("Cut"));
    QVERIFY(cutButton);
    QCOMPARE(cutButton->icon().pixmap(24).toImage().convertToFormat(cut.format()), cut);
    pictures::useBakedStyle();
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("fusion")));
    for (QStyle::StandardPixmap arrow :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon ours = QApplication::style()->standardIcon(arrow);
        const QIcon theirs = fusion->standardIcon(arrow);
        QCOMPARE(ours.availableSizes(), theirs.availableSizes());
        for (const QSize &size : theirs.availableSizes())
            QCOMPARE(ours.pixmap(size).toImage(),
                     theirs.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

void TestMainForm::closePrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("written");
    QTest::newRow("yes saves and closes") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("no closes unsaved") << int(QMessageBox::No) << true << false;
    QTest::newRow("cancel stays") << int(QMessageBox::Cancel) << false << false;
    QTest::newRow("unchanged closes unasked") << 0 << true << false;
}

void TestMainForm::closePrompt()
{
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, written);
    const QString page = m_dir->filePath(QStringLiteral("page.html"));
    writeTestFile(page, "<html><head><title>t</title></head><body><p>old</p></body></html>");
    QVERIFY(m_window.open());
    m_window.openPage(page);
    if (answer)
        makeDirty();
    m_script.messagesShown.clear();
    m_script.messageAnswers << QMessageBox::StandardButton(answer);
    QCOMPARE(form->close(), closes);
    if (!answer) {
        QVERIFY(m_script.messagesShown.isEmpty());
        return;
    }
    QCOMPARE(
        m_script.messagesShown,
        QStringList{QStringLiteral("The current document has changed.\r\n\r\nDo you want to save changes?")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::Warning);
    QCOMPARE(readTestFile(page).contains("<b>changed</b>"), written);
}

void TestMainForm::newOpenSave()
{
    const QString page = m_dir->filePath(QStringLiteral("site/index.html"));
    writeTestFile(page, "<html><head><title>Home</title></head><body><p>hello</p></body></html>");
    QVERIFY(m_window.open());

    // Open on an unchanged page asks nothing.
    m_window.openPage(page);
    QVERIFY(m_script.messagesShown.isEmpty());
    QCOMPARE(form->surface()->CurrentDocumentPath(), page);
    QCOMPARE(form->windowTitle(), QStringLiteral("Quillon Kiv - ") + page);

    makeDirty(QStringLiteral("<i>more</i>"));
    form->save();
    QVERIFY(m_script.messagesShown.isEmpty());
    const QByteArray saved = readTestFile(page);
    QVERIFY(saved.contains("<i>more</i>"));
    QVERIFY(saved.endsWith("</html>"));  // the page's own ending: nothing is appended
    QVERIFY(!saved.contains("charset")); // plain ASCII needs no declaration
    QVERIFY(!form->surface()->IsDirty());

    // New on a changed page: the prompt, then an empty page without a path.
    makeDirty();
    m_script.messageAnswers << QMessageBox::No;
    form->newPage();
    QCOMPARE(m_script.messagesShown.size(), 1);
    QCOMPARE(form->surface()->CurrentDocumentPath(), QString());
    QCOMPARE(form->windowTitle(), QStringLiteral("Quillon Kiv"));
    QVERIFY(!form->surface()->IsDirty());
    QVERIFY(!form->surface()->DocumentHTML().contains(QStringLiteral("hello")));

    // Save on a page never saved is Save As.
    const QString other = m_dir->filePath(QStringLiteral("site/other.html"));
    makeDirty(QStringLiteral("<u>new page</u>"));
    m_script.fileAnswers << other;
    form->save();
    QCOMPARE(form->surface()->CurrentDocumentPath(), other);
    QVERIFY2(readTestFile(other).contains("<u>new page</u>"), readTestFile(other).constData());
}

// What Save As decides is the session's; the window's own dialog completes
// a name typed without an extension itself, so that its question about
// replacing a file is about the file written.
void TestMainForm::saveAs()
{
    QVERIFY(m_window.open());
    makeDirty();
    ui::setScript(nullptr);
    QString suffix = QStringLiteral("none shown");
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            suffix = dialog->defaultSuffix();
            dialog->reject();
        }
    });
    poll.start(50);
    QVERIFY(!form->savePage(true));
    ui::setScript(&m_script);
    QCOMPARE(suffix, QStringLiteral("html"));
}

void TestMainForm::cancelBeforeOpenKeepsControlsDisabled()
{
    QVERIFY(m_window.open());
    makeDirty();
    QTRY_VERIFY(form->findChild<QComboBox *>(QStringLiteral("FontCombo"))->isEnabled());
    // The page has answered all it was asked before this, and the window has
    // taken the display updates that came with the answers.
    QVERIFY(m_window.js(QStringLiteral("true")).toBool());
    QCoreApplication::sendPostedEvents();
    m_script.messageAnswers << QMessageBox::Cancel;
    form->open();
    QCOMPARE(m_script.filesAsked, 0);
    QVERIFY(!form->findChild<QComboBox *>(QStringLiteral("FontCombo"))->isEnabled());
    QVERIFY(!form->findChild<QAction *>(QStringLiteral("Bold"))->isEnabled());
    QVERIFY(form->surface()->IsDirty());
}

void TestMainForm::openFailureShowsMessage()
{
    QVERIFY(m_window.open());
    m_script.fileAnswers << m_dir->filePath(QStringLiteral("missing.html"));
    form->open();
    QCOMPARE(m_script.messagesShown,
             QStringList{QStringLiteral("Error occurred while loading document: File not found.")});
    QCOMPARE(m_script.iconsShown.constFirst(), QMessageBox::Critical);
    QCOMPARE(form->surface()->CurrentDocumentPath(), QString());

    // A dismissed open dialog: nothing happens at all.
    m_script.messagesShown.clear();
    form->open();
    QVERIFY(m_script.messagesShown.isEmpty());
}

void TestMainForm::nonLatinTextSurvivesSaveAndReopen()
{
    const QString page = m_dir->filePath(QStringLiteral("u.html"));
    const QString text = QStringLiteral("Ωμέγα мир 漢字 😀");
    QVERIFY(m_window.open());
    makeDirty(QStringLiteral("<p>%1</p>").arg(text));
    m_script.fileAnswers << page;
    QVERIFY(form->savePage(true));
    QVERIFY(readTestFile(page).contains(text.toUtf8()));
    form->surface()->NewDocument();
    m_window.openPage(page);
    QVERIFY(form->surface()->DocumentHTML().contains(text));
}

void TestMainForm::geometryStoredOnClose()
{
    {
        QVERIFY(m_window.open());
        form->resize(500, 400);
        form->move(30, 20);
        QVERIFY(form->close());
        form.reset();
    }
    QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
    const double tpp = twipsPerPixel();
    QCOMPARE(s.value(QStringLiteral("Window/WindowXSize")).toString(), QString::number(qRound(500 * tpp)));
    QCOMPARE(s.value(QStringLiteral("Window/WindowYSize")).toString(), QString::number(qRound(400 * tpp)));
    // A maximised window leaves what was stored alone.
    s.setValue(QStringLiteral("Window/WindowXSize"), QStringLiteral("7000"));
    s.sync();
    {
        QVERIFY(m_window.open());
        form->showMaximized();
        QVERIFY(form->close());
        form.reset();
    }
    s.sync();
    QCOMPARE(s.value(QStringLiteral("Window/WindowXSize")).toString(), QStringLiteral("7000"));
}

void TestMainForm::offScreenPositionComesBack()
{
    {
        QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
        s.setValue(QStringLiteral("Window/LeftXCoord"), QStringLiteral("30000"));
        s.setValue(QStringLiteral("Window/LeftYCoord"), QStringLiteral("-30000"));
        s.setValue(QStringLiteral("Window/WindowXSize"), QStringLiteral("4500"));
        s.setValue(QStringLiteral("Window/WindowYSize"), QStringLiteral("4500"));
    }
    QVERIFY(m_window.open());
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(form->geometry()));
}

void TestMainForm::commandLineOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says"); // on standard output
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral(QK_VERSION);
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--version");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2 << QString();
}

void TestMainForm::commandLineOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QProcess program;
    program.start(QStringLiteral(QK_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(60000)); // no window stays open
    QCOMPARE(program.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    QVERIFY2(says.isEmpty() ? !program.readAllStandardError().isEmpty() : out.contains(says),
             qPrintable(out));
}

void TestMainForm::commandLineOpensPages()
{
    const QString first = writeTestFile(m_dir->filePath(QStringLiteral("first.html")), "<p>first</p>");
    const QString second =
        writeTestFile(m_dir->filePath(QStringLiteral("second page.html")), "<p>second</p>");
    const QString missing = m_dir->filePath(QStringLiteral("new.html"));
    Program program([] { return std::make_unique<WebEngineSurface>(); }, programOffers());
    QVERIFY(!program.start({QStringLiteral("quillon-kiv"), first, QUrl::fromLocalFile(second).toString(),
                            QStringLiteral("https://example.org/a.html"), missing}));
    const QList<MainForm *> windows = program.windows();
    QCOMPARE(windows.size(), 3);
    QCOMPARE(windows[0]->surface()->CurrentDocumentPath(), first);
    QVERIFY(windows[0]->statusBar()->currentMessage().contains(QStringLiteral("https://example.org/a.html")));
    QCOMPARE(windows[1]->surface()->CurrentDocumentPath(), second);
    // A page that does not exist yet: empty, unchanged, written at the first save.
    MainForm *fresh = windows[2];
    QCOMPARE(fresh->windowTitle(), QStringLiteral("Quillon Kiv - ") + missing);
    QVERIFY(fresh->statusBar()->currentMessage().contains(missing));
    QVERIFY(!fresh->surface()->IsDirty());
    QVERIFY(!QFile::exists(missing));
    fresh->save();
    QVERIFY(QFile::exists(missing));
    QVERIFY(m_script.messagesShown.isEmpty());
    // Closing one window leaves the others.
    QVERIFY(windows[1]->close());
    QTRY_COMPARE(program.windows().size(), 2);
    QVERIFY(windows[0]->isVisible());
}

void TestMainForm::recentPages()
{
    const QString gone = m_dir->filePath(QStringLiteral("gone.html"));
    const QString kept = writeTestFile(m_dir->filePath(QStringLiteral("kept.html")), "<p>kept</p>");
    const QString opened = writeTestFile(m_dir->filePath(QStringLiteral("opened.html")), "<p>opened</p>");
    const QString saved = m_dir->filePath(QStringLiteral("saved & sound.html"));
    const QString desktopList = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                QStringLiteral("/recently-used.xbel");
    QFile::remove(desktopList);
    {
        QSettings s(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
        s.setValue(QStringLiteral("Recent/Page1"), gone);
        s.setValue(QStringLiteral("Recent/Page2"), kept);
    }
    Program program([] { return std::make_unique<WebEngineSurface>(); }, programOffers());
    QVERIFY(!program.start({QStringLiteral("quillon-kiv")}));
    MainForm *form = program.windows().constFirst();
    m_script.fileAnswers << opened;
    form->open();
    m_script.fileAnswers << saved;
    form->saveAs();
    auto *file = form->findChild<QMenu *>(QStringLiteral("File"));
    const auto entries = [&] {
        emit file->aboutToShow();
        return form->findChild<QMenu *>(QStringLiteral("mnuFileRecent"))->actions();
    };
    // Newest first; the page gone while the program was closed left the list at the start.
    QCOMPARE(entries().size(), 3);
    QStringList expected{saved, opened, kept};
    for (int i = 0; i < 3; ++i)
        QVERIFY2(
            entries()[i]->text().replace(QStringLiteral("&&"), QStringLiteral("&")).contains(expected[i]),
            qPrintable(entries()[i]->text()));
    // A page gone since is greyed.
    QVERIFY(QFile::remove(kept));
    QVERIFY(!entries()[2]->isEnabled());
    // The page used before this one comes back with a key.
    QTest::keyClick(form->windowHandle(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(form->surface()->CurrentDocumentPath(), opened);
    // The desktop's own list hears of both.
    const QByteArray desktop = readTestFile(desktopList).replace("&amp;", "&");
    QVERIFY(desktop.contains(QUrl::fromLocalFile(opened).toEncoded()));
    QVERIFY(desktop.contains(QUrl::fromLocalFile(saved).toEncoded()));
}

// A file dragged from a file manager and let go at a point of the window.
void TestMainForm::drop(MainForm &form, const QString &path, QPoint at)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(form.windowHandle(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(form.windowHandle(), &dropped);
    QVERIFY(dropped.isAccepted());
}

void TestMainForm::droppedFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("onPage"); // else on the toolbar
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("opens");
    QTest::newRow("page on an unchanged page") << "dropped.html" << true << false << 0 << true;
    QTest::newRow("page on the toolbar") << "dropped.htm" << false << false << 0 << true;
    QTest::newRow("changes given up") << "dropped.html" << true << true << int(QMessageBox::No) << true;
    QTest::newRow("cancelled") << "dropped.html" << true << true << int(QMessageBox::Cancel) << false;
    QTest::newRow("neither page nor picture") << "notes.zip" << true << true << 0 << false;
}

void TestMainForm::droppedFile()
{
    QFETCH(QString, name);
    QFETCH(bool, onPage);
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(bool, opens);
    const QString file = writeTestFile(m_dir->filePath(name), name.endsWith(QLatin1String("zip"))
                                                                  ? QByteArray("PK\x03\x04")
                                                                  : QByteArray("<p>dropped</p>"));
    QVERIFY(m_window.open());
    if (changed)
        makeDirty();
    m_script.messageAnswers << QMessageBox::StandardButton(answer);
    QWidget *target =
        onPage ? form->surface()->widget() : form->findChild<QWidget *>(QStringLiteral("Toolbar2"));
    drop(*form, file, target->mapTo(form.get(), target->rect().center()));
    if (opens)
        QTRY_COMPARE(form->surface()->CurrentDocumentPath(), file);
    else if (answer)
        QTRY_COMPARE(m_script.messagesShown.size(), 1);
    else
        QTRY_VERIFY(!form->statusBar()->currentMessage().isEmpty()); // says why nothing happened
    // The question comes exactly when a page would replace changes.
    QCOMPARE(m_script.messagesShown.size(), changed && answer ? 1 : 0);
    QCOMPARE(form->surface()->IsDirty(), changed && !opens);
}

void TestMainForm::droppedPictureGoesWhereItFalls()
{
    const QString page = writeTestFile(m_dir->filePath(QStringLiteral("site/index.html")),
                                       "<p id=a>first line</p><p id=b>second line</p>");
    const QString picture = m_dir->filePath(QStringLiteral("site/images/dot.png"));
    QDir().mkpath(QFileInfo(picture).absolutePath());
    QVERIFY(QImage(3, 2, QImage::Format_RGB32).save(picture));
    QVERIFY(m_window.open());
    m_window.openPage(page);
    auto *surface = static_cast<WebEngineSurface *>(form->surface());
    const QVariantMap b =
        surface
            ->evaluate(QStringLiteral("(() => { const r = document.getElementById('b').getClientRects()[0];"
                                      " return {x: r.left + 20, y: r.top + r.height / 2}; })()"))
            .value_or(QVariant())
            .toMap();
    QWidget *view = form->surface()->widget();
    drop(*form, picture,
         view->mapTo(form.get(),
                     QPoint(b.value(QStringLiteral("x")).toInt(), b.value(QStringLiteral("y")).toInt())));
    QTRY_VERIFY(form->surface()->IsDirty());
    form->save();
    const QByteArray saved = readTestFile(page);
    QVERIFY2(saved.contains("<p id=b>se<img src=\"images/dot.png\" width=\"3\" height=\"2\">cond line</p>"),
             saved.constData());
}

void TestMainForm::capsPanelFollowsTheLock()
{
    QVERIFY(m_window.open());
    auto *panel = form->findChild<QLabel *>(QStringLiteral("Panel4"));
    QCOMPARE(panel->text(), QString()); // the offscreen platform cannot tell: nothing shown
    std::optional<bool> lock = true;
    form->setCapsLockReader([&] { return lock; });
    lock = false;
    QTest::keyClick(form->windowHandle(), Qt::Key_A);
    QCOMPARE(panel->text(), QString());
    lock = true;
    QTest::keyClick(form->windowHandle(), Qt::Key_CapsLock);
    QCOMPARE(panel->text(), QStringLiteral("CAPS"));
    // Changed while another program had the keyboard.
    lock = false;
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &activate);
    QCOMPARE(panel->text(), QString());
}

void TestMainForm::capsLockReadFromTheXServer()
{
#if defined(QK_WITH_XKB_X11)
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!server.waitForStarted())
        QSKIP("Xvfb is not installed");
    QVERIFY(server.waitForReadyRead(20000));
    const QByteArray display = ':' + server.readAllStandardOutput().trimmed();
    xcb_connection_t *x = xcb_connect(display.constData(), nullptr);
    QVERIFY(!xcb_connection_has_error(x));
    QCOMPARE(capslock::stateOnX11(x), std::optional<bool>(false));
    xcb_xkb_latch_lock_state(x, XCB_XKB_ID_USE_CORE_KBD, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_LOCK, 0, 0, 0, 0, 0);
    QCOMPARE(capslock::stateOnX11(x), std::optional<bool>(true));
    xcb_disconnect(x);
    server.terminate();
    server.waitForFinished();
#else
    QSKIP("not an X11 build");
#endif
}

int main(int argc, char *argv[])
{
    // Settings and the desktop's list of recent files of this run alone: the
    // suite runs other programs beside it that use them too.
    const QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainform.moc"

// The site panel renamed a picture, or moved the folder the page is in, and
// rewrote the page's file: the page shown follows, with the user's edits.
void TestMainForm::pageFollowsSiteRename_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("folderMoved");
    QTest::newRow("unchanged page") << false << false;
    QTest::newRow("page with edits") << true << false;
    QTest::newRow("unchanged page, folder moved") << false << true;
    QTest::newRow("page with edits, folder moved") << true << true;
}

void TestMainForm::pageFollowsSiteRename()
{
    QFETCH(bool, edited);
    QFETCH(bool, folderMoved);
    const QString folder = m_dir->filePath(QStringLiteral("site")),
                  moved = m_dir->filePath(QStringLiteral("moved"));
    const QString page = folder + QStringLiteral("/index.html");
    const QByteArray before =
        "<html><head><title>Home</title></head><body>\n<P>Pic <IMG SRC=a.png ALT=x></P>\n"
        "<p id=\"e\">end</p></body></html>";
    QByteArray after = before;
    after.replace("SRC=a.png", "SRC=b.png");
    writeTestFile(page, before);
    writeTestFile(folder + QStringLiteral("/a.png"), "png");
    QVERIFY(m_window.open());
    m_window.openPage(page);
    if (edited) {
        QVERIFY(form->surface()->collapseSelection(false));
        makeDirty(QStringLiteral("<i>mine</i>"));
    }
    // What the panel leaves on disk, then tells the window.
    QVERIFY(QFile::rename(folder + QStringLiteral("/a.png"), folder + QStringLiteral("/b.png")));
    writeTestFile(page, after);
    const QString shownPath = folderMoved ? moved + QStringLiteral("/index.html") : page;
    if (folderMoved) {
        QVERIFY(QDir().rename(folder, moved));
        form->siteRenamed(folder, moved, {{QStringLiteral("a.png"), QStringLiteral("b.png")}});
    } else {
        form->siteRenamed(folder + QStringLiteral("/a.png"), folder + QStringLiteral("/b.png"),
                          {{QStringLiteral("a.png"), QStringLiteral("b.png")}});
    }
    QTRY_COMPARE(m_window.js(QStringLiteral("document.images[0].getAttribute('src')")).toString(),
                 QStringLiteral("b.png"));
    QCOMPARE(form->surface()->CurrentDocumentPath(), shownPath);
    QCOMPARE(form->surface()->IsDirty(), edited);
    QVERIFY(m_script.messagesShown.isEmpty());
    QVERIFY(form->savePage(false));
    QVERIFY(m_script.messagesShown.isEmpty()); // not taken for another program's change
    const QByteArray saved = readTestFile(shownPath);
    QVERIFY2(edited ? saved.contains("<i>mine</i>") && saved.contains("SRC=b.png") : saved == after,
             saved.constData());
    if (!edited && !folderMoved) {
        // The rename is one step of the page's history.
        QVERIFY(form->surface()->ExecCommand(DECMD_UNDO).isValid());
        QTRY_COMPARE(m_window.js(QStringLiteral("document.images[0].getAttribute('src')")).toString(),
                     QStringLiteral("a.png"));
    }
}
