#pragma once

// A plain Qt WebEngine view with nothing of ours, the floor the open and
// read figures are measured against. The page must go before its profile.
#include "bench/benchutil.h"
#include "bench/loggingpage.h"

#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>

struct BareView
{
    QWebEngineProfile profile;
    QWebEngineView view;
    LoggingPage *page = new LoggingPage(&profile, &view);

    BareView()
    {
        view.setPage(page);
        view.resize(1000, 800);
        view.show();
    }
    ~BareView()
    {
        view.setPage(nullptr);
        delete page;
    }
    // Milliseconds until the engine reports the page loaded.
    double load(const QString &path, int patienceMs = 120000)
    {
        bool finished = false;
        auto c = QObject::connect(page, &QWebEnginePage::loadFinished, [&](bool) { finished = true; });
        const double ms = timed([&] {
            page->load(QUrl::fromLocalFile(path));
            waitFor([&] { return finished; }, patienceMs);
        });
        QObject::disconnect(c);
        return ms;
    }
    // Milliseconds until the page's script answers: a page just loaded may
    // keep the engine busy for a while yet, laying it out.
    double answers(int patienceMs = 120000)
    {
        return timed([&] {
            bool got = false;
            page->runJavaScript(QStringLiteral("1"), [&](const QVariant &) { got = true; });
            waitFor([&] { return got; }, patienceMs);
        });
    }
    // Milliseconds until the engine has given the page's HTML back.
    double read(int patienceMs = 120000)
    {
        return timed([&] {
            bool got = false;
            page->toHtml([&](const QString &) { got = true; });
            waitFor([&] { return got; }, patienceMs);
        });
    }
};
