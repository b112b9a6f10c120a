#pragma once

// The whole program under test: the real main window with the real editing
// surface, its dialogs answered from a script. Shared by the tests that drive
// the program end to end.
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "uikit/uiseam.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

struct TestWindow
{
    ui::Script script; // reset it freely: the seam keeps pointing here
    std::unique_ptr<MainForm> form;

    // Opens the window and waits for its first page; false when it did not come up.
    bool open()
    {
        QStandardPaths::setTestModeEnabled(true);
        ui::setScript(&script);
        form = std::make_unique<MainForm>(std::make_unique<surface::WebEngineSurface>());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return false;
        QElapsedTimer t;
        t.start();
        while (!form->documentReady && t.elapsed() < 20000)
            QTest::qWait(10);
        return form->documentReady;
    }

    void close()
    {
        form.reset();
        ui::setScript(nullptr);
    }

    // Script in the surface's own world, to look into the page.
    QVariant js(const QString &code) const
    {
        const std::optional<QVariant> v =
            static_cast<surface::WebEngineSurface *>(form->DHTMLEdit1)->evaluate(code);
        return v ? *v : QVariant();
    }
};

inline QString writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

inline QByteArray readTestFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A tiny file system of its own, for save failures a root user cannot get
// from file permissions.
class SmallMount
{
public:
    explicit SmallMount(const QString &where, const QString &options) : m_where(where)
    {
        QDir().mkpath(where);
        m_ok = ::geteuid() == 0 &&
               QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  options, QStringLiteral("tmpfs"), where}) == 0;
    }
    ~SmallMount()
    {
        if (m_ok)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_where});
    }
    SmallMount(const SmallMount &) = delete;
    SmallMount &operator=(const SmallMount &) = delete;
    bool ok() const { return m_ok; }
    bool remountReadOnly()
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_where}) == 0;
    }

private:
    QString m_where;
    bool m_ok = false;
};
