#include "site/pagereferences.h"

#include "pathrel/references.h"

namespace site {

QList<ListedReference> listedReferences(const pathrel::ParsedPage &page, const QString &pagePath)
{
    const QList<pathrel::Reference> found = pathrel::listReferences(page, pagePath);
    QList<ListedReference> out;
    out.reserve(found.size());
    for (const pathrel::Reference &r : found)
        out.append({r.kind, r.value, r.offset, r.length});
    return out;
}

QList<ListedReference> SaveReferenceLister::operator()(const QString &html, const QString &pagePath) const
{
    return listedReferences(pathrel::ParsedPage(html), pagePath);
}

// The site reads a page's references with the same call the save rewrites
// them with, so that what the check reports and what a rename changes are
// what the save would see.
ReferenceLister pageReferenceLister()
{
    return SaveReferenceLister{};
}

} // namespace site
