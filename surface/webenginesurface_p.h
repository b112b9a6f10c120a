#pragma once

// What the translation units of WebEngineSurface share and nothing else sees.

#include "surface/sourcemodel.h"
#include "surface/webenginesurface.h"

#include <QLoggingCategory>
#include <QWebEnginePage>

#include <atomic>
#include <functional>
#include <memory>

namespace surface {

// Saving: where a save could not write the page's own source back.
Q_DECLARE_LOGGING_CATEGORY(lcSave)
// The surface's script: what it wrote to the console, what it answered wrongly.
Q_DECLARE_LOGGING_CATEGORY(lcScript)

// How long a load may take before it counts as failed.
constexpr int kLoadTimeoutMs = 180000;

// A value as a script expression: any text arrives as a JS string.
QString jsArg(const QVariant &v);
// The text of a file's bytes read with the charset the engine read them with.
QString decodePage(const QByteArray &bytes, const QString &charset);
bool hasUtf8Bom(const QByteArray &bytes);

// The page: no new windows, no navigation but the surface's own loads, and
// the script's console messages go to the program's log.
class EditorPage final : public QWebEnginePage
{
public:
    EditorPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent) {}
    QString allowedUrl;
    // The script's reports: the page is ready for editing; the page's state.
    std::function<void(const QVariantMap &)> ready;
    std::function<void(const QVariantMap &)> push;
    // A picture alone was pasted: the program makes a file of it.
    std::function<void()> picturePasted;
    // The size an object being resized would get (0 x 0: the drag is over).
    std::function<void(int, int)> sizeShown;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        return isMainFrame && url.toString() == allowedUrl;
    }
    QWebEnginePage *createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override;
};

// The parse of the page's source, done on a thread of the pool, and its
// match with the script's walk of the page. The match goes in steps that
// never hold the window: the walk's shape is asked for, matched on the pool,
// and the result handed back to the script, each step started by the answer
// to the one before.
struct WebEngineSurface::SourceJob
{
    std::atomic<bool> done{false};
    std::shared_ptr<SourceModel> model;

    enum class Match
    {
        NotStarted,
        Shaping,
        Aligning,
        Setting,
        Done,
        Failed
    };
    Match match = Match::NotStarted;  // the window's thread only
    std::atomic<bool> aligned{false}; // the pool has made the alignment
    SourceModel::Alignment alignment;
    QString error; // why the match failed, for the save that needed it
};

} // namespace surface
