// Commands, their status, the context menu, spelling and the view aids.

#include "surface/surfacedialogs.h"
#include "surface/webenginesurface_p.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTextDocumentFragment>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace surface {

QString WebEngineSurface::viewAidsCall() const
{
    return QStringLiteral("qk.setViewAids(%1, %2)").arg(m_showBorders).arg(m_showDetails);
}

void WebEngineSurface::setSpellCheckDictionary(const QString &name)
{
    const QStringList languages = name.isEmpty() ? QStringList() : QStringList{name};
    if (languages == m_profile->spellCheckLanguages() && m_profile->isSpellCheckEnabled() == !name.isEmpty())
        return;
    // Words marked with the old dictionary stay marked until the page checks
    // them again, which it leaves for a quiet moment: off and on again takes
    // the marks away at once, and the new dictionary puts back its own.
    m_profile->setSpellCheckEnabled(false);
    m_profile->setSpellCheckLanguages(languages);
    m_profile->setSpellCheckEnabled(!name.isEmpty());
}

void WebEngineSurface::replaceMisspelledWord(const QString &replacement)
{
    if (!m_ready || m_misspelled.isEmpty())
        return;
    m_page->replaceMisspelledWord(replacement);
    m_misspelled.clear();
    m_suggestions.clear();
    refreshSnapshot();
}

void WebEngineSurface::setShowBorders(bool on)
{
    m_showBorders = on;
    callJs(viewAidsCall());
}

void WebEngineSurface::setShowDetails(bool on)
{
    m_showDetails = on;
    callJs(viewAidsCall());
}

void WebEngineSurface::setSnapToGrid(bool on)
{
    m_snapToGrid = on;
    callJs(QStringLiteral("qk.setSnap(%1)").arg(on));
}

