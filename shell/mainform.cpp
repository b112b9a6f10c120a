#include "shell/mainform.h"

#include "about/aboutbox.h"
#include "hyperlink/hyperlinkdialog.h"
#include "image/imagefragment.h"
#include "image/insertimagedialog.h"
#include "pageprops/pagepropertiesdialog.h"
#include "publish/publishdialog.h"
#include "shell/capslock.h"
#include "shell/documentsession.h"
#include "shell/insertHTMLdlg.h"
#include "shell/recentpages.h"
#include "shell/session.h"
#include "shell/sourceview.h"
#include "surface/spelling.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
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
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

// The pictures and the help page live in this library's resources.
static void initShellResources()
{
    Q_INIT_RESOURCE(shell);
}

using namespace surface;

namespace shell {

namespace {
// The surface's own open and save-as dialogs, through the dialog seam.
class SurfacePicker final : public FilePicker
{
public:
    QString pickFile(QWidget *parent, Kind kind, const QString &title, const QString &startPath,
                     const QString &filter) override
    {
        if (kind == Kind::Open)
            return ui::openFile(parent, title,
                                QStringLiteral("HTML Files (*.htm, *.html)|*.htm;*.html|All Files (*.*)|*"),
                                1, startPath);
        return ui::saveFile(parent, title, filter, startPath);
    }
};
} // namespace

namespace {
const QString kTitle = QStringLiteral("Quillon Kiv");

double twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

QString crlf()
{
    return QStringLiteral("\r\n");
}

QSettings windowSettings()
{
    return QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
}

// A toolbar picture from the icon theme, or the one shipped with the program
// where the theme lacks it, so that no button is ever blank.
QIcon toolbarIcon(const char *name)
{
    const QString themeName = QString::fromLatin1(name);
    // We ship pictures only for names Debian's theme lacks; a theme's loose
    // name matching would otherwise give them a wrong picture.
    const QString shipped = QStringLiteral(":/shell/icons/%1.svg").arg(themeName);
    if (QFile::exists(shipped))
        return QIcon(shipped);
    return QIcon::fromTheme(themeName);
}

struct FormatButton
{
    const char *key;
    const char *tooltip;
    const char *icon;
    int command;
};

// Index order is the order the toolbar refresh walks them in.
const FormatButton kFormatButtons[] = {
    {"Bold", "Bold", "format-text-bold", DECMD_BOLD},
    {"Italic", "Italic", "format-text-italic", DECMD_ITALIC},
    {"Underline", "Underline", "format-text-underline", DECMD_UNDERLINE},
    {"Numbers", "Numbered List", "format-list-ordered", DECMD_ORDERLIST},
    {"Bullets", "Bulleted List", "format-list-unordered", DECMD_UNORDERLIST},
    {"Outdent", "Outdent", "format-indent-less", DECMD_OUTDENT},
    {"Indent", "Indent", "format-indent-more", DECMD_INDENT},
    {"LeftJustify", "Left Justify", "format-justify-left", DECMD_JUSTIFYLEFT},
    {"Center", "Center", "format-justify-center", DECMD_JUSTIFYCENTER},
    {"RightJustify", "Right Justify", "format-justify-right", DECMD_JUSTIFYRIGHT},
    {"Color", "Color", "format-text-color", DECMD_SETFORECOLOR},
};
} // namespace

MainForm::MainForm(std::unique_ptr<EditSurface> editSurface, QWidget *parent)
    : QMainWindow(parent), m_surface(std::move(editSurface))
{
    initShellResources();
    setObjectName(QStringLiteral("MainForm"));
    // Outside a desktop session no theme is set; Debian's Adwaita has the pictures.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    setWindowIcon(QIcon(QStringLiteral(":/shell/icons/quillon-kiv.svg")));
    setWindowTitle(kTitle);
    m_picker = std::make_shared<SurfacePicker>();
    surface()->setFilePicker(m_picker);
    m_session = new DocumentSession(surface(), this);
    connect(m_session, &DocumentSession::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_session, &DocumentSession::aboutToChangeDocument, this, &MainForm::DisableFormatControls);
    // A notice stands until the page changes again.
    connect(m_session, &DocumentSession::titleChanged, statusBar(), &QStatusBar::clearMessage);
    connect(m_session, &DocumentSession::pageOnDisk, this, [this](const QString &path) {
        recent::add(path);
        recent::tellDesktop(path);
        refreshRecentPages();
    });
    connect(m_session, &DocumentSession::notice, statusBar(),
            [this](const QString &text) { statusBar()->showMessage(text); });

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    // The page's text goes beside the page, or instead of it when the
    // splitter is pulled all the way over.
    m_split = new QSplitter(Qt::Horizontal, central);
    m_split->setObjectName(QStringLiteral("SourceSplitter"));
    m_split->addWidget(surface()->widget());
    m_source = new SourceView(surface(), m_session, m_split);
    m_split->addWidget(m_source);
    m_source->hide();
    layout->addWidget(m_split);
    surface()->widget()->setObjectName(QStringLiteral("DHTMLEdit1"));
    setCentralWidget(central);
    connect(m_split, &QSplitter::splitterMoved, this, &MainForm::rememberSourceLayout);
    // Whichever pane was typed in last, a save writes what it holds.
    m_session->setBeforeReading([this] { return m_source->apply(); });
    connect(m_session, &DocumentSession::titleChanged, m_source, &SourceView::pageReplaced);
    connect(surface(), &EditSurface::DocumentComplete, m_source, &SourceView::pageReplaced);
    connect(surface(), &EditSurface::DisplayChanged, m_source, &SourceView::refreshSoon);

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
    // Files dropped beside the page (on a toolbar, the status bar) count too.
    setAcceptDrops(true);

    browse::installHelpKey(this);

    Form_Load();
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
    delete m_source;
    m_source = nullptr;
    // The surface's widget lives in our layout; let the surface go first.
    m_surface.reset();
}

QAction *MainForm::addItem(QMenu *menu, const QString &name, const QString &caption,
                           const QKeySequence &shortcut)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    return a;
}

void MainForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    connect(addItem(file, QStringLiteral("FileNew"), QStringLiteral("&New"),
                    QKeySequence(QStringLiteral("Ctrl+N"))),
            &QAction::triggered, this, &MainForm::FileNew_Click);
    file->addSeparator()->setObjectName(QStringLiteral("FileNewSep1"));
    connect(addItem(file, QStringLiteral("FileOpen"), QStringLiteral("&Open..."),
                    QKeySequence(QStringLiteral("Ctrl+O"))),
            &QAction::triggered, this, &MainForm::FileOpen_Click);
    m_recentMenu = file->addMenu(QStringLiteral("&Recent Pages"));
    m_recentMenu->setObjectName(QStringLiteral("mnuFileRecent"));
    // Its shortcut works with the menus closed, whatever the list holds.
    m_reopenLast = new QAction(this);
    m_reopenLast->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    addAction(m_reopenLast);
    connect(m_reopenLast, &QAction::triggered, this, &MainForm::reopenLastPage);
    // Another window may have changed the list since.
    connect(file, &QMenu::aboutToShow, this, &MainForm::refreshRecentPages);
    connect(addItem(file, QStringLiteral("FileSave"), QStringLiteral("&Save"),
                    QKeySequence(QStringLiteral("Ctrl+S"))),
            &QAction::triggered, this, &MainForm::FileSave_Click);
    connect(addItem(file, QStringLiteral("FileSaveAs"), QStringLiteral("Save &As...")), &QAction::triggered,
            this, &MainForm::FileSaveAs_Click);
    file->addSeparator()->setObjectName(QStringLiteral("sep10"));
    connect(addItem(file, QStringLiteral("mnuFilePrint"), QStringLiteral("&Print..."),
                    QKeySequence(QStringLiteral("Ctrl+P"))),
            &QAction::triggered, this, &MainForm::mnuFilePrint_Click);
    QAction *sep2 = file->addSeparator();
    sep2->setObjectName(QStringLiteral("FileSep2"));
    sep2->setEnabled(false);
    // Built and wired, never offered.
    QAction *publish = addItem(file, QStringLiteral("mnuFilePublish"), QStringLiteral("P&ublish file..."));
    publish->setEnabled(false);
    connect(publish, &QAction::triggered, this, &MainForm::mnuFilePublish_Click);
    file->addSeparator()->setObjectName(QStringLiteral("FileSep3"));
    connect(addItem(file, QStringLiteral("FileExit"), QStringLiteral("E&xit")), &QAction::triggered, this,
            &MainForm::FileExit_Click);

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit"));
    const struct
    {
        const char *caption;
        const char *shortcut;
        int command;
    } editItems[] = {{"&Undo", "Ctrl+Z", DECMD_UNDO},
                     {"&Redo", "Ctrl+Y", DECMD_REDO},
                     {nullptr, nullptr, 0},
                     {"Cu&t", "Ctrl+X", DECMD_CUT},
                     {"&Copy", "Ctrl+C", DECMD_COPY},
                     {"&Paste", "Ctrl+V", DECMD_PASTE},
                     {"Select &All", "Ctrl+A", DECMD_SELECTALL},
                     {nullptr, nullptr, 0},
                     {"&Find...", "Ctrl+F", DECMD_FINDTEXT},
                     {nullptr, nullptr, 0},
                     {"&Snap To Grid", nullptr, 0}};
    for (int i = 0; i < int(std::size(editItems)); ++i) {
        const QString name = QStringLiteral("EditSub_%1").arg(i);
        if (!editItems[i].caption) {
            edit->addSeparator()->setObjectName(name);
            continue;
        }
        QAction *a = addItem(edit, name, QString::fromLatin1(editItems[i].caption),
                             editItems[i].shortcut ? QKeySequence(QString::fromLatin1(editItems[i].shortcut))
                                                   : QKeySequence());
        const int command = editItems[i].command;
        if (i == 10) {
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, [this, a] {
                surface()->setSnapToGrid(!surface()->SnapToGrid());
                a->setChecked(surface()->SnapToGrid());
            });
        } else {
            // The page handles its own editing keys; the menu's shortcuts stay
            // visible as hints without stealing them. Find is ours to open.
            a->setShortcutContext(command == DECMD_FINDTEXT ? Qt::WindowShortcut : Qt::WidgetShortcut);
            connect(a, &QAction::triggered, this, [this, command] {
                if (!sourceHasFocus()) {
                    surface()->ExecCommand(command, OLECMDEXECOPT_DODEFAULT);
                    return;
                }
                // The same commands on the text, while it has the keyboard.
                switch (command) {
                case DECMD_UNDO:
                    return m_source->undo();
                case DECMD_REDO:
                    return m_source->redo();
                case DECMD_CUT:
                    return m_source->cut();
                case DECMD_COPY:
                    return m_source->copy();
                case DECMD_PASTE:
                    return m_source->paste();
                case DECMD_SELECTALL:
                    return m_source->selectAll();
                case DECMD_FINDTEXT:
                    return m_source->showFind();
                default:
                    return;
                }
            });
        }
    }
    connect(edit, &QMenu::aboutToShow, this, [this, edit] {
        const int commands[] = {DECMD_UNDO,  DECMD_REDO,      0, DECMD_CUT,     DECMD_COPY,
                                DECMD_PASTE, DECMD_SELECTALL, 0, DECMD_FINDTEXT};
        for (int i = 0; i < 9; ++i)
            if (commands[i])
                if (QAction *a = edit->findChild<QAction *>(QStringLiteral("EditSub_%1").arg(i)))
                    a->setEnabled(sourceHasFocus() || surface()->QueryStatus(commands[i]) >= DECMDF_ENABLED);
    });

    QMenu *view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("View"));
    QAction *borders = addItem(view, QStringLiteral("ViewSub_0"), QStringLiteral("&Borders"));
    borders->setCheckable(true);
    connect(borders, &QAction::triggered, this, [this, borders] {
        surface()->setShowBorders(!surface()->ShowBorders());
        borders->setChecked(surface()->ShowBorders());
    });
    QAction *details = addItem(view, QStringLiteral("ViewSub_1"), QStringLiteral("&Document Details"));
    details->setCheckable(true);
    connect(details, &QAction::triggered, this, [this, details] {
        surface()->setShowDetails(!surface()->ShowDetails());
        details->setChecked(surface()->ShowDetails());
    });
    view->addSeparator();
    m_sourceAction = addItem(view, QStringLiteral("mnuViewSource"), QStringLiteral("HTML Source"),
                             QKeySequence(Qt::CTRL | Qt::Key_U));
    m_sourceAction->setCheckable(true);
    m_sourceAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_sourceAction, &QAction::triggered, this, [this](bool on) { showSource(on); });

    QMenu *insert = bar->addMenu(QStringLiteral("&Insert"));
    insert->setObjectName(QStringLiteral("Insert"));
    connect(addItem(insert, QStringLiteral("mnuInsertPageProperties"), QStringLiteral("&Page Properties...")),
            &QAction::triggered, this, &MainForm::mnuInsertPageProperties_Click);
    insert->addSeparator()->setObjectName(QStringLiteral("sep1"));
    connect(addItem(insert, QStringLiteral("mnuInsertHyperlink"), QStringLiteral("&Hyperlink...")),
            &QAction::triggered, this, &MainForm::mnuInsertHyperlink_Click);
    connect(addItem(insert, QStringLiteral("mnuInsertImage"), QStringLiteral("&Image...")),
            &QAction::triggered, this, &MainForm::mnuInsertImage_Click);
    connect(addItem(insert, QStringLiteral("InsertHTML"), QStringLiteral("H&TML...")), &QAction::triggered,
            this, &MainForm::InsertHTML_Click);
    connect(insert, &QMenu::aboutToShow, this, [this, insert] {
        if (QAction *a = insert->findChild<QAction *>(QStringLiteral("InsertHTML")))
            a->setEnabled(surface()->DOM().selection().type() != QLatin1String("Control"));
    });

    QMenu *format = bar->addMenu(QStringLiteral("F&ormat"));
    format->setObjectName(QStringLiteral("Format"));
    for (int i = 0; i < 16; ++i) {
        QAction *a = addItem(format, QStringLiteral("FormatSub_%1").arg(i), QString());
        a->setCheckable(true);
        a->setVisible(false); // empty until the surface names its formats
        connect(a, &QAction::triggered, this, [this, a] {
            a->setChecked(!a->isChecked()); // the menu's check follows the page, not the click
            if (surface()->QueryStatus(DECMD_SETBLOCKFMT) >= DECMDF_ENABLED)
                surface()->ExecCommand(DECMD_SETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER, a->text());
        });
        m_formatSub.append(a);
    }
    format->addSeparator();
    m_spellingMenu = format->addMenu(QStringLiteral("Spelling Language"));
    m_spellingMenu->setObjectName(QStringLiteral("mnuSpellingLanguage"));
    fillSpellingMenu();
    connect(format, &QMenu::aboutToShow, this, [this] {
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
    });

    // Every menu of the bar has an access letter of its own: without one,
    // Alt and a letter reach the focused font box as typing.
    QMenu *effects = bar->addMenu(QStringLiteral("&Special Effects"));
    effects->setObjectName(QStringLiteral("mnuSpecialEffects"));
    connect(
        addItem(effects, QStringLiteral("mnuFizzet"), QStringLiteral("Fizzet: Web page special effects...")),
        &QAction::triggered, this, &MainForm::mnuFizzet_Click);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help"));
    connect(addItem(help, QStringLiteral("mnuHelpContents"), QStringLiteral("&Contents...")),
            &QAction::triggered, this, &MainForm::ShowHelp);
    help->addSeparator()->setObjectName(QStringLiteral("sep2"));
    connect(addItem(help, QStringLiteral("mnuHelpIncreaseTraffic"),
                    QStringLiteral("&Increase traffic to your Web site...")),
            &QAction::triggered, this, &MainForm::mnuHelpIncreaseTraffic_Click);
    help->addSeparator()->setObjectName(QStringLiteral("sep3"));
    connect(addItem(help, QStringLiteral("mnuAbout"), QStringLiteral("&About...")), &QAction::triggered, this,
            &MainForm::mnuAbout_Click);
}

