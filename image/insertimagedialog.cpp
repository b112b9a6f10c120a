#include "image/insertimagedialog.h"

#include "image/imagefragment.h"
#include "image/insertpicture.h"
#include "pathrel/references.h"
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
QString graphicsFilter()
{
    return image::InsertImageDialog::tr(
        "All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;*.gif;*.png|GIF Files "
        "(*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg");
}

QLineEdit *lineEdit(QWidget *parent, const char *name, const QString &tip = {})
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty())
        e->setToolTip(tip);
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

namespace image {

UpDown::UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent)
    : QWidget(parent), m_buddy(buddy), m_min(minimum), m_max(maximum)
{
    up = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    up->setAutoRepeat(true);
    up->setAccessibleName(tr("Increase"));
    down = new QToolButton(this);
    down->setArrowType(Qt::DownArrow);
    down->setAutoRepeat(true);
    down->setAccessibleName(tr("Decrease"));
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

double InsertImageDialog::twipsPerPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

InsertImageDialog::InsertImageDialog(surface::EditSurface *surface, QWidget *parent)
    : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("LinkGraph"));
    setWindowTitle(tr("Insert Image"));
    browse::installHelpKey(this);
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("TabStrip1"));
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DialogOpenButton);

    // Select Image.
    auto *p0 = new QWidget;
    p0->setObjectName(QStringLiteral("Picture1_0"));
    imageFileEdit = lineEdit(p0, "GraphText");
    browseImageButton = browse::pictureButton(p0, "Command2", openIcon, tr("Browse for image..."));
    driveBox = new QComboBox(p0);
    driveBox->setObjectName(QStringLiteral("Drive1"));
    folderList = new QListWidget(p0);
    folderList->setObjectName(QStringLiteral("Dir1"));
    fileList = new QListWidget(p0);
    fileList->setObjectName(QStringLiteral("File1"));
    // One label stands above the three lists; each says what it lists.
    folderList->setAccessibleName(tr("Folders"));
    fileList->setAccessibleName(tr("Image files"));
    imagePreview = new QLabel(p0);
    imagePreview->setObjectName(QStringLiteral("Picture2"));
    imagePreview->setAutoFillBackground(true);
    auto *previewArea = new QScrollArea(p0);
    previewArea->setWidget(imagePreview);
    previewArea->setWidgetResizable(false);
    previewArea->setMinimumSize(180, 140);
    widthReading = new QLabel(tr("Image width (pixels):"), p0);
    widthReading->setObjectName(QStringLiteral("Label15"));
    heightReading = new QLabel(tr("Image height (pixels):"), p0);
    heightReading->setObjectName(QStringLiteral("Label16"));
    auto *fileLabel = new QLabel(tr("Enter filename of Image:"), p0);
    fileLabel->setBuddy(imageFileEdit);
    auto *listLabel = new QLabel(tr("Or select the image from the file list below:"), p0);
    listLabel->setBuddy(driveBox);
    auto *g0 = new QGridLayout(p0);
    g0->addWidget(fileLabel, 0, 0, 1, 3);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(imageFileEdit, 1);
    fileRow->addWidget(browseImageButton);
    g0->addLayout(fileRow, 1, 0, 1, 3);
    g0->addWidget(listLabel, 2, 0, 1, 2);
    g0->addWidget(driveBox, 3, 0);
    g0->addWidget(folderList, 4, 0);
    g0->addWidget(fileList, 3, 1, 2, 1);
    g0->addWidget(previewArea, 2, 2, 3, 1);
    g0->addWidget(widthReading, 5, 2);
    g0->addWidget(heightReading, 6, 2);

    // Alternatives.
    auto *p1 = new QWidget;
    p1->setObjectName(QStringLiteral("Picture1_1"));
    altTextEdit = lineEdit(p1, "Alt", tr("Text to represent the image in text-only browsers"));
    lowResEdit = lineEdit(p1, "Text8");
    browseLowResButton = browse::pictureButton(p1, "Command3", openIcon, tr("Browse for image..."));
    auto *frame1 = new QGroupBox(tr("Image Alternatives"), p1);
    frame1->setObjectName(QStringLiteral("Frame1"));
    lowResPreview = new QLabel(frame1);
    lowResPreview->setObjectName(QStringLiteral("Picture3"));
    lowResPreview->setAutoFillBackground(true);
    lowResPreview->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(frame1))->addWidget(lowResPreview, 0, Qt::AlignHCenter);
    auto *altLabel = new QLabel(tr("Enter ALTernative text to replace image in text browsers:"), p1);
    altLabel->setBuddy(altTextEdit);
    auto *lowLabel = new QLabel(tr("Alternative low-resolution Image:"), p1);
    lowLabel->setBuddy(lowResEdit);
    auto *l1 = new QVBoxLayout(p1);
    l1->addWidget(altLabel);
    l1->addWidget(altTextEdit);
    l1->addWidget(lowLabel);
    auto *lowRow = new QHBoxLayout;
    lowRow->addWidget(lowResEdit, 1);
    lowRow->addWidget(browseLowResButton);
    l1->addLayout(lowRow);
    l1->addWidget(frame1, 1);

    // Layout.
    auto *p2 = new QWidget;
    p2->setObjectName(QStringLiteral("Picture1_2"));
    heightEdit = lineEdit(p2, "Text2", tr("Height of the image in pixels"));
    widthEdit = lineEdit(p2, "Text1", tr("Width of the image in pixels"));
    horizontalSpaceEdit =
        lineEdit(p2, "Text5", tr("Amount of clear space to the left and right of the image (in pixels)"));
    verticalSpaceEdit =
        lineEdit(p2, "Text4", tr("Amount of clear space above and below the image (in pixels)"));
    borderEdit = lineEdit(p2, "Text3", tr("Width of border around image (in pixels)"));
    horizontalSpaceArrows = new UpDown(horizontalSpaceEdit, 0, 100, p2);
    horizontalSpaceArrows->setObjectName(QStringLiteral("UpDown1"));
    verticalSpaceArrows = new UpDown(verticalSpaceEdit, 0, 100, p2);
    verticalSpaceArrows->setObjectName(QStringLiteral("UpDown2"));
    borderArrows = new UpDown(borderEdit, 0, 20, p2);
    borderArrows->setObjectName(QStringLiteral("UpDown3"));
    alignBox = new QComboBox(p2);
    alignBox->setObjectName(QStringLiteral("Combo1"));
    alignBox->addItems(image::alignEntries());
    alignBox->setCurrentIndex(-1);
    auto *form = new QGridLayout;
    auto addRow = [&](int row, const QString &label, QLineEdit *edit, UpDown *arrows) {
        auto *l = new QLabel(label, p2);
        l->setBuddy(edit);
        form->addWidget(l, row, 0);
        form->addWidget(edit, row, 1);
        if (arrows)
            form->addWidget(arrows, row, 2);
    };
    addRow(0, tr("Image Height:"), heightEdit, nullptr);
    addRow(1, tr("Image Width:"), widthEdit, nullptr);
    addRow(2, tr("Horizontal Space:"), horizontalSpaceEdit, horizontalSpaceArrows);
    addRow(3, tr("Vertical Space:"), verticalSpaceEdit, verticalSpaceArrows);
    addRow(4, tr("Border Width:"), borderEdit, borderArrows);
    auto *alignLabel = new QLabel(tr("Align:"), p2);
    alignLabel->setBuddy(alignBox);
    form->addWidget(alignLabel, 5, 0);
    form->addWidget(alignBox, 5, 1, 1, 2);

    alignPreview = new QGroupBox(tr("Align Preview"), p2);
    alignPreview->setObjectName(QStringLiteral("Frame2"));
    existingObjectBox = box(alignPreview, "Redtext", QColor(255, 0, 0));
    inlineImageBox = box(alignPreview, "Leftimage", QColor(0, 0, 255));
    leftImageBox = box(alignPreview, "Leftimage2", QColor(0, 0, 255));
    rightImageBox = box(alignPreview, "Rightimage", QColor(0, 0, 255));
    neighbourText = new QLabel(alignPreview);
    neighbourText->setObjectName(QStringLiteral("Toplabel"));
    neighbourText->setWordWrap(true);
    neighbourText->setAutoFillBackground(true);
    QPalette grey = neighbourText->palette();
    grey.setColor(QPalette::Window, QColor(224, 224, 224));
    grey.setColor(QPalette::WindowText, Qt::black);
    neighbourText->setPalette(grey);
    const double tpp = twipsPerPixel();
    alignPreview->setMinimumSize(int(3700 / tpp), int(1500 / tpp));
    redLegend = new QLabel(tr("Red box is an existing image or object on the same line."), p2);
    redLegend->setObjectName(QStringLiteral("Label10"));
    redLegend->setWordWrap(true);
    blueLegend = new QLabel(tr("Blue box is new image."), p2);
    blueLegend->setObjectName(QStringLiteral("Label11"));
    alignDescription = new QLabel(p2);
    alignDescription->setObjectName(QStringLiteral("Label12"));
    alignDescription->setWordWrap(true);
    auto *legends = new QVBoxLayout;
    legends->addWidget(redLegend);
    legends->addWidget(blueLegend);
    legends->addStretch();
    auto *preview = new QHBoxLayout;
    preview->addWidget(alignPreview);
    preview->addLayout(legends, 1);
    auto *l2 = new QVBoxLayout(p2);
    l2->addLayout(form);
    l2->addLayout(preview);
    l2->addWidget(alignDescription);
    l2->addStretch();

    // Link to URL.
    auto *p3 = new QWidget;
    p3->setObjectName(QStringLiteral("Picture1_3"));
    linkAddressBox = editableCombo(p3, "XimageLink", {QStringLiteral("http://")});
    browseLinkFileButton = browse::pictureButton(p3, "Command5", openIcon, tr("Browse for file..."));
    browseFavouritesButton =
        browse::pictureButton(p3, "Command1", style()->standardIcon(QStyle::SP_DirLinkIcon),
                              tr("Browse Internet Explorer Favorites..."));
    auto *linkLabel = new QLabel(tr("Type the URL of the Web page, image or file you wish to link to:"), p3);
    linkLabel->setBuddy(linkAddressBox);
    // Labels name the boxes, not the line edits inside them, where the typing goes.
    linkAddressBox->lineEdit()->setAccessibleName(tr("URL to link to"));
    auto *l3 = new QVBoxLayout(p3);
    l3->addWidget(linkLabel);
    auto *linkRow = new QHBoxLayout;
    linkRow->addWidget(linkAddressBox, 1);
    linkRow->addWidget(browseLinkFileButton);
    linkRow->addWidget(browseFavouritesButton);
    l3->addLayout(linkRow);
    l3->addStretch();

    // Advanced.
    auto *p4 = new QWidget;
    p4->setObjectName(QStringLiteral("Picture1_4"));
    auto *mapFrame = new QGroupBox(tr("ImageMap"), p4);
    clientMapCheck = new QCheckBox(tr("USEMAP - Client Side ImageMap"), mapFrame);
    clientMapCheck->setObjectName(QStringLiteral("Check2"));
    mapNameEdit = lineEdit(mapFrame, "Text7");
    mapNameLabel = new QLabel(tr("Map name:"), mapFrame);
    mapNameLabel->setObjectName(QStringLiteral("Label22"));
    mapNameLabel->setBuddy(mapNameEdit);
    mapNameEdit->setEnabled(false);
    mapNameLabel->setEnabled(false);
    serverMapCheck = new QCheckBox(tr("ISMAP - Server Side ImageMap"), mapFrame);
    serverMapCheck->setObjectName(QStringLiteral("Check3"));
    auto *mapLayout = new QGridLayout(mapFrame);
    mapLayout->addWidget(clientMapCheck, 0, 0, 1, 2);
    mapLayout->addWidget(mapNameLabel, 1, 0);
    mapLayout->addWidget(mapNameEdit, 1, 1);
    mapLayout->addWidget(serverMapCheck, 2, 0, 1, 2);
    auto *videoFrame = new QGroupBox(tr("Video"), p4);
    videoFileEdit = lineEdit(videoFrame, "Text6");
    browseVideoButton = browse::pictureButton(videoFrame, "Command7", openIcon, tr("Browse for file..."));
    videoLoopBox =
        editableCombo(videoFrame, "Combo2",
                      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                       QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"),
                       QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("Infinite Loop")});
    videoStartBox = editableCombo(
        videoFrame, "Combo3",
        {QStringLiteral("FileOpen"), QStringLiteral("MouseOver"), QStringLiteral("FileOpen and MouseOver")});
    videoControlsCheck = new QCheckBox(tr("VCR Controls"), videoFrame);
    videoControlsCheck->setObjectName(QStringLiteral("Check1"));
    auto *videoLabel = new QLabel(tr("Enter filename of Video Clip:"), videoFrame);
    videoLabel->setBuddy(videoFileEdit);
    auto *loopLabel = new QLabel(tr("Loop:"), videoFrame);
    loopLabel->setBuddy(videoLoopBox);
    auto *startLabel = new QLabel(tr("Start:"), videoFrame);
    startLabel->setBuddy(videoStartBox);
    videoLoopBox->lineEdit()->setAccessibleName(tr("Loop"));
    videoStartBox->lineEdit()->setAccessibleName(tr("Start"));
    auto *note = new QLabel(tr("In the Image input box, be sure to include the filename for a graphic that "
                               "will replace the video in browsers that don't support video."),
                            videoFrame);
    note->setObjectName(QStringLiteral("Label18"));
    note->setWordWrap(true);
    auto *videoLayout = new QGridLayout(videoFrame);
    videoLayout->addWidget(videoLabel, 0, 0, 1, 4);
    videoLayout->addWidget(videoFileEdit, 1, 0, 1, 3);
    videoLayout->addWidget(browseVideoButton, 1, 3);
    videoLayout->addWidget(loopLabel, 2, 0);
    videoLayout->addWidget(videoLoopBox, 2, 1);
    videoLayout->addWidget(startLabel, 2, 2);
    videoLayout->addWidget(videoStartBox, 2, 3);
    videoLayout->addWidget(videoControlsCheck, 3, 0, 1, 4);
    videoLayout->addWidget(note, 4, 0, 1, 4);
    auto *l4 = new QVBoxLayout(p4);
    l4->addWidget(mapFrame);
    l4->addWidget(videoFrame);
    l4->addStretch();

    tabs->addTab(p0, tr(" Select Image "));
    tabs->addTab(p1, tr(" Alternatives "));
    tabs->addTab(p2, tr(" Layout "));
    tabs->addTab(p3, tr(" Link to URL "));
    tabs->addTab(p4, tr(" Advanced "));
    // No special-effects page: it could only say that there are none.

    helpButton = browse::pictureButton(this, "Command8", browse::helpIcon(this), tr("Help"));
    okButton = new QPushButton(tr("&OK"), this);
    okButton->setObjectName(QStringLiteral("LgraphOK"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("&Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("CANCELBUT"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(helpButton);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);
    setMinimumWidth(760); // room for all the tabs

    connect(okButton, &QPushButton::clicked, this, &InsertImageDialog::insertImage);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(browseImageButton, &QToolButton::clicked, this, &InsertImageDialog::browseImage);
    connect(browseLowResButton, &QToolButton::clicked, this, &InsertImageDialog::browseLowResImage);
    connect(browseLinkFileButton, &QToolButton::clicked, this, &InsertImageDialog::browseLinkFile);
    connect(browseFavouritesButton, &QToolButton::clicked, this, &InsertImageDialog::browseFavourites);
    connect(browseVideoButton, &QToolButton::clicked, this, &InsertImageDialog::browseVideo);
    connect(clientMapCheck, &QCheckBox::clicked, this, &InsertImageDialog::clientMapToggled);
    connect(alignBox, &QComboBox::activated, this, &InsertImageDialog::alignPicked);
    // A typed or pasted path shows its picture as a chosen one does; the
    // sizes follow it until the user types a size of their own.
    connect(imageFileEdit, &QLineEdit::textEdited, this, [this](const QString &text) {
        fileList->clearSelection(); // the list's pick is no longer the file in the box
        showImage(text, !m_sizesTyped);
    });
    for (QLineEdit *size : {widthEdit, heightEdit})
        connect(size, &QLineEdit::textEdited, this, [this] { m_sizesTyped = true; });
    connect(fileList, &QListWidget::itemClicked, this, &InsertImageDialog::pickListedFile);
    connect(fileList, &QListWidget::itemActivated, this, &InsertImageDialog::pickListedFile);
    connect(folderList, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { setFolder(item->data(Qt::UserRole).toString()); });
    connect(driveBox, &QComboBox::activated, this, [this](int index) {
        // A volume that cannot be read leaves the lists as they were.
        setFolder(driveBox->itemData(index).toString());
    });
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget *first[] = {imageFileEdit, altTextEdit, heightEdit, linkAddressBox, videoFileEdit};
        if (index >= 0 && index < 5)
            first[index]->setFocus();
    });
    prepare();
}

