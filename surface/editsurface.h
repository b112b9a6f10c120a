#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace surface {

// Command numbers of the editing surface. The lists are the one source of
// these numbers: the enums below are made from them, and so is the table
// of names the surface's script is built with, so the two cannot drift.
#define QK_SURFACE_COMMANDS(X)                                                                               \
    X(BOLD, 5000)                                                                                            \
    X(COPY, 5002)                                                                                            \
    X(CUT, 5003)                                                                                             \
    X(DELETECOLS, 5006)                                                                                      \
    X(DELETEROWS, 5007)                                                                                      \
    X(FINDTEXT, 5008)                                                                                        \
    X(FONT, 5009)                                                                                            \
    X(GETBLOCKFMT, 5011)                                                                                     \
    X(GETBLOCKFMTNAMES, 5012)                                                                                \
    X(GETFONTNAME, 5013)                                                                                     \
    X(GETFONTSIZE, 5014)                                                                                     \
    X(INDENT, 5018)                                                                                          \
    X(INSERTCOL, 5020)                                                                                       \
    X(INSERTROW, 5021)                                                                                       \
    X(ITALIC, 5023)                                                                                          \
    X(JUSTIFYCENTER, 5024)                                                                                   \
    X(JUSTIFYLEFT, 5025)                                                                                     \
    X(JUSTIFYRIGHT, 5026)                                                                                    \
    X(MAKE_ABSOLUTE, 5028)                                                                                   \
    X(ORDERLIST, 5030)                                                                                       \
    X(OUTDENT, 5031)                                                                                         \
    X(PASTE, 5032)                                                                                           \
    X(REDO, 5033)                                                                                            \
    X(SELECTALL, 5035)                                                                                       \
    X(SEND_TO_BACK, 5040)                                                                                    \
    X(SETBLOCKFMT, 5043)                                                                                     \
    X(SETFONTNAME, 5044)                                                                                     \
    X(SETFONTSIZE, 5045)                                                                                     \
    X(SETFORECOLOR, 5046)                                                                                    \
    X(UNDERLINE, 5048)                                                                                       \
    X(UNDO, 5049)                                                                                            \
    X(UNORDERLIST, 5051)                                                                                     \
    X(PASTEPLAINTEXT, 5100)

// QueryStatus answers. NINCHED: the selection is mixed.
#define QK_SURFACE_STATUSES(X)                                                                               \
    X(NOTSUPPORTED, 0)                                                                                       \
    X(DISABLED, 1)                                                                                           \
    X(ENABLED, 3)                                                                                            \
    X(LATCHED, 7)                                                                                            \
    X(NINCHED, 11)

enum DECMD : int
{
#define QK_DECMD_ENUMERATOR(name, value) DECMD_##name = value,
    QK_SURFACE_COMMANDS(QK_DECMD_ENUMERATOR)
#undef QK_DECMD_ENUMERATOR
};

enum DECMDF : int
{
#define QK_DECMDF_ENUMERATOR(name, value) DECMDF_##name = value,
    QK_SURFACE_STATUSES(QK_DECMDF_ENUMERATOR)
#undef QK_DECMDF_ENUMERATOR
};

// The lists as data, for the generator of the script's table and for
// checks of what the script reports.
struct NamedId
{
    const char *name;
    int value;
};
#define QK_NAMED_ID(name, value) NamedId{#name, value},
inline constexpr NamedId kCommandIds[] = {QK_SURFACE_COMMANDS(QK_NAMED_ID)};
inline constexpr NamedId kStatusIds[] = {QK_SURFACE_STATUSES(QK_NAMED_ID)};
#undef QK_NAMED_ID

// ExecCommand options.
enum OLECMDEXECOPT : int
{
    OLECMDEXECOPT_DODEFAULT = 0,
    OLECMDEXECOPT_PROMPTUSER = 1,
    OLECMDEXECOPT_DONTPROMPTUSER = 2,
};

