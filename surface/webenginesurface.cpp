#include "surface/webenginesurface.h"

#include "surface/pagetext.h"
#include "surface/sourcemodel.h"
#include "surface/spelling.h"
#include "surface/surfacedialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QWebChannel>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <atomic>

Q_LOGGING_CATEGORY(lcSave, "quillonkiv.surface.save", QtInfoMsg)

static void initResources()
{
    Q_INIT_RESOURCE(surface);
}

namespace surface {

namespace {
constexpr int kLoadTimeoutMs = 180000;

// Each load gets its own query, so that reports from a page that has since
// been replaced are told apart.
QUrl documentUrl(const QString &path, const QString &tag)
{
    QUrl url = QUrl::fromLocalFile(path);
    url.setQuery(QStringLiteral("qk=") + tag);
    return url;
}

QString jsArg(const QVariant &v)
{
    // A one-element JSON array, so that any text arrives as a JS string.
    const QByteArray json =
        QJsonDocument(QJsonArray{QJsonValue::fromVariant(v)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json) + QStringLiteral("[0]");
}

// The text of a file's bytes read with the charset the engine read them with.
QString decodePage(const QByteArray &bytes, const QString &charset)
{
    QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.toLatin1().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

bool hasUtf8Bom(const QByteArray &bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

bool namedAsPage(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm");
}

QString loadScript()
{
    QString source;
    for (const char *name : {":/qtwebchannel/qwebchannel.js", ":/surface/editor.js"}) {
        QFile f(QString::fromLatin1(name));
        if (f.open(QIODevice::ReadOnly))
            source += QString::fromUtf8(f.readAll()) + u'\n';
    }
    return source;
}
} // namespace

void prepareBeforeApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// The page: no new windows, no navigation but the surface's own loads.
class EditorPage final : public QWebEnginePage
{
public:
    EditorPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}
    QString allowedUrl;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return isMainFrame && url.toString() == allowedUrl;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {}
};

// Files dragged in from outside are the program's to take: the engine would
// only refuse them. Drags of the page's own content stay the engine's.
class EditorView final : public QWebEngineView
{
public:
    EditorView(WebEngineSurface *owner, QWidget *parent) : QWebEngineView(parent), m_owner(owner) {}

protected:
    void dragEnterEvent(QDragEnterEvent *e) override
    {
        if (!takes(e))
            return QWebEngineView::dragEnterEvent(e);
        e->setDropAction(Qt::CopyAction);
        e->accept();
    }
    void dragMoveEvent(QDragMoveEvent *e) override
    {
        if (!takes(e))
            return QWebEngineView::dragMoveEvent(e);
        e->setDropAction(Qt::CopyAction);
        e->accept();
    }
    void dropEvent(QDropEvent *e) override
    {
        if (!takes(e))
            return QWebEngineView::dropEvent(e);
        e->setDropAction(Qt::CopyAction);
        e->accept();
        m_owner->dropFiles(localFiles(e), e->position());
    }

private:
    static QStringList localFiles(const QDropEvent *e)
    {
        QStringList files;
        for (const QUrl &url : e->mimeData()->urls())
            if (url.isLocalFile())
                files << url.toLocalFile();
        return files;
    }
    static bool takes(const QDropEvent *e) { return !e->source() && !localFiles(e).isEmpty(); }

    WebEngineSurface *m_owner;
};

// The object the surface's script talks to.
class PageBridge final : public QObject
{
    Q_OBJECT
public:
    explicit PageBridge(WebEngineSurface *owner) : QObject(owner), m_owner(owner) {}
public slots:
    void push(const QVariantMap &snap) { m_owner->onSnapshot(snap); }
    void ready(const QVariantMap &info) { m_owner->onReady(info); }

private:
    WebEngineSurface *m_owner;
};

// The parse of the page's source, done on a thread of the pool.
struct WebEngineSurface::SourceJob
{
    std::atomic<bool> done{false};
    std::shared_ptr<SourceModel> model;
};

WebEngineSurface::WebEngineSurface(QWidget *parentWidget, QObject *parent) : EditSurface(parent)
{
    initResources();
    // The engine looks for its dictionaries in one folder, once: the user's,
    // where the dictionaries with the user's own words are built.
    static const bool dictionariesFound = [] {
        qputenv("QTWEBENGINE_DICTIONARIES_PATH", QFile::encodeName(spelling::engineFolder()));
        return true;
    }();
    Q_UNUSED(dictionariesFound);
    // Off the record: nothing of the pages edited is kept on disk.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);

    m_view = new EditorView(this, parentWidget);
    m_page = new EditorPage(m_profile, this);
    QWebEngineSettings *s = m_page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false); // page scripts never run
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);