void InsertImageDialog::prepare()
{
    m_alignPiece.clear();
    QPalette menu = imagePreview->palette();
    menu.setColor(QPalette::Window, palette().color(QPalette::Button));
    imagePreview->setPalette(menu);
    lowResPreview->setPalette(menu);
    browse::ChosenFileName().clear();
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        driveBox->addItem(volume.displayName() == volume.rootPath()
                              ? volume.rootPath()
                              : QStringLiteral("%1 (%2)").arg(volume.rootPath(), volume.displayName()),
                          volume.rootPath());
    }
    setFolder(startFolder());
    for (QWidget *w : {existingObjectBox, static_cast<QWidget *>(neighbourText), inlineImageBox, leftImageBox,
                       rightImageBox, static_cast<QWidget *>(redLegend), static_cast<QWidget *>(blueLegend),
                       static_cast<QWidget *>(alignDescription)})
        w->hide();
    widthReading->hide();
    heightReading->hide();
    placeDiagram();
    imageFileEdit->setFocus();
}

QString &InsertImageDialog::lastImageFolder()
{
    static QString folder;
    return folder;
}

QString InsertImageDialog::pageFolder() const
{
    const QString page = m_surface->CurrentDocumentPath();
    return page.isEmpty() ? QString() : QFileInfo(page).absolutePath();
}