// Failure codes of loading and saving; 0 is success.
namespace codes {
constexpr qint64 Ok = 0;
constexpr qint64 Unexpected = 0x8000FFFF;
constexpr qint64 FileNotFound = 0x80070002;
constexpr qint64 PathNotFound = 0x80070003;
constexpr qint64 DiskFull = 0x80070027;
constexpr qint64 Frameset = 0x80100001;
constexpr qint64 ServerScript = 0x80100002;
constexpr qint64 InvalidArgument = 5;
constexpr qint64 AccessDenied = 70;
constexpr qint64 Cancelled = 0x800704C7; // a dialog of the surface was dismissed
constexpr qint64 Unknown = 0x80004005;
constexpr qint64 NotText = 0x80100003; // the file holds binary data
constexpr qint64 Stopped = 0x80004004; // the user stopped waiting for the load
} // namespace codes

// What reading the page gave: its text, or what went wrong.
struct DocumentRead
{
    bool ok = false;
    QString text;             // the page as a save writes it, before local references are made relative
    QString error;            // why it could not be read, for the user
    bool unchanged = false;   // no edit since the page was loaded or last saved
    QByteArray originalBytes; // then: the file's bytes, when it came from one
    QString charset;          // the charset the page was read with ("" for a page made here)
    bool bom = false;         // the file began with a byte order mark
    int changes = 0;          // hand back to documentSaved
};

// What a save wrote, for the surface to take as the page's new source.
struct SavedDocument
{
    QString path;
    QString text;
    QByteArray bytes;
    QString charset;
    bool bom = false;
    QHash<QString, QString> relativeReferences; // relative reference -> the one written for the new folder
    int changes = 0;                            // from the DocumentRead the text came from
};

// What the surface's font dialog edits.
struct FontChoice
{
    QString face;
    int size = 0; // 1 to 7; 0 leaves the size
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QString color; // "#RRGGBB"; empty leaves the colour
};

// The surface's own dialogs go through this, so that the program (and tests)
// can answer them.
struct FilePicker
{
    enum class Kind
    {
        Open,
        SaveAs
    };
    virtual ~FilePicker() = default;
    // The chosen path, or an empty text when the dialog was dismissed.
    virtual QString pickFile(QWidget *parent, Kind kind, const QString &title, const QString &startPath,
                             const QString &filter) = 0;
    // The font chosen, or nothing when the dialog was dismissed. By default
    // the surface's own font dialog.
    virtual std::optional<FontChoice> pickFont(QWidget *parent, const FontChoice &current);
    // A call into the page has long gone unanswered: true when the user
    // chooses to stop waiting. The question goes away by itself once
    // stillWaiting() turns false. By default the surface keeps waiting.
    virtual bool offerToStopWaiting(QWidget *parent, const QString &text,
                                    const std::function<bool()> &stillWaiting);
};

class EditSurface;

// A text range made from the document's selection.
class TextRange
{
public:
    explicit TextRange(EditSurface *owner, QString text) : m_owner(owner), m_text(std::move(text)) {}
    // Plain text of the range.
    QString text() const { return m_text; }
    // Replaces the range with the HTML fragment (the caret's place when the
    // range is empty). False when the surface refused the paste.
    bool pasteHTML(const QString &html);
    // Collapses the document's selection to the range's start (or end).
    bool Collapse(bool toStart = true);

private:
    EditSurface *m_owner;
    QString m_text;
};

// The object selected as a whole (a picture), as a range of its own.
class ControlRange
{
public:
    explicit ControlRange(EditSurface *owner, QString html) : m_owner(owner), m_html(std::move(html)) {}
    // The object's markup.
    QString html() const { return m_html; }
    // Puts the HTML fragment in the object's place. False when the surface
    // refused the paste.
    bool pasteHTML(const QString &html);

private:
    EditSurface *m_owner;
    QString m_html;
};

// The document's selection.
class Selection
{
public:
    explicit Selection(EditSurface *owner) : m_owner(owner) {}
    // "None" (a caret), "Text", or "Control" (an object such as an image).
    QString type() const;
    // A text range of the selection; empty for a control selection, which has
    // no text to paste into.
    std::optional<TextRange> createRange() const;
    // The selected object; empty unless the selection is a control selection.
    std::optional<ControlRange> createControlRange() const;

private:
    EditSurface *m_owner;
};

