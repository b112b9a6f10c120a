#include "sitepanel/sitepanel.h"

#include "pathrel/references.h"
#include "site/sitemodel.h"
#include "sitepanel/siteactions.h"
#include "uikit/pagehost.h"
#include "uikit/uiseam.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace sitepanel {
namespace {

const char *const kPanelName = "SitePanel";

bool inside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + u'/'));
}

QString clean(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Gives the model's reader thread nothing to look up: the pictures come from
// the kind of file, in the window's thread. It holds nothing and lives as long
// as the program, as the reader thread may still ask it while a model goes.
class NoIcons final : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType) const override { return {}; }
    QIcon icon(const QFileInfo &) const override { return {}; }
    // Never empty: the model reads an empty type as not yet known and asks
    // again, and a folder then never shows.
    QString type(const QFileInfo &info) const override
    {
        return info.isDir() ? QCoreApplication::translate("SitePanel", "Folder")
                            : QCoreApplication::translate("SitePanel", "File");
    }
};

NoIcons &noIcons()
{
    static NoIcons provider;
    return provider;
}

} // namespace

SiteFileModel::SiteFileModel(QObject *parent) : QFileSystemModel(parent)
{
    // Hidden files are no part of what the site shows, and the model must
    // not rename on its own: every rename goes through the site.
    setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    setReadOnly(true);
    // The panel draws its own pictures by kind: the model's reader thread
    // then need not look up the type of every file, which is most of the
    // time a large folder takes to appear.
    setIconProvider(&noIcons());
}

Qt::ItemFlags SiteFileModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QFileSystemModel::flags(index) & ~Qt::ItemIsEditable;
    if (!index.isValid() || isDir(index))
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QVariant SiteFileModel::data(const QModelIndex &index, int role) const
{
    if (index.column() != 0 || (role != Qt::DecorationRole && role != Qt::ToolTipRole))
        return QFileSystemModel::data(index, role);
    const QString path = filePath(index);
    if (isDir(index))
        return role == Qt::ToolTipRole ? QVariant(tr("Folder: %1").arg(QDir::toNativeSeparators(path)))
                                       : QVariant(QIcon::fromTheme(QStringLiteral("folder")));
    const char *icon = "text-x-generic";
    QString kind = tr("Other file");
    switch (site::kindOfFile(path)) {
    case site::FileKind::Page:
        icon = "text-html";
        kind = tr("Page");
        break;
    case site::FileKind::Picture:
        icon = "image-x-generic";
        kind = tr("Picture");
        break;
    case site::FileKind::StyleSheet:
        icon = "text-css";
        kind = tr("Style sheet");
        break;
    case site::FileKind::Other:
        break;
    }
    if (role == Qt::ToolTipRole)
        return QStringLiteral("%1: %2").arg(kind, QDir::toNativeSeparators(path));
    return QIcon::fromTheme(QString::fromLatin1(icon), QIcon::fromTheme(QStringLiteral("text-x-generic")));
}

Qt::DropActions SiteFileModel::supportedDragActions() const
{
    // Copy for the page, which takes a picture dragged in as a copy of its
    // address; move for a folder of the tree.
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions SiteFileModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QString SiteFileModel::droppedFile(const QMimeData *data, const QModelIndex &parent, QString *folder) const
{
    const QStringList files = data && data->hasUrls() ? pathrel::localFiles(data->urls()) : QStringList();
    if (files.size() != 1 || data->urls().size() != 1)
        return {};
    const QString root = clean(rootPath());
    const QString target = clean(parent.isValid() ? filePath(parent) : root);
    QString path = clean(files.constFirst());
    // Only the site's own files, onto a folder of the site that is not
    // where they are already or inside themselves.
    if (!inside(path, root) || path == root || !inside(target, root) || !QFileInfo(target).isDir() ||
        QFileInfo(path).absolutePath() == target || inside(target, path))
        return {};
    *folder = target;
    return path;
}

bool SiteFileModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                    const QModelIndex &parent) const
{
    QString folder;
    return action == Qt::MoveAction && !droppedFile(data, parent, &folder).isEmpty();
}

