#pragma once

// The whole program under test: the real main window with the real editing
// surface, its dialogs answered from a script. Shared by the tests that drive
// the program end to end.
#include "mainform.h"
#include "uiseam.h"
#include "webenginesurface.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

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