    m_bridge = new PageBridge(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("qkBridge"), m_bridge);
    m_page->setWebChannel(m_channel, QWebEngineScript::ApplicationWorld);

    QWebEngineScript script;
    script.setName(QStringLiteral("quillon-kiv-editor"));
    script.setSourceCode(loadScript());
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    m_page->scripts().insert(script);

    // Only the failure of our own load counts: a refused meta refresh or link
    // reports a failed load of its own address.
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
            info.url().toString() == m_expectedUrl && !m_ready)
            m_loadFailed = true;
    });
    m_sourcePoll.setInterval(50);
    connect(&m_sourcePoll, &QTimer::timeout, this, &WebEngineSurface::alignWhenIdle);

    // A renderer that crashes or that the system ends is reported at once:
    // nothing waits for an answer that will never come.
    connect(
        m_page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int) { onEngineGone(int(status)); });
    m_view->setPage(m_page);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &WebEngineSurface::showContextMenu);
}

WebEngineSurface::~WebEngineSurface()
{
    // The page must go before its profile.
    if (m_view)
        m_view->setPage(nullptr);
    delete m_page;
    m_page = nullptr;
    delete m_view;
}

QWidget *WebEngineSurface::widget()
{
    return m_view;
}

void WebEngineSurface::setFilePicker(std::shared_ptr<FilePicker> picker)
{
    m_picker = std::move(picker);
}

bool WebEngineSurface::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    // A bounded local wait that lets the engine's replies in but no user input,
    // so nothing the user does can re-enter the surface meanwhile.
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    ++m_waitDepth;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_waitDepth;
    if (m_waitDepth == 0 && m_displayDeferred) {
        m_displayDeferred = false;
        scheduleDisplayChanged();
    }
    return done();
}

WebEngineSurface::Call WebEngineSurface::callJs(const QString &code, int timeoutMs)
{
    Call call;
    if (m_engineGone) {
        call.status = Call::EngineGone;
        return call;
    }
    if (!m_page || !m_ready)
        return call;
    struct State
    {
        bool done = false;
        QVariant value;
    };
    auto state = std::make_shared<State>();
    m_page->runJavaScript(code, QWebEngineScript::ApplicationWorld, [state](const QVariant &v) {
        state->value = v;
        state->done = true;
    });
    waitUntil([&] { return state->done || m_engineGone; }, timeoutMs);
    if (state->done) {
        call.status = Call::Ok;
        call.value = state->value;
    } else {
        call.status = m_engineGone ? Call::EngineGone : Call::Timeout;
    }
    return call;
}

bool WebEngineSurface::callJsOk(const QString &code)
{
    const Call r = callJs(code);
    if (!r.ok())
        return false;
    const QVariantMap m = r.value.toMap();
    if (m.contains(QStringLiteral("snap")))
        applySnapshot(m.value(QStringLiteral("snap")).toMap());
    return m.value(QStringLiteral("ok")).toBool();
}

void WebEngineSurface::refreshSnapshot()
{
    if (const Call r = callJs(QStringLiteral("qk.snap()")); r.ok())
        applySnapshot(r.value.toMap());
}

std::optional<QVariant> WebEngineSurface::evaluate(const QString &code)
{
    const Call r = callJs(code);
    return r.ok() ? std::optional<QVariant>(r.value) : std::nullopt;
}

qint64 WebEngineSurface::rendererProcessId() const
{
    return m_page ? m_page->renderProcessPid() : 0;
}