QString InsertImageDialog::startFolder() const
{
    for (const QString &folder : {lastImageFolder(), pageFolder(),
                                  QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)})
        if (!folder.isEmpty() && QDir(folder).exists())
            return folder;
    return QDir::homePath();
}

void InsertImageDialog::rememberFolderOf(const QString &path)
{
    const QFileInfo file(localPath(path));
    if (file.isFile())
        lastImageFolder() = file.absolutePath();
}

// The local file a path in the box names, as the page will read it: a file
// URL as its path, a relative path against the page's folder (nothing for a
// page never saved, which has no folder to read it from).
QString InsertImageDialog::localPath(const QString &typed) const
{
    if (pathrel::isFileUrl(typed))
        return pathrel::localFile(QUrl(typed)).value_or(QString());
    if (!QDir::isRelativePath(typed))
        return typed;
    const QString folder = pageFolder();
    return folder.isEmpty() || typed.isEmpty() ? QString() : QDir(folder).filePath(typed);
}

bool InsertImageDialog::setFolder(const QString &path)
{
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists() || !dir.isReadable())
        return false;
    m_folder = dir.absolutePath();
    folderList->clear();
    if (!dir.isRoot()) {
        auto *up = new QListWidgetItem(QStringLiteral(".."), folderList);
        up->setData(Qt::UserRole, QDir::cleanPath(m_folder + QStringLiteral("/..")));
    }
    for (const QFileInfo &sub :
         dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto *item = new QListWidgetItem(sub.fileName(), folderList);
        item->setData(Qt::UserRole, sub.absoluteFilePath());
        item->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    }
    // The volume list follows the folder.
    const QString root = QStorageInfo(m_folder).rootPath();
    const int volume = driveBox->findData(root);
    if (volume >= 0)
        driveBox->setCurrentIndex(volume);
    refreshFiles();
    return true;
}