bool SiteFileModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                 const QModelIndex &parent)
{
    QString folder;
    const QString path = action == Qt::MoveAction ? droppedFile(data, parent, &folder) : QString();
    if (path.isEmpty() || !moveRequested)
        return false;
    // The questions of a move are asked once the drag is over, not inside it.
    QTimer::singleShot(0, this, [this, path, folder] {
        if (moveRequested)
            moveRequested(path, folder);
    });
    // Not done here: the view must not take the file away itself.
    return false;
}

SiteTree::SiteTree(QWidget *parent) : QTreeView(parent) {}

bool SiteTree::event(QEvent *event)
{
    // The keys are the tree's while it has the focus, whatever the window's
    // menus bind them to.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_F2 || key->key() == Qt::Key_Delete)) {
            event->accept();
            return true;
        }
    }
    return QTreeView::event(event);
}

void SiteTree::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_F2) {
        emit renameAsked();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Delete) {
        emit deleteAsked();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void SiteTree::focusInEvent(QFocusEvent *event)
{
    QTreeView::focusInEvent(event);
    emit focused();
}

SitePanel *SitePanel::find(QMainWindow *window)
{
    return window
               ? window->findChild<SitePanel *>(QString::fromLatin1(kPanelName), Qt::FindDirectChildrenOnly)
               : nullptr;
}

SitePanel *SitePanel::of(ui::PageHost &host)
{
    QMainWindow *window = host.mainWindow();
    if (SitePanel *panel = find(window))
        return panel;
    auto *panel = new SitePanel(host, window);
    window->addDockWidget(Qt::LeftDockWidgetArea, panel);
    panel->hide();
    // View > Site shows whether the panel is there, however it was closed.
    if (auto *item = window->findChild<QAction *>(QStringLiteral("mnuViewSite"))) {
        connect(panel->toggleViewAction(), &QAction::toggled, item, &QAction::setChecked);
    }
    return panel;
}

SitePanel::SitePanel(ui::PageHost &host, QMainWindow *window)
    : QDockWidget(tr("Site"), window), m_host(host), m_model(new SiteFileModel(this)),
      m_tree(new SiteTree(this)), m_hint(new QLabel(this))
{
    setObjectName(QString::fromLatin1(kPanelName));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);

    m_tree->setObjectName(QStringLiteral("SiteTree"));
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->header()->hide();
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setDragEnabled(true);
    m_tree->setAcceptDrops(true);
    m_tree->setDropIndicatorShown(true);
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setSortingEnabled(true);
    m_tree->sortByColumn(0, Qt::AscendingOrder);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);

    m_hint->setObjectName(QStringLiteral("SiteHint"));
    m_hint->setWordWrap(true);
    m_hint->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_hint->setMargin(8);
    m_hint->setText(tr("Save the page, or open a site folder (File > Open Site Folder...), to see the "
                       "site's files here."));

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_hint);
    layout->addWidget(m_tree);
    setWidget(content);
    m_tree->hide();

    connect(m_tree, &QAbstractItemView::activated, this, &SitePanel::activate);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &SitePanel::showContextMenu);
    connect(m_tree, &SiteTree::renameAsked, this, [this] { renamePath(selectedPath()); });
    connect(m_tree, &SiteTree::deleteAsked, this, [this] { deletePath(selectedPath()); });
    connect(m_tree, &SiteTree::focused, this, &SitePanel::followSite);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            followSite();
    });
    m_model->moveRequested = [this](const QString &path, const QString &folder) { movePath(path, folder); };
}

