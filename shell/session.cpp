#include "shell/session.h"

#include "pathrel/references.h"
#include "surface/editsurface.h"

#include <QDir>
#include <QFileDevice>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUrl>

#include <cerrno>
#include <cmath>

namespace session {

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

QString declareUtf8(const QString &html)
{
    // <meta charset=...> and <meta http-equiv="Content-Type" content="...; charset=...">
    static const QRegularExpression metaCharset(
        QStringLiteral("(<meta\\b[^>]*?\\bcharset\\s*=\\s*[\"']?)([A-Za-z0-9_:.-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    QString out = html;
    const QRegularExpressionMatch m = metaCharset.match(out);
    if (m.hasMatch()) {
        out.replace(m.capturedStart(2), m.capturedLength(2), QStringLiteral("utf-8"));
        return out;
    }
    static const QRegularExpression head(QStringLiteral("<head\\b[^>]*>"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch h = head.match(out);
    const QString meta = QStringLiteral("<META charset=\"utf-8\">");
    if (h.hasMatch()) {
        out.insert(h.capturedEnd(), meta);
        return out;
    }
    static const QRegularExpression htmlTag(QStringLiteral("<html\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch t = htmlTag.match(out);
    if (t.hasMatch()) {
        out.insert(t.capturedEnd(), QStringLiteral("<HEAD>") + meta + QStringLiteral("</HEAD>"));
        return out;
    }
    return meta + out;
}

QString declaredCharset(const QString &html)
{
    // Readers look for the declaration in the first 1024 bytes only.
    static const QRegularExpression metaCharset(
        QStringLiteral("<meta\\b[^>]*?\\bcharset\\s*=\\s*[\"']?([A-Za-z0-9_:.-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = metaCharset.match(QStringView(html).left(1024));
    return m.hasMatch() ? m.captured(1) : QString();
}

namespace {
bool isUtf8Name(const QString &name)
{
    return name.isEmpty() || name.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("utf8"), Qt::CaseInsensitive) == 0;
}

bool isAscii(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

QByteArray utf8Bytes(const QString &text, bool bom)
{
    return bom ? QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8() : text.toUtf8();
}
} // namespace

EncodedPage encodePage(const QString &html, const PageEncoding &encoding)
{
    const QString declared = declaredCharset(html);
    const PageEncoding utf8{QStringLiteral("UTF-8"), false};
    if (isUtf8Name(encoding.charset)) {
        if (encoding.bom || isAscii(html) || (!declared.isEmpty() && isUtf8Name(declared)))
            return {utf8Bytes(html, encoding.bom), {QStringLiteral("UTF-8"), encoding.bom}};
        return {utf8Bytes(declareUtf8(html), false), utf8};
    }
    if (encoding.bom || !declared.isEmpty() || isAscii(html)) {
        QStringEncoder encoder(encoding.charset.toLatin1().constData(),
                               encoding.bom ? QStringConverter::Flag::WriteBom
                                            : QStringConverter::Flag::Default);
        if (encoder.isValid()) {
            QByteArray bytes = encoder.encode(html);
            if (!encoder.hasError())
                return {bytes, encoding};
        }
    }
    // The page's own charset cannot carry the text, or readers would not know it.
    return {utf8Bytes(declareUtf8(html), false), utf8};
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

qint64 saveErrorCode(int fileError, int osError, bool folderExists)
{
    if (!folderExists)
        return surface::codes::PathNotFound;
    if (osError == ENOSPC || osError == EDQUOT || osError == EFBIG)
        return surface::codes::DiskFull;
    if (osError == EACCES || osError == EPERM || osError == EROFS ||
        fileError == QFileDevice::PermissionsError)
        return surface::codes::AccessDenied;
    if (osError == ENOENT || osError == ENOTDIR)
        return surface::codes::PathNotFound;
    if (fileError == QFileDevice::ResourceError)
        return surface::codes::DiskFull;
    return surface::codes::Unknown;
}

namespace {
// The failures loading and saving share; each adds its own below.
QString sharedMessage(qint64 code)
{
    using namespace surface::codes;
    switch (code) {
    case Unexpected:
        return QStringLiteral("Unexpected error");
    case PathNotFound:
        return QStringLiteral("Path not found");
    case InvalidArgument:
        return QStringLiteral("Invalid argument");
    case AccessDenied:
        return QStringLiteral("Access denied");
    default:
        return QStringLiteral("Unknown error");
    }
}
} // namespace

QString loadMessage(qint64 code)
{
    using namespace surface::codes;
    switch (code) {
    case FileNotFound:
        return QStringLiteral("File not found");
    case Frameset:
        return QStringLiteral("Document contains a frameset");
    case ServerScript:
        return QStringLiteral("Document is primarily server side script");
    case NotText:
        return QStringLiteral("File holds binary data, not text");
    default:
        return sharedMessage(code);
    }
}

QString saveMessage(qint64 code)
{
    return code == surface::codes::DiskFull ? QStringLiteral("Disk is full") : sharedMessage(code);
}

} // namespace session
