// Loading pages into the engine: from files, from text, and the start-up page.

#include "surface/pagetext.h"
#include "surface/webenginesurface_p.h"

#include "pathrel/references.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

namespace surface {

namespace {
constexpr int kStartPageLatestMs = 200; // the start-up page waits no longer for its window

// Each load gets its own query, so that reports from a page that has since
// been replaced are told apart.
QUrl documentUrl(const QString &path, const QString &tag)
{
    QUrl url = pathrel::fileUrl(path);
    url.setQuery(QStringLiteral("qk=") + tag);
    return url;
}

bool namedAsPage(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}
} // namespace

void WebEngineSurface::onReady(const QVariantMap &info)
{
    if (info.value(QStringLiteral("tag")).toString() != m_expectedTag)
        return; // a page that has since been replaced
    m_frameset = info.value(QStringLiteral("frameset")).toBool();
    m_sourceCharset = info.value(QStringLiteral("charset")).toString();
    m_sourceQuirks = info.value(QStringLiteral("quirks")).toBool();
    // Asked for as soon as the page is ready, and sent along so that no
    // call has to wait for them then.
    if (info.contains(QStringLiteral("lang")))
        m_readyLanguage = info.value(QStringLiteral("lang")).toString();
    if (const QStringList names = info.value(QStringLiteral("formats")).toStringList(); !names.isEmpty())
        m_blockFormatNames = names;
    m_ready = true;
    // The page reports its state right after this: laying it out to place
    // the caret need not hold up the window.
    m_stateDue = !m_frameset;
    if (m_finishWhenReady) {
        // Not from inside the engine's call: the window may ask the page things.
        m_finishWhenReady = false;
        QMetaObject::invokeMethod(
            this,
            [this, tag = m_expectedTag] {
                if (tag != m_expectedTag)
                    return;
                m_pendingCopy.reset();
                finishLoad();
            },
            Qt::QueuedConnection);
    }
}

void WebEngineSurface::startLoad(const QString &filePath, const QString &tag)
{
    ++m_generation;
    m_startPage.reset(); // any page loaded takes the start-up page's place
    m_readyLanguage.reset();
    const QUrl url = documentUrl(filePath, tag + QString::number(m_generation));
    m_expectedUrl = url.toString();
    m_expectedTag = u'?' + url.query(QUrl::FullyEncoded);
    m_loadingFolder = QFileInfo(filePath).absolutePath();
    m_ready = false;
    m_stateDue = false;
    m_loadFailed = false;
    m_frameset = false;
    m_engineGone = false; // a new load starts a new renderer
    m_aligned = false;
    m_sourceJob.reset();
    m_status.clear();
    m_pendingCopy.reset();
    m_beforeSource.reset();
    m_page->allowedUrl = m_expectedUrl;
    m_page->load(url);
}

// What follows every load the engine finished: the view's aids, and the news.
qint64 WebEngineSurface::finishLoad()
{
    if (!m_ready)
        return codes::Unknown;
    if (m_frameset)
        return codes::Frameset;
    m_baseFolder = m_loadingFolder;
    if (m_showBorders || m_showDetails)
        callJs(viewAidsCall());
    if (m_snapToGrid)
        callJs(QStringLiteral("qk.setSnap(true)"));
    emit DocumentComplete();
    return codes::Ok;
}

qint64 WebEngineSurface::loadContent(const QString &filePath, const QString &tag)
{
    startLoad(filePath, tag);
    m_busy = true;
    waitUntil([this] { return m_ready || m_loadFailed || m_engineGone; }, kLoadTimeoutMs);
    m_busy = false;
    if (m_gaveUp && !m_ready) {
        // The user stopped waiting: nothing the engine still does with that
        // page may come back as the page shown.
        m_page->triggerAction(QWebEnginePage::Stop);
        m_expectedTag.clear();
        m_expectedUrl.clear();
        m_page->allowedUrl.clear();
        return codes::Stopped;
    }
    return finishLoad();
}

void WebEngineSurface::beginDocumentHTML(const QString &html)
{
    // The start-up page: the window shows at once and the page follows it.
    if (!m_scratch)
        m_scratch = std::make_unique<QTemporaryDir>();
    auto file = std::make_unique<QTemporaryFile>(m_scratch->filePath(QStringLiteral("page-XXXXXX.html")));
    const QByteArray bytes = QByteArrayLiteral("\xEF\xBB\xBF") + html.toUtf8();
    if (!file->open() || file->write(bytes) != bytes.size() || !file->flush()) {
        setDocumentHTML(html);
        return;
    }
    m_startPage = std::move(file);
    QWidget *window = m_view->window();
    if (window->isVisible()) {
        loadStartPage();
    } else {
        // The load goes as the window is shown. The engine's first load
        // holds the window's thread for a while, and so does its first
        // paint: started earlier, the load keeps the window from being built;
        // later, from being painted. A window that is not shown soon does not
        // hold the page back for long.
        m_startPageWindow = window;
        window->installEventFilter(this);
        QTimer::singleShot(kStartPageLatestMs, this, &WebEngineSurface::loadStartPage);
    }
    m_path.clear();
    m_sourceBytes.clear();
    m_sourceText = html;
    m_sourceCharset.clear();
    m_sourceBom = false;
    m_nextWriteClean = false;
    m_carriedDirty = false;
}

void WebEngineSurface::loadStartPage()
{
    if (m_startPageWindow)
        m_startPageWindow->removeEventFilter(this);
    m_startPageWindow = nullptr;
    if (!m_startPage)
        return; // another page came first
    std::unique_ptr<QTemporaryFile> file = std::move(m_startPage);
    // Tagged as the start-up page: its first line becomes a paragraph once typed into.
    startLoad(file->fileName(), QStringLiteral("start"));
    m_pendingCopy = std::move(file); // until the engine has read it
    m_finishWhenReady = true;
}

bool WebEngineSurface::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_startPageWindow && event->type() == QEvent::Show)
        loadStartPage();
    return EditSurface::eventFilter(watched, event);
}

