#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Every message box, file picker and colour picker of the program goes
// through here, so that tests can script the user's answers.
namespace ui {

// "Name|pattern|Name|pattern" filter text as file dialogs of old took it,
// turned into Qt's form ("Name (pattern)" per line).
QStringList translateFilter(const QString &filter);

QMessageBox::StandardButton messageBox(QWidget *parent, const QString &text,
                                       QMessageBox::StandardButtons buttons, QMessageBox::Icon icon);

// A question with buttons of its own: the index of the button chosen; the
// last button (the one that changes nothing) when the box is closed.
int choose(QWidget *parent, const QString &text, const QStringList &buttons, QMessageBox::Icon icon);

// Something the program waits for has not come for long: true when the user
// stops waiting. The question goes away by itself once stillWaiting() turns
// false.
bool offerToStopWaiting(QWidget *parent, const QString &text, const std::function<bool()> &stillWaiting);

// Folders the open dialog offers in its history (the program's recent pages').
void setFolderHistory(std::function<QStringList()> history);

// The path chosen, or empty when the dialog was cancelled.
QString openFile(QWidget *parent, const QString &title, const QString &filter, int filterIndex,
                 const QString &startFolder);
// A name typed without an extension gets defaultSuffix (when given), and the
// dialog's question about replacing a file is about that completed name.
QString saveFile(QWidget *parent, const QString &title, const QString &filter, const QString &startPath,
                 const QString &defaultSuffix = QString());

// A folder chosen, or empty when the dialog was cancelled.
QString pickFolder(QWidget *parent, const QString &title, const QString &startFolder);

// A line of text the user typed (initial stands in the box, selected), or
// nothing when the box was cancelled.
std::optional<QString> askText(QWidget *parent, const QString &title, const QString &label,
                               const QString &initial);

// The colour chosen, or nothing when the dialog was cancelled.
std::optional<QColor> pickColor(QWidget *parent, const QColor &initial);

// Opens a file or web address in the user's default program.
void ShellOpen(QWidget *owner, const QString &target);

// Test seam: answers are taken in order from these queues instead of showing
// a dialog. A file answer of "" is a cancel; a colour answer that is invalid
// is a cancel.
struct Script
{
    QList<QMessageBox::StandardButton> messageAnswers;
    QStringList fileAnswers;
    QList<QColor> colorAnswers;
    QList<int> choiceAnswers;
    // Typed lines (a null string is a cancel) and folders picked ("" is a
    // cancel).
    QStringList textAnswers;
    QStringList folderAnswers;
    // What was asked, for the tests to check.
    QStringList messagesShown;
    QList<QMessageBox::Icon> iconsShown;
    int filesAsked = 0;
    QString lastFilter;
    int lastFilterIndex = 0;
    QString lastStartFolder;
    QStringList textsAsked; // the labels of the text boxes, with their initial text after "|"
    int foldersAsked = 0;
    QStringList opened; // targets given to ShellOpen
    // Answers to the offer to stop a long wait (none: keep waiting), and how
    // often it was made.
    QList<bool> stopWaitingAnswers;
    int stopWaitingOffers = 0;
};
// Turns scripting on (answers never come from a real dialog) or off.
void setScript(Script *script);
Script *script();

} // namespace ui
