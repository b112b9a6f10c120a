// The site panel against a plain window and a real site copied for each test.
#include "sitepanel/checksitedialog.h"
#include "sitepanel/entries.h"
#include "sitepanel/siteactions.h"
#include "sitepanel/sitepanel.h"
#include "uikit/menuentry.h"
#include "uikit/pagehost.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QDirIterator>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

struct DummyHost final : ui::PageHost
{
    QMainWindow window;
    QString page;
    bool openAnswer = true;
    QStringList opened;
    QList<qsizetype> places;
    QStringList renamed; // "from>to"
    QList<ui::AddressChange> changes;

    QMainWindow *mainWindow() override { return &window; }
    QString pagePath() const override { return page; }
    bool pageModified() const override { return false; }
    bool openPage(const QString &path) override
    {
        opened << path;
        if (openAnswer)
            page = path;
        return openAnswer;
    }
    void showPlace(qsizetype offset) override { places << offset; }
    void siteRenamed(const QString &from, const QString &to, const QList<ui::AddressChange> &c) override
    {
        renamed << from + u'>' + to;
        changes = c;
    }
};

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file of a folder with its bytes, by path inside it.
QHash<QString, QByteArray> snapshot(const QString &folder)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), bytesOf(path));
    }
    return files;
}

} // namespace

class TestSitePanel final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuEntries();
    void showsTheSite();
    void rename_data();
    void rename();
    void nothingChanges_data();
    void nothingChanges();
    void deleteToTrash_data();
    void deleteToTrash();
    void checkSite_data();
    void checkSite();
    void cancelRunningCheck();
    void finishesARenameCutShort();

private:
    QString site(const QString &name = {}) const
    {
        return m_site->filePath(name.isEmpty() ? u"site"_s : u"site/"_s + name);
    }
    sitepanel::SitePanel *panelOn(const QString &page);
    QModelIndex indexOf(const QString &name);
    void select(const QString &name);

    QTemporaryDir m_state;
    std::unique_ptr<QTemporaryDir> m_site;
    std::unique_ptr<DummyHost> m_host;
    ui::Script m_script;
};

void TestSitePanel::initTestCase()
{
    // The user's settings, trash and state folder: all the test's own.
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(name, m_state.filePath(QString::fromLatin1(name)).toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("QNKV-test"));
}

void TestSitePanel::init()
{
    m_script = ui::Script();
    ui::setScript(&m_script);
    m_site = std::make_unique<QTemporaryDir>();
    QDir().mkpath(site(u"images"_s));
    QDirIterator it(QStringLiteral(QK_SITE_FIXTURE), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        QVERIFY(QFile::copy(from, site(QDir(QStringLiteral(QK_SITE_FIXTURE)).relativeFilePath(from))));
    }
    sitepanel::rememberSiteFolder({});
    m_host = std::make_unique<DummyHost>();
}

void TestSitePanel::cleanup()
{
    m_host.reset();
    ui::setScript(nullptr);
}

sitepanel::SitePanel *TestSitePanel::panelOn(const QString &page)
{
    m_host->page = page;
    sitepanel::SitePanel *panel = sitepanel::SitePanel::of(*m_host);
    panel->show();
    m_host->window.show();
    return panel;
}

QModelIndex TestSitePanel::indexOf(const QString &name)
{
    auto *model = sitepanel::SitePanel::find(&m_host->window)->model();
    const QModelIndex index = model->index(site(name));
    // The model reads folders in the background: the row is there once read.
    if (!QTest::qWaitFor([&] { return model->rowCount(index.parent()) > 0; }))
        qWarning("%s was not read", qPrintable(name));
    return model->index(site(name));
}

void TestSitePanel::select(const QString &name)
{
    auto *tree = sitepanel::SitePanel::find(&m_host->window)->tree();
    tree->setCurrentIndex(indexOf(name));
    tree->setFocus();
}

void TestSitePanel::menuEntries()
{
    ui::menus::Registry offers;
    sitepanel::registerEntries(offers);
    const ui::menus::Window window{nullptr, &m_host->window, m_host.get()};
    const QList<ui::menus::Entry> files = offers.entries(ui::menus::Place::SiteFiles, window);
    const QList<ui::menus::Entry> panels = offers.entries(ui::menus::Place::Panels, window);
    QCOMPARE(files.size(), 2);
    QCOMPARE(panels.size(), 1);
    // A window that hosts no panel is offered none of it.
    QVERIFY(offers.entries(ui::menus::Place::SiteFiles, {nullptr, &m_host->window, nullptr}).isEmpty());

    // View > Site shows the dock, hidden until then, and follows it closing.
    m_host->window.show();
    auto *item = new QAction(&m_host->window);
    item->setObjectName(u"mnuViewSite"_s);
    item->setCheckable(true);
    item->setChecked(true);
    panels[0].handler(item);
    auto *panel = sitepanel::SitePanel::find(&m_host->window);
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(m_host->window.dockWidgetArea(panel), Qt::LeftDockWidgetArea);
    panel->close();
    QVERIFY(!item->isChecked());

    // Open Site Folder shows the folder picked, and remembers it.
    m_script.folderAnswers << site();
    files[0].handler(nullptr);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->siteFolder(), site());
    QCOMPARE(sitepanel::rememberedSiteFolder(), site());
}