void WebEngineSurface::onEngineGone(int status)
{
    if (m_engineGone)
        return;
    m_engineGone = true;
    QString reason;
    switch (QWebEnginePage::RenderProcessTerminationStatus(status)) {
    case QWebEnginePage::KilledTerminationStatus:
        reason = tr("The page's display engine was ended by the system, perhaps for lack of memory");
        break;
    case QWebEnginePage::CrashedTerminationStatus:
        reason = tr("The page's display engine crashed");
        break;
    default:
        reason = tr("The page's display engine stopped");
        break;
    }
    // Not from inside a wait: the caller that waited learns of it first.
    QMetaObject::invokeMethod(
        this, [this, reason] { emit EngineFailed(reason); }, Qt::QueuedConnection);
}

QString WebEngineSurface::readFailure(const Call &call) const
{
    switch (call.status) {
    case Call::EngineGone:
        return tr("The page's display engine has stopped");
    case Call::Timeout:
        return tr("The page's display engine did not answer in time");
    case Call::NotReady:
        return tr("The page is still loading");
    default:
        return tr("The page could not be read from the display engine");
    }
}

void WebEngineSurface::onReady(const QVariantMap &info)
{
    if (info.value(QStringLiteral("tag")).toString() != m_expectedTag)
        return; // a page that has since been replaced
    m_frameset = info.value(QStringLiteral("frameset")).toBool();
    m_sourceCharset = info.value(QStringLiteral("charset")).toString();
    m_sourceQuirks = info.value(QStringLiteral("quirks")).toBool();
    m_ready = true;
    if (!m_frameset)
        applySnapshot(info.value(QStringLiteral("snap")).toMap());
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

void WebEngineSurface::onSnapshot(const QVariantMap &snap)
{
    if (snap.value(QStringLiteral("tag")).toString() != m_expectedTag)
        return;
    applySnapshot(snap);
}

void WebEngineSurface::applySnapshot(const QVariantMap &snap)
{
    if (snap.isEmpty())
        return;
    const QVariantMap status = snap.value(QStringLiteral("status")).toMap();
    m_status.clear();
    for (auto it = status.cbegin(); it != status.cend(); ++it)
        m_status.insert(it.key().toInt(), it.value().toInt());
    m_fontName = snap.value(QStringLiteral("fontName")).toString();
    m_fontSize = snap.value(QStringLiteral("fontSize")).toInt();
    m_blockFormat = snap.value(QStringLiteral("blockFormat")).toString();
    m_selType = snap.value(QStringLiteral("selType")).toString();
    m_title = snap.value(QStringLiteral("title")).toString();
    m_jsDirty = snap.value(QStringLiteral("dirty")).toBool();
    // The source is parsed once the page changes: a page only looked at
    // never costs the parse, and opening is not slowed by it.
    if (IsDirty() && !m_sourceJob && m_ready)
        startSourceJob(m_sourceText, m_sourceBytes);
    m_changes = snap.value(QStringLiteral("changes")).toInt();
    scheduleDisplayChanged();
}

void WebEngineSurface::scheduleDisplayChanged()
{
    if (m_displayPending)
        return;
    m_displayPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_displayPending = false;
            // Not from inside one of our own waits: the caller that is waiting
            // must not find the window's state changed under it.
            if (m_waitDepth > 0) {
                m_displayDeferred = true;
                return;
            }
            emit DisplayChanged();
        },
        Qt::QueuedConnection);
}

void WebEngineSurface::startLoad(const QString &filePath, const QString &tag)
{
    ++m_generation;
    const QUrl url = documentUrl(filePath, tag + QString::number(m_generation));
    m_expectedUrl = url.toString();
    m_expectedTag = u'?' + url.query(QUrl::FullyEncoded);
    m_loadingFolder = QFileInfo(filePath).absolutePath();
    m_ready = false;
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
        callJs(QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails));
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
    startLoad(file->fileName(), QStringLiteral("write"));
    m_pendingCopy = std::move(file); // until the engine has read it
    m_path.clear();
    m_sourceBytes.clear();
    m_sourceText = html;
    m_sourceCharset.clear();
    m_sourceBom = false;
    m_nextWriteClean = false;
    m_carriedDirty = false;
    m_finishWhenReady = true;
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

