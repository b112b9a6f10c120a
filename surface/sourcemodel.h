#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>

namespace surface {

// The text a page was loaded from, parsed with the source position of every
// node, so that a save can copy from it whatever the user did not change:
// untouched elements, text, comments, entities, attribute quoting, letter case
// and line breaks come back byte for byte.
//
// The editor's script numbers the engine's nodes in one walk at load time and
// describes that walk (the shape); align() matches it with the parsed source.
// At a save the script describes the page as a recipe: nodes unchanged since
// load by their number, changed ones by their new content; assemble() turns
// the recipe into the page's text. Both formats are written down in editor.js.
class SourceModel final
{
public:
    // quirks: whether the engine read the page in quirks mode (-1: unknown).
    explicit SourceModel(const QString &text, int quirks = -1);
    ~SourceModel();
    SourceModel(const SourceModel &) = delete;
    SourceModel &operator=(const SourceModel &) = delete;

    const QString &text() const;

    // What the script must know of the match between its walk and the source.
    struct Alignment
    {
        QList<QPair<int, int>> unaligned; // first and last number of each subtree without a source
        QList<int> notWhole;              // numbers of nodes whose source is not one clean piece
        int fallbacks = 0;                // subtrees that are written afresh at every save
    };
    Alignment align(const QString &shape);
    // The shape the script would report for a page the engine parsed just
    // as the source parser did (for tests and fuzzing).
    QString sourceShape() const;
    // The recipe the script sends for a page nobody changed: each top-level
    // node of that shape by its number.
    static QByteArray unchangedRecipe(const QString &shape);

    struct Assembled
    {
        bool ok = false;
        QString text;
        QString error;
    };
    // Needs align() first. References to local files in what is written
    // afresh take the form the save makes relative; exists() tells a local
    // file from a site's absolute path (by default, the file system).
    Assembled assemble(const QByteArray &recipeJson,
                       const std::function<bool(const QString &)> &exists = {}) const;

    // For markup typed by the user, parsed as a page of its own: the source of
    // the k-th node in its body (empty when that is no element named tag, or
    // not one clean piece), and the spelling of its text where it differs
    // from the engine's (entities), as pairs of the engine's and the typed.
    QString bodyChildSource(int k, const QString &tag) const;
    QList<QPair<QString, QString>> textSpellings() const;

    // Text content as the engine writes it: kind 0 for ordinary text, 1 for
    // the raw text of script and style, 2 for the text of title and textarea.
    static QString escapeText(QStringView text, int kind);
    static QString escapeAttribute(QStringView value);

    struct Impl; // opaque; public only for the file's own helpers

private:
    std::unique_ptr<Impl> d;
};

} // namespace surface
