#pragma once

#include <QString>

// Rewriting of absolute local references ("FILE://" followed by a path) into
// paths relative to the folder of the page being saved, so that a site keeps
// working when its folder is copied to a web server.
namespace pathrel {
// Reference to strObjectFilePath written relative to the folder of pageFilePath,
// with "/" separators; empty when no relative path exists.
QString GetRelativePath(const QString &pageFilePath, const QString &strObjectFilePath);
// Rewrites every reference after the key strToFind in documentText.
void ChangeToRelativePath(QString &documentText, const QString &strToFind, const QString &pageFilePath);
} // namespace pathrel
