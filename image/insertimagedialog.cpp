#include "image/linkgraph.h"

#include "image/imagefragment.h"
#include "surface/editsurface.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString kGraphicsFilter = QStringLiteral(
    "All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;*.gif;*.png|GIF Files "
    "(*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg");

QToolButton *pictureButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}

QLineEdit *lineEdit(QWidget *parent, const char *name, const char *tip = nullptr)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (tip)
        e->setToolTip(QString::fromLatin1(tip));
    return e;
}

QComboBox *editableCombo(QWidget *parent, const char *name, const QStringList &items)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setEditText(QString());
    return c;
}

QWidget *box(QWidget *parent, const char *name, const QColor &color)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    return w;
}

// The files the list shows: every picture format this build reads (PNG, GIF,
// JPEG, BMP, and SVG or WebP where their plugins are installed), whatever the
// letter case of the extension.
bool listedPicture(const QString &name)
{
    static const QSet<QString> suffixes = [] {
        QSet<QString> s;
        for (const QByteArray &format : QImageReader::supportedImageFormats())
            s.insert(QString::fromLatin1(format).toLower());
        return s;
    }();
    return suffixes.contains(QFileInfo(name).suffix().toLower());
}

// On a case-blind file system a link target's letter case is noise; elsewhere
// it names a different file.
QString linkTargetCase(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toLower();
#else
    return path;
#endif
}
} // namespace