void MainForm::buildToolbars()
{
    QToolBar *standardBar = addToolBar(QStringLiteral("Standard"));
    standardBar->setObjectName(QStringLiteral("Toolbar2"));
    const struct
    {
        const char *key;
        const char *tooltip;
        const char *icon;
    } standard[] = {{"New", "New (Ctrl-N)", "document-new"},
                    {"Open", "Open (Ctrl-O)", "document-open"},
                    {"Save", "Save (Ctrl-S)", "document-save"},
                    {"Print", "Print (Ctrl-P)", "document-print"},
                    {"Cut", "Cut (Ctrl-X)", "edit-cut"},
                    {"Copy", "Copy (Ctrl-C)", "edit-copy"},
                    {"Paste", "Paste (Ctrl-V)", "edit-paste"},
                    {"Find", "Find/Search", "edit-find"},
                    {"Page Properties", "Page Properties", "document-properties"},
                    {"Hyperlink", "Insert Hyperlink", "insert-link"},
                    {"Image", "Insert image", "insert-image"}};
    for (const auto &b : standard) {
        const QString key = QString::fromLatin1(b.key);
        QAction *a = standardBar->addAction(toolbarIcon(b.icon), key);
        a->setObjectName(key);
        a->setToolTip(QString::fromLatin1(b.tooltip));
        if (key == QLatin1String("New"))
            connect(a, &QAction::triggered, this, &MainForm::FileNew_Click);
        else if (key == QLatin1String("Open"))
            connect(a, &QAction::triggered, this, &MainForm::FileOpen_Click);
        else if (key == QLatin1String("Save"))
            connect(a, &QAction::triggered, this, &MainForm::FileSave_Click);
        else if (key == QLatin1String("Print"))
            connect(a, &QAction::triggered, this, &MainForm::mnuFilePrint_Click);
        else if (key == QLatin1String("Cut"))
            connect(a, &QAction::triggered, this, [this] { surface()->ExecCommand(DECMD_CUT); });
        else if (key == QLatin1String("Copy"))
            connect(a, &QAction::triggered, this, [this] { surface()->ExecCommand(DECMD_COPY); });
        else if (key == QLatin1String("Paste"))
            connect(a, &QAction::triggered, this, [this] { surface()->ExecCommand(DECMD_PASTE); });
        else if (key == QLatin1String("Page Properties"))
            connect(a, &QAction::triggered, this, &MainForm::mnuInsertPageProperties_Click);
        else if (key == QLatin1String("Image"))
            connect(a, &QAction::triggered, this, &MainForm::mnuInsertImage_Click);
        else if (key == QLatin1String("Hyperlink"))
            connect(a, &QAction::triggered, this, &MainForm::mnuInsertHyperlink_Click);
        else if (key == QLatin1String("Find"))
            connect(a, &QAction::triggered, this, [this] {
                if (sourceHasFocus())
                    m_source->showFind();
                else
                    surface()->ExecCommand(DECMD_FINDTEXT);
            });
    }

    addToolBarBreak();
    QToolBar *formatBar = addToolBar(QStringLiteral("Formatting"));
    formatBar->setObjectName(QStringLiteral("Toolbar1"));
    m_fontCombo = new QComboBox(formatBar);
    m_fontCombo->setObjectName(QStringLiteral("FontCombo"));
    m_fontCombo->setEditable(true);
    m_fontCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fontCombo->setMinimumContentsLength(14);
    formatBar->addWidget(m_fontCombo)->setObjectName(QStringLiteral("Font"));
    m_fontSizeCombo = new QComboBox(formatBar);
    m_fontSizeCombo->setObjectName(QStringLiteral("FontSizeCombo"));
    m_fontSizeCombo->setEditable(true);
    m_fontSizeCombo->setInsertPolicy(QComboBox::NoInsert);
    m_fontSizeCombo->setMinimumContentsLength(3);
    formatBar->addWidget(m_fontSizeCombo)->setObjectName(QStringLiteral("FontSize"));
    for (const FormatButton &b : kFormatButtons) {
        const QString key = QString::fromLatin1(b.key);
        QAction *a = formatBar->addAction(toolbarIcon(b.icon), key);
        a->setObjectName(key);
        a->setToolTip(QString::fromLatin1(b.tooltip));
        a->setCheckable(b.command != DECMD_SETFORECOLOR);
        const int command = b.command;
        if (command == DECMD_SETFORECOLOR)
            connect(a, &QAction::triggered, this, &MainForm::Color_Click);
        else
            connect(a, &QAction::triggered, this, [this, command] { execFormatCommand(command); });
        m_formatButtons.append(a);
        m_formatCommands.append(command);
    }
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
    m_panels[0]->setText(QStringLiteral("Press F1 for Help"));
    m_panels[4]->setText(QStringLiteral("INS"));
    // Keys reach the page's own widgets, not this one: every key is seen on
    // its way through the program.
    m_capsLock = capslock::state;
    qApp->installEventFilter(this);
    refreshCapsLock();
    auto *clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &MainForm::updateClock);
    clock->start(1000);
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
    m_panels[3]->setText(on.value_or(false) ? QStringLiteral("CAPS") : QString());
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    // The page would take Ctrl+U as underline before the menu saw it: in this
    // window the key shows the page's text.
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
    const int left =
        session::readStoredNumber(s.value(QStringLiteral("LeftXCoord"), QStringLiteral("0")).toString());
    const int top =
        session::readStoredNumber(s.value(QStringLiteral("LeftYCoord"), QStringLiteral("0")).toString());
    int w =
        session::readStoredNumber(s.value(QStringLiteral("WindowXSize"), QStringLiteral("5000")).toString());
    int h =
        session::readStoredNumber(s.value(QStringLiteral("WindowYSize"), QStringLiteral("5000")).toString());
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

