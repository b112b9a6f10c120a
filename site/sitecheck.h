#pragma once

#include "site/sitemodel.h"

#include <QList>
#include <QString>

// What would break when the site goes to a server, found in the site's model
// alone: no file is read again.
namespace site {

enum class FindingKind
{
    MissingTarget,     // a local file or folder named that is not there
    LetterCase,        // named in another letter case than the file's own
    LeavesSite,        // names a file outside the site's folder
    FileUrl,           // still a file address or a drive path
    MissingAnchor,     // "#place" that no element of the page carries
    PictureWithoutAlt, // an img element without alt text
    PageWithoutTitle,
    Unreferenced, // a file no other file names
};

struct Finding
{
    FindingKind kind = FindingKind::MissingTarget;
    QString file; // absolute path of the file the finding is in (or about)
    int line = 1;
    qsizetype offset = 0; // in the file's text
    QString text;         // the address, the tag, or the file's path in the site
};

struct CheckResult
{
    QList<Finding> findings; // by file, then by place in it
    bool cancelled = false;
};

CheckResult checkSite(const Model &model, const Progress &progress = {});

} // namespace site
