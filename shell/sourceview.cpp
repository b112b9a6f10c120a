#include "shell/sourceview.h"

#include "document/saverules.h"
#include "surface/editsurface.h"
#include "surface/pagetext.h"
#include "surface/surfacedialogs.h"
#include "uikit/uiseam.h"

#include <QFontDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>

using namespace surface;

namespace shell {

namespace {
// The editor keeps lines apart with its own separator and gives CR LF back
// as a plain line feed; its raw text keeps everything else as typed.
QString rawText(const QTextDocument *document)
{
    return document->toRawText().replace(QChar::ParagraphSeparator, u'\n');
}
} // namespace

HtmlHighlighter::HtmlHighlighter(QTextDocument *document) : QSyntaxHighlighter(document)
{
    m_tag.setForeground(QColor(0x1f, 0x3f, 0x9f));
    m_tag.setFontWeight(QFont::Bold);
    m_attribute.setForeground(QColor(0x8b, 0x3a, 0x00));
    m_value.setForeground(QColor(0x00, 0x6e, 0x28));
    m_comment.setForeground(QColor(0x70, 0x70, 0x70));
    m_comment.setFontItalic(true);
    m_entity.setForeground(QColor(0x8b, 0x00, 0x8b));
}

void HtmlHighlighter::highlightBlock(const QString &text)
{
    static const QRegularExpression entity(
        QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|[A-Za-z][A-Za-z0-9]*);?"));
    static const QRegularExpression tagStart(QStringLiteral("</?[A-Za-z][^\\s/>]*|<[!?][A-Za-z]*"));
    static const QRegularExpression attributeName(QStringLiteral("[^\\s=>/\"']+"));
    static const QRegularExpression unquoted(QStringLiteral("[^\\s>]+"));
    int state = std::max(previousBlockState(), 0);
    const qsizetype n = text.size();
    qsizetype i = 0;
    // A line break between "=" and its value, or in a quoted value, carries
    // the state over to the next line.
    while (i < n) {
        switch (state) {
        case Text: {
            const qsizetype lt = text.indexOf(u'<', i);
            const qsizetype amp = text.indexOf(u'&', i);
            if (amp >= 0 && (lt < 0 || amp < lt)) {
                const QRegularExpressionMatch m = entity.match(text, amp, QRegularExpression::NormalMatch,
                                                               QRegularExpression::AnchorAtOffsetMatchOption);
                if (m.hasMatch())
                    setFormat(int(amp), int(m.capturedLength()), m_entity);
                i = amp + std::max<qsizetype>(m.capturedLength(), 1);
                break;
            }
            if (lt < 0) {
                i = n;
                break;
            }
            if (QStringView(text).mid(lt, 4) == QLatin1String("<!--")) {
                state = Comment;
                setFormat(int(lt), 4, m_comment);
                i = lt + 4;
                break;
            }
            const QRegularExpressionMatch m = tagStart.match(text, lt, QRegularExpression::NormalMatch,
                                                             QRegularExpression::AnchorAtOffsetMatchOption);
            if (!m.hasMatch()) {
                i = lt + 1; // a "<" that starts no tag is text
                break;
            }
            setFormat(int(lt), int(m.capturedLength()), m_tag);
            i = lt + m.capturedLength();
            state = Tag;
            break;
        }
        case Comment: {
            const qsizetype end = text.indexOf(QLatin1String("-->"), i);
            const qsizetype stop = end < 0 ? n : end + 3;
            setFormat(int(i), int(stop - i), m_comment);
            i = stop;
            if (end >= 0)
                state = Text;
            break;
        }
        case Tag:
        case BeforeValue: {
            const QChar c = text.at(i);
            if (c.isSpace()) {
                ++i;
            } else if (c == u'>' || (c == u'/' && i + 1 < n && text.at(i + 1) == u'>')) {
                const int length = c == u'>' ? 1 : 2;
                setFormat(int(i), length, m_tag);
                i += length;
                state = Text;
            } else if (state == BeforeValue && (c == u'"' || c == u'\'')) {
                setFormat(int(i), 1, m_value);
                ++i;
                state = c == u'"' ? DoubleQuoted : SingleQuoted;
            } else if (state == BeforeValue) {
                const QRegularExpressionMatch m = unquoted.match(
                    text, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
                setFormat(int(i), int(m.capturedLength()), m_value);
                i += std::max<qsizetype>(m.capturedLength(), 1);
                state = Tag;
            } else if (c == u'=') {
                ++i;
                state = BeforeValue;
            } else {
                const QRegularExpressionMatch m = attributeName.match(
                    text, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
                setFormat(int(i), int(m.capturedLength()), m_attribute);
                i += std::max<qsizetype>(m.capturedLength(), 1);
            }
            break;
        }
        default: { // in a quoted value
            const qsizetype end = text.indexOf(state == DoubleQuoted ? u'"' : u'\'', i);
            const qsizetype stop = end < 0 ? n : end + 1;
            setFormat(int(i), int(stop - i), m_value);
            i = stop;
            if (end >= 0)
                state = Tag;
            break;
        }
        }
    }
    setCurrentBlockState(state);
}

// The numbers of the lines, in a margin of the editor.
class LineNumbers final : public QWidget
{
public:
    explicit LineNumbers(SourceView *editor) : QWidget(editor), m_editor(editor) {}
    QSize sizeHint() const override { return {m_editor->lineNumberWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { m_editor->paintLineNumbers(event); }

private:
    SourceView *m_editor;
};

SourceView::SourceView(EditSurface *surface, PageText pageText, QWidget *parent)
    : QPlainTextEdit(parent), m_surface(surface), m_pageText(std::move(pageText))
{
    setObjectName(QStringLiteral("SourceView"));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // The highlighter belongs to the document it colours.
    new HtmlHighlighter(document());
    m_lineNumbers = new LineNumbers(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this,
            [this] { setViewportMargins(lineNumberWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect &rect, int dy) {
        if (dy)
            m_lineNumbers->scroll(0, dy);
        else
            m_lineNumbers->update(0, rect.y(), m_lineNumbers->width(), rect.height());
    });

    // Typing goes into the page after a pause, not at every key: each time
    // the page is made anew from the text.
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(1500);
    connect(&m_applyTimer, &QTimer::timeout, this, [this] {
        // Not from inside a wait for the page's answer: the call that waits
        // must not find the page changed under it.
        if (m_surface->waiting())
            m_applyTimer.start();
        else
            applyQuietly();
    });
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_setting)
            return;
        m_edited = true;
        m_applyTimer.start();
    });
    // Edits in the page show here after a pause too, not at every key.
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(700);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        if (m_surface->waiting())
            m_refreshTimer.start();
        else if (isVisible() && m_surface->changeCount() != m_shownChanges)
            refresh();
    });
}

SourceView::~SourceView() = default;

int SourceView::lineNumberWidth() const
{
    int digits = 1;
    for (int max = std::max(1, blockCount()); max >= 10; max /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(u'9') * std::max(digits, 3);
}

void SourceView::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    placeLineNumbers();
}

void SourceView::showEvent(QShowEvent *event)
{
    // The fixed-width font is taken when the pane first shows: most sessions
    // never show it, and loading the font would cost every start-up.
    if (!m_fontChosen) {
        m_fontChosen = true;
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        setViewportMargins(lineNumberWidth(), 0, 0, 0);
        placeLineNumbers();
    }
    QPlainTextEdit::showEvent(event);
}

void SourceView::placeLineNumbers()
{
    const QRect r = contentsRect();
    m_lineNumbers->setGeometry(QRect(r.left(), r.top(), lineNumberWidth(), r.height()));
}

void SourceView::paintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_lineNumbers);
    painter.fillRect(event->rect(), palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= event->rect().top())
            painter.drawText(0, top, m_lineNumbers->width() - 4, fontMetrics().height(), Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        top += height;
        block = block.next();
    }
}

