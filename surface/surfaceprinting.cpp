// Printing the page, on paper or to a PDF file.

#include "surface/webenginesurface_p.h"

#include <QEventLoop>
#include <QPrintDialog>
#include <QPrinter>
#include <QWebEngineView>

namespace surface {

namespace {
constexpr int kPrintTimeoutMs = 120000;
} // namespace

qint64 WebEngineSurface::PrintDocument(bool prompt)
{
    if (!m_view)
        return codes::Unknown;
    QPrinter printer;
    if (prompt) {
        QPrintDialog dialog(&printer, m_view);
        if (dialog.exec() != QDialog::Accepted)
            return codes::Cancelled;
    }
    return printWithoutViewAids([&] { m_view->print(&printer); }) ? codes::Ok : codes::Unknown;
}

bool WebEngineSurface::printToPdf(const QString &filePath)
{
    if (!m_page)
        return false;
    return printWithoutViewAids([&] { m_page->printToPdf(filePath); });
}

bool WebEngineSurface::printWithoutViewAids(const std::function<void()> &print)
{
    // The view aids are for editing, not for paper.
    const bool aids = m_showBorders || m_showDetails;
    if (aids)
        callJs(QStringLiteral("qk.setViewAids(false, false)"));
    // Printing on paper and to a file end with signals of their own; only
    // one of them runs at a time, and its end ends the wait.
    std::optional<bool> printed;
    QEventLoop loop;
    const auto finished = [&](bool ok) {
        printed = ok;
        loop.quit();
    };
    QList<QMetaObject::Connection> connections;
    if (m_view)
        connections << connect(m_view, &QWebEngineView::printFinished, &loop, finished);
    connections << connect(m_page, &QWebEnginePage::pdfPrintingFinished, &loop,
                           [&](const QString &, bool ok) { finished(ok); });
    print();
    if (!printed)
        wait(loop, kPrintTimeoutMs, [&] { return printed.has_value(); });
    for (const QMetaObject::Connection &c : connections)
        disconnect(c);
    if (aids)
        callJs(viewAidsCall());
    return printed.value_or(false);
}

} // namespace surface
