#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The pages used last: the File menu's list in the per-user settings, and
// the desktop's own list of recently used files.
namespace recent {

// At most this many pages are kept.
constexpr int kLimit = 10;

// The pages used last, newest first.
QStringList pages();
// The page goes to the front of the list.
void add(const QString &path);
// Pages whose file is gone leave the list; done at start-up, so that the
// menu greys such a page for the rest of a run instead of dropping it.
void forgetMissing();
// The folders of the pages used last, newest first, once each.
QStringList folders();

// Tells the desktop's list of recently used files (the freedesktop one,
// where the system keeps it) that the page was used now.
void tellDesktop(const QString &path);

// That list's text with the page's entry added or brought up to date, every
// other entry as it was; nothing when the text is not such a list, which is
// then left alone.
struct Use
{
    QString path;
    QString mimeType;
    QString application; // the name the list knows this program by
    QString command;     // how the desktop starts it, "%u" for the file
    QDateTime when;
};
std::optional<QByteArray> withUse(const QByteArray &xbel, const Use &use);

} // namespace recent
