#pragma once

// The editing surface's contract over a page held as a string, for the tests
// of the dialogs: they run in milliseconds and load no browser engine. What
// the engine itself does with a paste (trimming a selection, splitting
// anchors) is the surface's own tests' business, not the dialogs'.
#include "surface/editsurface.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace testsupport {

class FakeEditSurface final : public surface::EditSurface
{
    Q_OBJECT

public:
    explicit FakeEditSurface(QObject *parent = nullptr) : EditSurface(parent) {}

    // Shows a page as if it had been loaded from path ("" for a page never
    // saved): unchanged, with the caret at the end of its body.
    void setPage(const QString &html, const QString &path = {});
    QString page() const { return m_html; }

    // Selects the first occurrence of markup in the page as text; false when
    // the page does not hold it.
    bool selectMarkup(const QString &markup);
    // An object (a picture) is selected: it has no text range to paste into.
    // With its markup (found in the page) a fragment can take its place.
    bool selectObject(const QString &markup = {});
    // A caret at this position of the page's markup.
    void placeCaret(qsizetype at);

    // Every fragment a paste put into the page since it was shown, in order.
    QStringList pasted;
    // What the save-as dialog answers, in order; "" (or none left) dismisses it.
    QStringList saveAsAnswers;
    int saveAsAsked = 0;

    // The contract.
    QWidget *widget() override { return nullptr; } // the fake shows nothing
    void setFilePicker(std::shared_ptr<surface::FilePicker> picker) override { m_picker = std::move(picker); }
    qint64 LoadDocument(const QString &path, bool prompt) override;
    QString chooseSaveAsPath() override
    {
        ++saveAsAsked;
        return saveAsAnswers.isEmpty() ? QString() : saveAsAnswers.takeFirst();
    }
    void NewDocument() override;
    qint64 PrintDocument(bool) override { return surface::codes::Cancelled; }
    surface::DocumentRead readDocument() override;
    void documentSaved(const surface::SavedDocument &saved) override;
    QString originFolder() const override;
    bool setDocumentHTML(const QString &html) override;
    void beginDocumentHTML(const QString &html) override;
    bool loadRecovered(const QString &pagePath, const QString &html) override;
    bool newDocumentAt(const QString &path, const QString &html) override;
    QString DocumentTitle() const override;
    bool setDocumentTitle(const QString &title) override;
    QString CurrentDocumentPath() const override { return m_path; }
    bool IsDirty() const override { return m_dirty; }
    bool pageShown() const override { return true; }
    bool Busy() const override { return false; }
    bool ShowBorders() const override { return m_borders; }
    void setShowBorders(bool on) override { m_borders = on; }
    bool ShowDetails() const override { return m_details; }
    void setShowDetails(bool on) override { m_details = on; }
    bool SnapToGrid() const override { return m_grid; }
    void setSnapToGrid(bool on) override { m_grid = on; }
    QVariant ExecCommand(int, int, const QVariant &) override { return {}; }
    int QueryStatus(int) const override { return surface::DECMDF_DISABLED; }
    void SetContextMenu(const QStringList &, const QList<int> &) override {}
    QString selectionType() const override { return m_selectionType; }
    std::optional<QString> rangeText() override;
    bool pasteAtRange(const QString &html) override;
    std::optional<QString> controlHTML() override;
    bool pasteOverControl(const QString &html) override;
    bool collapseSelection(bool toStart) override;
    QString documentProperty(const QString &name) override;
    bool setDocumentProperty(const QString &name, const QString &value) override;
    bool setBodyAttribute(const QString &name, const QString &value) override;
    bool removeBodyAttribute(const QString &name) override;
    QString bodyAttribute(const QString &name) override;
    qint64 applySource(const QString &html, int) override
    {
        changed(html);
        return surface::codes::Ok;
    }
    int caretElement() override { return -1; }
    QString pageLanguage() override { return {}; }
    int changeCount() const override { return m_changes; }
    // The fake page has no spelling: nothing is ever misspelt.
    void setSpellCheckDictionary(const QString &) override {}
    QString misspelledWord() const override { return {}; }
    QStringList spellingSuggestions() const override { return {}; }
    void replaceMisspelledWord(const QString &) override {}

private:
    using Attributes = QList<QPair<QString, QString>>;
    // The body's attributes: those of the page's <body> tag, or, for a page
    // that leaves the tag out, those of the body an engine makes up for it.
    Attributes bodyAttributes() const;
    void writeBodyAttributes(const Attributes &attributes);
    void changed(const QString &html);

    QString m_html;
    QString m_path;
    bool m_dirty = false;
    int m_changes = 0;
    Attributes m_madeUpBody;
    QString m_selectionType = QStringLiteral("None");
    bool m_objectKnown = false; // the selected object's markup is m_start to m_end
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    bool m_borders = true;
    bool m_details = false;
    bool m_grid = false;
    std::shared_ptr<surface::FilePicker> m_picker;
};

} // namespace testsupport
