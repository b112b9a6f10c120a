#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The addresses a style sheet names: what url(...) and @import hold.
namespace pathrel {

// One address in a style sheet's text, without its quotes.
struct CssAddress
{
    QString value;        // as written, escapes included
    qsizetype offset = 0; // where value stands in the text
    qsizetype length = 0;
};

// Every address of url(...) and of @import with a quoted string, in the
// order they stand; addresses inside comments and other strings are no
// references and are left out, as a browser leaves them.
QList<CssAddress> cssAddresses(QStringView css);

} // namespace pathrel
