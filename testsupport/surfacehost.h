#pragma once

// One real editing surface in a window of its own, for the tests of the
// surface itself. A test class derives from it after QObject.
#include "surface/webenginesurface.h"

#include <QTest>
#include <QWidget>

class SurfaceHost
{
protected:
    // Shows the window with its surface; false when it did not come up.
    bool openSurface(std::shared_ptr<surface::FilePicker> picker = {})
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(900, 700);
        m_surface = std::make_unique<surface::WebEngineSurface>(m_window.get());
        m_surface->widget()->resize(900, 700);
        if (picker)
            m_surface->setFilePicker(std::move(picker));
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get());
    }
    void closeSurface()
    {
        m_surface.reset();
        m_window.reset();
    }
    // A fresh page of that body.
    void load(const QString &body)
    {
        m_surface->NewDocument();
        QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body>%1</body></html>").arg(body)));
    }
    // Script in the surface's own world, to look into the page.
    QVariant js(const QString &code) { return m_surface->evaluate(code).value_or(QVariant()); }
    // The widget that takes the page's keys and clicks.
    QWidget *inputTarget()
    {
        QWidget *w = m_surface->widget();
        return w->focusProxy() ? w->focusProxy() : w;
    }

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<surface::WebEngineSurface> m_surface;
};
