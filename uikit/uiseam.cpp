#include "uikit/uiseam.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace ui {
namespace {
Script *g_script = nullptr;
std::function<QStringList()> g_folderHistory;

QString appTitle()
{
    return QStringLiteral("Quillon Kiv");
}
} // namespace

void setFolderHistory(std::function<QStringList()> history)
{
    g_folderHistory = std::move(history);
}

void setScript(Script *s)
{
    g_script = s;
}

Script *script()
{
    return g_script;
}

QStringList translateFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        // The names carry their patterns for people ("GIF Files (*.gif)");
        // Qt reads the patterns from the parentheses, so they are put there
        // in its form once.
        QString name = parts[i].trimmed();
        if (name.endsWith(u')') && name.lastIndexOf(u'(') > 0)
            name = name.left(name.lastIndexOf(u'(')).trimmed();
        out << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return out;
}

QMessageBox::StandardButton messageBox(QWidget *parent, const QString &text,
                                       QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)
{
    if (g_script) {
        g_script->messagesShown << text;
        g_script->iconsShown << icon;
        if (!g_script->messageAnswers.isEmpty())
            return g_script->messageAnswers.takeFirst();
        // Unscripted: the safest answer the box offers.
        for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No, QMessageBox::Ok})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::NoButton;
    }
    QMessageBox box(icon, appTitle(), text, buttons, parent);
    if (buttons.testFlag(QMessageBox::Yes))
        box.setDefaultButton(QMessageBox::Yes);
    return QMessageBox::StandardButton(box.exec());
}

int choose(QWidget *parent, const QString &text, const QStringList &buttons, QMessageBox::Icon icon)
{
    if (g_script) {
        g_script->messagesShown << text;
        g_script->iconsShown << icon;
        return g_script->choiceAnswers.isEmpty() ? int(buttons.size()) - 1
                                                 : g_script->choiceAnswers.takeFirst();
    }
    QMessageBox box(icon, appTitle(), text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        added << box.addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole
                                                  : (i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                             : QMessageBox::DestructiveRole));
    if (!added.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
    box.exec();
    const qsizetype chosen = added.indexOf(box.clickedButton());
    return chosen >= 0 ? int(chosen) : int(buttons.size()) - 1;
}

bool offerToStopWaiting(QWidget *parent, const QString &text, const std::function<bool()> &stillWaiting)
{
    if (g_script) {
        ++g_script->stopWaitingOffers;
        return !g_script->stopWaitingAnswers.isEmpty() && g_script->stopWaitingAnswers.takeFirst();
    }
    QMessageBox box(QMessageBox::Information, appTitle(), text, QMessageBox::NoButton, parent);
    QAbstractButton *stop =
        box.addButton(QCoreApplication::translate("ui", "&Stop Waiting"), QMessageBox::DestructiveRole);
    QAbstractButton *keep =
        box.addButton(QCoreApplication::translate("ui", "&Keep Waiting"), QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton *>(keep));
    // The answer that comes while the question is up answers it.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &box, [&] {
        if (!stillWaiting())
            box.done(QMessageBox::Cancel);
    });
    poll.start(50);
    box.exec();
    return box.clickedButton() == stop && stillWaiting();
}

QString openFile(QWidget *parent, const QString &title, const QString &filter, int filterIndex,
                 const QString &startFolder)
{
    if (g_script) {
        ++g_script->filesAsked;
        g_script->lastFilter = filter;
        g_script->lastFilterIndex = filterIndex;
        g_script->lastStartFolder = startFolder;
        return g_script->fileAnswers.isEmpty() ? QString() : g_script->fileAnswers.takeFirst();
    }
    QFileDialog dialog(parent, title, startFolder);
    if (g_folderHistory)
        dialog.setHistory(g_folderHistory());
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = translateFilter(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        // Filter indexes count from 1.
        if (filterIndex >= 1 && filterIndex <= filters.size())
            dialog.selectNameFilter(filters[filterIndex - 1]);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &startPath,
                 const QString &defaultSuffix)
{
    if (g_script) {
        ++g_script->filesAsked;
        g_script->lastFilter = filter;
        return g_script->fileAnswers.isEmpty() ? QString() : g_script->fileAnswers.takeFirst();
    }
    QFileDialog dialog(parent, title, startPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The dialog completes the name itself, so that its question about
    // replacing a file is about the file that is then written.
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString pickFolder(QWidget *parent, const QString &title, const QString &startFolder)
{
    if (g_script) {
        ++g_script->foldersAsked;
        g_script->lastStartFolder = startFolder;
        return g_script->folderAnswers.isEmpty() ? QString() : g_script->folderAnswers.takeFirst();
    }
    return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

std::optional<QString> askText(QWidget *parent, const QString &title, const QString &label,
                               const QString &initial)
{
    if (g_script) {
        g_script->textsAsked << label + u'|' + initial;
        const QString answer =
            g_script->textAnswers.isEmpty() ? QString() : g_script->textAnswers.takeFirst();
        return answer.isNull() ? std::nullopt : std::optional<QString>(answer);
    }
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, initial, &ok);
    return ok ? std::optional<QString>(text) : std::nullopt;
}

std::optional<QColor> pickColor(QWidget *parent, const QColor &initial)
{
    if (g_script) {
        if (g_script->colorAnswers.isEmpty())
            return std::nullopt;
        const QColor c = g_script->colorAnswers.takeFirst();
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    }
    const QColor c = QColorDialog::getColor(initial, parent);
    return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
}

void ShellOpen(QWidget *, const QString &target)
{
    if (g_script) {
        g_script->opened << target;
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

} // namespace ui
