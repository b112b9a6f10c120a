#include "shell/mainform.h"

#include "document/documentsession.h"
#include "document/saverules.h"
#include "pathrel/references.h"
#include "shell/capslock.h"
#include "shell/menutable.h"
#include "shell/pastedpicture.h"
#include "shell/pictures.h"
#include "shell/recentpages.h"
#include "shell/sourceview.h"
#include "shell/startvalues.h"
#include "shell/windowprompts.h"
#include "surface/pagetext.h"
#include "surface/spelling.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

using namespace surface;

namespace shell {

using namespace menus;

namespace {
// A little after the minute turns, so that the clock never reads the old one.
int msecsToNextMinute(QTime now)
{
    return 60000 - now.msecsSinceStartOfDay() % 60000 + 20;
}

// The surface's own open and save-as dialogs, through the dialog seam.
class SurfacePicker final : public FilePicker
{
public:
    QString pickFile(QWidget *parent, Kind kind, const QString &title, const QString &startPath,
                     const QString &filter) override
    {
        if (kind == Kind::Open)
            return ui::openFile(parent, title,
                                MainForm::tr("HTML Files (*.htm, *.html)|*.htm;*.html|All Files (*.*)|*"), 1,
                                startPath);
        return ui::saveFile(parent, title, filter, startPath, QStringLiteral("html"));
    }
    bool offerToStopWaiting(QWidget *parent, const QString &text,
                            const std::function<bool()> &stillWaiting) override
    {
        return ui::offerToStopWaiting(parent, text, stillWaiting);
    }
};
} // namespace

using document::crlf;
using document::DocumentSession;

namespace {
double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

QSettings windowSettings()
{
    return QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
}

// The Format menu's items, one for each block format the surface names.
const char *const kBlockFormatNames[] = {"FormatSub_0",  "FormatSub_1",  "FormatSub_2",  "FormatSub_3",
                                         "FormatSub_4",  "FormatSub_5",  "FormatSub_6",  "FormatSub_7",
                                         "FormatSub_8",  "FormatSub_9",  "FormatSub_10", "FormatSub_11",
                                         "FormatSub_12", "FormatSub_13", "FormatSub_14", "FormatSub_15"};
} // namespace

MainForm::MainForm(std::unique_ptr<EditSurface> editSurface, ui::menus::Registry offers, QWidget *parent)
    : QMainWindow(parent), m_surface(std::move(editSurface)), m_offers(std::move(offers))
{
    setObjectName(QStringLiteral("MainForm"));
    pictures::chooseTheme();
    setWindowIcon(pictures::own(QStringLiteral("quillon-kiv")));
    setWindowTitle(document::windowTitle(QString()));
    m_picker = std::make_shared<SurfacePicker>();
    surface()->setFilePicker(m_picker);
    m_session = new DocumentSession(surface(), std::make_unique<WindowPrompts>(this), this);
    connect(m_session, &DocumentSession::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_session, &DocumentSession::aboutToChangeDocument, this, &MainForm::disableFormatControls);
    // A notice stands until the page changes again.
    connect(m_session, &DocumentSession::titleChanged, statusBar(), &QStatusBar::clearMessage);
    connect(m_session, &DocumentSession::pageOnDisk, this, [this](const QString &path) {
        recent::add(path);
        recent::tellDesktop(path);
        refreshRecentPages();
    });
    // Leaving the program for another is a good moment to keep a copy.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, m_session,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    m_session->keepRecoveryCopy();
            });
    // A long wait says so while it lasts; the message goes with it, and
    // nothing else that was said is taken away.
    connect(surface(), &EditSurface::waitNotice, statusBar(), [this](const QString &text) {
        if (!text.isEmpty()) {
            m_waitNotice = text;
            statusBar()->showMessage(text);
            statusBar()->repaint();
        } else if (statusBar()->currentMessage() == m_waitNotice) {
            statusBar()->clearMessage();
        }
    });

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    // The page's text goes beside the page, or instead of it when the
    // splitter is pulled all the way over.
    m_split = new QSplitter(Qt::Horizontal, central);
    m_split->setObjectName(QStringLiteral("SourceSplitter"));
    m_split->addWidget(surface()->widget());
    layout->addWidget(m_split);
    surface()->widget()->setObjectName(QStringLiteral("DHTMLEdit1"));
    setCentralWidget(central);
    connect(m_split, &QSplitter::splitterMoved, this, &MainForm::rememberSourceLayout);

    m_dictionaries = new spelling::Dictionaries(this);
    connect(m_dictionaries, &spelling::Dictionaries::ready, this,
            [this](const QString &dictionary, const QString &name) {
                if (dictionary == m_spellingDictionary)
                    surface()->setSpellCheckDictionary(name);
            });
    connect(m_dictionaries, &spelling::Dictionaries::wordsChanged, this, &MainForm::applySpelling);
    connect(m_dictionaries, &spelling::Dictionaries::failed, this, [this](const QString &why) {
        statusBar()->showMessage(tr("Your own words are not used for spelling: %1.").arg(why));
    });
    connect(surface(), &EditSurface::DocumentComplete, this, &MainForm::chooseSpellingForPage);

    buildMenus();
    buildToolbars();
    buildStatusBar();
    refreshRecentPages();

    connect(surface(), &EditSurface::DocumentComplete, this, &MainForm::onDocumentComplete);
    connect(surface(), &EditSurface::ShowContextMenu, this, &MainForm::onShowContextMenu);
    connect(surface(), &EditSurface::ContextMenuAction, this, &MainForm::onContextMenuAction);
    connect(surface(), &EditSurface::DisplayChanged, this, &MainForm::onDisplayChanged);
    connect(surface(), &EditSurface::FilesDropped, this, &MainForm::takeDroppedFiles);
    connect(surface(), &EditSurface::PicturePasted, this, &MainForm::pastePicture);
    connect(surface(), &EditSurface::SizeShown, this, [this](int width, int height) {
        if (width > 0 && height > 0)
            statusBar()->showMessage(tr("%1 x %2 pixels").arg(width).arg(height));
        else
            statusBar()->clearMessage();
    });
    // Files dropped beside the page (on a toolbar, the status bar) count too.
    setAcceptDrops(true);

    browse::installHelpKey(this);

    prepare();
}

