#include "site/sitecheck.h"
#include "site/sitemodel.h"
#include "site/siterename.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace site;

namespace {

QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            out.insert(QDir(folder).relativeFilePath(f.fileName()), f.readAll());
    }
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A copy of the test site in dir, to be changed.
QString copySite(const QTemporaryDir &dir)
{
    QString to = dir.filePath(QStringLiteral("site"));
    const QMap<QString, QByteArray> files = snapshot(QStringLiteral(QK_SITE_FIXTURE));
    for (auto it = files.begin(); it != files.end(); ++it)
        writeFile(to + u'/' + it.key(), it.value());
    return to;
}

const Reference *findReference(const Model &m, const QString &file, const QString &value)
{
    for (const Reference &r : m.references)
        if (r.value == value && m.files[r.source].relativePath == file)
            return &r;
    return nullptr;
}

QString textOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? fileText(f.readAll()) : QString();
}

// The 200 pages of a larger site: the real readme, each showing logo.gif.
const int kPages = 200;
QString pagePath(const QString &folder, int i)
{
    return folder + QStringLiteral("/page-%1.html").arg(i);
}

int renameAndDie(const QString &folder, const QString &journal, int killAfter)
{
    const Model model = scanSite(folder);
    const RenamePlan plan =
        planRename(model, folder + QStringLiteral("/logo.gif"), folder + QStringLiteral("/logo-2.gif"));
    if (plan.changes.size() != kPages)
        return 2;
    applyRename(plan, journal, [killAfter](int step) {
        if (step == killAfter)
            std::raise(SIGKILL);
    });
    return 3; // not killed
}

} // namespace

class TestSite final : public QObject
{
    Q_OBJECT

private slots:
    void siteFolder();
    void references_data();
    void references();
    void check_data();
    void check();
    void progressAndCancel();
    void readInParallel();
    void rename_data();
    void rename();
    void refusedRename_data();
    void refusedRename();
    void undoFailed();
    void killedRename_data();
    void killedRename();
    void foreignJournal_data();
    void foreignJournal();
};

void TestSite::siteFolder()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("index.htm")), "<title>Home</title>");
    writeFile(dir.filePath(QStringLiteral("a/b/page.html")), "<title>Page</title>");
    writeFile(dir.filePath(QStringLiteral("a/b/c/d.html")), "");
    writeFile(dir.filePath(QStringLiteral("a/b/c/index.html")), "");
    QCOMPARE(findSiteFolder(dir.filePath(QStringLiteral("a/b/page.html"))), QDir::cleanPath(dir.path()));
    QCOMPARE(findSiteFolder(dir.filePath(QStringLiteral("a/b/c/d.html"))),
             dir.filePath(QStringLiteral("a/b/c")));
    QTemporaryDir lone;
    writeFile(lone.filePath(QStringLiteral("x/page.html")), "");
    // No index page above: the page's own folder (the temporary folder's
    // parents hold none).
    QCOMPARE(findSiteFolder(lone.filePath(QStringLiteral("x/page.html"))),
             lone.filePath(QStringLiteral("x")));
}