void WebEngineSurface::startSourceJob(const QString &text, const QByteArray &bytes)
{
    auto job = std::make_shared<SourceJob>();
    m_sourceJob = job;
    m_aligned = false;
    QByteArray body = bytes;
    if (hasUtf8Bom(body))
        body.remove(0, 3);
    const QString charset = m_sourceCharset;
    const int quirks = m_sourceQuirks ? 1 : 0;
    QThreadPool::globalInstance()->start([job, text, body, charset, quirks] {
        job->model = std::make_shared<SourceModel>(text.isNull() ? decodePage(body, charset) : text, quirks);
        job->done = true;
    });
    // The match with the page is made while the user looks at it, so that
    // the first save does not wait for it. The window's thread looks for the
    // parse to finish; nothing is sent to it from the pool.
    m_sourcePoll.start();
}

void WebEngineSurface::alignWhenIdle()
{
    if (!m_sourceJob || m_aligned || m_engineGone) {
        m_sourcePoll.stop();
        return;
    }
    if (!m_sourceJob->done || m_waitDepth > 0 || m_busy || !m_ready)
        return;
    m_sourcePoll.stop();
    QString ignored;
    ensureAligned(&ignored);
}

QString WebEngineSurface::sourceText() const
{
    if (!m_sourceText.isNull())
        return m_sourceText;
    QByteArray body = m_sourceBytes;
    if (hasUtf8Bom(body))
        body.remove(0, 3);
    return decodePage(body, m_sourceCharset);
}

bool WebEngineSurface::ensureAligned(QString *error)
{
    if (m_aligned)
        return true;
    if (!m_sourceJob)
        startSourceJob(m_sourceText, m_sourceBytes);
    const std::shared_ptr<SourceJob> job = m_sourceJob;
    waitUntil([&] { return job->done.load() || m_engineGone; }, kLoadTimeoutMs);
    if (!job->done) {
        *error = tr("the page's source is still being read");
        return false;
    }
    const Call shape = callJs(QStringLiteral("qk.shape()"), 60000);
    if (!shape.ok()) {
        *error = readFailure(shape);
        return false;
    }
    const SourceModel::Alignment a = job->model->align(shape.value.toString());
    QJsonArray unaligned;
    for (const auto &[first, last] : a.unaligned)
        unaligned.append(QJsonArray{first, last});
    QJsonArray notWhole;
    for (const int i : a.notWhole)
        notWhole.append(i);
    const QJsonObject message{{QStringLiteral("unaligned"), unaligned},
                              {QStringLiteral("notWhole"), notWhole}};
    const Call set =
        callJs(QStringLiteral("qk.setAlignment(%1)")
                   .arg(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact))),
               60000);
    if (!set.ok()) {
        *error = readFailure(set);
        return false;
    }
    m_sourceFallbacks = a.fallbacks;
    m_aligned = true;
    if (a.fallbacks)
        qCInfo(lcSave)
            << a.fallbacks
            << "parts of the page differ between the engine and its source; they are written afresh";
    return true;
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

qint64 WebEngineSurface::PrintDocument(bool prompt)
{
    if (!m_view)
        return codes::Unknown;
    QPrinter printer;
    if (prompt) {
        QPrintDialog dialog(&printer, m_view);
        if (dialog.exec() != QDialog::Accepted)
            return codes::Cancelled;
    }
    // The view aids are for editing, not for paper.
    if (m_showBorders || m_showDetails)
        callJs(QStringLiteral("qk.setViewAids(false, false)"));
    bool finished = false;
    bool success = false;
    auto conn = connect(m_view, &QWebEngineView::printFinished, this, [&](bool ok) {
        finished = true;
        success = ok;
    });
    m_view->print(&printer);
    waitUntil([&] { return finished; }, 120000);
    disconnect(conn);
    if (m_showBorders || m_showDetails)
        callJs(QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails));
    return success ? codes::Ok : codes::Unknown;
}

bool WebEngineSurface::printToPdf(const QString &filePath)
{
    if (!m_page)
        return false;
    if (m_showBorders || m_showDetails)
        callJs(QStringLiteral("qk.setViewAids(false, false)"));
    bool finished = false;
    bool success = false;
    auto conn = connect(m_page, &QWebEnginePage::pdfPrintingFinished, this, [&](const QString &, bool ok) {
        finished = true;
        success = ok;
    });
    m_page->printToPdf(filePath);
    waitUntil([&] { return finished; }, 120000);
    disconnect(conn);
    if (m_showBorders || m_showDetails)
        callJs(QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails));
    return success;
}