void InsertImageDialog::refreshFiles()
{
    fileList->clear();
    const QDir dir(m_folder);
    for (const QFileInfo &f : dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        if (listedPicture(f.fileName()))
            fileList->addItem(f.fileName());
}

void InsertImageDialog::showImage(const QString &path, bool fillSizes)
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
        imagePreview->setPixmap(QPixmap::fromImage(*picture));
        imagePreview->resize(picture->size());
        widthReading->setText(tr("Image width (pixels):  %1").arg(picture->width()));
        heightReading->setText(tr("Image height (pixels):  %1").arg(picture->height()));
    } else {
        imagePreview->clear();
        imagePreview->resize(0, 0);
    }
    widthReading->setVisible(picture.has_value());
    heightReading->setVisible(picture.has_value());
    if (!fillSizes)
        return;
    widthEdit->setText(picture ? QString::number(picture->width()) : QString());
    heightEdit->setText(picture ? QString::number(picture->height()) : QString());
    m_sizesTyped = false;
}

void InsertImageDialog::browseImage()
{
    browse::ChosenFileName().clear();
    // A cancel leaves the box, the preview and the sizes as the user had them.
    if (browse::BrowseForFile(this, graphicsFilter(), 2, startFolder())) {
        imageFileEdit->setText(browse::ChosenFileName());
        showImage(browse::ChosenFileName(), true);
        rememberFolderOf(browse::ChosenFileName());
    }
    imageFileEdit->setFocus();
}

