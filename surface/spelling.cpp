#include "surface/spelling.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>

namespace spelling {

namespace {
const QString kBdic = QStringLiteral(".bdic");
// The engine's names for dictionaries built here: the dictionary's own name,
// a private-use tag, and what it was built from.
const QString kBuiltTag = QStringLiteral("-x-qk");

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The engine's file for a dictionary that has no words of the user: a link to
// the installed one, so that a newer package is picked up at once.
bool linkInstalled(const QString &dictionary)
{
    const QString target = installedFolder() + u'/' + dictionary + kBdic;
    const QString link = engineFolder() + u'/' + dictionary + kBdic;
    const QFileInfo info(link);
    if (info.isSymLink() && info.symLinkTarget() == target)
        return true;
    if (info.exists() || info.isSymLink())
        QFile::remove(link);
    return QFile::link(target, link) || QFile::copy(target, link);
}

// Builds the engine's dictionary name from the installed one and words; runs
// on a thread of the pool. The reason it failed, or "".
QString build(const QString &from, const QString &engine, const QString &dictionary, const QString &name,
              const QStringList &words)
{
    const QByteArray dic = readAll(from + u'/' + dictionary + QStringLiteral(".dic"));
    const QByteArray aff = readAll(from + u'/' + dictionary + QStringLiteral(".aff"));
    if (dic.isEmpty() || aff.isEmpty())
        return QCoreApplication::translate("spelling", "the word list of %1 is not installed")
            .arg(dictionary);
    const QString tool =
        QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + QStringLiteral("/qwebengine_convert_dict");
    if (!QFileInfo(tool).isExecutable())
        return QCoreApplication::translate("spelling", "%1 is not installed").arg(tool);
    QTemporaryDir work(engine + QStringLiteral("/build-XXXXXX"));
    if (!work.isValid())
        return QCoreApplication::translate("spelling", "%1 cannot be written").arg(engine);
    const QString dicPath = work.filePath(dictionary + QStringLiteral(".dic"));
    QFile dicFile(dicPath);
    QFile affFile(work.filePath(dictionary + QStringLiteral(".aff")));
    const QByteArray merged = withWords(dic, aff, words);
    if (!dicFile.open(QIODevice::WriteOnly) || dicFile.write(merged) != merged.size() ||
        !affFile.open(QIODevice::WriteOnly) || affFile.write(aff) != aff.size())
        return QCoreApplication::translate("spelling", "%1 cannot be written").arg(engine);
    dicFile.close();
    affFile.close();
    const QString built = work.filePath(name + kBdic);
    QProcess convert;
    convert.setProcessChannelMode(QProcess::MergedChannels);
    convert.start(tool, {dicPath, built});
    if (!convert.waitForFinished(300000) || convert.exitStatus() != QProcess::NormalExit ||
        convert.exitCode() != 0 || !QFileInfo::exists(built))
        return QCoreApplication::translate("spelling", "the dictionary could not be built: %1")
            .arg(QString::fromLocal8Bit(convert.readAll()).trimmed().section(u'\n', -1));
    const QString target = engine + u'/' + name + kBdic;
    QFile::remove(target);
    if (!QFile::rename(built, target))
        return QCoreApplication::translate("spelling", "%1 cannot be written").arg(target);
    // Older builds of this dictionary are no longer needed: the engine keeps
    // the file it has open until it lets go of it.
    const QStringList old = QDir(engine).entryList({dictionary + kBuiltTag + u'*' + kBdic}, QDir::Files);
    for (const QString &file : old)
        if (file != name + kBdic)
            QFile::remove(engine + u'/' + file);
    return {};
}
} // namespace

QString installedFolder()
{
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quillon-kiv/dictionaries");
    if (QFileInfo(beside).isDir())
        return QDir::cleanPath(beside);
#ifdef QK_BUILD_DICTIONARIES
    // Run from the build tree.
    if (QFileInfo(QStringLiteral(QK_BUILD_DICTIONARIES)).isDir())
        return QStringLiteral(QK_BUILD_DICTIONARIES);
#endif
    return {};
}

QStringList installed()
{
    const QString folder = installedFolder();
    if (folder.isEmpty())
        return {};
    QStringList names;
    // Filtered here: a name filter would compile a pattern, at start-up.
    for (const QString &file : QDir(folder).entryList(QDir::Files, QDir::Name)) {
        if (file.size() > kBdic.size() && file.endsWith(kBdic, Qt::CaseInsensitive))
            names << file.chopped(kBdic.size());
    }
    return names;
}

QString displayName(const QString &dictionary)
{
    const QLocale locale(dictionary);
    if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
        return dictionary;
    QString name = QLocale::languageToString(locale.language());
    if (dictionary.contains(u'_') || dictionary.contains(u'-'))
        name += QStringLiteral(" (%1)").arg(QLocale::territoryToString(locale.territory()));
    return name;
}

QString forLanguage(const QString &lang, const QStringList &dictionaries)
{
    const QString wanted = QString(lang).trimmed().replace(u'-', u'_');
    if (wanted.isEmpty())
        return {};
    const auto find = [&](const QString &name) {
        for (const QString &d : dictionaries)
            if (d.compare(name, Qt::CaseInsensitive) == 0)
                return d;
        return QString();
    };
    const QString language = wanted.section(u'_', 0, 0);
    // The language's usual country ("en" reads as en_US), then the language
    // alone, then any country of it.
    for (const QString &name : {wanted, QLocale(wanted).name(), language})
        if (QString d = find(name); !d.isEmpty())
            return d;
    for (const QString &d : dictionaries)
        if (d.section(u'_', 0, 0).compare(language, Qt::CaseInsensitive) == 0)
            return d;
    return {};
}

QString engineFolder()
{
    QString folder = dataFolder() + QStringLiteral("/dictionaries");
    QDir().mkpath(folder);
    return folder;
}

QString personalListPath()
{
    return dataFolder() + QStringLiteral("/personal-dictionary.txt");
}

QStringList readWords(const QString &path)
{
    QStringList words;
    for (const QString &line : QString::fromUtf8(readAll(path)).split(u'\n')) {
        const QString word = line.trimmed();
        if (!word.isEmpty() && !words.contains(word))
            words << word;
    }
    return words;
}

bool addWord(const QString &path, const QString &word)
{
    const QString w = word.trimmed();
    if (w.isEmpty() || readWords(path).contains(w))
        return !w.isEmpty();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::Append))
        return false;
    // A list whose last line has no end gets one first.
    const QByteArray line = (f.size() > 0 && !readAll(path).endsWith('\n') ? "\n" : "") + w.toUtf8() + '\n';
    return f.write(line) == line.size();
}