class Body
{
public:
    explicit Body(EditSurface *owner) : m_owner(owner) {}
    bool setAttribute(const QString &name, const QString &value, int flags = 0);
    bool removeAttribute(const QString &name);
    QString getAttribute(const QString &name) const;

private:
    EditSurface *m_owner;
};

// The page's document object, as far as the program uses it.
class Document
{
public:
    explicit Document(EditSurface *owner) : m_owner(owner) {}
    Selection selection() const { return Selection(m_owner); }
    Body body() const { return Body(m_owner); }
    QString bgColor() const { return color(QStringLiteral("bgColor")); }
    QString fgColor() const { return color(QStringLiteral("fgColor")); }
    QString linkColor() const { return color(QStringLiteral("linkColor")); }
    QString vlinkColor() const { return color(QStringLiteral("vlinkColor")); }
    QString alinkColor() const { return color(QStringLiteral("alinkColor")); }
    bool setBgColor(const QString &v) { return setColor(QStringLiteral("bgColor"), v); }
    bool setFgColor(const QString &v) { return setColor(QStringLiteral("fgColor"), v); }
    bool setLinkColor(const QString &v) { return setColor(QStringLiteral("linkColor"), v); }
    bool setVlinkColor(const QString &v) { return setColor(QStringLiteral("vlinkColor"), v); }
    bool setAlinkColor(const QString &v) { return setColor(QStringLiteral("alinkColor"), v); }

private:
    QString color(const QString &name) const;
    bool setColor(const QString &name, const QString &value);
    EditSurface *m_owner;
};

