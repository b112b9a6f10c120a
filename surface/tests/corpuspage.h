#pragma once

// A large page made of real pages: the bodies of the pages of the test
// corpora one after another, each round in another order, until the page has
// the size asked for. Scripts are left out; the engine would not run them.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace corpuspage {

inline QString bodyOf(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString html = utf8.decode(bytes);
    if (utf8.hasError())
        html = QString::fromLatin1(bytes); // the corpus's other pages are Latin-1
    static const QRegularExpression scripts(QStringLiteral("<script\\b.*?</script\\s*>"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    html.remove(scripts);
    qsizetype from = html.indexOf(QLatin1String("<body"), 0, Qt::CaseInsensitive);
    from = from < 0 ? html.indexOf(QLatin1String("</head>"), 0, Qt::CaseInsensitive) : from;
    from = from < 0 ? 0 : html.indexOf(u'>', from) + 1;
    qsizetype to = html.lastIndexOf(QLatin1String("</body"), -1, Qt::CaseInsensitive);
    to = to < from ? html.size() : to;
    return html.mid(from, to - from);
}

// The page, from the corpora under the source tree `sourceDir`.
inline QByteArray make(const QString &sourceDir, qsizetype size)
{
    QStringList bodies;
    for (const char *folder : {"/surface/tests/corpus", "/site/tests/site"}) {
        const QDir d(sourceDir + QLatin1String(folder));
        for (const QString &file : d.entryList({QStringLiteral("*.htm*")}, QDir::Files)) {
            QFile f(d.filePath(file));
            if (f.open(QIODevice::ReadOnly))
                bodies << bodyOf(f.readAll());
        }
    }
    // Some of the pages leave elements open: closed after each page, so that
    // every page is a child of the body, as the sections of one large page
    // are, and not nested ever deeper in the page before it. End tags of
    // elements not open are ignored (never </p>, which would make one); the
    // last </div> that counts closes the page's own.
    QByteArray closers;
    for (const char *tag : {"a", "font", "b", "i", "u", "em", "strong", "tt", "code", "span", "small", "big"})
        closers += QByteArray("</") + tag + ">";
    for (int depth = 0; depth < 4; ++depth)
        closers += "</table></ul></ol></dl></pre></blockquote></center>";
    for (int depth = 0; depth < 40; ++depth)
        closers += "</div>";
    QByteArray html =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Corpus</title></head><body>\n";
    for (int round = 0; html.size() < size && !bodies.isEmpty(); ++round)
        for (qsizetype i = 0; i < bodies.size() && html.size() < size; ++i)
            html += "<div>" + bodies[(i * (round + 1) + round) % bodies.size()].toUtf8() + closers + "\n";
    html += "</body></html>\n";
    return html;
}

// The page written to `path`; false when it could not be.
inline bool write(const QString &path, const QString &sourceDir, qsizetype size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(make(sourceDir, size)) > 0;
}

} // namespace corpuspage