MainForm::~MainForm()
{
    // Being destroyed is no close request: nothing is asked or stored.
    m_destroying = true;
    documentReady = false;
    // Losing focus while the window goes would otherwise "choose" a font.
    m_fontCombo->disconnect(this);
    m_fontSizeCombo->disconnect(this);
    // The text pane acts on the surface as it loses the keyboard: it goes first.
    m_session->removePendingEdits(m_source);
    delete m_source;
    m_source = nullptr;
    // The surface's widget lives in our layout; let the surface go first.
    m_surface.reset();
}

void MainForm::buildMenus()
{
    // A command of the page, or the same command on the text while the text
    // has the keyboard; offered when either can do it.
    const auto editing = [this](const char *name, const QString &caption, QKeyCombination key, int command,
                                void (SourceView::*onText)()) {
        return Entry{.name = name,
                     .caption = caption,
                     .shortcut = key,
                     .handler =
                         [this, command, onText](QAction *) {
                             if (sourceHasFocus())
                                 (m_source->*onText)();
                             else
                                 surface()->ExecCommand(command, OLECMDEXECOPT_DODEFAULT);
                         },
                     .offered =
                         [this, command] {
                             return sourceHasFocus() || surface()->QueryStatus(command) >= DECMDF_ENABLED;
                         },
                     .pageKey = true};
    };
    // A check mark showing one of the surface's settings, which the item switches.
    const auto setting = [this](const char *name, const QString &caption, bool (EditSurface::*get)() const,
                                void (EditSurface::*set)(bool)) {
        return Entry{.name = name,
                     .caption = caption,
                     .handler =
                         [this, get, set](QAction *a) {
                             (surface()->*set)(!(surface()->*get)());
                             a->setChecked((surface()->*get)());
                         },
                     .checkable = true};
    };
    Entry findItem =
        editing("EditSub_8", tr("&Find..."), Qt::CTRL | Qt::Key_F, DECMD_FINDTEXT, &SourceView::showFind);
    findItem.pageKey = false; // the find dialog is ours to open, from anywhere in the window
    // The page has no key of its own for it: the shortcut is the window's.
    Entry pastePlain = editing("mnuEditPastePlainText", tr("Paste as Plain Text"),
                               Qt::CTRL | Qt::SHIFT | Qt::Key_V, DECMD_PASTEPLAINTEXT, &SourceView::paste);
    pastePlain.pageKey = false;

    // The block formats, empty until the surface names them.
    QList<Entry> formats;
    for (const char *name : kBlockFormatNames)
        formats.append({.name = name,
                        .handler =
                            [this](QAction *a) {
                                a->setChecked(!a->isChecked()); // the check follows the page, not the click
                                if (surface()->QueryStatus(DECMD_SETBLOCKFMT) >= DECMDF_ENABLED)
                                    surface()->ExecCommand(DECMD_SETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER,
                                                           a->text());
                            },
                        .checkable = true,
                        .visible = false});
    formats << separator()
            << Entry{.name = "mnuSpellingLanguage", .caption = tr("Spelling Language"), .submenu = true};

    // Every menu of the bar has an access letter of its own: without one,
    // Alt and a letter reach the focused font box as typing.
    const Menu menus[] = {
        {"File",
         tr("&File"),
         {{"FileNew", tr("&New"), Qt::CTRL | Qt::Key_N, call(this, &MainForm::newPage)},
          separator("FileNewSep1"),
          {"FileOpen", tr("&Open..."), Qt::CTRL | Qt::Key_O, call(this, &MainForm::open)},
          {.name = "mnuFileRecent", .caption = tr("&Recent Pages"), .submenu = true},
          placeFor(Place::SiteFiles),
          {"FileSave", tr("&Save"), Qt::CTRL | Qt::Key_S, call(this, &MainForm::save)},
          {"FileSaveAs", tr("Save &As..."), {}, call(this, &MainForm::saveAs)},
          separator("sep10"),
          {"mnuFilePrint", tr("&Print..."), Qt::CTRL | Qt::Key_P, call(this, &MainForm::print)},
          {.name = "FileSep2", .enabled = false, .separator = true},
          placeFor(Place::Publishing),
          separator("FileSep3"),
          {"FileExit", tr("E&xit"), {}, call(this, &MainForm::exit)}},
         // Another window may have changed the list since.
         [this] { refreshRecentPages(); }},
        {"Edit",
         tr("&Edit"),
         {editing("EditSub_0", tr("&Undo"), Qt::CTRL | Qt::Key_Z, DECMD_UNDO, &SourceView::undo),
          editing("EditSub_1", tr("&Redo"), Qt::CTRL | Qt::Key_Y, DECMD_REDO, &SourceView::redo),
          separator("EditSub_2"),
          editing("EditSub_3", tr("Cu&t"), Qt::CTRL | Qt::Key_X, DECMD_CUT, &SourceView::cut),
          editing("EditSub_4", tr("&Copy"), Qt::CTRL | Qt::Key_C, DECMD_COPY, &SourceView::copy),
          editing("EditSub_5", tr("&Paste"), Qt::CTRL | Qt::Key_V, DECMD_PASTE, &SourceView::paste),
          pastePlain,
          editing("EditSub_6", tr("Select &All"), Qt::CTRL | Qt::Key_A, DECMD_SELECTALL,
                  &SourceView::selectAll),
          separator("EditSub_7"), findItem, separator("EditSub_9"),
          setting("EditSub_10", tr("&Snap To Grid"), &EditSurface::SnapToGrid, &EditSurface::setSnapToGrid)}},
        {"View",
         tr("&View"),
         {setting("ViewSub_0", tr("&Borders"), &EditSurface::ShowBorders, &EditSurface::setShowBorders),
          setting("ViewSub_1", tr("&Document Details"), &EditSurface::ShowDetails,
                  &EditSurface::setShowDetails),
          separator(),
          // Ctrl+U is underline in the page, as in every editor: the pane
          // takes a key no editing command uses.
          {.name = "mnuViewSource",
           .caption = tr("HTML &Source"),
           .shortcut = Qt::CTRL | Qt::SHIFT | Qt::Key_H,
           .handler = [this](QAction *a) { showSource(a->isChecked()); },
           .checkable = true},
          placeFor(Place::Panels)}},
        {"Insert",
         tr("&Insert"),
         {placeFor(Place::PageSettings), separator("sep1"), placeFor(Place::Inserting)}},
        {"Format", tr("F&ormat"), formats, [this] { refreshFormatMenu(); }},
        {"mnuSpecialEffects", tr("&Special Effects"), {placeFor(Place::SpecialEffects)}},
        {"Help",
         tr("&Help"),
         {{"mnuHelpContents", tr("&Contents..."), {}, call(this, &MainForm::showHelp)},
          separator("sep2"),
          placeFor(Place::OtherProducts),
          separator("sep3"),
          placeFor(Place::AboutProgram)}},
    };
    const ui::menus::Window here{surface(), this, this};
    for (Menu menu : menus) {
        menu.entries = withOffers(menu.entries, m_offers, here);
        const std::function<void()> refresh = addMenu(menuBar(), this, menu);
        // The Edit menu's items carry window keys (Find): a menu opened while
        // the page was loading left them disabled, so they follow the page
        // from the moment it is ready, not only when the menu opens.
        if (qstrcmp(menu.name, "Edit") == 0) {
            connect(surface(), &EditSurface::DocumentComplete, this, refresh);
            connect(surface(), &EditSurface::DisplayChanged, this, refresh);
        }
    }

    m_recentMenu = findChild<QMenu *>(QStringLiteral("mnuFileRecent"));
    m_spellingMenu = findChild<QMenu *>(QStringLiteral("mnuSpellingLanguage"));
    m_sourceAction = findChild<QAction *>(QStringLiteral("mnuViewSource"));
    for (const char *name : kBlockFormatNames)
        m_formatSub.append(findChild<QAction *>(QString::fromLatin1(name)));
    fillSpellingMenu();
    // Its shortcut works with the menus closed, whatever the list holds.
    m_reopenLast = new QAction(this);
    m_reopenLast->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    addAction(m_reopenLast);
    connect(m_reopenLast, &QAction::triggered, this, &MainForm::reopenLastPage);
}