// Everything the rest of the program may use of the editing surface.
class EditSurface : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~EditSurface() override = default;

    virtual QWidget *widget() = 0;
    virtual void setFilePicker(std::shared_ptr<FilePicker> picker) = 0;

    // Path empty and prompt true: the surface's own open dialog. Returns a
    // failure code; a dismissed dialog is no failure and leaves the page.
    // The page is judged by what it holds, not by its name.
    virtual qint64 LoadDocument(const QString &path, bool prompt) = 0;
    // The surface's own save-as dialog: the path chosen, "" when dismissed.
    // The surface never writes the page itself: the document session does.
    virtual QString chooseSaveAsPath() = 0;
    virtual void NewDocument() = 0;
    virtual qint64 PrintDocument(bool prompt) = 0;

    // The page as a save would write it, or why it cannot be read (the
    // engine stopped, did not answer, or its reader failed).
    virtual DocumentRead readDocument() = 0;
    // The text of readDocument(), or "" when the page cannot be read.
    QString DocumentHTML();
    // The page was written: what was written becomes its source, references
    // in the page read as written, and the page is unchanged from here.
    virtual void documentSaved(const SavedDocument &saved) = 0;
    // The folder relative references of the page resolve against ("" for a
    // page made here that was never saved).
    virtual QString originFolder() const = 0;
    virtual bool setDocumentHTML(const QString &html) = 0;
    // The page becomes html, text the user wrote as its source: it keeps its
    // path and charset, counts as changed, and the caret goes into the
    // element numbered caretElement (see caretElement()). A text the surface
    // refuses (a frameset) leaves the page as it was; the failure code says
    // why. The first Undo after it brings the page back to what it was, as
    // the engine's own history does not outlive the new page.
    virtual qint64 applySource(const QString &html, int caretElement) = 0;
    // The element holding the caret, numbered in document order (-1 when
    // none).
    virtual int caretElement() = 0;
    // Puts the caret in the element numbered index (as caretElement counts)
    // and scrolls it into view; false when there is no such element.
    virtual bool caretToElement(int index)
    {
        Q_UNUSED(index);
        return false;
    }
    // Starts showing html and returns at once; DocumentComplete follows.
    virtual void beginDocumentHTML(const QString &html) = 0;
    // Shows the text of a recovery copy as the changed page at pagePath ("" for
    // a page never saved); false when the engine would not take it.
    virtual bool loadRecovered(const QString &pagePath, const QString &html) = 0;
    // Shows html as an unchanged page whose file, path, does not exist yet:
    // the first save writes it there. False when the engine would not take it.
    virtual bool newDocumentAt(const QString &path, const QString &html) = 0;
    virtual QString DocumentTitle() const = 0;
    // The title element's text becomes title, as an edit of the page that
    // one Undo takes back; nothing else of the page changes. False when the
    // page has no title element.
    virtual bool setDocumentTitle(const QString &title) = 0;
    // The language the page says it is in (the lang of its root), or "".
    virtual QString pageLanguage() = 0;
    // How many edits the page has seen; it changes with every edit.
    virtual int changeCount() const = 0;
    virtual QString CurrentDocumentPath() const = 0;
    virtual bool IsDirty() const = 0;
    // A page is shown and can be edited (false while loading, after a failed
    // load or when the engine stopped).
    virtual bool pageShown() const = 0;
    virtual bool Busy() const = 0;
    // A call into the page is waiting for its answer. Timers and other
    // events that are not the user's run meanwhile; nothing that reads or
    // changes the page may start from them.
    virtual bool waiting() const { return false; }

    virtual bool ShowBorders() const = 0;
    virtual void setShowBorders(bool on) = 0;
    virtual bool ShowDetails() const = 0;
    virtual void setShowDetails(bool on) = 0;
    virtual bool SnapToGrid() const = 0;
    virtual void setSnapToGrid(bool on) = 0;

    // Runs a command; GET commands return their value. An invalid QVariant
    // means the command failed.
    virtual QVariant ExecCommand(int command, int option = OLECMDEXECOPT_DODEFAULT,
                                 const QVariant &value = {}) = 0;
    virtual int QueryStatus(int command) const = 0;
    // The right-click menu; state 0 normal, 2 greyed; an empty caption is a separator.
    virtual void SetContextMenu(const QStringList &captions, const QList<int> &states) = 0;

    // Spell checking with the engine's dictionary of that name ("" turns it
    // off); nothing of it is written into the page.
    virtual void setSpellCheckDictionary(const QString &name) = 0;
    // The misspelt word under the last right-click ("" when there was none)
    // and the engine's suggestions for it.
    virtual QString misspelledWord() const = 0;
    virtual QStringList spellingSuggestions() const = 0;
    // Puts the suggestion in place of that word, as an edit of the page.
    virtual void replaceMisspelledWord(const QString &replacement) = 0;

    Document DOM() { return Document(this); }

    // Used by the document facade.
    virtual QString selectionType() const = 0;
    virtual std::optional<QString> rangeText() = 0;
    virtual bool pasteAtRange(const QString &html) = 0;
    // The markup of the object selected as a whole; nothing when none is.
    virtual std::optional<QString> controlHTML() { return std::nullopt; }
    // Replaces the object selected as a whole with the fragment.
    virtual bool pasteOverControl(const QString &) { return false; }
    virtual bool collapseSelection(bool toStart) = 0;
    virtual QString documentProperty(const QString &name) = 0;
    virtual bool setDocumentProperty(const QString &name, const QString &value) = 0;
    virtual bool setBodyAttribute(const QString &name, const QString &value) = 0;
    virtual bool removeBodyAttribute(const QString &name) = 0;
    virtual QString bodyAttribute(const QString &name) = 0;

signals:
    // The engine that shows the page stopped (it crashed or the system ended
    // it); nothing can be read from the page until it is loaded again.
    void EngineFailed(const QString &reason);
    void DocumentComplete();
    void DisplayChanged();
    void ShowContextMenu();
    void ContextMenuAction(int position);
    // Files from outside the program were dropped on the page; the caret
    // stands where they fell.
    void FilesDropped(const QStringList &paths);
    // A picture alone was pasted (a screenshot, a picture copied in another
    // program), which the page can only hold as a file: the program makes it
    // one from the clipboard. The caret stands where it goes.
    void PicturePasted();
    // An object is being resized with its handles: the size it would get,
    // in pixels; both 0 once the drag is over.
    void SizeShown(int width, int height);
    // A call into the page takes long: what to tell the user while it
    // waits, and "" when it is over.
    void waitNotice(const QString &text);
};

} // namespace surface