void InsertImageDialog::pickListedFile(QListWidgetItem *item)
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
    imageFileEdit->setText(full);
    browse::ChosenFileName() = full;
    rememberFolderOf(full);
}

void InsertImageDialog::browseLowResImage()
{
    // Only a file chosen now goes in: what an earlier browse left in
    // ChosenFileName has nothing to do with this box.
    if (!browse::BrowseForFile(this, graphicsFilter(), 2, startFolder()))
        return;
    rememberFolderOf(browse::ChosenFileName());
    lowResEdit->setText(browse::ChosenFileName());
    if (const std::optional<QImage> picture = browse::readPicture(browse::ChosenFileName())) {
        lowResPreview->setPixmap(QPixmap::fromImage(*picture));
        lowResPreview->setFixedSize(picture->size());
    }
}

void InsertImageDialog::browseLinkFile()
{
    browse::ChosenFileName().clear();
    if (!browse::BrowseForFile(
            this,
            tr("All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;"
               "*.gif;*.png|GIF Files (*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg|AU "
               "Files (*.au)|*.au|WAV Files (*.wav)|*.wav|HTML Files (*.htm, *.html)|*.htm;*.html"),
            7, startFolder()))
        return;
    linkAddressBox->setEditText(linkTargetCase(browse::ChosenFileName()));
}