void MainForm::Form_Load()
{
    documentReady = false;
    restoreGeometryFromSettings();
    for (const char *name : {"Times New Roman", "Arial", "Tahoma", "Courier", "Verdana", "Wingdings"})
        m_fontCombo->addItem(QString::fromLatin1(name));
    for (int i = 1; i <= 7; ++i)
        m_fontSizeCombo->addItem(QString::number(i));
    m_fontCombo->setCurrentIndex(0);
    m_fontSizeCombo->setCurrentIndex(0);
    DisableFormatControls();
    surface()->widget()->raise();
    // The doctype keeps browsers out of their quirks.
    const QStringList blank = {
        QStringLiteral("<!DOCTYPE html>"),   QStringLiteral("<HTML>"),  QStringLiteral("<HEAD>"),
        QStringLiteral("<TITLE></TITLE>"),   QStringLiteral("</HEAD>"), QStringLiteral("<BODY>"),
        QStringLiteral("<DIV>&nbsp;</DIV>"), QStringLiteral("</BODY>"), QStringLiteral("</HTML>")};
    // The window shows while the engine reads the page.
    surface()->beginDocumentHTML(blank.join(crlf()));
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
    RefreshFontBoxes();
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
    RefreshFontBoxes();
    if (surface()->QueryStatus(DECMD_GETBLOCKFMT) >= DECMDF_ENABLED)
        m_panels[0]->setText(
            surface()->ExecCommand(DECMD_GETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER).toString());
}

