// Calls into the page's script, and the editing state it reports.

#include "surface/snapshot.h"
#include "surface/webenginesurface_p.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace surface {

bool WebEngineSurface::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    // What this waits for (a load, the parse on the pool) sends no signal
    // of its own to quit on: it is looked at every millisecond.
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start();
    wait(loop, timeoutMs, done);
    return done();
}

bool WebEngineSurface::wait(QEventLoop &loop, int timeoutMs, const std::function<bool()> &done)
{
    // A bounded local wait that lets the engine's replies in but no user input,
    // so nothing the user does can re-enter the surface meanwhile. A renderer
    // that stops ends it: no answer will come.
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (m_page)
        QObject::connect(m_page, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);

    // A wait the user notices must not look like a hang: after a moment the
    // busy cursor and a word in the status bar, and after longer the offer
    // to stop waiting, since input stays shut out meanwhile.
    bool shown = false;
    bool gaveUp = false;
    QTimer busy;
    busy.setSingleShot(true);
    QObject::connect(&busy, &QTimer::timeout, &loop, [&] {
        shown = true;
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        emit waitNotice(tr("Waiting for the page's display engine..."));
    });
    busy.start(m_busyCursorAfterMs);
    QTimer offer;
    offer.setSingleShot(true);
    QObject::connect(&offer, &QTimer::timeout, &loop, [&] {
        if (!m_picker || done())
            return;
        const auto stillWaiting = [&] { return !done() && !m_engineGone; };
        if (m_picker->offerToStopWaiting(m_view, tr("The page's display engine has not answered yet."),
                                         stillWaiting) &&
            stillWaiting()) {
            gaveUp = true;
            loop.quit();
        } else {
            offer.start(m_offerStopAfterMs);
        }
    });
    offer.start(m_offerStopAfterMs);

    ++m_waitDepth;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --m_waitDepth;
    m_gaveUp = gaveUp;
    if (shown) {
        QGuiApplication::restoreOverrideCursor();
        emit waitNotice(QString());
    }
    if (m_waitDepth == 0 && m_displayDeferred) {
        m_displayDeferred = false;
        scheduleDisplayChanged();
    }
    return gaveUp;
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
    // The reply ends the wait itself. It may come after the wait gave up,
    // when the loop is gone: the reply's state outlives the call, and it
    // reaches the loop only while the loop exists.
    struct Reply
    {
        std::optional<QVariant> value;
        QPointer<QEventLoop> loop;
    };
    auto reply = std::make_shared<Reply>();
    QEventLoop loop;
    reply->loop = &loop;
    m_page->runJavaScript(code, QWebEngineScript::ApplicationWorld, [reply](const QVariant &v) {
        reply->value = v;
        if (reply->loop)
            reply->loop->quit();
    });
    bool gaveUp = false;
    if (!reply->value && !m_engineGone)
        gaveUp = wait(loop, timeoutMs, [&] { return reply->value.has_value() || m_engineGone; });
    reply->loop = nullptr;
    if (reply->value) {
        call.status = Call::Ok;
        call.value = *reply->value;
    } else {
        call.status = m_engineGone ? Call::EngineGone : gaveUp ? Call::GaveUp : Call::Timeout;
    }
    return call;
}

bool WebEngineSurface::callJsOk(const QString &code)
{
    const Call r = callJs(code);
    if (!r.ok())
        return false;
    const QVariantMap m = r.value.toMap();
    m_readyLanguage.reset(); // a command has changed the page, or may have
    applySnapshot(m.value(QStringLiteral("snap")));
    return m.value(QStringLiteral("ok")).toBool();
}

void WebEngineSurface::refreshSnapshot()
{
    if (const Call r = callJs(QStringLiteral("qk.snap()")); r.ok())
        applySnapshot(r.value);
}

std::optional<QVariant> WebEngineSurface::evaluate(const QString &code)
{
    const Call r = callJs(code);
    return r.ok() ? std::optional<QVariant>(r.value) : std::nullopt;
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
    case Call::GaveUp:
        return tr("Waiting for the page's display engine was stopped");
    default:
        return tr("The page could not be read from the display engine");
    }
}

