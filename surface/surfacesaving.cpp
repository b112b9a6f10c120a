// Reading the page for a save: its own source wherever the user changed
// nothing, through the script's recipe; and taking the saved text as the
// page's new source.

#include "surface/pagetext.h"
#include "surface/webenginesurface_p.h"

#include "pathrel/references.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QWebEngineScript>

namespace surface {

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
        QElapsedTimer t;
        t.start();
        job->model = std::make_shared<SourceModel>(text.isNull() ? decodePage(body, charset) : text, quirks);
        job->done = true;
        qCDebug(lcSave, "source parsed: %lld ms", t.elapsed());
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
    using Match = SourceJob::Match;
    // A match is started only while nothing else is going on; once started,
    // it goes on wherever the window is.
    if (m_sourceJob->match == Match::NotStarted && (m_waitDepth > 0 || m_busy))
        return;
    stepAlignment();
    if (m_sourceJob->match != Match::NotStarted && m_sourceJob->match != Match::Aligning)
        m_sourcePoll.stop(); // the engine's answer starts the next step
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

void WebEngineSurface::stepAlignment()
{
    using Match = SourceJob::Match;
    const std::shared_ptr<SourceJob> job = m_sourceJob;
    if (!job || !job->done || !m_page || !m_ready || m_engineGone)
        return;
    // The walk the shape describes is the one the page was numbered with
    // when it was loaded or last saved, whatever the user has typed since;
    // the script takes the alignment against that same walk. An answer
    // for a page since replaced, or a source since saved anew, is dropped.
    const QPointer<WebEngineSurface> self(this);
    switch (job->match) {
    case Match::NotStarted:
        job->match = Match::Shaping;
        m_page->runJavaScript(QStringLiteral("qk.shape()"), QWebEngineScript::ApplicationWorld,
                              [self, job](const QVariant &shape) {
                                  if (!self || self->m_sourceJob != job)
                                      return;
                                  if (shape.typeId() != QMetaType::QString) {
                                      job->match = Match::Failed;
                                      job->error = self->readFailure(Call{Call::ScriptError, {}});
                                      return;
                                  }
                                  job->match = Match::Aligning;
                                  qCDebug(lcSave, "shape came: %lld chars", qint64(shape.toString().size()));
                                  QThreadPool::globalInstance()->start([job, text = shape.toString()] {
                                      QElapsedTimer t;
                                      t.start();
                                      job->alignment = job->model->align(text);
                                      job->aligned = true;
                                      qCDebug(lcSave, "aligned: %lld ms", t.elapsed());
                                  });
                                  self->m_sourcePoll.start();
                              });
        break;
    case Match::Aligning: {
        if (!job->aligned)
            break;
        job->match = Match::Setting;
        QJsonArray unaligned;
        for (const auto &[first, last] : job->alignment.unaligned)
            unaligned.append(QJsonArray{first, last});
        QJsonArray notWhole;
        for (const int i : job->alignment.notWhole)
            notWhole.append(i);
        const QJsonObject message{{QStringLiteral("unaligned"), unaligned},
                                  {QStringLiteral("notWhole"), notWhole}};
        m_page->runJavaScript(
            QStringLiteral("qk.setAlignment(%1)")
                .arg(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact))),
            QWebEngineScript::ApplicationWorld, [self, job](const QVariant &set) {
                if (!self || self->m_sourceJob != job)
                    return;
                if (!set.toBool()) {
                    job->match = Match::Failed;
                    job->error = self->readFailure(Call{Call::ScriptError, {}});
                    return;
                }
                job->match = Match::Done;
                qCDebug(lcSave, "alignment set");
                self->m_aligned = true;
                self->m_sourceFallbacks = job->alignment.fallbacks;
                if (job->alignment.fallbacks)
                    qCInfo(lcSave) << job->alignment.fallbacks
                                   << "parts of the page differ between the engine and its source; they are "
                                      "written afresh";
            });
        break;
    }
    default:
        break;
    }
}

bool WebEngineSurface::ensureAligned(QString *error)
{
    if (m_aligned)
        return true;
    if (!m_sourceJob)
        startSourceJob(m_sourceText, m_sourceBytes);
    const std::shared_ptr<SourceJob> job = m_sourceJob;
    using Match = SourceJob::Match;
    if (job->match == Match::Failed)
        job->match = Match::NotStarted; // the save asks once more
    waitUntil(
        [&] {
            if (m_sourceJob != job || m_engineGone || !m_ready)
                return true;
            stepAlignment();
            return job->match == Match::Done || job->match == Match::Failed;
        },
        kLoadTimeoutMs);
    if (job->match == Match::Done && m_sourceJob == job)
        return true;
    if (m_engineGone)
        *error = readFailure(Call{Call::EngineGone, {}});
    else if (!m_ready || m_sourceJob != job)
        *error = readFailure(Call{Call::NotReady, {}});
    else if (!job->done)
        *error = tr("the page's source is still being read");
    else if (job->match == Match::Failed)
        *error = job->error;
    else
        *error = readFailure(Call{m_gaveUp ? Call::GaveUp : Call::Timeout, {}});
    return false;
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
    // Only a path that names an existing file is a local reference; a
    // site's "/about.html" stays as written.
    read.text = pathrel::localFileReferences(m.value(QStringLiteral("html")).toString(),
                                             [](const QString &path) { return QFileInfo::exists(path); });
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
        info.insert(QStringLiteral("base"), pathrel::fileUrl(folder + u'/').toString());
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
    applySnapshot(m.value(QStringLiteral("snap")));
}

} // namespace surface