QVariant WebEngineSurface::ExecCommand(int command, int /*option*/, const QVariant &value)
{
    if (!m_ready)
        return {};
    switch (command) {
    case DECMD_GETFONTNAME:
        awaitState();
        return m_fontName;
    case DECMD_GETFONTSIZE:
        awaitState();
        return m_status.value(DECMD_GETFONTSIZE) == DECMDF_NINCHED ? 0 : m_fontSize;
    case DECMD_GETBLOCKFMT:
        awaitState();
        return m_blockFormat;
    case DECMD_GETBLOCKFMTNAMES:
        if (!m_blockFormatNames.isEmpty())
            return m_blockFormatNames;
        if (const Call r = callJs(QStringLiteral("qk.blockFormatNames()")); r.ok())
            return r.value.toStringList();
        return {};
    case DECMD_CUT:
    case DECMD_COPY:
    case DECMD_PASTE:
    case DECMD_UNDO:
    case DECMD_REDO: {
        // Whether there is anything to undo, redo or cut is asked of the page
        // itself: the last pushed state may not have caught up with the page yet.
        // A paste the last state already allows goes at once: the question
        // would wait behind whatever the engine is still drawing, and the
        // engine's paste does nothing where nothing can be pasted.
        if (command != DECMD_PASTE || QueryStatus(DECMD_PASTE) < DECMDF_ENABLED)
            refreshSnapshot();
        if (command == DECMD_UNDO && m_beforeSource && m_status.value(DECMD_UNDO) < DECMDF_ENABLED) {
            // The engine's history ended where the source was applied: the
            // page before it comes back as one step.
            const QString before = *m_beforeSource;
            if (applySource(before, caretElement()) != codes::Ok)
                return {};
            m_beforeSource.reset();
            return true;
        }
        if (QueryStatus(command) < DECMDF_ENABLED)
            return {};
        static const QHash<int, QWebEnginePage::WebAction> actions = {{DECMD_CUT, QWebEnginePage::Cut},
                                                                      {DECMD_COPY, QWebEnginePage::Copy},
                                                                      {DECMD_PASTE, QWebEnginePage::Paste},
                                                                      {DECMD_UNDO, QWebEnginePage::Undo},
                                                                      {DECMD_REDO, QWebEnginePage::Redo}};
        m_page->triggerAction(actions.value(command));
        refreshSnapshot();
        return true;
    }
    case DECMD_FINDTEXT: {
        if (!m_findDialog) {
            m_findDialog = new FindDialog(
                [this](const QString &text, bool matchCase, bool wholeWord, bool backward) {
                    return findText(text, matchCase, wholeWord, backward);
                },
                m_view);
            m_findDialog->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_findDialog->show();
        m_findDialog->raise();
        m_findDialog->activateWindow();
        return true;
    }
    case DECMD_FONT: {
        if (QueryStatus(command) < DECMDF_ENABLED)
            return {};
        FontChoice current;
        current.face = m_fontName;
        current.size = m_fontSize;
        current.bold = m_status.value(DECMD_BOLD) == DECMDF_LATCHED;
        current.italic = m_status.value(DECMD_ITALIC) == DECMDF_LATCHED;
        current.underline = m_status.value(DECMD_UNDERLINE) == DECMDF_LATCHED;
        std::optional<FontChoice> chosen;
        if (m_picker)
            chosen = m_picker->pickFont(m_view, current);
        else {
            FontDialog dialog(current, m_view);
            if (dialog.exec() == QDialog::Accepted)
                chosen = dialog.choice();
        }
        if (!chosen)
            return {};
        return applyFont(*chosen) ? QVariant(true) : QVariant();
    }
    case DECMD_PASTEPLAINTEXT: {
        // The clipboard's text alone, whatever else it holds; a program that
        // offers only HTML has its text read from that.
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        if (!data)
            return {};
        QString text = data->text();
        if (text.isEmpty() && data->hasHtml())
            text = QTextDocumentFragment::fromHtml(data->html()).toPlainText();
        if (text.isEmpty())
            return {};
        if (callJsOk(QStringLiteral("qk.pastePlain(%1)").arg(jsArg(text))))
            return true;
        return {};
    }
    case DECMD_INSERTROW:
    case DECMD_INSERTCOL:
    case DECMD_DELETEROWS:
    case DECMD_DELETECOLS:
        if (callJsOk(QStringLiteral("qk.tableCommand(%1)").arg(command)))
            return true;
        return {};
    case DECMD_MAKE_ABSOLUTE:
        if (callJsOk(QStringLiteral("qk.toggleAbsolute()")))
            return true;
        return {};
    default:
        break;
    }
    if (callJsOk(QStringLiteral("qk.exec(%1, %2)").arg(command).arg(jsArg(value))))
        return true;
    return {};
}

int WebEngineSurface::QueryStatus(int command) const
{
    if (!m_ready)
        return m_status.isEmpty() && command >= DECMD_BOLD && command <= DECMD_UNORDERLIST
                   ? DECMDF_DISABLED
                   : DECMDF_NOTSUPPORTED;
    if (command == DECMD_UNDO && m_beforeSource)
        return DECMDF_ENABLED;
    awaitState();
    return m_status.value(command, DECMDF_NOTSUPPORTED);
}

void WebEngineSurface::SetContextMenu(const QStringList &captions, const QList<int> &states)
{
    m_menuCaptions = captions;
    m_menuStates = states;
}

void WebEngineSurface::showContextMenu(const QPoint &pos)
{
    if (!m_ready || !m_page)
        return;
    // What the engine knows of the word under the mouse, before another
    // right-click replaces it.
    const QWebEngineContextMenuRequest *request = m_view ? m_view->lastContextMenuRequest() : nullptr;
    m_misspelled = request ? request->misspelledWord() : QString();
    m_suggestions = request ? request->spellCheckerSuggestions() : QStringList();
    // The engine waits for this request to be answered before it runs any
    // script, so the snapshot (the right-click may have moved the selection)
    // is asked for without waiting, and the menu opens when it comes.
    QPointer<WebEngineSurface> self(this);
    m_page->runJavaScript(QStringLiteral("qk.snap()"), QWebEngineScript::ApplicationWorld,
                          [self, pos](const QVariant &snap) {
                              if (!self)
                                  return;
                              self->applySnapshot(snap);
                              QMetaObject::invokeMethod(
                                  self,
                                  [self, pos] {
                                      if (self)
                                          self->openContextMenu(pos);
                                  },
                                  Qt::QueuedConnection);
                          });
}

void WebEngineSurface::openContextMenu(const QPoint &pos)
{
    if (!m_view)
        return;
    m_menuCaptions.clear();
    m_menuStates.clear();
    emit ShowContextMenu();
    if (m_menuCaptions.isEmpty())
        return;
    QMenu menu(m_view);
    QList<QAction *> actions;
    for (qsizetype i = 0; i < m_menuCaptions.size(); ++i) {
        QAction *a = nullptr;
        if (m_menuCaptions[i].isEmpty()) {
            a = menu.addSeparator();
        } else {
            a = menu.addAction(m_menuCaptions[i]);
            a->setEnabled(m_menuStates.value(i) != 2);
        }
        actions.append(a);
    }
    QAction *chosen = menu.exec(m_view->mapToGlobal(pos));
    const qsizetype index = actions.indexOf(chosen);
    if (chosen && index >= 0)
        emit ContextMenuAction(int(index));
}

void WebEngineSurface::dropFiles(const QStringList &paths, const QPointF &at)
{
    const double zoom = m_view && m_view->zoomFactor() > 0 ? m_view->zoomFactor() : 1.0;
    callJsOk(QStringLiteral("qk.caretAt(%1, %2)").arg(at.x() / zoom).arg(at.y() / zoom));
    // Not from inside the drop: whatever the files start (a question, a
    // load) must not run while the system's drag is still being answered.
    QMetaObject::invokeMethod(
        this, [this, paths] { emit FilesDropped(paths); }, Qt::QueuedConnection);
}

bool WebEngineSurface::findText(const QString &text, bool matchCase, bool wholeWord, bool backward)
{
    return callJsOk(QStringLiteral("qk.find(%1, %2, %3, %4)")
                        .arg(jsArg(text), matchCase ? QStringLiteral("true") : QStringLiteral("false"),
                             wholeWord ? QStringLiteral("true") : QStringLiteral("false"),
                             backward ? QStringLiteral("true") : QStringLiteral("false")));
}

bool WebEngineSurface::applyFont(const FontChoice &font)
{
    QVariantMap f;
    f.insert(QStringLiteral("face"), font.face);
    f.insert(QStringLiteral("size"), font.size);
    f.insert(QStringLiteral("bold"), font.bold);
    f.insert(QStringLiteral("italic"), font.italic);
    f.insert(QStringLiteral("underline"), font.underline);
    f.insert(QStringLiteral("color"), font.color);
    return callJsOk(QStringLiteral("qk.applyFont(%1)").arg(jsArg(f)));
}

} // namespace surface
