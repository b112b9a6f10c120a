#include "shell/startvalues.h"

#include "pathrel/references.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace shell {

int readStoredNumber(const QString &text)
{
    // The leading number: blanks, a sign, digits with a fraction, an
    // exponent; whatever follows is ignored. Scanned by hand because it is
    // read at every start-up, where a pattern would bring in the regular
    // expression compiler for this alone.
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto skipDigits = [&] {
        const qsizetype from = i;
        while (i < n && text[i].isDigit())
            ++i;
        return i - from;
    };
    const auto skipSign = [&] {
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
    };
    while (i < n && text[i].isSpace())
        ++i;
    const qsizetype start = i;
    skipSign();
    qsizetype figures = skipDigits();
    if (i < n && text[i] == u'.') {
        const qsizetype dot = i++;
        figures += skipDigits();
        if (figures == 0)
            i = dot;
    }
    if (figures == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        const qsizetype e = i++;
        skipSign();
        if (skipDigits() == 0)
            i = e;
    }
    bool ok = false;
    const double v = QStringView(text).sliced(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return 0;
    const double rounded = std::nearbyint(v); // the default rounding mode is to nearest, ties to even
    if (rounded < -32768.0 || rounded > 32767.0)
        return 0;
    return int(rounded);
}

std::optional<QString> pageFromArgument(const QString &argument, const QString &workingFolder)
{
    // A scheme of two letters or more: a drive letter is no scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(argument).hasMatch()) {
        const std::optional<QString> local = pathrel::localFile(QUrl(argument));
        if (!local)
            return std::nullopt;
        return QDir::cleanPath(*local);
    }
    return QDir::cleanPath(QDir(workingFolder).absoluteFilePath(argument));
}

} // namespace shell