DocumentRead WebEngineSurface::readDocument()
{
    DocumentRead read;
    read.charset = m_sourceCharset;
    read.bom = m_sourceBom;
    if (m_engineGone || !m_ready) {
        Call gone;
        gone.status = m_engineGone ? Call::EngineGone : Call::NotReady;
        read.error = readFailure(gone);
        return read;
    }
    // The cached flag may lag a change made a moment ago: ask the page.
    if (!IsDirty())
        refreshSnapshot();
    if (m_engineGone) {
        read.error = readFailure(Call{Call::EngineGone, {}});
        return read;
    }
    if (!IsDirty()) {
        read.ok = true;
        read.unchanged = true;
        read.text = sourceText();
        read.originalBytes = m_sourceBytes;
        read.changes = m_changes;
        return read;
    }
    // Changed only by what was loaded into it (a recovered copy, a source the
    // user wrote): that text is the page, exactly as it was written.
    if (!m_jsDirty)
        refreshSnapshot();
    if (!m_jsDirty && !m_engineGone && !m_sourceText.isNull()) {
        read.ok = true;
        read.text = m_sourceText;
        read.changes = m_changes;
        return read;
    }
    QString why;
    QElapsedTimer timer;
    timer.start();
    if (ensureAligned(&why)) {
        qCDebug(lcSave, "aligned: %lld ms", timer.restart());
        const Call recipe = callJs(QStringLiteral("qk.recipe()"), 60000);
        qCDebug(lcSave, "recipe: %lld ms", timer.restart());
        if (!recipe.ok()) {
            read.error = readFailure(recipe);
            return read;
        }
        const QVariantMap m = recipe.value.toMap();
        if (m.value(QStringLiteral("ok")).toBool()) {
            const SourceModel::Assembled a =
                m_sourceJob->model->assemble(m.value(QStringLiteral("recipe")).toString().toUtf8());
            qCDebug(lcSave, "assembled: %lld ms", timer.restart());
            if (a.ok) {
                read.ok = true;
                read.text = a.text;
                read.changes = m.value(QStringLiteral("changes")).toInt();
                return read;
            }
            why = a.error;
        } else {
            why = m.value(QStringLiteral("error")).toString();
        }
    } else if (m_engineGone) {
        read.error = readFailure(Call{Call::EngineGone, {}});
        return read;
    }
    // No recipe: the whole page as the engine writes it, which loses the
    // source's own spelling but nothing of the page.
    ++m_wholePageFallbacks;
    qCWarning(lcSave) << "the page is written afresh:" << why;
    const Call whole = callJs(QStringLiteral("qk.wholePage()"), 60000);
    const QVariantMap m = whole.value.toMap();
    if (!whole.ok() || !m.value(QStringLiteral("ok")).toBool()) {
        read.error = readFailure(whole.ok() ? Call{Call::ScriptError, {}} : whole);
        return read;
    }
    read.ok = true;
    read.text = m.value(QStringLiteral("html")).toString();
    read.changes = m.value(QStringLiteral("changes")).toInt();
    return read;
}