UpDown::UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent)
    : QWidget(parent), m_buddy(buddy), m_min(minimum), m_max(maximum)
{
    up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setAutoRepeat(true);
    up->setAccessibleName(QStringLiteral("Increase"));
    down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setAutoRepeat(true);
    down->setAccessibleName(QStringLiteral("Decrease"));
    for (QToolButton *b : {up, down})
        b->setFixedSize(18, 11);
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(up);
    l->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this] { step(1); });
    connect(down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::step(int delta)
{
    // The number the box starts with; typing may have put anything there.
    static const QRegularExpression leading(QStringLiteral("^\\s*(-?\\d+)"));
    const QRegularExpressionMatch m = leading.match(m_buddy->text());
    long long n = m.hasMatch() ? m.captured(1).toLongLong() : m_min - delta;
    n = std::clamp<long long>(n + delta, m_min, m_max);
    m_buddy->setText(QString::number(n));
}

double LinkGraph::twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

LinkGraph::LinkGraph(surface::EditSurface *surface, QWidget *parent) : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("LinkGraph"));
    setWindowTitle(QStringLiteral("Insert Image"));
    browse::installHelpKey(this);
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));

    // Select Image.
    auto *p0 = new QWidget;
    p0->setObjectName(QStringLiteral("Picture1_0"));
    GraphText = lineEdit(p0, "GraphText");
    Command2 =
        pictureButton(p0, "Command2", QStyle::SP_DialogOpenButton, QStringLiteral("Browse for image..."));
    Drive1 = new QComboBox(p0);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1 = new QListWidget(p0);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    File1 = new QListWidget(p0);
    File1->setObjectName(QStringLiteral("File1"));
    Picture2 = new QLabel(p0);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setAutoFillBackground(true);
    auto *previewArea = new QScrollArea(p0);
    previewArea->setWidget(Picture2);
    previewArea->setWidgetResizable(false);
    previewArea->setMinimumSize(180, 140);
    Label15 = new QLabel(QStringLiteral("Image width (pixels):"), p0);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label16 = new QLabel(QStringLiteral("Image height (pixels):"), p0);
    Label16->setObjectName(QStringLiteral("Label16"));
    auto *fileLabel = new QLabel(QStringLiteral("Enter filename of Image:"), p0);
    fileLabel->setBuddy(GraphText);
    auto *listLabel = new QLabel(QStringLiteral("Or select the image from the file list below:"), p0);
    listLabel->setBuddy(Drive1);
    auto *g0 = new QGridLayout(p0);
    g0->addWidget(fileLabel, 0, 0, 1, 3);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(GraphText, 1);
    fileRow->addWidget(Command2);
    g0->addLayout(fileRow, 1, 0, 1, 3);
    g0->addWidget(listLabel, 2, 0, 1, 2);
    g0->addWidget(Drive1, 3, 0);
    g0->addWidget(Dir1, 4, 0);
    g0->addWidget(File1, 3, 1, 2, 1);
    g0->addWidget(previewArea, 2, 2, 3, 1);
    g0->addWidget(Label15, 5, 2);
    g0->addWidget(Label16, 6, 2);

    // Alternatives.
    auto *p1 = new QWidget;
    p1->setObjectName(QStringLiteral("Picture1_1"));
    Alt = lineEdit(p1, "Alt", "Text to represent the image in text-only browsers");
    Text8 = lineEdit(p1, "Text8");
    Command3 =
        pictureButton(p1, "Command3", QStyle::SP_DialogOpenButton, QStringLiteral("Browse for image..."));
    auto *frame1 = new QGroupBox(QStringLiteral("Image Alternatives"), p1);
    frame1->setObjectName(QStringLiteral("Frame1"));
    Picture3 = new QLabel(frame1);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setAutoFillBackground(true);
    Picture3->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(frame1))->addWidget(Picture3, 0, Qt::AlignHCenter);
    auto *altLabel =
        new QLabel(QStringLiteral("Enter ALTernative text to replace image in text browsers:"), p1);
    altLabel->setBuddy(Alt);
    auto *lowLabel = new QLabel(QStringLiteral("Alternative low-resolution Image:"), p1);
    lowLabel->setBuddy(Text8);
    auto *l1 = new QVBoxLayout(p1);
    l1->addWidget(altLabel);
    l1->addWidget(Alt);
    l1->addWidget(lowLabel);
    auto *lowRow = new QHBoxLayout;
    lowRow->addWidget(Text8, 1);
    lowRow->addWidget(Command3);
    l1->addLayout(lowRow);
    l1->addWidget(frame1, 1);

    // Layout.
    auto *p2 = new QWidget;
    p2->setObjectName(QStringLiteral("Picture1_2"));
    Text2 = lineEdit(p2, "Text2", "Height of the image in pixels");
    Text1 = lineEdit(p2, "Text1", "Width of the image in pixels");
    Text5 = lineEdit(p2, "Text5", "Amount of clear space to the left and right of the image (in pixels)");
    Text4 = lineEdit(p2, "Text4", "Amount of clear space above and below the image (in pixels)");
    Text3 = lineEdit(p2, "Text3", "Width of border around image (in pixels)");
    UpDown1 = new UpDown(Text5, 0, 100, p2);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown2 = new UpDown(Text4, 0, 100, p2);
    UpDown2->setObjectName(QStringLiteral("UpDown2"));
    UpDown3 = new UpDown(Text3, 0, 20, p2);
    UpDown3->setObjectName(QStringLiteral("UpDown3"));
    Combo1 = new QComboBox(p2);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->addItems(image::alignEntries());
    Combo1->setCurrentIndex(-1);
    auto *form = new QGridLayout;
    auto addRow = [&](int row, const char *label, QLineEdit *edit, UpDown *arrows) {
        auto *l = new QLabel(QString::fromLatin1(label), p2);
        l->setBuddy(edit);
        form->addWidget(l, row, 0);
        form->addWidget(edit, row, 1);
        if (arrows)
            form->addWidget(arrows, row, 2);
    };
    addRow(0, "Image Height:", Text2, nullptr);
    addRow(1, "Image Width:", Text1, nullptr);
    addRow(2, "Horizontal Space:", Text5, UpDown1);
    addRow(3, "Vertical Space:", Text4, UpDown2);
    addRow(4, "Border Width:", Text3, UpDown3);
    auto *alignLabel = new QLabel(QStringLiteral("Align:"), p2);
    alignLabel->setBuddy(Combo1);
    form->addWidget(alignLabel, 5, 0);
    form->addWidget(Combo1, 5, 1, 1, 2);

    Frame2 = new QGroupBox(QStringLiteral("Align Preview"), p2);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Redtext = box(Frame2, "Redtext", QColor(255, 0, 0));
    Leftimage = box(Frame2, "Leftimage", QColor(0, 0, 255));
    Leftimage2 = box(Frame2, "Leftimage2", QColor(0, 0, 255));
    Rightimage = box(Frame2, "Rightimage", QColor(0, 0, 255));
    Toplabel = new QLabel(Frame2);
    Toplabel->setObjectName(QStringLiteral("Toplabel"));
    Toplabel->setWordWrap(true);
    Toplabel->setAutoFillBackground(true);
    QPalette grey = Toplabel->palette();
    grey.setColor(QPalette::Window, QColor(224, 224, 224));
    grey.setColor(QPalette::WindowText, Qt::black);
    Toplabel->setPalette(grey);
    const double tpp = twipsPerPixel();
    Frame2->setMinimumSize(int(3700 / tpp), int(1500 / tpp));
    Label10 = new QLabel(QStringLiteral("Red box is an existing image or object on the same line."), p2);
    Label10->setObjectName(QStringLiteral("Label10"));
    Label10->setWordWrap(true);
    Label11 = new QLabel(QStringLiteral("Blue box is new image."), p2);
    Label11->setObjectName(QStringLiteral("Label11"));
    Label12 = new QLabel(p2);
    Label12->setObjectName(QStringLiteral("Label12"));
    Label12->setWordWrap(true);
    auto *legends = new QVBoxLayout;
    legends->addWidget(Label10);
    legends->addWidget(Label11);
    legends->addStretch();
    auto *preview = new QHBoxLayout;
    preview->addWidget(Frame2);
    preview->addLayout(legends, 1);
    auto *l2 = new QVBoxLayout(p2);
    l2->addLayout(form);
    l2->addLayout(preview);
    l2->addWidget(Label12);
    l2->addStretch();

    // Link to URL.
    auto *p3 = new QWidget;
    p3->setObjectName(QStringLiteral("Picture1_3"));
    XimageLink = editableCombo(p3, "XimageLink", {QStringLiteral("http://")});
    Command5 =
        pictureButton(p3, "Command5", QStyle::SP_DialogOpenButton, QStringLiteral("Browse for file..."));
    Command1 = pictureButton(p3, "Command1", QStyle::SP_DirLinkIcon,
                             QStringLiteral("Browse Internet Explorer Favorites..."));
    auto *linkLabel =
        new QLabel(QStringLiteral("Type the URL of the Web page, image or file you wish to link to:"), p3);
    linkLabel->setBuddy(XimageLink);
    auto *l3 = new QVBoxLayout(p3);
    l3->addWidget(linkLabel);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(XimageLink, 1);
    linkRow->addWidget(Command5);
    linkRow->addWidget(Command1);
    l3->addLayout(linkRow);
    l3->addStretch();

    // Advanced.
    auto *p4 = new QWidget;
    p4->setObjectName(QStringLiteral("Picture1_4"));
    auto *mapFrame = new QGroupBox(QStringLiteral("ImageMap"), p4);
    Check2 = new QCheckBox(QStringLiteral("USEMAP - Client Side ImageMap"), mapFrame);
    Check2->setObjectName(QStringLiteral("Check2"));
    Text7 = lineEdit(mapFrame, "Text7");
    Label22 = new QLabel(QStringLiteral("Map name:"), mapFrame);
    Label22->setObjectName(QStringLiteral("Label22"));
    Label22->setBuddy(Text7);
    Text7->setEnabled(false);
    Label22->setEnabled(false);
    Check3 = new QCheckBox(QStringLiteral("ISMAP - Server Side ImageMap"), mapFrame);
    Check3->setObjectName(QStringLiteral("Check3"));
    auto *mapLayout = new QGridLayout(mapFrame);
    mapLayout->addWidget(Check2, 0, 0, 1, 2);
    mapLayout->addWidget(Label22, 1, 0);
    mapLayout->addWidget(Text7, 1, 1);
    mapLayout->addWidget(Check3, 2, 0, 1, 2);
    auto *videoFrame = new QGroupBox(QStringLiteral("Video"), p4);
    Text6 = lineEdit(videoFrame, "Text6");
    Command7 = pictureButton(videoFrame, "Command7", QStyle::SP_DialogOpenButton,
                             QStringLiteral("Browse for file..."));
    Combo2 =
        editableCombo(videoFrame, "Combo2",
                      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                       QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"),
                       QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("Infinite Loop")});
    Combo3 = editableCombo(
        videoFrame, "Combo3",
        {QStringLiteral("FileOpen"), QStringLiteral("MouseOver"), QStringLiteral("FileOpen and MouseOver")});
    Check1 = new QCheckBox(QStringLiteral("VCR Controls"), videoFrame);
    Check1->setObjectName(QStringLiteral("Check1"));
    auto *videoLabel = new QLabel(QStringLiteral("Enter filename of Video Clip:"), videoFrame);
    videoLabel->setBuddy(Text6);
    auto *loopLabel = new QLabel(QStringLiteral("Loop:"), videoFrame);
    loopLabel->setBuddy(Combo2);
    auto *startLabel = new QLabel(QStringLiteral("Start:"), videoFrame);
    startLabel->setBuddy(Combo3);
    auto *note = new QLabel(
        QStringLiteral("In the Image input box, be sure to include the filename for a graphic that "
                       "will replace the video in browsers that don't support video."),
        videoFrame);
    note->setObjectName(QStringLiteral("Label18"));
    note->setWordWrap(true);
    auto *videoLayout = new QGridLayout(videoFrame);
    videoLayout->addWidget(videoLabel, 0, 0, 1, 4);
    videoLayout->addWidget(Text6, 1, 0, 1, 3);
    videoLayout->addWidget(Command7, 1, 3);
    videoLayout->addWidget(loopLabel, 2, 0);
    videoLayout->addWidget(Combo2, 2, 1);
    videoLayout->addWidget(startLabel, 2, 2);
    videoLayout->addWidget(Combo3, 2, 3);
    videoLayout->addWidget(Check1, 3, 0, 1, 4);
    videoLayout->addWidget(note, 4, 0, 1, 4);
    auto *l4 = new QVBoxLayout(p4);
    l4->addWidget(mapFrame);
    l4->addWidget(videoFrame);
    l4->addStretch();

    TabStrip1->addTab(p0, QStringLiteral(" Select Image "));
    TabStrip1->addTab(p1, QStringLiteral(" Alternatives "));
    TabStrip1->addTab(p2, QStringLiteral(" Layout "));
    TabStrip1->addTab(p3, QStringLiteral(" Link to URL "));
    TabStrip1->addTab(p4, QStringLiteral(" Advanced "));
    // No special-effects page: it could only say that there are none.

    Command8 = pictureButton(this, "Command8", QStyle::SP_MessageBoxQuestion, QStringLiteral("Help"));
    Command8->setIcon(browse::helpIcon(this));
    LgraphOK = new QPushButton(QStringLiteral("&OK"), this);
    LgraphOK->setObjectName(QStringLiteral("LgraphOK"));
    LgraphOK->setDefault(true);
    CANCELBUT = new QPushButton(QStringLiteral("&Cancel"), this);
    CANCELBUT->setObjectName(QStringLiteral("CANCELBUT"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command8);
    buttons->addWidget(LgraphOK);
    buttons->addWidget(CANCELBUT);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    layout->addLayout(buttons);
    setMinimumWidth(760); // room for all the tabs

    connect(LgraphOK, &QPushButton::clicked, this, &LinkGraph::LgraphOK_Click);
    connect(CANCELBUT, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command8, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(Command2, &QToolButton::clicked, this, &LinkGraph::Command2_Click);
    connect(Command3, &QToolButton::clicked, this, &LinkGraph::Command3_Click);
    connect(Command5, &QToolButton::clicked, this, &LinkGraph::Command5_Click);
    connect(Command1, &QToolButton::clicked, this, &LinkGraph::Command1_Click);
    connect(Command7, &QToolButton::clicked, this, &LinkGraph::Command7_Click);
    connect(Check2, &QCheckBox::clicked, this, &LinkGraph::Check2_Click);
    connect(Combo1, &QComboBox::activated, this, &LinkGraph::Combo1_Click);
    // A typed or pasted path shows its picture as a chosen one does; the
    // sizes follow it until the user types a size of their own.
    connect(GraphText, &QLineEdit::textEdited, this, [this](const QString &text) {
        File1->clearSelection(); // the list's pick is no longer the file in the box
        showImage(text, !m_sizesTyped);
    });
    for (QLineEdit *size : {Text1, Text2})
        connect(size, &QLineEdit::textEdited, this, [this] { m_sizesTyped = true; });
    connect(File1, &QListWidget::itemClicked, this, &LinkGraph::File1_Click);
    connect(File1, &QListWidget::itemActivated, this, &LinkGraph::File1_Click);
    connect(Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(Drive1, &QComboBox::activated, this, [this](int index) {
        // A volume that cannot be read leaves the lists as they were.
        setFolder(Drive1->itemData(index).toString());
    });
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget *first[] = {GraphText, Alt, Text2, XimageLink, Text6};
        if (index >= 0 && index < 5)
            first[index]->setFocus();
    });
    Form_Load();
}

