#pragma once

#include "document/prompts.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTimer>

#include <functional>
#include <optional>

class QDialog;

namespace surface {
class EditSurface;
}

namespace shell {

// Colours for a page's text: tags, attributes, values, comments, entities.
class HtmlHighlighter final : public QSyntaxHighlighter
{
    Q_OBJECT
public:
    explicit HtmlHighlighter(QTextDocument *document);

    enum State
    {
        Text = 0,
        Comment,
        Tag,         // inside a tag, between attributes
        BeforeValue, // after an attribute's "="
        DoubleQuoted,
        SingleQuoted
    };

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat m_tag;
    QTextCharFormat m_attribute;
    QTextCharFormat m_value;
    QTextCharFormat m_comment;
    QTextCharFormat m_entity;
};

// The page's text as a save would write it, to read and to edit. What the
// user types here goes into the page after a pause, when the user goes back
// to the page, and before any save (as the session's pending edits).
class SourceView final : public QPlainTextEdit, public document::PendingEdits
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceView)

public:
    // pageText gives the page's text as a save would write it now; nothing
    // while the page cannot be read.
    using PageText = std::function<std::optional<QString>()>;
    SourceView(surface::EditSurface *surface, PageText pageText, QWidget *parent = nullptr);
    ~SourceView() override;

    // Shows the page's text now, unless edits made here wait to go in.
    void refresh();
    // Shows it after a moment: the page changed while this is shown.
    void refreshSoon();
    // Another page, or the same one with another path: shown after a moment.
    void pageReplaced();
    // Puts the edits made here into the page. False when the page refused
    // them; the user was told, and the text stays here. With offerToDiscard
    // the user may instead give the text up, which answers true.
    bool apply(bool offerToDiscard = true);
    // Before a save: apply(), the user may give up a refused text.
    bool flush() override { return apply(); }
    // The text shown, as it would be written.
    QString sourceText() const;
    // The find dialog, bound to this text.
    void showFind();
    int lineNumberWidth() const;

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class LineNumbers;
    void paintLineNumbers(QPaintEvent *event);
    void placeLineNumbers();
    bool find(const QString &text, bool matchCase, bool wholeWord, bool backward);
    bool applyQuietly();
    // The text typed here is given up; the page's own is shown again.
    void discardEdits();

    surface::EditSurface *m_surface;
    PageText m_pageText;
    QWidget *m_lineNumbers = nullptr;
    QPointer<QDialog> m_find;
    QString m_shown;       // the page's text as it was last shown
    QString m_shownPlain;  // and as the editor gives it back
    QString m_refused;     // a text the page refused, not tried again on its own
    bool m_edited = false; // typed here since it was shown
    bool m_setting = false;
    bool m_fontChosen = false;
    int m_shownChanges = -1;
    QTimer m_applyTimer;
    QTimer m_refreshTimer;
};

} // namespace shell