void TestSitePanel::showsTheSite()
{
    QFile hidden(site(u".hidden.html"_s));
    QVERIFY(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    sitepanel::SitePanel *panel = panelOn(site(u"images/redballdot.png"_s));
    QCOMPARE(panel->siteFolder(), site());
    auto *model = panel->model();
    QCOMPARE(model->data(indexOf(u"index.html"_s), Qt::ToolTipRole).toString().section(u':', 0, 0),
             u"Page"_s);
    QCOMPARE(model->data(indexOf(u"logo.gif"_s), Qt::ToolTipRole).toString().section(u':', 0, 0),
             u"Picture"_s);
    QCOMPARE(model->data(indexOf(u"style.css"_s), Qt::ToolTipRole).toString().section(u':', 0, 0),
             u"Style sheet"_s);
    QVERIFY(!(model->flags(indexOf(u"index.html"_s)) & Qt::ItemIsEditable));
    const QModelIndex root = panel->tree()->rootIndex();
    QStringList shown;
    for (int row = 0; row < model->rowCount(root); ++row)
        shown << model->fileName(model->index(row, 0, root));
    QVERIFY(shown.contains(u"index.html"_s));
    QVERIFY(!shown.contains(u".hidden.html"_s));

    // A file another program adds shows without asking.
    QFile added(site(u"added.html"_s));
    QVERIFY(added.open(QIODevice::WriteOnly));
    added.close();
    QTRY_VERIFY(model->index(site(u"added.html"_s)).isValid());

    // A picture dragged out carries its file, as the page's drop takes it.
    std::unique_ptr<QMimeData> drag(model->mimeData({indexOf(u"logo.gif"_s)}));
    QCOMPARE(drag->urls(), QList<QUrl>{QUrl::fromLocalFile(site(u"logo.gif"_s))});

    // Enter on a page opens it through the window.
    select(u"readme.html"_s);
    QTest::keyClick(panel->tree(), Qt::Key_Return);
    QCOMPARE(m_host->opened, QStringList{site(u"readme.html"_s)});

    // A new page, not saved yet, keeps the site shown.
    m_host->page.clear();
    panel->followSite();
    QCOMPARE(panel->siteFolder(), site());
}

void TestSitePanel::rename_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");     // a name for F2, a folder for a drop
    QTest::addColumn<QString>("oldRef"); // the address as pages wrote it
    QTest::addColumn<QString>("newRef");
    QTest::addColumn<QString>("summary"); // a line of the confirmation
    QTest::addColumn<int>("pageChanges"); // in the open page, index.html
    QTest::newRow("picture") << "logo.gif"
                             << "lua-logo.gif"
                             << "logo.gif"
                             << "lua-logo.gif"
                             << "index.html: 1 reference" << 1;
    QTest::newRow("page") << "AppendixH.html"
                          << "nsis-credits.html"
                          << "AppendixH.html"
                          << "nsis-credits.html"
                          << "index.html: 1 reference" << 1;
    QTest::newRow("folder") << "images"
                            << "pictures"
                            << "images/"
                            << "pictures/"
                            << "style.css: 1 reference" << 0;
    QTest::newRow("dropped") << "logo.gif"
                             << "images"
                             << "\"logo.gif"
                             << "\"images/logo.gif"
                             << "index.html: 1 reference" << 1;
}