void MainForm::refreshFormatMenu()
{
    const int s = surface()->QueryStatus(DECMD_GETBLOCKFMT);
    if (s >= DECMDF_ENABLED) {
        const QString name =
            surface()->ExecCommand(DECMD_GETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER).toString();
        for (QAction *a : std::as_const(m_formatSub)) {
            a->setEnabled(true);
            a->setChecked(a->text() == name);
        }
    } else if (s == DECMDF_DISABLED) {
        for (QAction *a : std::as_const(m_formatSub)) {
            a->setEnabled(false);
            a->setChecked(false);
        }
    }
}

void MainForm::buildToolbars()
{
    const auto command = [this](int c) { return [this, c](QAction *) { surface()->ExecCommand(c); }; };
    const QList<Entry> standard = {
        {"New", tr("New"), {}, call(this, &MainForm::newPage), "document-new", tr("New (Ctrl-N)")},
        {"Open", tr("Open"), {}, call(this, &MainForm::open), "document-open", tr("Open (Ctrl-O)")},
        {"Save", tr("Save"), {}, call(this, &MainForm::save), "document-save", tr("Save (Ctrl-S)")},
        {"Print", tr("Print"), {}, call(this, &MainForm::print), "document-print", tr("Print (Ctrl-P)")},
        {"Cut", tr("Cut"), {}, command(DECMD_CUT), "edit-cut", tr("Cut (Ctrl-X)")},
        {"Copy", tr("Copy"), {}, command(DECMD_COPY), "edit-copy", tr("Copy (Ctrl-C)")},
        {"Paste", tr("Paste"), {}, command(DECMD_PASTE), "edit-paste", tr("Paste (Ctrl-V)")},
        {"Find",
         tr("Find"),
         {},
         [this](QAction *) {
             if (sourceHasFocus())
                 m_source->showFind();
             else
                 surface()->ExecCommand(DECMD_FINDTEXT);
         },
         "edit-find",
         tr("Find/Search")},
        placeFor(Place::InsertButtons),
    };
    QToolBar *standardBar = addToolBar(tr("Standard"));
    standardBar->setObjectName(QStringLiteral("Toolbar2"));
    for (const Entry &e : withOffers(standard, m_offers, {surface(), this, this}))
        addEntry(standardBar, this, e);

    addToolBarBreak();
    QToolBar *formatBar = addToolBar(tr("Formatting"));
    formatBar->setObjectName(QStringLiteral("Toolbar1"));
    m_fontCombo = new QComboBox(formatBar);
    m_fontCombo->setObjectName(QStringLiteral("FontCombo"));
    // Editable through a line edit of its own: setEditable() would also build
    // the drop-down list at once, which most sessions never open.
    m_fontCombo->setLineEdit(new QLineEdit(m_fontCombo));
    m_fontCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fontCombo->setMinimumContentsLength(14);
    // The box has no label beside it; a screen reader says these instead.
    m_fontCombo->setAccessibleName(tr("Font name"));
    m_fontCombo->lineEdit()->setAccessibleName(tr("Font name"));
    formatBar->addWidget(m_fontCombo)->setObjectName(QStringLiteral("Font"));
    m_fontSizeCombo = new QComboBox(formatBar);
    m_fontSizeCombo->setObjectName(QStringLiteral("FontSizeCombo"));
    m_fontSizeCombo->setLineEdit(new QLineEdit(m_fontSizeCombo));
    m_fontSizeCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fontSizeCombo->setMinimumContentsLength(3);
    m_fontSizeCombo->setAccessibleName(tr("Font size"));
    m_fontSizeCombo->lineEdit()->setAccessibleName(tr("Font size"));
    formatBar->addWidget(m_fontSizeCombo)->setObjectName(QStringLiteral("FontSize"));

    // A button pressed while its format holds at the caret.
    const auto format = [this](const char *name, const QString &caption, const char *icon,
                               const QString &tooltip, int c) {
        return Entry{name, caption, {}, [this, c](QAction *) { execFormatCommand(c); },
                     icon, tooltip, c,  true};
    };
    // In the order the toolbar refresh walks them.
    const Entry formatting[] = {
        format("Bold", tr("Bold"), "format-text-bold", tr("Bold"), DECMD_BOLD),
        format("Italic", tr("Italic"), "format-text-italic", tr("Italic"), DECMD_ITALIC),
        format("Underline", tr("Underline"), "format-text-underline", tr("Underline"), DECMD_UNDERLINE),
        format("Numbers", tr("Numbers"), "format-list-ordered", tr("Numbered List"), DECMD_ORDERLIST),
        format("Bullets", tr("Bullets"), "format-list-unordered", tr("Bulleted List"), DECMD_UNORDERLIST),
        format("Outdent", tr("Outdent"), "format-indent-less", tr("Outdent"), DECMD_OUTDENT),
        format("Indent", tr("Indent"), "format-indent-more", tr("Indent"), DECMD_INDENT),
        format("LeftJustify", tr("LeftJustify"), "format-justify-left", tr("Left Justify"),
               DECMD_JUSTIFYLEFT),
        format("Center", tr("Center"), "format-justify-center", tr("Center"), DECMD_JUSTIFYCENTER),
        format("RightJustify", tr("RightJustify"), "format-justify-right", tr("Right Justify"),
               DECMD_JUSTIFYRIGHT),
        // A colour is chosen, not switched on.
        {"Color",
         tr("Color"),
         {},
         call(this, &MainForm::chooseTextColor),
         "format-text-color",
         tr("Color"),
         DECMD_SETFORECOLOR},
    };
    for (const Entry &e : formatting) {
        m_formatButtons.append(addEntry(formatBar, this, e));
        m_formatCommands.append(e.status);
    }
    // The button a narrow window shows for the buttons that do not fit
    // carries only an arrow.
    for (QToolBar *bar : {standardBar, formatBar})
        for (QWidget *more : bar->findChildren<QWidget *>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(tr("More buttons"));
    connect(m_fontCombo, &QComboBox::activated, this, [this](int index) {
        const QString name = m_fontCombo->itemText(index);
        if (documentReady && surface()->QueryStatus(DECMD_SETFONTNAME) >= DECMDF_ENABLED)
            surface()->ExecCommand(DECMD_SETFONTNAME, OLECMDEXECOPT_DONTPROMPTUSER, name);
    });
    connect(m_fontSizeCombo, &QComboBox::activated, this, [this](int index) {
        if (documentReady && index >= 0)
            surface()->ExecCommand(DECMD_SETFONTSIZE, OLECMDEXECOPT_DONTPROMPTUSER, index + 1);
    });
}

void MainForm::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    for (int i = 1; i <= 5; ++i) {
        auto *label = new QLabel(bar);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        if (i == 1)
            bar->addWidget(label, 1);
        else
            bar->addPermanentWidget(label);
        m_panels.append(label);
    }
    m_panels[0]->setText(tr("Press F1 for Help"));
    m_panels[4]->setText(tr("INS"));
    // Keys reach the page's own widgets, not this one: every key is seen on
    // its way through the program.
    m_capsLock = capslock::state;
    qApp->installEventFilter(this);
    refreshCapsLock();
    // The panels show the time to the minute: the clock wakes at each turn of
    // the minute, not every second, so that an idle window uses no processor.
    auto *clock = new QTimer(this);
    clock->setSingleShot(true);
    clock->setTimerType(Qt::PreciseTimer);
    connect(clock, &QTimer::timeout, this, [this, clock] {
        updateClock();
        clock->start(msecsToNextMinute(QTime::currentTime()));
    });
    clock->start(msecsToNextMinute(QTime::currentTime()));
    updateClock();
}

