#pragma once

#include "site/sitecheck.h"

#include <QDialog>
#include <QFuture>
#include <QFutureWatcher>
#include <QTimer>

#include <atomic>

class QDialogButtonBox;
class QPushButton;
class QLabel;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace ui {
class PageHost;
}

namespace sitepanel {

// The kind of a finding in words.
QString findingKindText(site::FindingKind kind);

// Where the element begins whose start tag holds offset of a page's text (an
// address stands inside its tag, a style sheet's url() inside its style
// element): the place the window shows.
qsizetype elementStartAt(const QString &text, qsizetype offset);

// File > Check Site: reads and checks the site in a worker thread, then lists
// what would break on a server; choosing a finding shows its place in the
// page.
class CheckSiteDialog final : public QDialog
{
    Q_OBJECT

public:
    CheckSiteDialog(ui::PageHost &host, const QString &siteFolder, QWidget *parent);
    ~CheckSiteDialog() override;

    bool running() const { return m_future.isRunning(); }
    QTreeWidget *findings() const { return m_list; }

    void reject() override;

signals:
    void checkDone(); // the check is over, done or cancelled

private:
    void start();
    void stop();
    void showResult();
    void choose(QTreeWidgetItem *item);

    ui::PageHost &m_host;
    QString m_folder;
    QLabel *m_status;
    QProgressBar *m_progress;
    QTreeWidget *m_list;
    QDialogButtonBox *m_buttons;
    QPushButton *m_cancel;
    std::atomic_bool m_stop = false;
    std::atomic_int m_done = 0;
    std::atomic_int m_total = 0;
    QFuture<site::CheckResult> m_future;
    QFutureWatcher<site::CheckResult> m_watcher;
    QTimer m_poll;
};

} // namespace sitepanel