void TestSitePanel::rename()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, oldRef);
    QFETCH(QString, newRef);
    QFETCH(QString, summary);
    QFETCH(int, pageChanges);
    sitepanel::SitePanel *panel = panelOn(site(u"index.html"_s));
    const QHash<QString, QByteArray> before = snapshot(site());
    const bool dropped = QFileInfo(site(to)).isDir();
    const QString target = dropped ? site(to + u'/' + from) : site(to);
    m_script.messageAnswers << QMessageBox::Yes;
    if (dropped) {
        auto *model = panel->model();
        std::unique_ptr<QMimeData> drag(model->mimeData({indexOf(from)}));
        QVERIFY(model->canDropMimeData(drag.get(), Qt::MoveAction, -1, -1, indexOf(to)));
        // The model never moves the file itself: the move comes after the drop.
        QVERIFY(!model->dropMimeData(drag.get(), Qt::MoveAction, -1, -1, indexOf(to)));
    } else {
        m_script.textAnswers << to;
        select(from);
        QTest::keyClick(panel->tree(), Qt::Key_F2);
    }
    QTRY_COMPARE(m_host->renamed, QStringList{site(from) + u'>' + target});
    QVERIFY(m_script.messagesShown.value(0).contains(summary));
    QVERIFY(!QFileInfo::exists(site(from)));
    QVERIFY(QFileInfo::exists(target));

    // Only the references changed: the new address put back gives every
    // file's bytes as they were.
    const QString renamedPart = QDir(site()).relativeFilePath(target);
    int changed = 0;
    for (auto [path, bytes] : snapshot(site()).asKeyValueRange()) {
        const QString was = path.startsWith(renamedPart) ? from + path.mid(renamedPart.size()) : path;
        QVERIFY2(before.contains(was), qPrintable(path));
        QByteArray restored = bytes;
        restored.replace(newRef.toUtf8(), oldRef.toUtf8());
        QVERIFY2(restored == before.value(was), qPrintable(path));
        changed += bytes != before.value(was);
    }
    QVERIFY(changed > 0);
    QCOMPARE(m_host->changes.size(), pageChanges);
    for (const ui::AddressChange &c : std::as_const(m_host->changes))
        QCOMPARE(QString(c.old).replace(oldRef.remove(u'"'), newRef.remove(u'"')), c.value);
}

void TestSitePanel::nothingChanges_data()
{
    QTest::addColumn<bool>("nameGiven");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("readOnlyPage");
    QTest::newRow("name box cancelled") << false << false << false;
    QTest::newRow("confirmation declined") << true << false << false;
    QTest::newRow("read-only page") << true << true << true;
}

void TestSitePanel::nothingChanges()
{
    QFETCH(bool, nameGiven);
    QFETCH(bool, confirmed);
    QFETCH(bool, readOnlyPage);
    sitepanel::SitePanel *panel = panelOn(site(u"index.html"_s));
    if (readOnlyPage)
        QFile::setPermissions(site(u"readme.html"_s), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QHash<QString, QByteArray> before = snapshot(site());
    m_script.textAnswers << (nameGiven ? u"lua-logo.gif"_s : QString());
    m_script.messageAnswers << (confirmed ? QMessageBox::Yes : QMessageBox::No);
    select(u"logo.gif"_s);
    QTest::keyClick(panel->tree(), Qt::Key_F2);
    QCOMPARE(m_script.textsAsked.size(), 1);
    QCOMPARE(m_script.messagesShown.size(), nameGiven ? (readOnlyPage ? 2 : 1) : 0);
    if (readOnlyPage)
        QVERIFY2(m_script.messagesShown.last().contains(u"readme.html"_s),
                 qPrintable(m_script.messagesShown.last()));
    QCOMPARE(snapshot(site()), before);
    QVERIFY(m_host->renamed.isEmpty());
}

void TestSitePanel::deleteToTrash_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("referring"); // a page the question names; "" for none
    QTest::addColumn<bool>("trashAvailable");
    QTest::newRow("referred to") << "logo.gif"
                                 << "index.html" << true;
    QTest::newRow("nothing refers to it") << "unused.png"
                                          << "" << true;
    QTest::newRow("no trash") << "unused.png"
                              << "" << false;
}

void TestSitePanel::deleteToTrash()
{
    QFETCH(QString, name);
    QFETCH(QString, referring);
    QFETCH(bool, trashAvailable);
    sitepanel::SitePanel *panel = panelOn(site(u"index.html"_s));
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    // A data folder that cannot be made: a file stands where it would go.
    const QString blocked = m_site->filePath(u"blocked"_s);
    if (!trashAvailable) {
        QFile(blocked).open(QIODevice::WriteOnly);
        qputenv("XDG_DATA_HOME", (blocked + u"/data"_s).toLocal8Bit());
    }
    m_script.messageAnswers << QMessageBox::Yes;
    select(name);
    QTest::keyClick(panel->tree(), Qt::Key_Delete);
    qputenv("XDG_DATA_HOME", dataHome);
    const QString question = m_script.messagesShown.value(0);
    if (referring.isEmpty())
        QCOMPARE(question, u"Move %1 to the trash?"_s.arg(name));
    else
        QVERIFY2(question.contains(referring) && question.contains(u"checks.html"_s), qPrintable(question));
    QCOMPARE(QFileInfo::exists(site(name)), !trashAvailable);
    QCOMPARE(m_script.messagesShown.size(), trashAvailable ? 1 : 2);
    if (trashAvailable)
        QVERIFY(QFileInfo::exists(QString::fromLocal8Bit(dataHome) + u"/Trash/files/"_s + name));
}

