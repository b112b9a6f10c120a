#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Rewriting of absolute local references ("FILE://" followed by a path) into
// paths relative to the folder of the page being saved, so that a site keeps
// working when its folder is copied to a web server.
namespace pathrel {
// Reference to the file strObjectFilePath (a plain path, not a URL) written
// relative to the folder of pageFilePath as a web address's path: "/"
// separators, and "%", "#", "?", ">", spaces and characters outside ASCII escaped
// once; empty when no relative path exists.
QString GetRelativePath(const QString &pageFilePath, const QString &strObjectFilePath);
// One reference the rewrite changed: the value as it stood ("file://" and the
// path) and the relative path written instead.
struct Rewrite
{
    QString from;
    QString to;
    // Made relative from a "file://" reference, or rewritten for a page that
    // moved to another folder (then from and to are whole attribute values or
    // style texts).
    enum Step
    {
        Relativised,
        Rebased
    } step = Relativised;
};
// The path a file URL names (the text after "file://"), read as a browser
// reads it: every "%" with two hexadecimal digits after it is one byte of the
// name's UTF-8, any other "%" stands for itself. Nothing when the bytes are no
// UTF-8: the name cannot be written back as the same address.
std::optional<QString> decodedFileUrlPath(QStringView path);
// Rewrites every reference after the key strToFind in documentText. A key
// with a double quote ends its path at the next double quote; the unquoted key
// ends it where HTML ends an unquoted attribute value: at white space or ">".
// The path after "FILE://" is read as a file URL, its escapes decoded once
// ("%" without two hexadecimal digits stands for itself); one whose escapes
// are no UTF-8, or holding a quote or "<" (it ran on into markup), is left
// alone. When done is given, each reference rewritten is added to it.
void ChangeToRelativePath(QString &documentText, const QString &strToFind, const QString &pageFilePath,
                          QList<Rewrite> *done = nullptr);
// The same for several keys in one pass over documentText: it writes what
// the keys applied one after another (quoted keys first) write, and reads the
// text between references once however many keys there are. done lists the
// rewrites in text order.
void ChangeToRelativePaths(QString &documentText, const QStringList &keys, const QString &pageFilePath,
                           QList<Rewrite> *done = nullptr);
} // namespace pathrel