QString SourceView::sourceText() const
{
    QString text = rawText(document());
    if (m_shown.contains(QLatin1String("\r\n")))
        text.replace(u'\n', QLatin1String("\r\n")); // the page's own line ends
    return text;
}

void SourceView::refresh()
{
    if (m_edited)
        return; // the text here goes into the page first
    const std::optional<QString> text = m_pageText();
    if (!text)
        return; // still loading: the next change brings it
    m_shownChanges = m_surface->changeCount();
    if (*text == m_shown)
        return;
    // The place in the text of the element the caret is in on the page.
    const qsizetype at = elementOffset(*text, m_surface->caretElement());
    const int line = textCursor().blockNumber();
    m_setting = true;
    setPlainText(*text);
    m_setting = false;
    m_shown = *text;
    m_shownPlain = rawText(document());
    m_refused.clear();
    QTextCursor cursor(document());
    if (at >= 0 && !hasFocus()) {
        // CR LF is one line break in the editor.
        cursor.setPosition(int(at - QStringView(*text).left(at).count(QLatin1String("\r\n"))));
    } else {
        cursor.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, line);
    }
    setTextCursor(cursor);
    centerCursor();
}

void SourceView::refreshSoon()
{
    if (isVisible())
        m_refreshTimer.start();
}

void SourceView::pageReplaced()
{
    m_shownChanges = -1;
    refreshSoon();
}

