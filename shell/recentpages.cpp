#include "shell/recentpages.h"

#include "pathrel/references.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace recent {
namespace {
QSettings settings()
{
    return QSettings(QStringLiteral("QNKV"), QStringLiteral("QNKV"));
}

void store(const QStringList &list)
{
    QSettings s = settings();
    s.remove(QStringLiteral("Recent"));
    s.beginGroup(QStringLiteral("Recent"));
    for (qsizetype i = 0; i < list.size() && i < kLimit; ++i)
        s.setValue(QStringLiteral("Page%1").arg(i + 1), list[i]);
    s.endGroup();
}

const QString kBookmarkNs = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");

QString stamp(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

void writeApplication(QXmlStreamWriter &w, const Use &use, int count)
{
    w.writeEmptyElement(kBookmarkNs, QStringLiteral("application"));
    w.writeAttribute(QStringLiteral("name"), use.application);
    w.writeAttribute(QStringLiteral("exec"), u'\'' + use.command + u'\'');
    w.writeAttribute(QStringLiteral("modified"), stamp(use.when));
    w.writeAttribute(QStringLiteral("count"), QString::number(count));
}

void writeBookmark(QXmlStreamWriter &w, const Use &use, const QString &href)
{
    w.writeStartElement(QStringLiteral("bookmark"));
    w.writeAttribute(QStringLiteral("href"), href);
    for (const char *name : {"added", "modified", "visited"})
        w.writeAttribute(QString::fromLatin1(name), stamp(use.when));
    w.writeStartElement(QStringLiteral("info"));
    w.writeStartElement(QStringLiteral("metadata"));
    w.writeAttribute(QStringLiteral("owner"), QStringLiteral("http://freedesktop.org"));
    w.writeEmptyElement(kMimeNs, QStringLiteral("mime-type"));
    w.writeAttribute(QStringLiteral("type"), use.mimeType);
    w.writeStartElement(kBookmarkNs, QStringLiteral("applications"));
    writeApplication(w, use, 1);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndElement();
}
} // namespace

QStringList pages()
{
    QSettings s = settings();
    s.beginGroup(QStringLiteral("Recent"));
    QStringList list;
    for (int i = 1; i <= kLimit; ++i) {
        const QString page = s.value(QStringLiteral("Page%1").arg(i)).toString();
        if (!page.isEmpty() && !list.contains(page))
            list << page;
    }
    return list;
}

void add(const QString &path)
{
    QStringList list = pages();
    list.removeAll(path);
    list.prepend(path);
    store(list);
}

void forgetMissing()
{
    QStringList list = pages();
    if (list.removeIf([](const QString &page) { return !QFileInfo::exists(page); }))
        store(list);
}

QStringList folders()
{
    QStringList out;
    for (const QString &page : pages())
        if (const QString folder = QFileInfo(page).absolutePath(); !out.contains(folder))
            out << folder;
    return out;
}

std::optional<QByteArray> withUse(const QByteArray &xbel, const Use &use)
{
    const QString href = pathrel::fileUrl(use.path).toString(QUrl::FullyEncoded);
    QByteArray out;
    QXmlStreamWriter w(&out);
    if (xbel.trimmed().isEmpty()) {
        w.writeStartDocument();
        w.writeNamespace(kBookmarkNs, QStringLiteral("bookmark"));
        w.writeNamespace(kMimeNs, QStringLiteral("mime"));
        w.writeStartElement(QStringLiteral("xbel"));
        w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        writeBookmark(w, use, href);
        w.writeEndElement();
        w.writeEndDocument();
        return out;
    }
    // Copied token by token; only the page's own entry is touched.
    QXmlStreamReader r(xbel);
    int depth = 0;
    bool inPage = false;
    bool found = false;
    bool counted = false;
    bool closed = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.hasError())
            return std::nullopt;
        if (r.isStartElement()) {
            if (depth == 0 && r.name() != QLatin1String("xbel"))
                return std::nullopt;
            if (depth == 1 && r.name() == QLatin1String("bookmark") &&
                r.attributes().value(QLatin1String("href")) == href) {
                found = inPage = true;
                w.writeStartElement(r.namespaceUri().toString(), r.name().toString());
                for (const QXmlStreamAttribute &a : r.attributes()) {
                    const bool now =
                        a.name() == QLatin1String("modified") || a.name() == QLatin1String("visited");
                    w.writeAttribute(a.qualifiedName().toString(),
                                     now ? stamp(use.when) : a.value().toString());
                }
                ++depth;
                continue;
            }
            if (inPage && r.namespaceUri() == kBookmarkNs && r.name() == QLatin1String("application") &&
                r.attributes().value(QLatin1String("name")) == use.application) {
                writeApplication(w, use, r.attributes().value(QLatin1String("count")).toInt() + 1);
                counted = true;
                r.skipCurrentElement();
                continue;
            }
            w.writeCurrentToken(r);
            ++depth;
            continue;
        }
        if (r.isEndElement()) {
            if (inPage && !counted && r.namespaceUri() == kBookmarkNs &&
                r.name() == QLatin1String("applications")) {
                writeApplication(w, use, 1);
                counted = true;
            }
            if (depth == 2 && inPage)
                inPage = false;
            if (depth == 1) {
                if (!found)
                    writeBookmark(w, use, href);
                closed = true;
            }
            --depth;
        }
        w.writeCurrentToken(r);
    }
    if (r.hasError() || !closed)
        return std::nullopt;
    return out;
}

void tellDesktop(const QString &path)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString file = folder + QStringLiteral("/recently-used.xbel");
    QByteArray old;
    if (QFile in(file); in.exists()) {
        if (!in.open(QIODevice::ReadOnly))
            return;
        old = in.readAll();
    }
    Use use;
    use.path = path;
    use.mimeType = QMimeDatabase().mimeTypeForFile(path).name();
    use.application = QCoreApplication::applicationName();
    use.command = QFileInfo(QCoreApplication::applicationFilePath()).fileName() + QStringLiteral(" %u");
    use.when = QDateTime::currentDateTimeUtc();
    const std::optional<QByteArray> updated = withUse(old, use);
    if (!updated)
        return; // someone else's file we cannot read: left as it is
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(*updated) == updated->size())
        out.commit();
#else
    Q_UNUSED(path);
#endif
}

} // namespace recent