QByteArray withWords(const QByteArray &dic, const QByteArray &aff, const QStringList &words)
{
    static const QRegularExpression setLine(QStringLiteral("^SET\\s+(\\S+)"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch set = setLine.match(QString::fromLatin1(aff));
    QStringEncoder encoder(set.hasMatch() ? set.captured(1).toLatin1().constData() : "ISO-8859-1");
    if (!encoder.isValid())
        encoder = QStringEncoder(QStringEncoder::Utf8);
    const qsizetype firstEnd = dic.indexOf('\n');
    QByteArray body = firstEnd < 0 ? QByteArray() : dic.mid(firstEnd + 1);
    if (!body.isEmpty() && !body.endsWith('\n'))
        body += '\n';
    int count = firstEnd < 0 ? 0 : dic.left(firstEnd).trimmed().toInt();
    for (const QString &word : words) {
        if (word.isEmpty() || word.contains(QRegularExpression(QStringLiteral("\\s"))))
            continue;
        // A slash would start the word's flags.
        QByteArray bytes = encoder.encode(QString(word).replace(u'/', QStringLiteral("\\/")));
        if (encoder.hasError()) {
            encoder.resetState();
            continue; // the dictionary's charset cannot hold it
        }
        body += bytes + '\n';
        ++count;
    }
    return QByteArray::number(count) + '\n' + body;
}

Dictionaries::Dictionaries(QObject *parent) : QObject(parent)
{
    watchList();
    const auto changed = [this] {
        watchList();
        emit wordsChanged();
    };
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    // The list may only come into being once another window adds a word.
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this, changed] {
        if (!m_watcher.files().contains(personalListPath()) && QFileInfo::exists(personalListPath()))
            changed();
    });
}

Dictionaries::~Dictionaries() = default;

void Dictionaries::watchList()
{
    const QString path = personalListPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!m_watcher.directories().contains(QFileInfo(path).absolutePath()))
        m_watcher.addPath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path) && !m_watcher.files().contains(path))
        m_watcher.addPath(path);
}

QString Dictionaries::engineName(const QString &dictionary)
{
    if (dictionary.isEmpty() || !installed().contains(dictionary))
        return {};
    QStringList words = readWords(personalListPath()) + m_ignored.values();
    words.sort();
    words.removeDuplicates();
    const QString plain = linkInstalled(dictionary) ? dictionary : QString();
    if (words.isEmpty())
        return m_current[dictionary] = plain;
    // Named after what it is made of: a build from the same words is found
    // again, after a restart too, and a new list gets a name the engine has
    // not loaded yet, which makes it load the new file.
    const QFileInfo source(installedFolder() + u'/' + dictionary + kBdic);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(dictionary.toUtf8());
    hash.addData(QByteArray::number(source.size()) + source.lastModified().toString(Qt::ISODate).toUtf8());
    hash.addData(words.join(u'\n').toUtf8());
    const QString name = dictionary + kBuiltTag + QString::fromLatin1(hash.result().toHex().left(12));
    if (QFileInfo::exists(engineFolder() + u'/' + name + kBdic))
        return m_current[dictionary] = name;
    if (m_building.isEmpty())
        startBuild(dictionary, name, words);
    else if (m_building != name)
        m_queued = dictionary;
    const QString meanwhile = m_current.value(dictionary);
    return !meanwhile.isEmpty() && QFileInfo::exists(engineFolder() + u'/' + meanwhile + kBdic) ? meanwhile
                                                                                                : plain;
}

void Dictionaries::startBuild(const QString &dictionary, const QString &name, const QStringList &words)
{
    m_building = name;
    m_build = std::make_unique<QFutureWatcher<QString>>();
    connect(m_build.get(), &QFutureWatcher<QString>::finished, this, [this, dictionary, name] {
        const QString error = m_build->result();
        m_building.clear();
        if (error.isEmpty()) {
            m_current[dictionary] = name;
            emit ready(dictionary, name);
        } else {
            emit failed(error);
        }
        if (const QString next = std::exchange(m_queued, QString()); !next.isEmpty()) {
            const QString now = engineName(next);
            if (m_building.isEmpty())
                emit ready(next, now);
        }
    });
    m_build->setFuture(QtConcurrent::run(build, installedFolder(), engineFolder(), dictionary, name, words));
}

bool Dictionaries::addWord(const QString &word)
{
    if (!spelling::addWord(personalListPath(), word))
        return false;
    watchList();
    return true;
}

void Dictionaries::ignoreWord(const QString &word)
{
    if (!word.trimmed().isEmpty())
        m_ignored.insert(word.trimmed());
}

} // namespace spelling
