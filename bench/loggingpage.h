#pragma once

// The floor's page: a bare engine page that counts what its script logs, so
// that a benchmark can wait for the engine's own report of a change.
#include <QWebEnginePage>

class LoggingPage final : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    int messages = 0;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                  const QString &) override
    {
        ++messages;
    }
};