void MainForm::updateClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    m_panels[1]->setText(locale.toString(now.time(), QLocale::ShortFormat));
    m_panels[2]->setText(locale.toString(now.date(), QLocale::ShortFormat));
}

void MainForm::setCapsLockReader(std::function<std::optional<bool>()> reader)
{
    m_capsLock = std::move(reader);
    refreshCapsLock();
}

void MainForm::refreshCapsLock()
{
    // Where the platform cannot say, the panel stays empty rather than guess.
    const std::optional<bool> on = m_capsLock ? m_capsLock() : std::nullopt;
    m_panels[3]->setText(on.value_or(false) ? tr("CAPS") : QString());
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    // The page takes the keys it knows before the menu sees them: the text
    // pane's key stays the window's, wherever the keyboard is.
    if (event->type() == QEvent::ShortcutOverride && m_sourceAction) {
        const auto *widget = qobject_cast<QWidget *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        if (widget && widget->window() == this &&
            QKeySequence(key->keyCombination()) == m_sourceAction->shortcut())
            return true;
    }
    // Each key goes first to its window: seen once there, not once per widget.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && watched->isWindowType())
        refreshCapsLock();
    return QMainWindow::eventFilter(watched, event);
}

bool MainForm::event(QEvent *event)
{
    // The lock may have changed while another program had the keyboard.
    if (event->type() == QEvent::WindowActivate)
        refreshCapsLock();
    return QMainWindow::event(event);
}

