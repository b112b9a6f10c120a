#pragma once

// The whole program under test: the real main window with the real editing
// surface, its dialogs answered from a script. Shared by the tests that drive
// the program end to end.
#include "app/offers.h"
#include "shell/mainform.h"
#include "surface/webenginesurface.h"
#include "testsupport/testfiles.h"
#include "uikit/menuentry.h"
#include "uikit/uiseam.h"

#include <QAction>
#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

struct TestWindow
{
    ui::Script script; // reset it freely: the seam keeps pointing here
    std::unique_ptr<shell::MainForm> form;

    // The suite runs test programs side by side: each keeps the program's
    // settings (the source pane shown, the window's place) in a folder of its
    // own, so that one does not start with what another just left.
    TestWindow()
    {
        static QTemporaryDir settings;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    }

    // Opens the window and waits for its first page; false when it did not come up.
    bool open()
    {
        QStandardPaths::setTestModeEnabled(true);
        ui::setScript(&script);
        form =
            std::make_unique<shell::MainForm>(std::make_unique<surface::WebEngineSurface>(), programOffers());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return false;
        return QTest::qWaitFor([this] { return form->documentReady; }, 20000);
    }

    void close()
    {
        form.reset();
        ui::setScript(nullptr);
    }
    ~TestWindow() { close(); }

    // The page's file, chosen in the open dialog.
    void openPage(const QString &path)
    {
        script.fileAnswers << path;
        form->open();
    }

    // The menu item or toolbar button of that objectName, chosen.
    void trigger(const QString &name)
    {
        if (auto *a = form->findChild<QAction *>(name))
            a->trigger();
        else
            QTest::qFail(qPrintable(QStringLiteral("no item %1").arg(name)), __FILE__, __LINE__);
    }

    // The widget that takes the page's keys and clicks.
    QWidget *input() const
    {
        QWidget *view = form->surface()->widget();
        return view->focusProxy() ? view->focusProxy() : view;
    }

    // Markup pasted at the selection; false unless the page took it as a change.
    bool edit(const QString &html = QStringLiteral("<b>edit</b>"))
    {
        std::optional<surface::TextRange> r = form->surface()->DOM().selection().createRange();
        return r && r->pasteHTML(html) && form->surface()->IsDirty();
    }

    // Script in the surface's own world, to look into the page.
    QVariant js(const QString &code) const
    {
        const std::optional<QVariant> v =
            static_cast<surface::WebEngineSurface *>(form->surface())->evaluate(code);
        return v ? *v : QVariant();
    }
};

// A test of the window's: the engine is prepared before the application starts.
#define QK_WINDOW_TEST_MAIN(TestClass)                                                                       \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        surface::prepareBeforeApplication();                                                                 \
        QApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