void WebEngineSurface::documentSaved(const SavedDocument &saved)
{
    m_path = QFileInfo(saved.path).absoluteFilePath();
    const QString folder = QFileInfo(m_path).absolutePath();
    QJsonObject relative;
    for (auto it = saved.relativeReferences.cbegin(); it != saved.relativeReferences.cend(); ++it)
        relative.insert(it.key(), it.value());
    QJsonObject info{{QStringLiteral("changes"), saved.changes}, {QStringLiteral("relative"), relative}};
    const bool moved = folder != m_baseFolder;
    if (moved)
        info.insert(QStringLiteral("base"), QUrl::fromLocalFile(folder + u'/').toString());
    const Call r = callJs(QStringLiteral("qk.saved(%1)")
                              .arg(QString::fromUtf8(QJsonDocument(info).toJson(QJsonDocument::Compact))));
    const QVariantMap m = r.value.toMap();
    if (!r.ok() || !m.value(QStringLiteral("ok")).toBool()) {
        // Changed while it was written: it stays changed, and its old source
        // still describes it.
        m_carriedDirty = true;
        return;
    }
    if (moved)
        m_baseFolder = folder;
    m_sourceText = saved.text;
    m_sourceBytes = saved.bytes;
    m_sourceCharset = saved.charset;
    m_sourceBom = saved.bom;
    m_carriedDirty = false;
    m_nextWriteClean = false;
    startSourceJob(m_sourceText, {});
    applySnapshot(m.value(QStringLiteral("snap")).toMap());
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

int WebEngineSurface::caretElement()
{
    const Call r = callJs(QStringLiteral("qk.caretElement()"));
    return r.ok() ? r.value.toInt() : -1;
}

QString WebEngineSurface::pageLanguage()
{
    const Call r = callJs(QStringLiteral("qk.lang()"));
    return r.ok() ? r.value.toString() : QString();
}

void WebEngineSurface::setSpellCheckDictionary(const QString &name)
{
    const QStringList languages = name.isEmpty() ? QStringList() : QStringList{name};
    if (languages == m_profile->spellCheckLanguages() && m_profile->isSpellCheckEnabled() == !name.isEmpty())
        return;
    // Words marked with the old dictionary stay marked until the page checks
    // them again, which it leaves for a quiet moment: off and on again takes
    // the marks away at once, and the new dictionary puts back its own.
    m_profile->setSpellCheckEnabled(false);
    m_profile->setSpellCheckLanguages(languages);
    m_profile->setSpellCheckEnabled(!name.isEmpty());
}

void WebEngineSurface::replaceMisspelledWord(const QString &replacement)
{
    if (!m_ready || m_misspelled.isEmpty())
        return;
    m_page->replaceMisspelledWord(replacement);
    m_misspelled.clear();
    m_suggestions.clear();
    refreshSnapshot();
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

QString WebEngineSurface::DocumentTitle() const
{
    return m_title;
}

bool WebEngineSurface::IsDirty() const
{
    return m_carriedDirty || m_jsDirty;
}

void WebEngineSurface::setShowBorders(bool on)
{
    m_showBorders = on;
    callJs(QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails));
}

void WebEngineSurface::setShowDetails(bool on)
{
    m_showDetails = on;
    callJs(QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails));
}

void WebEngineSurface::setSnapToGrid(bool on)
{
    m_snapToGrid = on;
    callJs(QStringLiteral("qk.setSnap(%1)").arg(on));
}