bool SourceView::applyQuietly()
{
    if (sourceText() == m_refused)
        return false; // told once; it is tried again when asked for or changed
    return apply(false);
}

bool SourceView::apply(bool offerToDiscard)
{
    m_applyTimer.stop();
    if (!m_edited)
        return true;
    if (rawText(document()) == m_shownPlain) {
        m_edited = false; // typed and taken back
        return true;
    }
    const QString text = sourceText();
    QString plain = rawText(document());
    const int caret = elementAtOffset(plain, textCursor().position());
    const qint64 code = m_surface->applySource(text, caret);
    if (code != codes::Ok) {
        m_refused = text;
        const QString why =
            tr("Error occurred while loading document: ") + document::loadMessage(code) + u'.';
        if (!offerToDiscard) {
            ui::messageBox(window(), why, QMessageBox::Ok, QMessageBox::Critical);
            return false;
        }
        // What waits on this text (a save, closing, another page, hiding
        // the pane) would otherwise never get past it.
        const int answer =
            ui::choose(window(),
                       why + document::crlf() + document::crlf() +
                           tr("The page keeps what it had before this text. Discard the text in the HTML "
                              "Source pane and go on?"),
                       {tr("&Discard Text"), tr("&Keep Editing")}, QMessageBox::Critical);
        if (answer != 0)
            return false;
        discardEdits();
        return true;
    }
    m_edited = false;
    m_shown = text;
    m_shownPlain = plain;
    m_refused.clear();
    m_shownChanges = m_surface->changeCount();
    return true;
}

void SourceView::discardEdits()
{
    m_applyTimer.stop();
    m_edited = false;
    m_refused.clear();
    m_shown.clear(); // shown afresh from the page
    if (isVisible())
        refresh();
}

void SourceView::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    // Back to the page (a menu or a dialog of ours opening is no leaving).
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason &&
        isVisible())
        applyQuietly();
}

bool SourceView::find(const QString &text, bool matchCase, bool wholeWord, bool backward)
{
    QTextDocument::FindFlags flags;
    if (matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord)
        flags |= QTextDocument::FindWholeWords;
    if (backward)
        flags |= QTextDocument::FindBackward;
    if (QPlainTextEdit::find(text, flags))
        return true;
    // Round from the other end once.
    const QTextCursor was = textCursor();
    QTextCursor from(document());
    from.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    setTextCursor(from);
    if (QPlainTextEdit::find(text, flags))
        return true;
    setTextCursor(was);
    return false;
}

void SourceView::showFind()
{
    if (!m_find) {
        m_find = new FindDialog([this](const QString &text, bool matchCase, bool wholeWord,
                                       bool backward) { return find(text, matchCase, wholeWord, backward); },
                                this);
        m_find->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_find->show();
    m_find->raise();
    m_find->activateWindow();
}

} // namespace shell