void LinkGraph::Form_Load()
{
    m_alignPiece.clear();
    QPalette menu = Picture2->palette();
    menu.setColor(QPalette::Window, palette().color(QPalette::Button));
    Picture2->setPalette(menu);
    Picture3->setPalette(menu);
    browse::ChosenFileName().clear();
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        Drive1->addItem(volume.displayName() == volume.rootPath()
                            ? volume.rootPath()
                            : QStringLiteral("%1 (%2)").arg(volume.rootPath(), volume.displayName()),
                        volume.rootPath());
    }
    setFolder(startFolder());
    for (QWidget *w :
         {Redtext, static_cast<QWidget *>(Toplabel), Leftimage, Leftimage2, Rightimage,
          static_cast<QWidget *>(Label10), static_cast<QWidget *>(Label11), static_cast<QWidget *>(Label12)})
        w->hide();
    Label15->hide();
    Label16->hide();
    placeDiagram();
    GraphText->setFocus();
}

QString &LinkGraph::lastImageFolder()
{
    static QString folder;
    return folder;
}

QString LinkGraph::pageFolder() const
{
    const QString page = m_surface->CurrentDocumentPath();
    return page.isEmpty() ? QString() : QFileInfo(page).absolutePath();
}

QString LinkGraph::startFolder() const
{
    for (const QString &folder : {lastImageFolder(), pageFolder(),
                                  QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)})
        if (!folder.isEmpty() && QDir(folder).exists())
            return folder;
    return QDir::homePath();
}