void TestSite::references_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("kind"); // -1: must not be listed
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("target"); // from the site's folder
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("query");
    const auto row = [](const char *name, const char *file, const char *value, int kind, int line,
                        const char *target, const char *fragment = "", const char *query = "") {
        QTest::newRow(name) << QString::fromUtf8(file) << QString::fromUtf8(value) << kind << line
                            << QString::fromUtf8(target) << QString::fromUtf8(fragment)
                            << QString::fromUtf8(query);
    };
    const int sheet = int(ReferenceKind::SheetUrl);
    row("sheet url()", "style.css", "images/redballdot.png", sheet, 5, "images/redballdot.png");
    row("sheet @import", "style.css", "lua.css", sheet, 2, "lua.css");
    row("sheet url() unquoted", "lua.css", "images/redballdot.png", sheet, 2, "images/redballdot.png");
    row("not in a comment", "style.css", "commented-out.png", -1, 0, "");
    row("not in a string", "style.css", "not-an-address.png", -1, 0, "");
    row("not in a style element's comment", "checks.html", "commented.png", -1, 0, "");
    row("real page LINK", "readme.html", "lua.css", int(ReferenceKind::Link), 5, "lua.css");
    row("real page IMG", "readme.html", "logo.gif", int(ReferenceKind::Src), 33, "logo.gif");
    row("real page anchor", "readme.html", "#license", int(ReferenceKind::Href), 44, "readme.html",
        "license");
    row("srcset", "checks.html", "osi-certified-72x60.png", int(ReferenceKind::Srcset), 15,
        "osi-certified-72x60.png");
    row("style url()", "checks.html", "images/redballdot.png", int(ReferenceKind::CssUrl), 16,
        "images/redballdot.png");
    row("site root", "checks.html", "/readme.html?lang=en#license", int(ReferenceKind::Href), 18,
        "readme.html", "license", "lang=en");
    row("escapes decoded once", "checks.html", "my%2520notes.html", int(ReferenceKind::Href), 19,
        "my%20notes.html");
}

void TestSite::references()
{
    QFETCH(QString, file);
    QFETCH(QString, value);
    QFETCH(int, kind);
    const Model m = scanSite(QStringLiteral(QK_SITE_FIXTURE));
    const Reference *r = findReference(m, file, value);
    if (kind < 0) {
        QVERIFY(!r);
        return;
    }
    QVERIFY(r);
    QCOMPARE(int(r->kind), kind);
    QTEST(r->line, "line");
    QCOMPARE(textOf(m.files[r->source].path).mid(r->offset, r->length), value);
    QFETCH(QString, target);
    QCOMPARE(r->target, m.folder + u'/' + target);
    QTEST(r->fragment, "fragment");
    QTEST(r->query, "query");
}

void TestSite::check_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line"); // 0: must not be found
    const auto row = [](const char *name, FindingKind kind, const char *file, const char *text, int line) {
        QTest::newRow(name) << int(kind) << QString::fromUtf8(file) << QString::fromUtf8(text) << line;
    };
    using K = FindingKind;
    row("missing", K::MissingTarget, "checks.html", "gone.png", 12);
    row("missing, real page", K::MissingTarget, "readme.html", "contents.html", 46);
    row("missing, escaped", K::MissingTarget, "checks.html", "my%2520notes.html", 19);
    row("present picture", K::MissingTarget, "introduction.html", "images/redballdot.png", 0);
    row("present sheet", K::MissingTarget, "readme.html", "lua.css", 0);
    row("under a base element", K::MissingTarget, "based.html", "manual.html", 0);
    row("letter case", K::LetterCase, "checks.html", "Readme.html", 8);
    row("letter case, right", K::LetterCase, "index.html", "readme.html", 0);
    row("leaves the site", K::LeavesSite, "checks.html", "../outside.html", 9);
    row("file address", K::FileUrl, "checks.html", "file:///usr/share/doc/lua5.2/readme.html", 10);
    row("web address", K::FileUrl, "checks.html", "https://www.lua.org/", 0);
    row("anchor missing", K::MissingAnchor, "checks.html", "readme.html#nowhere", 11);
    row("a name", K::MissingAnchor, "index.html", "readme.html#license", 0);
    row("a name, same page", K::MissingAnchor, "AppendixH.html", "AppendixH.html#credits", 0);
    row("site root anchor", K::MissingAnchor, "checks.html", "/readme.html?lang=en#license", 0);
    row("top", K::MissingAnchor, "checks.html", "#top", 0);
    row("no alt", K::PictureWithoutAlt, "checks.html", "<img src=\"logo.gif\">", 13);
    row("empty alt", K::PictureWithoutAlt, "introduction.html", "<img src=\"images/usflag.png\" alt=\"\">",
        0);
    row("no title", K::PageWithoutTitle, "checks.html", "checks.html", 1);
    row("upper-case TITLE", K::PageWithoutTitle, "readme.html", "readme.html", 0);
    row("unreferenced", K::Unreferenced, "unused.png", "unused.png", 1);
    row("the index", K::Unreferenced, "index.html", "index.html", 0);
    row("named by a sheet", K::Unreferenced, "lua.css", "lua.css", 0);
    row("named in srcset", K::Unreferenced, "osi-certified-72x60.png", "osi-certified-72x60.png", 0);
}

