#include "surface/webenginesurface.h"

#include "surface/spelling.h"
#include "surface/webenginesurface_p.h"

#include "pathrel/references.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QQuickWindow>
#include <QStringDecoder>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>

static void initResources()
{
    Q_INIT_RESOURCE(surface);
}

namespace surface {

Q_LOGGING_CATEGORY(lcSave, "quillonkiv.surface.save", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScript, "quillonkiv.surface.script", QtInfoMsg)

namespace {
QString loadScript()
{
    QFile f(QStringLiteral(":/surface/editor.js"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

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

bool hasGraphicsDevice(const QString &devices)
{
#if defined(Q_OS_LINUX)
    if (QFileInfo::exists(devices + QStringLiteral("/nvidiactl")))
        return true;
    // Filtered here: a name filter would compile a pattern, at start-up.
    const QStringList nodes = QDir(devices + QStringLiteral("/dri")).entryList(QDir::System | QDir::Files);
    return std::any_of(nodes.begin(), nodes.end(),
                       [](const QString &node) { return node.startsWith(QLatin1String("renderD")); });
#else
    Q_UNUSED(devices);
    return true;
#endif
}

void prepareBeforeApplication()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Without a graphics processor, OpenGL is a software rasteriser, and
    // drawing the page through it redraws the whole window in the window's
    // thread at every blink of the caret: a tenth of a core while the user
    // only reads, and tens of MiB. Qt Quick's own software renderer draws
    // only what changed. What the user's environment chose stands.
    const bool chosen = !qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") ||
                        !qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE") ||
                        !qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND");
    if (!chosen && !hasGraphicsDevice())
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

void prepareEnvironment()
{
    static const bool prepared = [] {
        // The engine looks for its dictionaries in one folder, once: the
        // user's, where the dictionaries with the user's own words are built.
        qputenv("QTWEBENGINE_DICTIONARIES_PATH", QFile::encodeName(spelling::engineFolder()));
        // The engine sets this one as it starts, to this value.
        if (!qEnvironmentVariableIsSet("force_s3tc_enable"))
            qputenv("force_s3tc_enable", "true");
        return true;
    }();
    Q_UNUSED(prepared);
}

void EditorPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                          int line, const QString &source)
{
    // Page scripts never run: what reaches the console is the surface's own
    // script. Its reports (the page is ready, the page's state) come this
    // way: the console needs nothing set up first, unlike a web channel, whose
    // round trip the start-up would wait for. Anything else it says is worth
    // reading when the page misbehaves.
    static const QString readyMark = QStringLiteral("\u0001qk-ready ");
    static const QString pushMark = QStringLiteral("\u0001qk-push ");
    static const QString pictureMark = QStringLiteral("\u0001qk-picture ");
    static const QString resizeMark = QStringLiteral("\u0001qk-resize ");
    if (level == InfoMessageLevel && message == pictureMark) {
        if (picturePasted)
            picturePasted();
        return;
    }
    if (level == InfoMessageLevel && message.startsWith(resizeMark)) {
        const QStringList size = message.mid(resizeMark.size()).split(u' ', Qt::SkipEmptyParts);
        if (sizeShown)
            sizeShown(size.size() == 2 ? size[0].toInt() : 0, size.size() == 2 ? size[1].toInt() : 0);
        return;
    }
    for (const auto &[mark, report] : {std::pair{&readyMark, &ready}, std::pair{&pushMark, &push}}) {
        if (level != InfoMessageLevel || !message.startsWith(*mark))
            continue;
        const QJsonDocument info = QJsonDocument::fromJson(QStringView(message).mid(mark->size()).toUtf8());
        if (info.isObject() && *report)
            (*report)(info.object().toVariantMap());
        else
            qCWarning(lcScript) << "the script reported what the surface cannot read:" << message;
        return;
    }
    switch (level) {
    case InfoMessageLevel:
        qCInfo(lcScript).noquote() << message;
        break;
    case WarningMessageLevel:
        qCWarning(lcScript).noquote() << message;
        break;
    case ErrorMessageLevel:
        qCWarning(lcScript).noquote() << message << "at" << source << "line" << line;
        break;
    }
}

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
    static QStringList localFiles(const QDropEvent *e) { return pathrel::localFiles(e->mimeData()->urls()); }
    // Files from another program, or from another part of this window (the
    // site panel's tree); what the page itself drags is the engine's.
    bool takes(const QDropEvent *e) const
    {
        const auto *from = qobject_cast<const QWidget *>(e->source());
        const bool fromPage = e->source() && (!from || from == this || isAncestorOf(from));
        return !fromPage && !localFiles(e).isEmpty();
    }

    WebEngineSurface *m_owner;
};

WebEngineSurface::WebEngineSurface(QWidget *parentWidget, QObject *parent) : EditSurface(parent)
{
    initResources();
    prepareEnvironment();
    // Off the record: nothing of the pages edited is kept on disk.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);

    m_view = new EditorView(this, parentWidget);
    m_page = new EditorPage(m_profile, this);
    m_page->ready = [this](const QVariantMap &info) { onReady(info); };
    m_page->push = [this](const QVariantMap &snap) { onSnapshot(snap); };
    // Not from inside the engine's paste: what the program does with the
    // picture (a question, a file written) must not run while it is answered.
    m_page->sizeShown = [this](int width, int height) { emit SizeShown(width, height); };
    m_page->picturePasted = [this] {
        QMetaObject::invokeMethod(this, &EditSurface::PicturePasted, Qt::QueuedConnection);
    };
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

    QWebEngineScript script;
    script.setName(QStringLiteral("quillon-kiv-editor"));
    script.setSourceCode(loadScript());
    // Set up as the document is created; it starts on the page once the page
    // has been read.
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
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
    // Answers the page still owes find no source job to act on.
    m_sourceJob.reset();
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

} // namespace surface
