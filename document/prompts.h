#pragma once

#include <QString>

namespace document {

// What the page's handling asks the user and tells them. The session words
// every question; how it is shown (a message box and its buttons, the status
// bar) is the window's.
class Prompts
{
public:
    virtual ~Prompts() = default;

    enum class Answer
    {
        Yes,
        No,
        Cancel
    };
    // The page has changed: save it first? Yes, No or Cancel.
    virtual Answer saveChanges(const QString &text) = 0;
    // Write over a file: another page already there under the name a save
    // completed, or one another program changed since it was read. Yes or No.
    virtual bool replaceFile(const QString &text) = 0;
    virtual bool overwriteChangedFile(const QString &text) = 0;
    // A page could not be loaded or saved.
    virtual void error(const QString &text) = 0;

    enum class Recovery
    {
        Recover = 0,
        Discard = 1,
        Later = 2 // also when the question is closed
    };
    enum class RecoveryOf
    {
        InterruptedSave, // what a save cut short left beside the page
        EndedProgram     // the copy a program that is gone kept of its changes
    };
    virtual Recovery recover(const QString &text, RecoveryOf of) = 0;
    // The engine that shows the page stopped. With a recovery copy, true when
    // the page is to be reloaded from it (Yes or No); without, only told.
    virtual bool engineStopped(const QString &text, bool copyOffered) = 0;
    // Something worth knowing that needs no answer.
    virtual void notice(const QString &text) = 0;
};

// Edits kept outside the page (the source pane's text) that go into it
// before the page is read for a save or for the question about its changes.
class PendingEdits
{
public:
    virtual ~PendingEdits() = default;
    // False when the page could not take them, which stops the save.
    virtual bool flush() = 0;
};

} // namespace document
