#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

// The spelling dictionaries: those installed with the program, the user's
// personal word list, and the engine's dictionaries built from both. Nothing
// here needs the engine itself.
namespace spelling {

// Where the program's dictionaries are: each as the engine reads it (.bdic)
// beside the hunspell files it was made from (.dic, .aff). "" when none.
QString installedFolder();
// The names of the dictionaries installed ("en_US", "de_DE"), sorted.
QStringList installed();
// How a dictionary is named in a menu: "English (United States)".
QString displayName(const QString &dictionary);
// The installed dictionary for a page in language lang ("en-GB", "de"): the
// same language and country, else the same language; "" when none fits.
QString forLanguage(const QString &lang, const QStringList &dictionaries);

// The folder the engine reads its dictionaries from, in the user's data
// folder; made when missing.
QString engineFolder();
// The personal word list: one word a line, in the user's data folder.
QString personalListPath();
QStringList readWords(const QString &path);
// Adds the word to the list at path; false when the list cannot be written.
bool addWord(const QString &path, const QString &word);
// A hunspell word list (.dic, in the charset its .aff names) with words
// added: words a dictionary cannot hold (spaces, empty) are left out.
QByteArray withWords(const QByteArray &dic, const QByteArray &aff, const QStringList &words);

// The dictionaries of one window: the engine's name for a dictionary with the
// user's words in it, built off the window's thread when it is not there yet.
class Dictionaries final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Dictionaries)

public:
    explicit Dictionaries(QObject *parent = nullptr);
    ~Dictionaries() override;

    // The name the engine knows the dictionary by, with the personal words
    // and the words ignored here. When that one still has to be built, the
    // name to use meanwhile comes back and ready() follows with the new one.
    QString engineName(const QString &dictionary);
    // Into the personal list, for good; false when the list cannot be written.
    bool addWord(const QString &word);
    // Not marked again in this window until it closes.
    void ignoreWord(const QString &word);

signals:
    void ready(const QString &dictionary, const QString &engineName);
    // The personal list changed, here or in another window.
    void wordsChanged();
    void failed(const QString &message);

private:
    void startBuild(const QString &dictionary, const QString &name, const QStringList &words);
    void watchList();

    QSet<QString> m_ignored;
    QHash<QString, QString> m_current; // dictionary -> the engine name in use
    QString m_building;                // the engine name being built, "" when none
    QString m_queued;                  // a dictionary asked for while another was built
    std::unique_ptr<QFutureWatcher<QString>> m_build;
    QFileSystemWatcher m_watcher;
};

} // namespace spelling