void InsertImageDialog::browseFavourites()
{
    if (const std::optional<QString> address = browse::browseFavorites(this))
        linkAddressBox->setEditText(*address);
    linkAddressBox->setFocus();
}

void InsertImageDialog::browseVideo()
{
    browse::ChosenFileName().clear();
    if (browse::BrowseForFile(this, graphicsFilter(), 2, startFolder()))
        videoFileEdit->setText(browse::ChosenFileName());
    videoFileEdit->setFocus();
}

void InsertImageDialog::clientMapToggled()
{
    const bool on = clientMapCheck->isChecked();
    mapNameEdit->setEnabled(on);
    mapNameLabel->setEnabled(on);
    if (on)
        mapNameEdit->setFocus();
}

void InsertImageDialog::placeDiagram()
{
    const double tpp = twipsPerPixel();
    const int inset = 14; // the frame's own caption
    auto place = [&](QWidget *w, image::DiagramPart part, double top) {
        const image::TwipsRect r = image::initialGeometry(part);
        w->move(int(r.left / tpp), inset + int(top / tpp));
        if (w != neighbourText)
            w->resize(int(r.width / tpp), int(r.height / tpp));
    };
    const QString entry = alignBox->currentIndex() >= 0 ? alignBox->currentText() : QString();
    // The label keeps its width and grows downwards when its text wraps; the
    // boxes placed against it take the height it has now, not its design height.
    const image::TwipsRect label = image::initialGeometry(image::DiagramPart::NeighbourText);
    neighbourText->setText(image::alignDiagram(entry).neighbourCaption);
    const int width = int(label.width / tpp);
    neighbourText->resize(width, std::max(int(label.height / tpp), neighbourText->heightForWidth(width)));
    const image::AlignDiagram d = image::alignDiagram(entry, neighbourText->height() * tpp);
    place(existingObjectBox, image::DiagramPart::ExistingObject, d.existingObject.top);
    place(inlineImageBox, image::DiagramPart::InlineImage, d.inlineImage.top);
    place(leftImageBox, image::DiagramPart::LeftImage, d.leftImage.top);
    place(rightImageBox, image::DiagramPart::RightImage, d.rightImage.top);
    place(neighbourText, image::DiagramPart::NeighbourText, d.neighbourText.top);
}

