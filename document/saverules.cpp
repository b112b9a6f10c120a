#include "document/saverules.h"

#include "pathrel/references.h"
#include "surface/editsurface.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QStringList>

#include <cerrno>

namespace document {

namespace {
// The doctype keeps browsers out of their quirks.
QString pageWithBody(const QString &body)
{
    return QStringList{QStringLiteral("<!DOCTYPE html>"),
                       QStringLiteral("<HTML>"),
                       QStringLiteral("<HEAD>"),
                       QStringLiteral("<TITLE></TITLE>"),
                       QStringLiteral("</HEAD>"),
                       QStringLiteral("<BODY>"),
                       body,
                       QStringLiteral("</BODY>"),
                       QStringLiteral("</HTML>")}
        .join(crlf());
}
} // namespace

QString newPageText()
{
    return pageWithBody(QString());
}

QString startPageText()
{
    return pageWithBody(QStringLiteral("<DIV>&nbsp;</DIV>"));
}

QString windowTitle(const QString &path)
{
    const QString title = QStringLiteral("Quillon Kiv");
    return path.isEmpty() ? title : title + QStringLiteral(" - ") + path;
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
        return QCoreApplication::translate("document", "Unexpected error");
    case PathNotFound:
        return QCoreApplication::translate("document", "Path not found");
    case InvalidArgument:
        return QCoreApplication::translate("document", "Invalid argument");
    case AccessDenied:
        return QCoreApplication::translate("document", "Access denied");
    default:
        return QCoreApplication::translate("document", "Unknown error");
    }
}
} // namespace

QString loadMessage(qint64 code)
{
    using namespace surface::codes;
    switch (code) {
    case FileNotFound:
        return QCoreApplication::translate("document", "File not found");
    case Frameset:
        return QCoreApplication::translate("document", "Document contains a frameset");
    case ServerScript:
        return QCoreApplication::translate("document", "Document is primarily server side script");
    case NotText:
        return QCoreApplication::translate("document", "File holds binary data, not text");
    default:
        return sharedMessage(code);
    }
}

QString saveMessage(qint64 code)
{
    return code == surface::codes::DiskFull ? QCoreApplication::translate("document", "Disk is full")
                                            : sharedMessage(code);
}

QString withAddressesChanged(const QString &text, const QString &pagePath,
                             const QList<QPair<QString, QString>> &changes)
{
    QString out = text;
    const QList<pathrel::Reference> references = pathrel::listReferences(text, pagePath);
    // From the end, so that the offsets before each change still hold.
    for (qsizetype i = references.size() - 1; i >= 0; --i) {
        const pathrel::Reference &r = references[i];
        for (const auto &[old, value] : changes) {
            if (r.value == old) {
                out.replace(r.offset, r.length, value);
                break;
            }
        }
    }
    return out;
}

} // namespace document