void LinkGraph::rememberFolderOf(const QString &path)
{
    const QFileInfo file(localPath(path));
    if (file.isFile())
        lastImageFolder() = file.absolutePath();
}

// The local file a path in the box names, as the page will read it: a file
// URL as its path, a relative path against the page's folder (nothing for a
// page never saved, which has no folder to read it from).
QString LinkGraph::localPath(const QString &typed) const
{
    if (typed.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(typed).toLocalFile();
    if (!QDir::isRelativePath(typed))
        return typed;
    const QString folder = pageFolder();
    return folder.isEmpty() || typed.isEmpty() ? QString() : QDir(folder).filePath(typed);
}

bool LinkGraph::setFolder(const QString &path)
{
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists() || !dir.isReadable())
        return false;
    m_folder = dir.absolutePath();
    Dir1->clear();
    if (!dir.isRoot()) {
        auto *up = new QListWidgetItem(QStringLiteral(".."), Dir1);
        up->setData(Qt::UserRole, QDir::cleanPath(m_folder + QStringLiteral("/..")));
    }
    for (const QFileInfo &sub :
         dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto *item = new QListWidgetItem(sub.fileName(), Dir1);
        item->setData(Qt::UserRole, sub.absoluteFilePath());
        item->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    }
    // The volume list follows the folder.
    const QString root = QStorageInfo(m_folder).rootPath();
    const int volume = Drive1->findData(root);
    if (volume >= 0)
        Drive1->setCurrentIndex(volume);
    refreshFiles();
    return true;
}