qint64 WebEngineSurface::loadThroughCopy(const QByteArray &bytes, const QString &folder, bool bom)
{
    // Beside the page, so that its relative references resolve; where that
    // folder cannot be written, a private temporary folder serves (the page
    // is whole, only its relative pictures do not show).
    std::unique_ptr<QTemporaryFile> file;
    if (!folder.isEmpty()) {
        file = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/.quillon-kiv-XXXXXX.html"));
        if (!file->open())
            file.reset();
    }
    if (!file) {
        if (!m_scratch)
            m_scratch = std::make_unique<QTemporaryDir>();
        file = std::make_unique<QTemporaryFile>(m_scratch->filePath(QStringLiteral("page-XXXXXX.html")));
        if (!file->open())
            return codes::Unknown;
    }
    if (bom)
        file->write(QByteArrayLiteral("\xEF\xBB\xBF"));
    if (file->write(bytes) != bytes.size() || !file->flush())
        return codes::Unknown;
    const qint64 code = loadContent(file->fileName(), QStringLiteral("write"));
    return code; // the copy is removed once the page is in the engine
}

qint64 WebEngineSurface::LoadDocument(const QString &pathIn, bool prompt)
{
    QString path = pathIn;
    if (path.isEmpty() && prompt) {
        if (!m_picker)
            return codes::Ok;
        path = m_picker->pickFile(m_view, FilePicker::Kind::Open, QStringLiteral("Open"),
                                  QFileInfo(m_path).absolutePath(),
                                  QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"));
        if (path.isEmpty())
            return codes::Ok; // dismissed: the page stays
    }
    if (path.isEmpty())
        return codes::InvalidArgument;
    const QFileInfo info(path);
    if (!info.exists())
        return info.absoluteDir().exists() ? codes::FileNotFound : codes::PathNotFound;
    if (info.isDir())
        return codes::InvalidArgument;
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return file.error() == QFileDevice::PermissionsError ? codes::AccessDenied : codes::Unknown;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return codes::Unknown;
    file.close();
    // The page is judged by what it holds: a picture or a program is no page,
    // and the engine would show it as text that a save then writes back.
    if (!looksLikeText(bytes))
        return codes::NotText;

    const QString absolute = info.absoluteFilePath();
    // The engine judges a file by its name; a page called "index" or
    // "page.php" goes through a copy named .html, byte for byte.
    const qint64 code = namedAsPage(absolute) ? loadContent(absolute, QStringLiteral("load"))
                                              : loadThroughCopy(bytes, info.absolutePath(), false);
    if (code != codes::Ok)
        return code;
    m_path = absolute;
    m_baseFolder = info.absolutePath();
    m_sourceBom = hasUtf8Bom(bytes) || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    m_sourceBytes = std::move(bytes);
    m_sourceText = QString();
    m_carriedDirty = false;
    m_nextWriteClean = false;
    return codes::Ok;
}

QString WebEngineSurface::chooseSaveAsPath()
{
    if (!m_picker)
        return {};
    return m_picker->pickFile(m_view, FilePicker::Kind::SaveAs, QStringLiteral("Save As"), m_path,
                              QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"));
}

QString WebEngineSurface::originFolder() const
{
    return m_path.isEmpty() ? QString() : QFileInfo(m_path).absolutePath();
}

void WebEngineSurface::NewDocument()
{
    m_path.clear();
    m_nextWriteClean = true;
    m_carriedDirty = false;
    setDocumentHTML(QString());
    m_nextWriteClean = true;
}

bool WebEngineSurface::setDocumentHTML(const QString &html)
{
    bool dirtyAfter = false;
    if (!m_nextWriteClean)
        dirtyAfter = IsDirty() || html != DocumentHTML();
    // The engine loads text given in memory only up to about 2 MB, and
    // relative references must resolve against the page's folder: the text
    // goes to a hidden file for the time of the load, with a byte order mark
    // because it is UTF-8 whatever charset it declares.
    const QString folder = m_path.isEmpty() ? QString() : QFileInfo(m_path).absolutePath();
    const qint64 code = loadThroughCopy(html.toUtf8(), folder, true);
    m_sourceBytes.clear();
    m_sourceText = html;
    m_sourceCharset.clear(); // written as UTF-8 from here
    m_sourceBom = false;
    m_nextWriteClean = false;
    m_carriedDirty = dirtyAfter;
    return code == codes::Ok;
}

qint64 WebEngineSurface::applySource(const QString &html, int caret)
{
    if (m_engineGone || !m_ready)
        return codes::Unknown;
    // What to come back to when the engine refuses the text.
    const DocumentRead before = readDocument();
    const QString sourceText = m_sourceText;
    const QByteArray sourceBytes = m_sourceBytes;
    const QString charset = m_sourceCharset;
    const bool bom = m_sourceBom;
    const bool dirty = IsDirty();
    // The copy goes beside the page, so that its relative references show.
    const qint64 code = loadThroughCopy(html.toUtf8(), originFolder(), true);
    if (code == codes::Ok) {
        m_sourceBytes.clear();
        m_sourceText = html;
        m_sourceCharset = charset; // a save writes it as the page was written
        m_sourceBom = bom;
        m_nextWriteClean = false;
        m_carriedDirty = true;
        if (before.ok)
            m_beforeSource = before.text;
        if (caret >= 0)
            callJsOk(QStringLiteral("qk.caretToElement(%1)").arg(caret));
        return code;
    }
    if (before.ok && loadThroughCopy(before.text.toUtf8(), originFolder(), true) == codes::Ok) {
        // An unchanged page keeps its own bytes; a changed one is now
        // exactly the text it read as.
        m_sourceText = dirty ? before.text : sourceText;
        m_sourceBytes = dirty ? QByteArray() : sourceBytes;
        m_sourceCharset = charset;
        m_sourceBom = bom;
        m_nextWriteClean = false;
        m_carriedDirty = dirty;
    }
    return code;
}

bool WebEngineSurface::loadRecovered(const QString &pagePath, const QString &html)
{
    m_path = pagePath.isEmpty() ? QString() : QFileInfo(pagePath).absoluteFilePath();
    m_nextWriteClean = true;
    const bool ok = setDocumentHTML(html);
    // What was recovered is not on disk yet.
    m_carriedDirty = ok;
    return ok;
}

bool WebEngineSurface::newDocumentAt(const QString &path, const QString &html)
{
    m_path = QFileInfo(path).absoluteFilePath();
    m_nextWriteClean = true;
    const bool ok = setDocumentHTML(html);
    if (!ok)
        m_path.clear();
    return ok;
}

} // namespace surface
