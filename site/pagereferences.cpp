#include "site/sitemodel.h"

#include "pathrel/references.h"

namespace site {

// The site reads a page's references with the same call the save rewrites
// them with, so that what the check reports and what a rename changes are
// what the save would see.
ReferenceLister pageReferenceLister()
{
    return [](const QString &html, const QString &pagePath) {
        QList<ListedReference> out;
        for (const pathrel::Reference &r : pathrel::listReferences(html, pagePath)) {
            ReferenceKind kind = ReferenceKind::Src;
            switch (r.kind) {
            case pathrel::ReferenceKind::Src:
                kind = ReferenceKind::Src;
                break;
            case pathrel::ReferenceKind::Href:
                kind = ReferenceKind::Href;
                break;
            case pathrel::ReferenceKind::Background:
                kind = ReferenceKind::Background;
                break;
            case pathrel::ReferenceKind::Srcset:
                kind = ReferenceKind::Srcset;
                break;
            case pathrel::ReferenceKind::CssUrl:
                kind = ReferenceKind::CssUrl;
                break;
            case pathrel::ReferenceKind::Link:
                kind = ReferenceKind::Link;
                break;
            }
            out.append({kind, r.value, r.offset, r.length});
        }
        return out;
    };
}

} // namespace site