void LinkGraph::refreshFiles()
{
    File1->clear();
    const QDir dir(m_folder);
    for (const QFileInfo &f : dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        if (listedPicture(f.fileName()))
            File1->addItem(f.fileName());
}

void LinkGraph::showImage(const QString &path, bool fillSizes)
{
    // A path that names no picture this build can read (missing, damaged, a
    // web address) empties the preview and, where the sizes follow the
    // picture, the sizes too: a size kept from the picture shown before would
    // distort the new one. Only regular files are read: a typed path may name
    // a pipe or a device, which would never answer.
    const QString local = localPath(path);
    const std::optional<QImage> picture =
        QFileInfo(local).isFile() ? browse::readPicture(local) : std::optional<QImage>();
    if (picture) {
        Picture2->setPixmap(QPixmap::fromImage(*picture));
        Picture2->resize(picture->size());
        Label15->setText(QStringLiteral("Image width (pixels):  %1").arg(picture->width()));
        Label16->setText(QStringLiteral("Image height (pixels):  %1").arg(picture->height()));
    } else {
        Picture2->clear();
        Picture2->resize(0, 0);
    }
    Label15->setVisible(picture.has_value());
    Label16->setVisible(picture.has_value());
    if (!fillSizes)
        return;
    Text1->setText(picture ? QString::number(picture->width()) : QString());
    Text2->setText(picture ? QString::number(picture->height()) : QString());
    m_sizesTyped = false;
}

void LinkGraph::Command2_Click()
{
    browse::ChosenFileName().clear();
    browse::BrowseForFile(this, kGraphicsFilter, 2, startFolder());
    GraphText->setText(browse::ChosenFileName());
    showImage(browse::ChosenFileName(), true);
    rememberFolderOf(browse::ChosenFileName());
    GraphText->setFocus();
}

void LinkGraph::File1_Click(QListWidgetItem *item)
{
    if (!item)
        return;
    QString full = m_folder;
    if (!full.endsWith(u'/'))
        full += u'/';
    full += item->text();
    if (!listedPicture(full))
        return;
    showImage(full, true);
    GraphText->setText(full);
    browse::ChosenFileName() = full;
    rememberFolderOf(full);
}

void LinkGraph::Command3_Click()
{
    const QString before = browse::ChosenFileName();
    browse::BrowseForFile(this, kGraphicsFilter, 2, startFolder());
    if (browse::ChosenFileName() != before)
        rememberFolderOf(browse::ChosenFileName());
    Text8->setText(browse::ChosenFileName());
    if (const std::optional<QImage> picture = browse::readPicture(browse::ChosenFileName())) {
        Picture3->setPixmap(QPixmap::fromImage(*picture));
        Picture3->setFixedSize(picture->size());
    }
}

void LinkGraph::Command5_Click()
{
    browse::ChosenFileName().clear();
    browse::BrowseForFile(
        this,
        QStringLiteral("All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;"
                       "*.gif;*.png|GIF Files (*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg|AU "
                       "Files (*.au)|*.au|WAV Files (*.wav)|*.wav|HTML Files (*.htm, *.html)|*.htm;*.html"),
        7, startFolder());
    XimageLink->setEditText(linkTargetCase(browse::ChosenFileName()));
}

void LinkGraph::Command1_Click()
{
    XimageLink->setEditText(browse::browseFavorites(this));
    XimageLink->setFocus();
}

void LinkGraph::Command7_Click()
{
    browse::ChosenFileName().clear();
    browse::BrowseForFile(this, kGraphicsFilter, 2, startFolder());
    Text6->setText(browse::ChosenFileName());
    Text6->setFocus();
}

void LinkGraph::Check2_Click()
{
    const bool on = Check2->isChecked();
    Text7->setEnabled(on);
    Label22->setEnabled(on);
    if (on)
        Text7->setFocus();
}

void LinkGraph::placeDiagram()
{
    const double tpp = twipsPerPixel();
    const int inset = 14; // the frame's own caption
    auto place = [&](QWidget *w, const QString &name, double top) {
        const image::TwipsRect r = image::initialGeometry(name);
        w->move(int(r.left / tpp), inset + int(top / tpp));
        if (w != Toplabel)
            w->resize(int(r.width / tpp), int(r.height / tpp));
    };
    const QString entry = Combo1->currentIndex() >= 0 ? Combo1->currentText() : QString();
    // The label keeps its width and grows downwards when its text wraps; the
    // boxes placed against it take the height it has now, not its design height.
    const image::TwipsRect label = image::initialGeometry(QStringLiteral("Toplabel"));
    Toplabel->setText(image::alignDiagram(entry).toplabelCaption);
    const int width = int(label.width / tpp);
    Toplabel->resize(width, std::max(int(label.height / tpp), Toplabel->heightForWidth(width)));
    const image::AlignDiagram d = image::alignDiagram(entry, Toplabel->height() * tpp);
    place(Redtext, QStringLiteral("Redtext"), d.Redtext.top);
    place(Leftimage, QStringLiteral("Leftimage"), d.Leftimage.top);
    place(Leftimage2, QStringLiteral("Leftimage2"), d.Leftimage2.top);
    place(Rightimage, QStringLiteral("Rightimage"), d.Rightimage.top);
    place(Toplabel, QStringLiteral("Toplabel"), d.Toplabel.top);
}

void LinkGraph::Combo1_Click(int index)
{
    const QString entry = index >= 0 ? Combo1->itemText(index) : QString();
    m_alignPiece = image::alignPiece(entry);
    const image::AlignDiagram d = image::alignDiagram(entry);
    placeDiagram();
    Redtext->setVisible(d.Redtext.visible);
    Toplabel->setVisible(d.Toplabel.visible);
    Leftimage->setVisible(d.Leftimage.visible);
    Leftimage2->setVisible(d.Leftimage2.visible);
    Rightimage->setVisible(d.Rightimage.visible);
    Label10->setVisible(d.redLegend);
    Label11->setVisible(d.blueLegend);
    Label12->setText(d.description);
    Label12->setVisible(!d.description.isEmpty());
}

void LinkGraph::LgraphOK_Click()
{
    image::ImageFields f;
    f.GraphText = GraphText->text();
    f.XimageLink = XimageLink->currentText();
    f.Alt = Alt->text();
    f.Text8 = Text8->text();
    f.Text1 = Text1->text();
    f.Text2 = Text2->text();
    f.Text3 = Text3->text();
    f.Text4 = Text4->text();
    f.Text5 = Text5->text();
    f.Check2 = Check2->isChecked() ? 1 : 0;
    f.Text7 = Text7->text();
    f.Check3 = Check3->isChecked() ? 1 : 0;
    f.Text6 = Text6->text();
    f.Combo2 = Combo2->currentText();
    f.Combo3 = Combo3->currentText();
    f.Check1 = Check1->isChecked() ? 1 : 0;
    const std::optional<QString> fragment = image::composeImage(f, m_alignPiece);
    if (!fragment) {
        ui::messageBox(this, QStringLiteral("Please enter image filename in the box below."), QMessageBox::Ok,
                       QMessageBox::NoIcon);
        TabStrip1->setCurrentIndex(0);
        GraphText->setFocus();
        return;
    }
    rememberFolderOf(GraphText->text());
    if (std::optional<surface::TextRange> range = m_surface->DOM().selection().createRange())
        range->pasteHTML(*fragment); // a refused paste still closes the dialog
    accept();
}
