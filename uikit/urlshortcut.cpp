#include "uikit/urlshortcut.h"

#include <QStringDecoder>
#include <QStringList>

namespace browse {

QString parseInternetShortcut(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes); // older shortcut files are in a Windows code page
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    bool inSection = false;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(u'[')) {
            inSection = line.compare(QStringLiteral("[InternetShortcut]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        if (inSection && line.startsWith(QStringLiteral("URL="), Qt::CaseInsensitive))
            return line.mid(4);
    }
    return {};
}

} // namespace browse
