#pragma once

#include "shell/commands.h"
#include "surface/editsurface.h"
#include "uikit/menuentry.h"
#include "uikit/pagehost.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QMenu;

class QSplitter;

namespace spelling {
class Dictionaries;
}

namespace surface {
struct FilePicker;
}

namespace document {
class DocumentSession;
}

namespace shell {

class SourceView;

// The editor's one main window: menus, toolbars, font boxes, status bar and
// the editing surface, and the handling of the one page being edited.
class MainForm final : public QMainWindow, public ui::PageHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

public:
    // The surface is made by the caller (the program passes the Qt WebEngine
    // one) and owned by the window; the dialogs' menu and toolbar items come
    // from offers.
    MainForm(std::unique_ptr<surface::EditSurface> editSurface, ui::menus::Registry offers,
             QWidget *parent = nullptr);
    ~MainForm() override;

    // The editing surface; its widget keeps the name "DHTMLEdit1".
    surface::EditSurface *surface() const { return m_surface.get(); }
    bool documentReady = false;
    // Known at the last right-click, read by the next menu choice.
    commands::ContextMenu contextMenu;

    // Saves the page, asking where when saveAs; false when it was not saved.
    bool savePage(bool saveAs);
    // The font boxes and format buttons wait for the page to say what holds.
    void disableFormatControls();
    void showHelp();
    document::DocumentSession *session() const { return m_session; }
    // The page's text pane; null until first shown.
    SourceView *sourceView() const { return m_source; }
    // What the site panel asks of the window.
    QMainWindow *mainWindow() override { return this; }
    QString pagePath() const override;
    bool pageModified() const override;
    bool openPage(const QString &path) override;
    void showPlace(qsizetype offset) override;
    void siteRenamed(const QString &from, const QString &to,
                     const QList<ui::AddressChange> &changes) override;
    // For tests: where the Caps Lock state comes from.
    void setCapsLockReader(std::function<std::optional<bool>()> reader);

public slots:
    // The File menu's items, each after its caption.
    void newPage();
    void open();
    void save(); // Save As for a page never saved
    void saveAs();
    void print();
    void exit();
    // The Color button: the colour of the text at the selection.
    void chooseTextColor();

signals:
    // The window was closed for good: its page is saved or given up.
    void closed();
    // A page to open beside this one, in a window of its own.
    void openInNewWindow(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // As the window opens: the geometry of the last run, the font boxes and
    // the blank page.
    void prepare();
    // Whether the window may close: the page is saved or given up.
    bool queryClose();
    // The window's place and size, for the next start.
    void rememberGeometry();
    void buildMenus();
    // The Format menu's checks follow the block format at the caret.
    void refreshFormatMenu();
    void buildToolbars();
    void buildStatusBar();
    void restoreGeometryFromSettings();
    void onDocumentComplete();
    void onDisplayChanged();
    void refreshFontBoxes();
    void execFormatCommand(int command);
    void onShowContextMenu();
    void onContextMenuAction(int position);
    void updateClock();
    void refreshCapsLock();
    void refreshRecentPages();
    void reopenLastPage();
    // Pages dropped open; other files go to whoever takes their type.
    void takeDroppedFiles(const QStringList &paths);
    void pastePicture();
    // View > HTML Source: the page's text beside the page or instead of it.
    void showSource(bool on);
    void rememberSourceLayout();
    SourceView *sourcePane();
    bool sourceHasFocus() const;
    // The dictionary of the page shown: its own language, else the one chosen.
    void chooseSpellingForPage();
    void setSpellingDictionary(const QString &dictionary);
    void applySpelling();
    void fillSpellingMenu();

    std::unique_ptr<surface::EditSurface> m_surface;
    ui::menus::Registry m_offers;
    document::DocumentSession *m_session = nullptr;
    std::shared_ptr<surface::FilePicker> m_picker;
    QComboBox *m_fontCombo = nullptr;
    QComboBox *m_fontSizeCombo = nullptr;
    QList<QLabel *> m_panels;
    QList<QAction *> m_formatButtons;
    QList<int> m_formatCommands;
    QList<QAction *> m_formatSub;
    QMenu *m_recentMenu = nullptr;
    QAction *m_reopenLast = nullptr;
    std::function<std::optional<bool>()> m_capsLock;
    QSplitter *m_split = nullptr;
    SourceView *m_source = nullptr;
    QAction *m_sourceAction = nullptr;
    spelling::Dictionaries *m_dictionaries = nullptr;
    QMenu *m_spellingMenu = nullptr;
    QString m_spellingDictionary;
    QString m_waitNotice;
    bool m_destroying = false;
};

} // namespace shell