void TestSite::check()
{
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(int, line);
    const Model m = scanSite(QStringLiteral(QK_SITE_FIXTURE));
    const CheckResult result = checkSite(m);
    QVERIFY(!result.cancelled);
    const QString path = m.folder + u'/' + file;
    const auto hit = std::find_if(result.findings.begin(), result.findings.end(), [&](const Finding &f) {
        return int(f.kind) == kind && f.file == path && f.text == text;
    });
    if (line == 0) {
        QVERIFY2(hit == result.findings.end(), qPrintable(QStringLiteral("line %1").arg(hit->line)));
        return;
    }
    QVERIFY(hit != result.findings.end());
    QCOMPARE(hit->line, line);
    if (kind != int(FindingKind::PageWithoutTitle) && kind != int(FindingKind::Unreferenced))
        QVERIFY(textOf(path).mid(hit->offset).startsWith(text));
}

void TestSite::progressAndCancel()
{
    std::atomic_bool cancel = false;
    QList<int> seen;
    const Progress progress{&cancel, [&](int done, int total) { seen.append(total - done); }};
    const Model m = scanSite(QStringLiteral(QK_SITE_FIXTURE), pageReferenceLister(), progress);
    QVERIFY(!m.cancelled);
    QCOMPARE(seen.last(), 0);
    seen.clear();
    QVERIFY(!checkSite(m, progress).cancelled);
    QCOMPARE(seen.last(), 0);
    cancel = true;
    QVERIFY(scanSite(QStringLiteral(QK_SITE_FIXTURE), pageReferenceLister(), progress).cancelled);
    QVERIFY(checkSite(m, progress).cancelled);
}

// A site large enough to be read by several threads gives the model a
// single reader gives, references and the places of pictures behind text
// outside ASCII included.
void TestSite::readInParallel()
{
    QTemporaryDir dir;
    for (int i = 0; i < 60; ++i)
        writeFile(dir.filePath(QStringLiteral("p%1.html").arg(i, 2, 10, QLatin1Char('0'))),
                  QStringLiteral("<title>\u00e9</title><p>\u20ac %1 \U0001F600</p><img src=\"a%1.png\">"
                                 "<a href=\"p%2.html#x\" id=x>\u00fc</a>")
                      .arg(i)
                      .arg((i + 1) % 60)
                      .toUtf8());
    const Model parallel = scanSite(dir.path());
    const ReferenceLister save = pageReferenceLister();
    const Model serial =
        scanSite(dir.path(), [&](const QString &html, const QString &page) { return save(html, page); });
    QCOMPARE(parallel.references.size(), 120);
    QCOMPARE(parallel.references.size(), serial.references.size());
    for (qsizetype i = 0; i < serial.references.size(); ++i) {
        QCOMPARE(parallel.references[i].source, serial.references[i].source);
        QCOMPARE(parallel.references[i].value, serial.references[i].value);
        QCOMPARE(parallel.references[i].offset, serial.references[i].offset);
    }
    for (const SiteFile &f : parallel.files) {
        QCOMPARE(f.picturesWithoutAlt.size(), 1);
        QVERIFY(textOf(f.path).mid(f.picturesWithoutAlt[0].offset).startsWith(QLatin1StringView("<img src")));
        QVERIFY(f.anchors.contains(QStringLiteral("x")));
    }
}

void TestSite::rename_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("files"); // that change
    QTest::newRow("picture") << "logo.gif"
                             << "lua-logo.gif" << 3;
    QTest::newRow("picture moved up") << "images/redballdot.png"
                                      << "redballdot.png" << 4;
    QTest::newRow("page moved down") << "readme.html"
                                     << "docs/readme.html" << 3;
    QTest::newRow("folder") << "images"
                            << "pictures" << 4;
    QTest::newRow("folder moved down") << "images"
                                       << "docs/images" << 4;
    QTest::newRow("name needing escapes") << "readme.html"
                                          << "read me & #1.html" << 2;
}