void MainForm::restoreGeometryFromSettings()
{
    QSettings s = windowSettings();
    s.beginGroup(QStringLiteral("Window"));
    const int left = readStoredNumber(s.value(QStringLiteral("LeftXCoord"), QStringLiteral("0")).toString());
    const int top = readStoredNumber(s.value(QStringLiteral("LeftYCoord"), QStringLiteral("0")).toString());
    int w = readStoredNumber(s.value(QStringLiteral("WindowXSize"), QStringLiteral("5000")).toString());
    int h = readStoredNumber(s.value(QStringLiteral("WindowYSize"), QStringLiteral("5000")).toString());
    s.endGroup();

    const double tpp = twipsPerPixel();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int screenW = int(screen ? screen->geometry().width() * tpp : 1024 * tpp);
    const int screenH = int(screen ? screen->geometry().height() * tpp : 768 * tpp);
    if (w == 0)
        w = screenW;
    if (h == 0)
        h = screenH;
    if (w == 5000 && h == 5000) {
        w = screenW;
        h = screenH;
    }
    QRect frame(qRound(left / tpp), qRound(top / tpp), qRound(w / tpp), qRound(h / tpp));
    // A window stored on a monitor that has since gone is brought back onto the primary one.
    bool visible = false;
    for (const QScreen *sc : QGuiApplication::screens())
        if (sc->availableGeometry().intersects(frame))
            visible = true;
    if (!visible)
        frame.moveTopLeft(avail.topLeft());
    resize(frame.size());
    move(frame.topLeft());
}

void MainForm::prepare()
{
    documentReady = false;
    restoreGeometryFromSettings();
    for (const char *name : {"Times New Roman", "Arial", "Tahoma", "Courier", "Verdana", "Wingdings"})
        m_fontCombo->addItem(QString::fromLatin1(name));
    for (int i = 1; i <= 7; ++i)
        m_fontSizeCombo->addItem(QString::number(i));
    m_fontCombo->setCurrentIndex(0);
    m_fontSizeCombo->setCurrentIndex(0);
    disableFormatControls();
    surface()->widget()->raise();
    // Typing in a new window goes into the page, not into the font box that
    // would otherwise come first.
    surface()->widget()->setFocus();
    // The window shows while the engine reads the page.
    surface()->beginDocumentHTML(document::startPageText());
}

void MainForm::onDocumentComplete()
{
    if (documentReady)
        return;
    const QStringList names =
        surface()->ExecCommand(DECMD_GETBLOCKFMTNAMES, OLECMDEXECOPT_DONTPROMPTUSER).toStringList();
    for (int i = 0; i < names.size() && i < m_formatSub.size(); ++i) {
        m_formatSub[i]->setText(names[i]);
        m_formatSub[i]->setVisible(true);
    }
    // The boxes follow the page's state, which comes after this, with
    // DisplayChanged.
    m_fontSizeCombo->setCurrentIndex(-1);
    documentReady = true;
    // The layout of the last run.
    if (windowSettings().value(QStringLiteral("View/Source")).toBool())
        showSource(true);
}