void InsertImageDialog::alignPicked(int index)
{
    const QString entry = index >= 0 ? alignBox->itemText(index) : QString();
    m_alignPiece = image::alignPiece(entry);
    const image::AlignDiagram d = image::alignDiagram(entry);
    placeDiagram();
    existingObjectBox->setVisible(d.existingObject.visible);
    neighbourText->setVisible(d.neighbourText.visible);
    inlineImageBox->setVisible(d.inlineImage.visible);
    leftImageBox->setVisible(d.leftImage.visible);
    rightImageBox->setVisible(d.rightImage.visible);
    redLegend->setVisible(d.redLegend);
    blueLegend->setVisible(d.blueLegend);
    alignDescription->setText(d.description);
    alignDescription->setVisible(!d.description.isEmpty());
}

void InsertImageDialog::insertImage()
{
    image::ImageFields f;
    f.imageFile = imageFileEdit->text();
    f.linkAddress = linkAddressBox->currentText();
    f.altText = altTextEdit->text();
    f.lowResImage = lowResEdit->text();
    f.width = widthEdit->text();
    f.height = heightEdit->text();
    f.border = borderEdit->text();
    f.verticalSpace = verticalSpaceEdit->text();
    f.horizontalSpace = horizontalSpaceEdit->text();
    f.clientSideMap = clientMapCheck->isChecked();
    f.mapName = mapNameEdit->text();
    f.serverSideMap = serverMapCheck->isChecked();
    f.videoFile = videoFileEdit->text();
    f.videoLoop = videoLoopBox->currentText();
    f.videoStart = videoStartBox->currentText();
    f.videoControls = videoControlsCheck->isChecked();
    if (!insertPicture(m_surface, f, m_alignPiece)) {
        ui::messageBox(this, tr("Please enter image filename in the box below."), QMessageBox::Ok,
                       QMessageBox::NoIcon);
        tabs->setCurrentIndex(0);
        imageFileEdit->setFocus();
        return;
    }
    // A refused paste still closes the dialog.
    rememberFolderOf(imageFileEdit->text());
    accept();
}

} // namespace image
