#pragma once

#include <QDockWidget>
#include <QFileSystemModel>
#include <QTreeView>

#include <functional>

class QLabel;
class QMainWindow;

namespace ui {
class PageHost;
}

namespace sitepanel {

// The files of a site as the panel shows them: told apart by kind, never
// renamed or moved by the model itself (a rename has to take the site's
// references along), and drops onto a folder handed to whoever moves files.
class SiteFileModel final : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit SiteFileModel(QObject *parent);

    // Called, after the drop has ended, with the file dropped and the folder.
    std::function<void(const QString &path, const QString &folder)> moveRequested;

    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

private:
    QString droppedFile(const QMimeData *data, const QModelIndex &parent, QString *folder) const;
};

// The site's folder tree: F2 renames and Delete deletes what is selected,
// even where the window has other uses for those keys.
class SiteTree final : public QTreeView
{
    Q_OBJECT

public:
    explicit SiteTree(QWidget *parent);

signals:
    void renameAsked();
    void deleteAsked();
    void focused();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
};

// The dock on the left of the window that shows the site's files. One per
// window; hidden until asked for.
class SitePanel final : public QDockWidget
{
    Q_OBJECT

public:
    // The window's panel, made (hidden, docked on the left) when it has none.
    static SitePanel *of(ui::PageHost &host);
    // The window's panel when it has one.
    static SitePanel *find(QMainWindow *window);

    SitePanel(ui::PageHost &host, QMainWindow *window);

    QString siteFolder() const { return m_folder; }
    // Shows folder's files; "" shows a hint instead.
    void setSiteFolder(const QString &folder);
    // Follows the site of the page shown, or the folder the user opened.
    void followSite();

    SiteTree *tree() const { return m_tree; }
    SiteFileModel *model() const { return m_model; }

    // The selected file or folder; empty when none.
    QString selectedPath() const;
    void renamePath(const QString &path);
    void movePath(const QString &path, const QString &folder);
    void moveToFolder(const QString &path);
    void deletePath(const QString &path);

private:
    void activate(const QModelIndex &index);
    void showContextMenu(const QPoint &at);
    bool insideSite(const QString &path) const;

    ui::PageHost &m_host;
    SiteFileModel *m_model;
    SiteTree *m_tree;
    QLabel *m_hint;
    QString m_folder;
    bool m_busy = false; // a rename or deletion is under way
};

} // namespace sitepanel
