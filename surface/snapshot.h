#pragma once

#include <QHash>
#include <QString>

#include <optional>

class QVariant;

namespace surface {

// The editing state the surface's script reports (qk.snap(), and the "snap"
// of every command's answer): what the toolbar and the menus show. It comes
// from another process's script, so it is taken only whole and well formed.
struct Snapshot
{
    QHash<int, int> status;                   // command number -> its QueryStatus answer
    QString fontName;                         // "" when the selection mixes faces
    int fontSize = 0;                         // 1 to 7; 0 when the selection mixes sizes
    QString blockFormat;                      // the name of the block format at the caret
    QString selType = QStringLiteral("None"); // "None" (a caret), "Text" or "Control"
    QString title;
    bool dirty = false; // changed by an edit since it was loaded or saved
    int changes = 0;    // the page's count of changes
    QString tag;        // the load the page came from, to tell a replaced page's reports apart

    // The snapshot in v, or nothing when a field is missing or of the wrong
    // kind, a status is no answer the surface knows, or v is no map at all.
    static std::optional<Snapshot> fromVariant(const QVariant &v);
};

} // namespace surface