void TestSitePanel::checkSite_data()
{
    QTest::addColumn<bool>("opened"); // whether the window opens the page
    QTest::newRow("page opened") << true;
    QTest::newRow("page kept") << false;
}

void TestSitePanel::checkSite()
{
    QFETCH(bool, opened);
    m_host->page = site(u"index.html"_s);
    m_host->openAnswer = opened;
    m_host->window.show();
    ui::menus::Registry offers;
    sitepanel::registerEntries(offers);
    offers.entries(ui::menus::Place::SiteFiles, {nullptr, &m_host->window, m_host.get()})[1].handler(nullptr);
    auto *dialog = m_host->window.findChild<sitepanel::CheckSiteDialog *>(u"CheckSiteDialog"_s);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), u"Check Site"_s);
    QTRY_VERIFY(!dialog->running());
    QTreeWidget *list = dialog->findings();
    QTRY_VERIFY(list->topLevelItemCount() > 0);
    const QList<QTreeWidgetItem *> missing = list->findItems(u"gone.png"_s, Qt::MatchExactly, 3);
    QCOMPARE(missing.size(), 1);
    QCOMPARE(missing[0]->text(0), u"Missing file"_s);
    QCOMPARE(missing[0]->text(1), u"checks.html"_s);
    QCOMPARE(missing[0]->text(2), u"12"_s);
    list->setCurrentItem(missing[0]);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(m_host->opened, QStringList{site(u"checks.html"_s)});
    QCOMPARE(m_host->places.size(), opened ? 1 : 0);
    // The window is shown the element that carries the address.
    if (opened)
        QVERIFY(QString::fromUtf8(bytesOf(site(u"checks.html"_s)))
                    .mid(m_host->places[0])
                    .startsWith(u"<a href=\"gone.png\">"_s));
    dialog->close();
}

void TestSitePanel::cancelRunningCheck()
{
    // A site big enough that the check is still running when asked to stop.
    for (int i = 0; i < 3000; ++i) {
        QFile page(site(u"page%1.html"_s.arg(i)));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><title>t</title><p><a href=\"index.html\">home</a><img src=\"logo.gif\">");
    }
    m_host->window.show();
    auto *dialog = new sitepanel::CheckSiteDialog(*m_host, site(), &m_host->window);
    QVERIFY(dialog->running());
    dialog->findChild<QPushButton *>(u"CancelCheck"_s)->click();
    QTRY_VERIFY(!dialog->running());
    QCOMPARE(dialog->findings()->topLevelItemCount(), 0);
    // Closed while it runs: the worker is stopped and waited for.
    auto *again = new sitepanel::CheckSiteDialog(*m_host, site(), &m_host->window);
    again->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<sitepanel::CheckSiteDialog> guard = again;
    QVERIFY(again->running());
    again->reject();
    QVERIFY(!guard || !guard->running());
    delete dialog;
}

void TestSitePanel::finishesARenameCutShort()
{
    const site::Model model = site::scanSite(site());
    const site::RenamePlan plan = site::planRename(model, site(u"logo.gif"_s), site(u"lua-logo.gif"_s));
    // The program stops after the first page is written, as a kill would.
    try {
        site::applyRename(plan, sitepanel::journalFolder(), [](int step) {
            if (step == 1)
                throw 1;
        });
    } catch (int) {
    }
    QVERIFY(QFileInfo::exists(sitepanel::journalFolder() + u"/rename.journal"_s));
    sitepanel::finishInterruptedRename(&m_host->window);
    QCOMPARE(m_script.messagesShown.size(), 1);
    QVERIFY(m_script.messagesShown[0].contains(u"completed"_s));
    QVERIFY(QFileInfo::exists(site(u"lua-logo.gif"_s)));
    QVERIFY(bytesOf(site(u"index.html"_s)).contains("\"lua-logo.gif\""));
    // Nothing left to finish: nothing to say.
    sitepanel::finishInterruptedRename(&m_host->window);
    QCOMPARE(m_script.messagesShown.size(), 1);
}

QTEST_MAIN(TestSitePanel)
#include "tst_sitepanel.moc"