void SitePanel::setSiteFolder(const QString &folder)
{
    const QString wanted = folder.isEmpty() ? QString() : clean(folder);
    if (wanted == m_folder)
        return;
    m_folder = wanted;
    m_hint->setVisible(m_folder.isEmpty());
    m_tree->setVisible(!m_folder.isEmpty());
    if (m_folder.isEmpty())
        return;
    m_tree->setRootIndex(m_model->setRootPath(m_folder));
}

void SitePanel::followSite()
{
    if (m_busy)
        return;
    // A new page, not saved yet, is still made for the site shown: the panel
    // keeps it rather than going blank.
    if (const QString folder = siteFolderFor(m_host); !folder.isEmpty())
        setSiteFolder(folder);
}

QString SitePanel::selectedPath() const
{
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    const QModelIndex index = rows.isEmpty() ? m_tree->currentIndex() : rows.constFirst();
    return index.isValid() ? clean(m_model->filePath(index)) : QString();
}

bool SitePanel::insideSite(const QString &path) const
{
    return inside(clean(path), m_folder) && clean(path) != m_folder;
}

void SitePanel::activate(const QModelIndex &index)
{
    const QString path = m_model->filePath(index);
    if (!m_model->isDir(index) && site::kindOfFile(path) == site::FileKind::Page)
        m_host.openPage(clean(path));
}

void SitePanel::renamePath(const QString &path)
{
    if (m_busy || !insideSite(path))
        return;
    const QString name = QFileInfo(path).fileName();
    const std::optional<QString> answer =
        ui::askText(m_host.mainWindow(), tr("Rename"), tr("New name for %1:").arg(name), name);
    if (!answer)
        return;
    const QString typed = answer->trimmed();
    if (typed.isEmpty() || typed == name)
        return;
    if (typed.contains(u'/') || typed == QLatin1StringView(".") || typed == QLatin1StringView("..")) {
        ui::messageBox(m_host.mainWindow(), tr("A name cannot contain \"/\", nor be \".\" or \"..\"."),
                       QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    m_busy = true;
    renameInSite(m_host, m_folder, clean(path), QFileInfo(path).absoluteDir().filePath(typed));
    m_busy = false;
}

void SitePanel::movePath(const QString &path, const QString &folder)
{
    if (m_busy || !insideSite(path))
        return;
    if (!inside(clean(folder), m_folder)) {
        ui::messageBox(m_host.mainWindow(),
                       tr("%1 is not a folder of the site: files are moved only within the site, where its "
                          "pages can follow them.")
                           .arg(QDir::toNativeSeparators(folder)),
                       QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    m_busy = true;
    renameInSite(m_host, m_folder, clean(path), QDir(clean(folder)).filePath(QFileInfo(path).fileName()));
    m_busy = false;
}

void SitePanel::moveToFolder(const QString &path)
{
    if (m_busy || !insideSite(path))
        return;
    const QString folder =
        ui::pickFolder(m_host.mainWindow(), tr("Move To Folder"), QFileInfo(clean(path)).absolutePath());
    if (!folder.isEmpty())
        movePath(path, folder);
}

void SitePanel::deletePath(const QString &path)
{
    if (m_busy || !insideSite(path))
        return;
    m_busy = true;
    deleteFromSite(m_host, m_folder, clean(path));
    m_busy = false;
}

void SitePanel::showContextMenu(const QPoint &at)
{
    const QModelIndex index = m_tree->indexAt(at);
    if (!index.isValid())
        return;
    const QString path = clean(m_model->filePath(index));
    QMenu menu(this);
    QAction *rename = menu.addAction(tr("&Rename..."));
    rename->setShortcut(Qt::Key_F2);
    QAction *move = menu.addAction(tr("&Move To Folder..."));
    QAction *remove = menu.addAction(tr("&Delete"));
    remove->setShortcut(Qt::Key_Delete);
    QAction *chosen = menu.exec(m_tree->viewport()->mapToGlobal(at));
    if (chosen == rename)
        renamePath(path);
    else if (chosen == move)
        moveToFolder(path);
    else if (chosen == remove)
        deletePath(path);
}

} // namespace sitepanel
