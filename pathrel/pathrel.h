#pragma once

#include <QList>
#include <QString>

// Rewriting of absolute local references ("FILE://" followed by a path) into
// paths relative to the folder of the page being saved, so that a site keeps
// working when its folder is copied to a web server.
namespace pathrel {
// Reference to strObjectFilePath written relative to the folder of pageFilePath,
// with "/" separators and "%", "#" and "?" escaped as a web address needs
// them; empty when no relative path exists.
QString GetRelativePath(const QString &pageFilePath, const QString &strObjectFilePath);
// One reference the rewrite changed: the value as it stood ("file://" and the
// path) and the relative path written instead.
struct Rewrite
{
    QString from;
    QString to;
};
// Rewrites every reference after the key strToFind in documentText. A key
// with a double quote ends its path at the next double quote; the unquoted key
// ends it where HTML ends an unquoted attribute value: at white space or ">".
// A path holding a quote or "<" ran on into markup and is left alone. When
// done is given, each reference rewritten is added to it.
void ChangeToRelativePath(QString &documentText, const QString &strToFind, const QString &pageFilePath,
                          QList<Rewrite> *done = nullptr);
} // namespace pathrel