void TestSite::rename()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QTemporaryDir dir;
    const QString folder = copySite(dir);
    QDir(folder).mkdir(QStringLiteral("docs"));
    const Model before = scanSite(folder);
    const RenamePlan plan = planRename(before, folder + u'/' + from, folder + u'/' + to);
    QVERIFY2(plan.isValid(), qPrintable(plan.error));
    QTEST(int(plan.changes.size()), "files");
    QStringList referring = filesReferringTo(before, folder + u'/' + from);
    for (const FileChange &change : plan.changes)
        referring.removeOne(change.file); // what is named from outside changes; what moves along may too
    QVERIFY2(referring.isEmpty(), qPrintable(referring.join(u' ')));
    const RenameResult result = applyRename(plan, dir.filePath(QStringLiteral("journal")));
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(!QFileInfo::exists(folder + u'/' + from));
    QVERIFY(QFileInfo::exists(folder + u'/' + to));
    QVERIFY(QDir(dir.filePath(QStringLiteral("journal"))).isEmpty());

    // Read afresh, every file holds the same bytes around its references,
    // and every reference names what it named before, at its new place.
    const auto moved = [&](const QString &path) {
        const QString old = folder + u'/' + from;
        return path == old                   ? folder + u'/' + to
               : path.startsWith(old + u'/') ? folder + u'/' + to + path.mid(old.size())
                                             : path;
    };
    const Model after = scanSite(folder);
    QCOMPARE(after.files.size(), before.files.size());
    QCOMPARE(after.references.size(), before.references.size());
    QHash<int, QList<const Reference *>> refsOf;
    for (const Reference &r : after.references)
        refsOf[r.source].append(&r);
    int changed = 0;
    int i = 0;
    for (const SiteFile &old : before.files) {
        const int now = after.fileIndex(moved(old.path));
        QVERIFY(now >= 0);
        const QList<const Reference *> &newRefs = refsOf[now];
        QList<const Reference *> oldRefs;
        for (; i < before.references.size() && before.references[i].source == before.fileIndex(old.path); ++i)
            oldRefs.append(&before.references[i]);
        QCOMPARE(newRefs.size(), oldRefs.size());
        bool fileChanged = false;
        QString newRest = textOf(moved(old.path));
        for (qsizetype k = newRefs.size(); k-- > 0;) {
            const Reference &o = *oldRefs[k];
            const Reference &n = *newRefs[k];
            newRest.remove(n.offset, n.length);
            if (!o.target.isEmpty())
                QCOMPARE(n.target, moved(o.target));
            QCOMPARE(n.fragment, o.fragment);
            QCOMPARE(n.query, o.query);
            QCOMPARE(n.form, o.form);
            fileChanged = fileChanged || n.value != o.value;
        }
        QFile orig(QStringLiteral(QK_SITE_FIXTURE) + u'/' + old.relativePath);
        QVERIFY(orig.open(QIODevice::ReadOnly));
        const QByteArray origBytes = orig.readAll();
        QString origRest = fileText(origBytes);
        for (qsizetype k = oldRefs.size(); k-- > 0;)
            origRest.remove(oldRefs[k]->offset, oldRefs[k]->length);
        QCOMPARE(newRest, origRest);
        QFile nowFile(moved(old.path));
        QVERIFY(nowFile.open(QIODevice::ReadOnly));
        QCOMPARE(nowFile.readAll() != origBytes, fileChanged);
        changed += fileChanged;
    }
    QCOMPARE(changed, int(plan.changes.size()));
}

void TestSite::refusedRename_data()
{
    QTest::addColumn<bool>("readOnly"); // else changed by another program after the site was read
    QTest::newRow("read-only page") << true;
    QTest::newRow("page changed since") << false;
}