namespace {
// The script's report of the editing state; a report the surface cannot read
// is left out (the state shown stays as it was) and logged.
std::optional<Snapshot> readSnapshot(const QVariant &reported)
{
    std::optional<Snapshot> snap = Snapshot::fromVariant(reported);
    if (!snap)
        qCWarning(lcScript) << "the script reported an editing state the surface cannot read:" << reported;
    return snap;
}
} // namespace

void WebEngineSurface::onSnapshot(const QVariantMap &reported)
{
    const std::optional<Snapshot> snap = readSnapshot(reported);
    if (snap && snap->tag == m_expectedTag) {
        // The language the page reported when it became ready holds until
        // the page changes: the state that follows the report, and any
        // selection since, leave it as it was.
        if (!m_stateDue && snap->changes != m_changes)
            m_readyLanguage.reset();
        applySnapshot(*snap);
    }
}

void WebEngineSurface::applySnapshot(const QVariant &reported)
{
    if (!reported.isValid())
        return; // an answer that carries none
    if (const std::optional<Snapshot> snap = readSnapshot(reported))
        applySnapshot(*snap);
}

void WebEngineSurface::applySnapshot(const Snapshot &snap)
{
    m_stateDue = false;
    m_status = snap.status;
    m_fontName = snap.fontName;
    m_fontSize = snap.fontSize;
    m_blockFormat = snap.blockFormat;
    m_selType = snap.selType;
    m_title = snap.title;
    m_jsDirty = snap.dirty;
    // The source is parsed once the page changes: a page only looked at
    // never costs the parse, and opening is not slowed by it.
    if (IsDirty() && !m_sourceJob && m_ready)
        startSourceJob(m_sourceText, m_sourceBytes);
    m_changes = snap.changes;
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

bool WebEngineSurface::caretToElement(int index)
{
    return m_ready && index >= 0 && callJsOk(QStringLiteral("qk.caretToElement(%1)").arg(index));
}

int WebEngineSurface::caretElement()
{
    const Call r = callJs(QStringLiteral("qk.caretElement()"));
    return r.ok() ? r.value.toInt() : -1;
}

QString WebEngineSurface::pageLanguage()
{
    if (m_readyLanguage)
        return *m_readyLanguage;
    const Call r = callJs(QStringLiteral("qk.lang()"));
    return r.ok() ? r.value.toString() : QString();
}

void WebEngineSurface::awaitState() const
{
    if (!m_stateDue)
        return;
    // Waiting lets the engine's reports in, which is how the state arrives;
    // the state is what the caller asked for, so this stays a const read.
    auto *self = const_cast<WebEngineSurface *>(this);
    self->waitUntil([self] { return !self->m_stateDue || !self->m_ready || self->m_engineGone; },
                    kLoadTimeoutMs);
    self->m_stateDue = false; // a state that never came is not waited for again
}

QString WebEngineSurface::DocumentTitle() const
{
    awaitState();
    return m_title;
}

bool WebEngineSurface::setDocumentTitle(const QString &title)
{
    return callJsOk(QStringLiteral("qk.setTitle(%1)").arg(jsArg(title)));
}

int WebEngineSurface::changeCount() const
{
    awaitState();
    return m_changes;
}

bool WebEngineSurface::IsDirty() const
{
    awaitState();
    return m_carriedDirty || m_jsDirty;
}

QString WebEngineSurface::selectionType() const
{
    awaitState();
    return m_selType;
}

std::optional<QString> WebEngineSurface::textCall(const QString &code, const QString &field)
{
    const Call r = callJs(code);
    if (!r.ok())
        return std::nullopt;
    const QVariantMap m = r.value.toMap();
    applySnapshot(m.value(QStringLiteral("snap")));
    if (!m.value(QStringLiteral("ok")).toBool())
        return std::nullopt;
    return m.value(field).toString();
}

std::optional<QString> WebEngineSurface::rangeText()
{
    return textCall(QStringLiteral("qk.rangeText()"), QStringLiteral("text"));
}

bool WebEngineSurface::pasteAtRange(const QString &html)
{
    return callJsOk(QStringLiteral("qk.paste(%1)").arg(jsArg(html)));
}

std::optional<QString> WebEngineSurface::controlHTML()
{
    return textCall(QStringLiteral("qk.controlHTML()"), QStringLiteral("html"));
}

bool WebEngineSurface::pasteOverControl(const QString &html)
{
    return callJsOk(QStringLiteral("qk.pasteOverControl(%1)").arg(jsArg(html)));
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