void MainForm::onDisplayChanged()
{
    for (int i = 0; i < m_formatButtons.size(); ++i) {
        const int s = surface()->QueryStatus(m_formatCommands[i]);
        m_formatButtons[i]->setEnabled(s >= DECMDF_ENABLED);
        m_formatButtons[i]->setChecked(s == DECMDF_LATCHED);
    }
    refreshFontBoxes();
    if (surface()->QueryStatus(DECMD_GETBLOCKFMT) >= DECMDF_ENABLED)
        m_panels[0]->setText(
            surface()->ExecCommand(DECMD_GETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER).toString());
}

void MainForm::refreshFontBoxes()
{
    int s = surface()->QueryStatus(DECMD_GETFONTNAME);
    if (s == DECMDF_ENABLED || s == DECMDF_LATCHED) {
        m_fontCombo->setEditText(
            surface()->ExecCommand(DECMD_GETFONTNAME, OLECMDEXECOPT_DONTPROMPTUSER).toString());
        m_fontCombo->setEnabled(true);
    } else {
        m_fontCombo->setEditText(QString());
        m_fontCombo->setEnabled(s == DECMDF_NINCHED);
    }
    s = surface()->QueryStatus(DECMD_GETFONTSIZE);
    if (s == DECMDF_ENABLED || s == DECMDF_LATCHED) {
        const int n = surface()->ExecCommand(DECMD_GETFONTSIZE, OLECMDEXECOPT_DONTPROMPTUSER).toInt();
        m_fontSizeCombo->setEditText(n < 1 ? QString() : QString::number(n));
        m_fontSizeCombo->setEnabled(true);
    } else {
        m_fontSizeCombo->setEditText(QString());
        m_fontSizeCombo->setEnabled(s == DECMDF_NINCHED);
    }
}

void MainForm::execFormatCommand(int command)
{
    surface()->ExecCommand(command, OLECMDEXECOPT_DONTPROMPTUSER);
    onDisplayChanged(); // the button's pressed look follows the page, not the click
}

void MainForm::chooseTextColor()
{
    const std::optional<QColor> c = ui::pickColor(this, Qt::black);
    if (!c)
        return;
    surface()->ExecCommand(DECMD_SETFORECOLOR, OLECMDEXECOPT_DONTPROMPTUSER,
                           c->name(QColor::HexRgb).toUpper());
}

void MainForm::disableFormatControls()
{
    m_fontCombo->setEditText(QString());
    m_fontCombo->setEnabled(false);
    m_fontSizeCombo->setEditText(QString());
    m_fontSizeCombo->setEnabled(false);
    for (QAction *a : std::as_const(m_formatButtons))
        a->setEnabled(false);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainForm::newPage()
{
    m_session->newPage();
}

void MainForm::open()
{
    m_session->open();
}

QString MainForm::pagePath() const
{
    return surface()->CurrentDocumentPath();
}

bool MainForm::pageModified() const
{
    return surface()->IsDirty();
}

bool MainForm::openPage(const QString &path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    if (QFileInfo(pagePath()).absoluteFilePath() == target && !pagePath().isEmpty())
        return true;
    m_session->open(target);
    return QFileInfo(pagePath()).absoluteFilePath() == target;
}

void MainForm::showPlace(qsizetype offset)
{
    const DocumentRead read = surface()->readDocument();
    if (!read.ok)
        return;
    surface()->caretToElement(surface::elementAtOffset(read.text, offset));
    surface()->widget()->setFocus();
}

void MainForm::siteRenamed(const QString &from, const QString &to, const QList<ui::AddressChange> &changes)
{
    const QString page = QFileInfo(pagePath()).absoluteFilePath();
    if (pagePath().isEmpty())
        return;
    // The page moves with a renamed folder that holds it.
    QString newPath = page;
    if (page == from)
        newPath = to;
    else if (page.startsWith(from + u'/'))
        newPath = to + page.mid(from.size());
    if (newPath == page && changes.isEmpty())
        return;
    QList<QPair<QString, QString>> pairs;
    for (const ui::AddressChange &c : changes)
        pairs.append({c.old, c.value});
    m_session->followSiteRename(newPath, pairs);
}

bool MainForm::savePage(bool saveAs)
{
    return saveAs ? m_session->saveAs() : m_session->save();
}

void MainForm::save()
{
    savePage(false);
}

void MainForm::saveAs()
{
    savePage(true);
}

void MainForm::print()
{
    surface()->PrintDocument(true);
}

void MainForm::refreshRecentPages()
{
    m_recentMenu->clear();
    const QStringList pages = recent::pages();
    const QString current = surface()->CurrentDocumentPath();
    bool shortcutShown = false;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        QString text = QString::number(i + 1);
        text.insert(text.size() - 1, u'&');
        text += u' ' + QString(QDir::toNativeSeparators(pages[i])).replace(u'&', QStringLiteral("&&"));
        // A page whose file is gone stays, greyed, until the next start.
        const bool there = QFileInfo::exists(pages[i]);
        if (there && !shortcutShown && pages[i] != current) {
            text += u'\t' + m_reopenLast->shortcut().toString(QKeySequence::NativeText);
            shortcutShown = true;
        }
        QAction *a = m_recentMenu->addAction(text);
        a->setEnabled(there);
        connect(a, &QAction::triggered, this, [this, page = pages[i]] { m_session->open(page); });
    }
    m_recentMenu->menuAction()->setEnabled(!pages.isEmpty());
}