void MainForm::RefreshFontBoxes()
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

void MainForm::Color_Click()
{
    const std::optional<QColor> c = ui::pickColor(this, Qt::black);
    if (!c)
        return;
    surface()->ExecCommand(DECMD_SETFORECOLOR, OLECMDEXECOPT_DONTPROMPTUSER,
                           c->name(QColor::HexRgb).toUpper());
}

void MainForm::DisableFormatControls()
{
    m_fontCombo->setEditText(QString());
    m_fontCombo->setEnabled(false);
    m_fontSizeCombo->setEditText(QString());
    m_fontSizeCombo->setEnabled(false);
    for (QAction *a : std::as_const(m_formatButtons))
        a->setEnabled(false);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainForm::FileNew_Click()
{
    m_session->newPage();
}

void MainForm::FileOpen_Click()
{
    m_session->open();
}

bool MainForm::SaveCurrentDocument(bool saveAs)
{
    return m_session->save(saveAs);
}

void MainForm::FileSave_Click()
{
    SaveCurrentDocument(surface()->CurrentDocumentPath().isEmpty());
}

void MainForm::FileSaveAs_Click()
{
    SaveCurrentDocument(true);
}

void MainForm::mnuFilePrint_Click()
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
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
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
        else if (type.name().startsWith(QLatin1String("image/")))
            insertPicture(path); // into the page shown now, before a dropped page may replace it
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

void MainForm::insertPicture(const QString &path)
{
    // As Insert Image composes a chosen picture: its full path, and its size
    // where the picture can be read, so that a save makes the path relative.
    image::ImageFields fields;
    fields.imageFile = path;
    if (const QSize size = QImageReader(path).size(); size.isValid()) {
        fields.width = QString::number(size.width());
        fields.height = QString::number(size.height());
    }
    const std::optional<QString> fragment = image::composeImage(fields, QString());
    std::optional<TextRange> range = surface()->DOM().selection().createRange();
    if (!range && surface()->collapseSelection(false))
        range = surface()->DOM().selection().createRange(); // an object was selected: after it
    if (fragment && range)
        range->pasteHTML(*fragment);
}

void MainForm::FileExit_Click()
{
    close();
}

bool MainForm::Form_QueryUnload()
{
    // The same question as before New and Open: only Cancel, or a save that
    // failed, keeps the window open.
    return m_session->checkSaveChanges() != DocumentSession::Cancelled;
}

void MainForm::Form_Unload()
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
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
    emit closed();
    // Closing the last page's window ends the program, every other window with it.
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::none_of(windows.begin(), windows.end(), [this](QWidget *w) {
            return w != this && w->isVisible() && qobject_cast<MainForm *>(w);
        }))
        QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
}

