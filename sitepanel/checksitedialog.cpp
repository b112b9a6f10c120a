#include "sitepanel/checksitedialog.h"

#include "uikit/pagehost.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace sitepanel {
namespace {

enum Column
{
    KindColumn,
    PageColumn,
    LineColumn,
    TextColumn,
};
constexpr int kFileRole = Qt::UserRole;
constexpr int kOffsetRole = Qt::UserRole + 1;

} // namespace

QString findingKindText(site::FindingKind kind)
{
    switch (kind) {
    case site::FindingKind::MissingTarget:
        return CheckSiteDialog::tr("Missing file");
    case site::FindingKind::LetterCase:
        return CheckSiteDialog::tr("Letter case differs from the file's");
    case site::FindingKind::LeavesSite:
        return CheckSiteDialog::tr("Outside the site");
    case site::FindingKind::FileUrl:
        return CheckSiteDialog::tr("File address");
    case site::FindingKind::MissingAnchor:
        return CheckSiteDialog::tr("Missing anchor");
    case site::FindingKind::PictureWithoutAlt:
        return CheckSiteDialog::tr("Picture without alternate text");
    case site::FindingKind::PageWithoutTitle:
        return CheckSiteDialog::tr("Page without a title");
    case site::FindingKind::Unreferenced:
        return CheckSiteDialog::tr("Nothing refers to it");
    }
    return {};
}

qsizetype elementStartAt(const QString &text, qsizetype offset)
{
    for (qsizetype i = std::min(offset, text.size() - 1); i >= 0; --i)
        if (text[i] == u'<' && i + 1 < text.size() && text[i + 1].isLetter())
            return i;
    return offset;
}

CheckSiteDialog::CheckSiteDialog(ui::PageHost &host, const QString &siteFolder, QWidget *parent)
    : QDialog(parent), m_host(host), m_folder(siteFolder), m_status(new QLabel(this)),
      m_progress(new QProgressBar(this)), m_list(new QTreeWidget(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Close, this)),
      m_cancel(m_buttons->addButton(tr("Cancel"), QDialogButtonBox::ActionRole))
{
    setObjectName(QStringLiteral("CheckSiteDialog"));
    setWindowTitle(tr("Check Site"));
    m_status->setWordWrap(true);
    m_list->setObjectName(QStringLiteral("Findings"));
    m_list->setHeaderLabels({tr("Finding"), tr("Page"), tr("Line"), tr("Text")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setStretchLastSection(true);
    m_cancel->setObjectName(QStringLiteral("CancelCheck"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_buttons);
    resize(720, 420);

    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_cancel, &QPushButton::clicked, this, &CheckSiteDialog::stop);
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { choose(item); });
    connect(&m_watcher, &QFutureWatcher<site::CheckResult>::finished, this, &CheckSiteDialog::showResult);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        m_progress->setMaximum(std::max(1, int(m_total)));
        m_progress->setValue(m_done);
    });
    start();
}

CheckSiteDialog::~CheckSiteDialog()
{
    // The worker reads this dialog's flags: it ends before they go.
    m_stop = true;
    m_future.waitForFinished();
}

void CheckSiteDialog::start()
{
    m_status->setText(tr("Checking %1...").arg(QDir::toNativeSeparators(m_folder)));
    m_progress->setRange(0, 0);
    m_cancel->setEnabled(true);
    m_stop = false;
    const site::Progress progress{&m_stop, [this](int done, int total) {
                                      m_done = done;
                                      m_total = total;
                                  }};
    const QString folder = m_folder;
    m_future = QtConcurrent::run([folder, progress] {
        const site::Model model = site::scanSite(folder, site::pageReferenceLister(), progress);
        if (model.cancelled)
            return site::CheckResult{{}, true};
        return site::checkSite(model, progress);
    });
    m_watcher.setFuture(m_future);
    m_poll.start(50);
}

void CheckSiteDialog::stop()
{
    if (!m_future.isRunning())
        return;
    m_stop = true;
    m_cancel->setEnabled(false);
    m_status->setText(tr("Stopping the check..."));
}

void CheckSiteDialog::reject()
{
    // Closed while it runs: the check stops and is waited for, so that no
    // thread is left working for a dialog that is gone.
    m_stop = true;
    m_future.waitForFinished();
    QDialog::reject();
}

void CheckSiteDialog::showResult()
{
    m_poll.stop();
    m_cancel->setEnabled(false);
    m_progress->setRange(0, 1);
    m_progress->setValue(1);
    const site::CheckResult result = m_future.result();
    if (result.cancelled) {
        m_status->setText(tr("The check was cancelled."));
        emit checkDone();
        return;
    }
    const QDir folder(m_folder);
    QList<QTreeWidgetItem *> items;
    m_list->setUpdatesEnabled(false);
    for (const site::Finding &finding : result.findings) {
        auto *item = new QTreeWidgetItem(
            m_list, QStringList{findingKindText(finding.kind),
                                QDir::toNativeSeparators(folder.relativeFilePath(finding.file)),
                                QString::number(finding.line), finding.text});
        item->setData(0, kFileRole, finding.file);
        item->setData(0, kOffsetRole, qlonglong(finding.offset));
        items << item;
    }
    m_list->setUpdatesEnabled(true);
    for (int column = KindColumn; column < TextColumn; ++column)
        m_list->resizeColumnToContents(column);
    // Without a translation loaded "%n finding(s)" would show as it is written.
    const qsizetype found = result.findings.size();
    m_status->setText(found == 0   ? tr("Nothing was found that would break on a server.")
                      : found == 1 ? tr("1 finding. Choose it to see its place in the page.")
                                   : tr("%1 findings. Choose one to see its place in the page.").arg(found));
    if (!items.isEmpty())
        m_list->setCurrentItem(items.constFirst());
    emit checkDone();
}

void CheckSiteDialog::choose(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString file = item->data(0, kFileRole).toString();
    if (site::kindOfFile(file) != site::FileKind::Page)
        return;
    if (!m_host.openPage(file))
        return;
    // A finding points at the address itself; the window is shown the
    // element that carries it.
    const qsizetype offset = item->data(0, kOffsetRole).toLongLong();
    QFile page(file);
    m_host.showPlace(page.open(QIODevice::ReadOnly) ? elementStartAt(site::fileText(page.readAll()), offset)
                                                    : offset);
}

} // namespace sitepanel