void MainForm::reopenLastPage()
{
    const QString current = surface()->CurrentDocumentPath();
    for (const QString &page : recent::pages())
        if (page != current && QFileInfo::exists(page)) {
            m_session->open(page);
            return;
        }
}

namespace {
// Local files dragged in from outside the program.
QStringList droppedFiles(const QDropEvent *event)
{
    QStringList files;
    if (event->source())
        return files;
    return pathrel::localFiles(event->mimeData()->urls());
}
} // namespace

void MainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFiles(event).isEmpty())
        event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent *event)
{
    const QStringList files = droppedFiles(event);
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Not from inside the drop: a question it may ask must not hold up the system's drag.
    QMetaObject::invokeMethod(
        this, [this, files] { takeDroppedFiles(files); }, Qt::QueuedConnection);
}

void MainForm::takeDroppedFiles(const QStringList &paths)
{
    const QMimeDatabase types;
    QStringList pages;
    QStringList others;
    for (const QString &path : paths) {
        const QMimeType type = types.mimeTypeForFile(path);
        if (type.inherits(QStringLiteral("text/html")) ||
            type.inherits(QStringLiteral("application/xhtml+xml")))
            pages << path;
        else if (const ui::menus::DropTaker take = m_offers.dropTaker(type.name()))
            take({surface(), this, this},
                 path); // into the page shown now, before a dropped page may replace it
        else
            others << QFileInfo(path).fileName();
    }
    if (!others.isEmpty())
        statusBar()->showMessage(tr("Only pages and pictures can be dropped here, not %1.")
                                     .arg(others.join(QStringLiteral(", "))));
    // The first page here, through the question about unsaved changes; any
    // further one beside it.
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i == 0)
            m_session->open(pages[i]);
        else
            emit openInNewWindow(pages[i]);
    }
}

void MainForm::pastePicture()
{
    const QImage picture = QGuiApplication::clipboard()->image();
    if (picture.isNull())
        return;
    // The picture becomes a file beside its page: a page never saved is
    // given its name first. Dismissed, nothing is pasted and the picture
    // stays on the clipboard.
    if (surface()->CurrentDocumentPath().isEmpty()) {
        saveAs();
        if (surface()->CurrentDocumentPath().isEmpty()) {
            statusBar()->showMessage(tr("The picture was not pasted: a pasted picture is kept as a file "
                                        "beside its page, and this page has no name yet."));
            return;
        }
    }
    const QString folder = pastedPictureFolder(QFileInfo(surface()->CurrentDocumentPath()).absolutePath());
    QString error;
    const QString path = storePastedPicture(picture, folder, &error);
    if (path.isEmpty()) {
        statusBar()->showMessage(
            tr("The picture could not be written in %1: %2").arg(QDir::toNativeSeparators(folder), error));
        return;
    }
    // In through the road of a dropped picture, as Insert Image composes one.
    if (const ui::menus::DropTaker take = m_offers.dropTaker(QStringLiteral("image/png")))
        take({surface(), this, this}, path);
}

void MainForm::exit()
{
    close();
}

bool MainForm::queryClose()
{
    // The same question as before New and Open: only Cancel, or a save that
    // failed, keeps the window open.
    return m_session->checkSaveChanges() != DocumentSession::SaveAnswer::Cancelled;
}

void MainForm::rememberGeometry()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const double tpp = twipsPerPixel();
    // Position of the frame, size of the window's own area: what move() and
    // resize() take back at the next start.
    const QRect g(pos(), size());
    QSettings s = windowSettings();
    s.beginGroup(QStringLiteral("Window"));
    s.setValue(QStringLiteral("LeftXCoord"), QString::number(qRound(g.x() * tpp)));
    s.setValue(QStringLiteral("LeftYCoord"), QString::number(qRound(g.y() * tpp)));
    s.setValue(QStringLiteral("WindowXSize"), QString::number(qRound(g.width() * tpp)));
    s.setValue(QStringLiteral("WindowYSize"), QString::number(qRound(g.height() * tpp)));
    s.endGroup();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (m_destroying) {
        event->accept();
        return;
    }
    if (!queryClose()) {
        event->ignore();
        return;
    }
    rememberGeometry();
    event->accept();
    emit closed();
    // Closing the last page's window ends the program, every other window with it.
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::none_of(windows.begin(), windows.end(), [this](QWidget *w) {
            return w != this && w->isVisible() && qobject_cast<MainForm *>(w);
        }))
        QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
}

void MainForm::showHelp()
{
    browse::showHelp(this);
}

void MainForm::onShowContextMenu()
{
    contextMenu = commands::withSpelling(
        commands::buildContextMenu([this](int command) { return surface()->QueryStatus(command); }),
        surface()->misspelledWord(), surface()->spellingSuggestions());
    surface()->SetContextMenu(contextMenu.captions(), contextMenu.states());
}