void MainForm::ShowHelp()
{
    browse::showHelp(this);
}

void MainForm::onShowContextMenu()
{
    contextMenu = commands::withSpelling(
        commands::buildContextMenu([this](int command) { return surface()->QueryStatus(command); }),
        surface()->misspelledWord(), surface()->spellingSuggestions());
    surface()->SetContextMenu(contextMenu.captions, contextMenu.states);
}

void MainForm::onContextMenuAction(int position)
{
    using Spelling = commands::SpellingChoice::Kind;
    const commands::SpellingChoice choice = commands::spellingChoice(contextMenu, position);
    switch (choice.kind) {
    case Spelling::Replace:
        surface()->replaceMisspelledWord(choice.replacement);
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
    const commands::MenuCommand c = commands::contextMenuCommand(contextMenu, position);
    if (c.command)
        surface()->ExecCommand(c.command, c.option);
}

bool MainForm::sourceHasFocus() const
{
    if (!m_source->isVisible())
        return false;
    // The page pulled out of sight leaves only the text to act on.
    return m_source->hasFocus() || m_split->sizes().value(0) == 0;
}

void MainForm::showSource(bool on)
{
    if (!on) {
        // Edits the page refuses keep the text in sight.
        if (m_source->isVisible() && !m_source->apply()) {
            m_sourceAction->setChecked(true);
            return;
        }
        m_source->hide();
        surface()->widget()->setFocus();
    } else if (!m_source->isVisible()) {
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
    if (m_source->isVisible())
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

void MainForm::InsertHTML_Click()
{
    InsertHTMLDlg dialog(surface(), this);
    dialog.exec();
}

void MainForm::mnuFilePublish_Click()
{
    if (surface()->IsDirty()) {
        ui::messageBox(this,
                       QStringLiteral("The current document has changed.") + crlf() + crlf() +
                           QStringLiteral("Please save the document before publishing it to your Web site."),
                       QMessageBox::Ok, QMessageBox::NoIcon);
        return;
    }
    publish::PublishDialog dialog(surface(), publish::systemPasswordStore(), this);
    dialog.exec();
}

void MainForm::mnuAbout_Click()
{
    about::AboutBox about([this](const QString &target) { ui::ShellOpen(this, target); }, this);
    about.exec();
}

void MainForm::mnuFizzet_Click()
{
    about::InfoBox box(
        about::InfoBox::Product::Fizzet, [this](const QString &target) { ui::ShellOpen(this, target); },
        this);
    box.exec();
}

void MainForm::mnuHelpIncreaseTraffic_Click()
{
    about::InfoBox box(
        about::InfoBox::Product::IncreaseTraffic,
        [this](const QString &target) { ui::ShellOpen(this, target); }, this);
    box.exec();
}

void MainForm::mnuInsertHyperlink_Click()
{
    hyperlink::HyperlinkDialog dialog(surface(), this);
    dialog.exec();
}

void MainForm::mnuInsertPageProperties_Click()
{
    pageprops::PagePropertiesDialog dialog(surface(), this);
    dialog.exec();
}

void MainForm::mnuInsertImage_Click()
{
    image::InsertImageDialog dialog(surface(), this);
    dialog.exec();
}

} // namespace shell