void TestSite::refusedRename()
{
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    const QString folder = copySite(dir);
    const QString page = folder + QStringLiteral("/introduction.html");
    const Model model = scanSite(folder);
    if (readOnly)
        QFile::setPermissions(page, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    else
        writeFile(page, textOf(page).replace(QStringLiteral("Xfig"), QStringLiteral("XFIG")).toLatin1());
    const QMap<QString, QByteArray> before = snapshot(folder);
    const RenamePlan plan =
        planRename(model, folder + QStringLiteral("/images"), folder + QStringLiteral("/pictures"));
    const RenameResult result = applyRename(plan, dir.filePath(QStringLiteral("journal")));
    QVERIFY(!result.ok);
    QCOMPARE(result.file, page);
    QVERIFY(result.error.contains(QStringLiteral("introduction.html")));
    QCOMPARE(snapshot(folder), before);
    QVERIFY(QDir(dir.filePath(QStringLiteral("journal"))).isEmpty());
}

// A page that cannot be written stops the rename; one that then cannot be
// put back keeps the journal, so that the next start settles it.
void TestSite::undoFailed()
{
    QTemporaryDir dir;
    const QString folder = copySite(dir);
    const QString journal = dir.filePath(QStringLiteral("journal"));
    const RenamePlan plan = planRename(scanSite(folder), folder + QStringLiteral("/logo.gif"),
                                       folder + QStringLiteral("/lua-logo.gif"));
    QCOMPARE(plan.changes.size(), 3);
    const auto spoil = [](const QString &path) { QVERIFY(QFile::remove(path) && QDir().mkdir(path)); };
    const RenameResult result = applyRename(plan, journal, [&](int step) {
        if (step == 1) {
            spoil(plan.changes[0].file); // written, now not to be put back
            spoil(plan.changes[1].file); // not to be written
        }
    });
    QVERIFY(!result.ok);
    QCOMPARE(result.file, plan.changes[1].file);
    QVERIFY(QFileInfo::exists(journal + QStringLiteral("/rename.journal")));
    const RecoveryResult recovered = recoverJournal(journal);
    QCOMPARE(recovered.conflicts, (QStringList{plan.changes[0].file, plan.changes[1].file}));
}

void TestSite::killedRename_data()
{
    QTest::addColumn<int>("killAfter");
    // 1: a page changed by hand since, which is left as it is; 2: another
    // file took the new name, so the rename must be undone.
    QTest::addColumn<int>("spoil");
    QTest::addColumn<bool>("allNew");
    QTest::newRow("after the first page") << 1 << 0 << true;
    QTest::newRow("half-way") << kPages / 2 << 0 << true;
    QTest::newRow("after the rename") << kPages + 1 << 0 << true;
    QTest::newRow("half-way, a page changed since") << kPages / 2 << 1 << true;
    QTest::newRow("half-way, name taken") << kPages / 2 << 2 << false;
}

void TestSite::killedRename()
{
    QFETCH(int, killAfter);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("big"));
    const QString journal = dir.filePath(QStringLiteral("journal"));
    QFile readme(QStringLiteral(QK_SITE_FIXTURE "/readme.html"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    // A second reference after text outside ASCII: undoing must find it
    // where the first edit's longer address moved it.
    const QByteArray oldPage =
        readme.readAll() + "<p>\xc3\x89t\xc3\xa9 \xe2\x80\x94 <img src=\"logo.gif\"></p>\n";
    QByteArray newPage = oldPage;
    newPage.replace("SRC=\"logo.gif\"", "SRC=\"logo-2.gif\"")
        .replace("src=\"logo.gif\"", "src=\"logo-2.gif\"");
    QVERIFY(newPage != oldPage);
    writeFile(folder + QStringLiteral("/logo.gif"), "GIF89a");
    for (int i = 0; i < kPages; ++i)
        writeFile(pagePath(folder, i), oldPage);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--rename-and-die"), folder, journal, QString::number(killAfter)});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    // The journal alone, a small fraction of the pages it covers.
    QCOMPARE(QDir(journal).entryList(QDir::Files), QStringList{QStringLiteral("rename.journal")});
    QVERIFY(QFileInfo(journal + QStringLiteral("/rename.journal")).size() < oldPage.size() * kPages / 10);
    QFETCH(int, spoil);
    const QString byHand = pagePath(folder, 3);
    if (spoil == 1)
        writeFile(byHand, "changed by hand");
    if (spoil == 2)
        writeFile(folder + QStringLiteral("/logo-2.gif"), "another picture");

    const RecoveryResult recovered = recoverJournal(journal);
    QVERIFY(recovered.found);
    QCOMPARE(recovered.conflicts, spoil == 1 ? QStringList{byHand} : QStringList());
    QFETCH(bool, allNew);
    QCOMPARE(recovered.completed, allNew);
    for (int i = 0; i < kPages; ++i) {
        QFile page(pagePath(folder, i));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray wanted = spoil == 1 && i == 3 ? "changed by hand" : allNew ? newPage : oldPage;
        QVERIFY2(page.readAll() == wanted, qPrintable(page.fileName()));
    }
    QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/logo-2.gif")), allNew || spoil == 2);
    QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/logo.gif")), !allNew);
    QVERIFY(QDir(journal).isEmpty());
    QVERIFY(!recoverJournal(journal).found);
}

void TestSite::foreignJournal_data()
{
    QTest::addColumn<bool>("firstVersion"); // else not a journal at all
    QTest::newRow("first version, whole texts") << true;
    QTest::newRow("unreadable") << false;
}

// A journal this version did not write: one of the first version, which kept
// whole texts beside it, is still finished; one it cannot read touches nothing.
void TestSite::foreignJournal()
{
    using namespace Qt::StringLiterals;
    QFETCH(bool, firstVersion);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("site"));
    const QString journal = dir.filePath(QStringLiteral("journal"));
    const QByteArray oldPage = "<img src=\"logo.gif\">", newPage = "<img src=\"logo-2.gif\">";
    writeFile(folder + QStringLiteral("/logo.gif"), "GIF89a");
    writeFile(pagePath(folder, 0), newPage); // written before the crash
    writeFile(pagePath(folder, 1), oldPage);
    writeFile(journal + QStringLiteral("/rename-old"), oldPage + oldPage);
    writeFile(journal + QStringLiteral("/rename-new"), newPage + newPage);
    const auto hex = [](const QByteArray &b) {
        return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
    };
    QJsonArray files;
    for (int i = 0; i < 2; ++i)
        files.append(QJsonObject{{u"file"_s, pagePath(folder, i)},
                                 {u"old"_s, hex(oldPage)},
                                 {u"new"_s, hex(newPage)},
                                 {u"oldAt"_s, i * oldPage.size()},
                                 {u"oldSize"_s, oldPage.size()},
                                 {u"newAt"_s, i * newPage.size()},
                                 {u"newSize"_s, newPage.size()}});
    const QJsonObject old{{u"from"_s, folder + QStringLiteral("/logo.gif")},
                          {u"to"_s, folder + QStringLiteral("/logo-2.gif")},
                          {u"files"_s, files}};
    writeFile(journal + QStringLiteral("/rename.journal"),
              firstVersion ? QJsonDocument(old).toJson() : QByteArray("{\"version\": 2, \"files\": 7}"));

    const RecoveryResult recovered = recoverJournal(journal);
    QVERIFY(recovered.found);
    QCOMPARE(recovered.completed, firstVersion);
    QCOMPARE(recovered.conflicts.size(), firstVersion ? 0 : 1); // the journal, kept aside
    QCOMPARE(recovered.unreadable, !firstVersion);
    QCOMPARE(textOf(pagePath(folder, 0)), QString::fromLatin1(newPage));
    QCOMPARE(textOf(pagePath(folder, 1)), QString::fromLatin1(firstVersion ? newPage : oldPage));
    QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/logo-2.gif")), firstVersion);
    QVERIFY(!recoverJournal(journal).found);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArrayView(argv[1]) == "--rename-and-die")
        return renameAndDie(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            std::atoi(argv[4]));
    TestSite test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_site.moc"