void MainForm::onContextMenuAction(int position)
{
    // Each item carries what it does: the position only finds the item.
    const commands::ContextItem *item = contextMenu.at(position);
    if (!item)
        return;
    using Spelling = commands::SpellingChoice::Kind;
    switch (item->spelling.kind) {
    case Spelling::Replace:
        surface()->replaceMisspelledWord(item->spelling.replacement);
        return;
    case Spelling::AddToDictionary:
        if (!m_dictionaries->addWord(contextMenu.misspelledWord))
            statusBar()->showMessage(
                tr("%1 could not be added: %2 cannot be written.")
                    .arg(contextMenu.misspelledWord, QDir::toNativeSeparators(spelling::personalListPath())));
        applySpelling();
        return;
    case Spelling::Ignore:
        m_dictionaries->ignoreWord(contextMenu.misspelledWord);
        applySpelling();
        return;
    case Spelling::None:
        break;
    }
    if (item->command.command)
        surface()->ExecCommand(item->command.command, item->command.option);
}

SourceView *MainForm::sourcePane()
{
    // Made when first shown: most sessions never show it, and a text editor
    // built for nothing costs start-up time and memory.
    if (!m_source) {
        m_source = new SourceView(
            surface(), [session = m_session] { return session->pageText(); }, m_split);
        m_source->hide();
        m_split->addWidget(m_source);
        // Whichever pane was typed in last, a save writes what it holds.
        m_session->addPendingEdits(m_source);
        connect(m_session, &DocumentSession::titleChanged, m_source, &SourceView::pageReplaced);
        connect(surface(), &EditSurface::DocumentComplete, m_source, &SourceView::pageReplaced);
        connect(surface(), &EditSurface::DisplayChanged, m_source, &SourceView::refreshSoon);
    }
    return m_source;
}

bool MainForm::sourceHasFocus() const
{
    if (!m_source || !m_source->isVisible())
        return false;
    // The page pulled out of sight leaves only the text to act on.
    return m_source->hasFocus() || m_split->sizes().value(0) == 0;
}

void MainForm::showSource(bool on)
{
    if (!on) {
        // Edits the page refuses keep the text in sight.
        if (m_source && m_source->isVisible() && !m_source->apply()) {
            m_sourceAction->setChecked(true);
            return;
        }
        if (m_source)
            m_source->hide();
        surface()->widget()->setFocus();
    } else if (!sourcePane()->isVisible()) {
        m_source->show();
        const QByteArray layout = windowSettings().value(QStringLiteral("View/SourceSplitter")).toByteArray();
        if (layout.isEmpty() || !m_split->restoreState(layout))
            m_split->setSizes({m_split->width() / 2, m_split->width() / 2});
        m_source->refresh();
        m_source->setFocus();
    }
    m_sourceAction->setChecked(on);
    windowSettings().setValue(QStringLiteral("View/Source"), on);
}

void MainForm::rememberSourceLayout()
{
    if (m_source && m_source->isVisible())
        windowSettings().setValue(QStringLiteral("View/SourceSplitter"), m_split->saveState());
}

void MainForm::fillSpellingMenu()
{
    m_spellingMenu->clear();
    auto *group = new QActionGroup(m_spellingMenu);
    QStringList dictionaries = spelling::installed();
    std::sort(dictionaries.begin(), dictionaries.end(), [](const QString &a, const QString &b) {
        return spelling::displayName(a).localeAwareCompare(spelling::displayName(b)) < 0;
    });
    for (const QString &dictionary : std::as_const(dictionaries)) {
        QAction *a = m_spellingMenu->addAction(spelling::displayName(dictionary));
        a->setObjectName(QStringLiteral("Spelling_%1").arg(dictionary));
        a->setData(dictionary);
        a->setCheckable(true);
        a->setChecked(dictionary == m_spellingDictionary);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, dictionary] {
            // A page that names its language keeps it; the choice is for this
            // page only. Otherwise it is the choice from now on.
            if (spelling::forLanguage(surface()->pageLanguage(), spelling::installed()).isEmpty())
                windowSettings().setValue(QStringLiteral("Spelling/Language"), dictionary);
            setSpellingDictionary(dictionary);
        });
    }
    m_spellingMenu->menuAction()->setEnabled(!m_spellingMenu->isEmpty());
}

void MainForm::chooseSpellingForPage()
{
    const QStringList dictionaries = spelling::installed();
    QString dictionary = spelling::forLanguage(surface()->pageLanguage(), dictionaries);
    if (dictionary.isEmpty())
        dictionary = windowSettings().value(QStringLiteral("Spelling/Language")).toString();
    if (!dictionaries.contains(dictionary))
        dictionary = spelling::forLanguage(QLocale::system().name(), dictionaries);
    if (dictionary.isEmpty())
        dictionary = spelling::forLanguage(QStringLiteral("en_US"), dictionaries);
    if (dictionary.isEmpty() && !dictionaries.isEmpty())
        dictionary = dictionaries.first();
    setSpellingDictionary(dictionary);
}

void MainForm::setSpellingDictionary(const QString &dictionary)
{
    m_spellingDictionary = dictionary;
    for (QAction *a : m_spellingMenu->actions())
        a->setChecked(a->data().toString() == dictionary);
    applySpelling();
}

void MainForm::applySpelling()
{
    surface()->setSpellCheckDictionary(m_dictionaries->engineName(m_spellingDictionary));
}

} // namespace shell
