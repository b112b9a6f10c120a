#pragma once

#include "site/sitemodel.h"

namespace pathrel {
class ParsedPage;
}

namespace site {

// The page reader the save uses, as a type of its own: the scan knows it
// when it is given, and lists a page's references from the parse it reads
// the page's other facts from, instead of parsing the page once more.
struct SaveReferenceLister
{
    QList<ListedReference> operator()(const QString &html, const QString &pagePath) const;
};

QList<ListedReference> listedReferences(const pathrel::ParsedPage &page, const QString &pagePath);

} // namespace site
