#pragma once

// Small helpers the benchmarks share.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs the event loop until done() or the time is up. It sleeps between
// events, as the program's own loop does: a loop that spins would take one of
// a small machine's cores from the engine it is timing.
inline bool waitFor(const std::function<bool()> &done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// Lines that differ between two texts, between their common start and end.
inline int linesChanged(const QString &before, const QString &after)
{
    const QStringList a = before.split(u'\n');
    const QStringList b = after.split(u'\n');
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    return int(std::max(a.size(), b.size()) - head - tail);
}

// Runs a measurement and gives its duration in milliseconds.
inline double timed(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

// A figure of ours against its floor, both measured in the same run, as
// "name: ratio of medians (ours median, min-max; floor median, min-max)".
// Noisy machines show in the spreads.
inline void printRatio(const char *name, const std::vector<double> &ours, const std::vector<double> &floor,
                       const char *unit = "ms")
{
    const auto [oMin, oMax] = std::minmax_element(ours.begin(), ours.end());
    const auto [fMin, fMax] = std::minmax_element(floor.begin(), floor.end());
    if (ours.empty() || floor.empty() || median(floor) <= 0) {
        std::printf("%s: n/a\n", name);
        return;
    }
    std::printf("%s: %.2f (ours %.1f %s, %.1f-%.1f; floor %.1f %s, %.1f-%.1f; %zu runs each)\n", name,
                median(ours) / median(floor), median(ours), unit, *oMin, *oMax, median(floor), unit, *fMin,
                *fMax, ours.size());
    std::fflush(stdout);
}

// Ours against the floor run right before or after it, turn by turn: the
// median of those ratios, with their spread. A machine that slows down for a
// while slows both runs of a turn, so this shows less of its noise than the
// ratio of medians does.
inline void printPairedRatio(const char *name, const std::vector<double> &ours,
                             const std::vector<double> &floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < floor.size(); ++i) {
        if (floor[i] > 0)
            ratios.push_back(ours[i] / floor[i]);
    }
    if (ratios.empty()) {
        std::printf("%s: n/a\n", name);
        return;
    }
    const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
    std::printf("%s: %.2f (%.2f-%.2f; %zu turns)\n", name, median(ratios), *lo, *hi, ratios.size());
    std::fflush(stdout);
}

// A process and every process it started, by the parent each names in its
// /proc/<pid>/stat.
inline std::vector<qint64> processTree(qint64 root)
{
    std::vector<std::pair<qint64, qint64>> parents; // pid, ppid
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parents.emplace_back(pid, fields[1].toLongLong());
    }
    std::vector<qint64> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (const auto &[pid, ppid] : parents)
            if (ppid == tree[i])
                tree.push_back(pid);
    return tree;
}

// The processor time each process of a tree has used so far, in clock ticks:
// user and system time of all its threads.
inline std::map<qint64, qint64> treeCpuTicks(qint64 root)
{
    std::map<qint64, qint64> ticks;
    for (const qint64 pid : processTree(root)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After the name: state is field 3, utime 14 and stime 15.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ticks[pid] = fields[11].toLongLong() + fields[12].toLongLong();
    }
    return ticks;
}

// What a process is, for telling which one of a tree was busy: its name, or
// the engine's --type of it.
inline QString processKind(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString::number(pid);
    const QList<QByteArray> args = file.readAll().split('\0');
    for (const QByteArray &arg : args)
        if (arg.startsWith("--type="))
            return QString::fromLatin1(arg.mid(7));
    return QFileInfo(QString::fromLocal8Bit(args.value(0))).fileName();
}

// Proportional memory of a process and every process it started, in kB.
inline double treePssKb(qint64 root)
{
    const std::vector<qint64> tree = processTree(root);
    double kb = 0;
    for (const qint64 pid : tree) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : rollup.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                kb += line.mid(4).trimmed().split(' ').value(0).toDouble();
    }
    return kb;
}