QVariant WebEngineSurface::ExecCommand(int command, int /*option*/, const QVariant &value)
{
    if (!m_ready)
        return {};
    switch (command) {
    case DECMD_GETFONTNAME:
        return m_fontName;
    case DECMD_GETFONTSIZE:
        return m_status.value(DECMD_GETFONTSIZE) == DECMDF_NINCHED ? 0 : m_fontSize;
    case DECMD_GETBLOCKFMT:
        return m_blockFormat;
    case DECMD_GETBLOCKFMTNAMES:
        if (const Call r = callJs(QStringLiteral("qk.blockFormatNames()")); r.ok())
            return r.value.toStringList();
        return {};
    case DECMD_CUT:
    case DECMD_COPY:
    case DECMD_PASTE:
    case DECMD_UNDO:
    case DECMD_REDO: {
        // Whether there is anything to undo, redo or cut is asked of the page
        // itself: the last pushed state may not have caught up with the page yet.
        refreshSnapshot();
        if (command == DECMD_UNDO && m_beforeSource && m_status.value(DECMD_UNDO) < DECMDF_ENABLED) {
            // The engine's history ended where the source was applied: the
            // page before it comes back as one step.
            const QString before = *m_beforeSource;
            if (applySource(before, caretElement()) != codes::Ok)
                return {};
            m_beforeSource.reset();
            return true;
        }
        if (QueryStatus(command) < DECMDF_ENABLED)
            return {};
        static const QHash<int, QWebEnginePage::WebAction> actions = {{DECMD_CUT, QWebEnginePage::Cut},
                                                                      {DECMD_COPY, QWebEnginePage::Copy},
                                                                      {DECMD_PASTE, QWebEnginePage::Paste},
                                                                      {DECMD_UNDO, QWebEnginePage::Undo},
                                                                      {DECMD_REDO, QWebEnginePage::Redo}};
        m_page->triggerAction(actions.value(command));
        refreshSnapshot();
        return true;
    }
    case DECMD_FINDTEXT: {
        if (!m_findDialog) {
            m_findDialog = new FindDialog(
                [this](const QString &text, bool matchCase, bool wholeWord, bool backward) {
                    return findText(text, matchCase, wholeWord, backward);
                },
                m_view);
            m_findDialog->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_findDialog->show();
        m_findDialog->raise();
        m_findDialog->activateWindow();
        return true;
    }
    case DECMD_FONT: {
        if (QueryStatus(command) < DECMDF_ENABLED)
            return {};
        FontChoice current;
        current.face = m_fontName;
        current.size = m_fontSize;
        current.bold = m_status.value(DECMD_BOLD) == DECMDF_LATCHED;
        current.italic = m_status.value(DECMD_ITALIC) == DECMDF_LATCHED;
        current.underline = m_status.value(DECMD_UNDERLINE) == DECMDF_LATCHED;
        std::optional<FontChoice> chosen;
        if (m_picker)
            chosen = m_picker->pickFont(m_view, current);
        else {
            FontDialog dialog(current, m_view);
            if (dialog.exec() == QDialog::Accepted)
                chosen = dialog.choice();
        }
        if (!chosen)
            return {};
        return applyFont(*chosen) ? QVariant(true) : QVariant();
    }
    case DECMD_INSERTROW:
    case DECMD_INSERTCOL:
    case DECMD_DELETEROWS:
    case DECMD_DELETECOLS:
        if (callJsOk(QStringLiteral("qk.tableCommand(%1)").arg(command)))
            return true;
        return {};
    case DECMD_MAKE_ABSOLUTE:
        if (callJsOk(QStringLiteral("qk.toggleAbsolute()")))
            return true;
        return {};
    default:
        break;
    }
    if (callJsOk(QStringLiteral("qk.exec(%1, %2)").arg(command).arg(jsArg(value))))
        return true;
    return {};
}

int WebEngineSurface::QueryStatus(int command) const
{
    if (!m_ready)
        return m_status.isEmpty() && command >= DECMD_BOLD && command <= DECMD_UNORDERLIST
                   ? DECMDF_DISABLED
                   : DECMDF_NOTSUPPORTED;
    if (command == DECMD_UNDO && m_beforeSource)
        return DECMDF_ENABLED;
    return m_status.value(command, DECMDF_NOTSUPPORTED);
}

void WebEngineSurface::SetContextMenu(const QStringList &captions, const QList<int> &states)
{
    m_menuCaptions = captions;
    m_menuStates = states;
}

void WebEngineSurface::showContextMenu(const QPoint &pos)
{
    if (!m_ready || !m_page)
        return;
    // What the engine knows of the word under the mouse, before another
    // right-click replaces it.
    const QWebEngineContextMenuRequest *request = m_view ? m_view->lastContextMenuRequest() : nullptr;
    m_misspelled = request ? request->misspelledWord() : QString();
    m_suggestions = request ? request->spellCheckerSuggestions() : QStringList();
    // The engine waits for this request to be answered before it runs any
    // script, so the snapshot (the right-click may have moved the selection)
    // is asked for without waiting, and the menu opens when it comes.
    QPointer<WebEngineSurface> self(this);
    m_page->runJavaScript(QStringLiteral("qk.snap()"), QWebEngineScript::ApplicationWorld,
                          [self, pos](const QVariant &snap) {
                              if (!self)
                                  return;
                              self->applySnapshot(snap.toMap());
                              QMetaObject::invokeMethod(
                                  self,
                                  [self, pos] {
                                      if (self)
                                          self->openContextMenu(pos);
                                  },
                                  Qt::QueuedConnection);
                          });
}

void WebEngineSurface::openContextMenu(const QPoint &pos)
{
    if (!m_view)
        return;
    m_menuCaptions.clear();
    m_menuStates.clear();
    emit ShowContextMenu();
    if (m_menuCaptions.isEmpty())
        return;
    QMenu menu(m_view);
    QList<QAction *> actions;
    for (qsizetype i = 0; i < m_menuCaptions.size(); ++i) {
        QAction *a = nullptr;
        if (m_menuCaptions[i].isEmpty()) {
            a = menu.addSeparator();
        } else {
            a = menu.addAction(m_menuCaptions[i]);
            a->setEnabled(m_menuStates.value(i) != 2);
        }
        actions.append(a);
    }
    QAction *chosen = menu.exec(m_view->mapToGlobal(pos));
    const qsizetype index = actions.indexOf(chosen);
    if (chosen && index >= 0)
        emit ContextMenuAction(int(index));
}

void WebEngineSurface::dropFiles(const QStringList &paths, const QPointF &at)
{
    const double zoom = m_view && m_view->zoomFactor() > 0 ? m_view->zoomFactor() : 1.0;
    callJsOk(QStringLiteral("qk.caretAt(%1, %2)").arg(at.x() / zoom).arg(at.y() / zoom));
    // Not from inside the drop: whatever the files start (a question, a
    // load) must not run while the system's drag is still being answered.
    QMetaObject::invokeMethod(
        this, [this, paths] { emit FilesDropped(paths); }, Qt::QueuedConnection);
}

bool WebEngineSurface::findText(const QString &text, bool matchCase, bool wholeWord, bool backward)
{
    return callJsOk(QStringLiteral("qk.find(%1, %2, %3, %4)")
                        .arg(jsArg(text), matchCase ? QStringLiteral("true") : QStringLiteral("false"),
                             wholeWord ? QStringLiteral("true") : QStringLiteral("false"),
                             backward ? QStringLiteral("true") : QStringLiteral("false")));
}

bool WebEngineSurface::applyFont(const FontChoice &font)
{
    QVariantMap f;
    f.insert(QStringLiteral("face"), font.face);
    f.insert(QStringLiteral("size"), font.size);
    f.insert(QStringLiteral("bold"), font.bold);
    f.insert(QStringLiteral("italic"), font.italic);
    f.insert(QStringLiteral("underline"), font.underline);
    f.insert(QStringLiteral("color"), font.color);
    return callJsOk(QStringLiteral("qk.applyFont(%1)").arg(jsArg(f)));
}

QString WebEngineSurface::selectionType() const
{
    return m_selType;
}

std::optional<QString> WebEngineSurface::rangeText()
{
    const Call r = callJs(QStringLiteral("qk.rangeText()"));
    if (!r.ok())
        return std::nullopt;
    const QVariantMap m = r.value.toMap();
    applySnapshot(m.value(QStringLiteral("snap")).toMap());
    if (!m.value(QStringLiteral("ok")).toBool())
        return std::nullopt;
    return m.value(QStringLiteral("text")).toString();
}

bool WebEngineSurface::pasteAtRange(const QString &html)
{
    return callJsOk(QStringLiteral("qk.paste(%1)").arg(jsArg(html)));
}

bool WebEngineSurface::collapseSelection(bool toStart)
{
    return callJsOk(QStringLiteral("qk.collapse(%1)").arg(toStart));
}

QString WebEngineSurface::documentProperty(const QString &name)
{
    const Call r = callJs(QStringLiteral("qk.docProp(%1)").arg(jsArg(name)));
    return r.ok() ? r.value.toString() : QString();
}

bool WebEngineSurface::setDocumentProperty(const QString &name, const QString &value)
{
    return callJsOk(QStringLiteral("qk.setDocProp(%1, %2)").arg(jsArg(name), jsArg(value)));
}

bool WebEngineSurface::setBodyAttribute(const QString &name, const QString &value)
{
    return callJsOk(QStringLiteral("qk.setBodyAttr(%1, %2)").arg(jsArg(name), jsArg(value)));
}

bool WebEngineSurface::removeBodyAttribute(const QString &name)
{
    return callJsOk(QStringLiteral("qk.removeBodyAttr(%1)").arg(jsArg(name)));
}

QString WebEngineSurface::bodyAttribute(const QString &name)
{
    const Call r = callJs(QStringLiteral("qk.bodyAttr(%1)").arg(jsArg(name)));
    return r.ok() ? r.value.toString() : QString();
}

} // namespace surface

#include "webenginesurface.moc"
