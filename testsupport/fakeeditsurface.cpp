#include "testsupport/fakeeditsurface.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace testsupport {
namespace {
const QRegularExpression &bodyTag()
{
    static const QRegularExpression re(QStringLiteral("<(body)(?=[\\s>/])([^>]*)>"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The names the document object gives the body's colour attributes.
QString colourAttribute(const QString &property)
{
    static const QHash<QString, QString> names = {{QStringLiteral("bgColor"), QStringLiteral("bgcolor")},
                                                  {QStringLiteral("fgColor"), QStringLiteral("text")},
                                                  {QStringLiteral("linkColor"), QStringLiteral("link")},
                                                  {QStringLiteral("vlinkColor"), QStringLiteral("vlink")},
                                                  {QStringLiteral("alinkColor"), QStringLiteral("alink")}};
    return names.value(property);
}

QString plainText(QString markup)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    markup.remove(tags);
    markup.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    markup.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    markup.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    markup.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    markup.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return markup;
}
} // namespace

void FakeEditSurface::setPage(const QString &html, const QString &path)
{
    m_html = html;
    m_path = path;
    m_dirty = false;
    m_madeUpBody.clear();
    pasted.clear();
    const qsizetype end = m_html.indexOf(QStringLiteral("</body"), 0, Qt::CaseInsensitive);
    placeCaret(end >= 0 ? end : m_html.size());
}

bool FakeEditSurface::selectMarkup(const QString &markup)
{
    const qsizetype at = m_html.indexOf(markup);
    if (at < 0 || markup.isEmpty())
        return false;
    m_selectionType = QStringLiteral("Text");
    m_start = at;
    m_end = at + markup.size();
    return true;
}

bool FakeEditSurface::selectObject(const QString &markup)
{
    const qsizetype at = markup.isEmpty() ? -1 : m_html.indexOf(markup);
    if (!markup.isEmpty() && at < 0)
        return false;
    m_selectionType = QStringLiteral("Control");
    m_objectKnown = at >= 0;
    if (m_objectKnown) {
        m_start = at;
        m_end = at + markup.size();
    }
    return true;
}

void FakeEditSurface::placeCaret(qsizetype at)
{
    m_selectionType = QStringLiteral("None");
    m_start = m_end = std::clamp<qsizetype>(at, 0, m_html.size());
}

qint64 FakeEditSurface::LoadDocument(const QString &path, bool prompt)
{
    if (path.isEmpty())
        return prompt ? surface::codes::Ok : surface::codes::FileNotFound;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return surface::codes::FileNotFound;
    setPage(QString::fromUtf8(file.readAll()), QFileInfo(path).absoluteFilePath());
    emit DocumentComplete();
    return surface::codes::Ok;
}

void FakeEditSurface::NewDocument()
{
    setPage(QStringLiteral("<html><head><title></title></head><body></body></html>"));
}

surface::DocumentRead FakeEditSurface::readDocument()
{
    surface::DocumentRead read;
    read.ok = true;
    read.text = m_html;
    read.unchanged = !m_dirty;
    return read;
}

void FakeEditSurface::documentSaved(const surface::SavedDocument &saved)
{
    m_path = saved.path;
    m_html = saved.text;
    m_dirty = false;
}

QString FakeEditSurface::originFolder() const
{
    return m_path.isEmpty() ? QString() : QFileInfo(m_path).absolutePath();
}

bool FakeEditSurface::setDocumentHTML(const QString &html)
{
    changed(html);
    const qsizetype end = m_html.indexOf(QStringLiteral("</body"), 0, Qt::CaseInsensitive);
    placeCaret(end >= 0 ? end : m_html.size());
    return true;
}

void FakeEditSurface::beginDocumentHTML(const QString &html)
{
    setDocumentHTML(html);
    emit DocumentComplete();
}

bool FakeEditSurface::loadRecovered(const QString &pagePath, const QString &html)
{
    setPage(html, pagePath);
    m_dirty = true;
    return true;
}

bool FakeEditSurface::newDocumentAt(const QString &path, const QString &html)
{
    setPage(html, path);
    return true;
}

bool FakeEditSurface::setDocumentTitle(const QString &title)
{
    const qsizetype open = m_html.indexOf(QStringLiteral("<title>"), 0, Qt::CaseInsensitive);
    const qsizetype close = m_html.indexOf(QStringLiteral("</title>"), 0, Qt::CaseInsensitive);
    if (open < 0 || close < open)
        return false;
    QString html = m_html;
    html.replace(open + 7, close - open - 7, title);
    changed(html);
    return true;
}

QString FakeEditSurface::DocumentTitle() const
{
    static const QRegularExpression title(QStringLiteral("<title>(.*)</title>"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption |
                                              QRegularExpression::InvertedGreedinessOption);
    return title.match(m_html).captured(1).simplified();
}

std::optional<QString> FakeEditSurface::rangeText()
{
    if (m_selectionType == QLatin1String("Control"))
        return std::nullopt;
    return plainText(m_html.mid(m_start, m_end - m_start));
}

bool FakeEditSurface::pasteAtRange(const QString &html)
{
    if (m_selectionType == QLatin1String("Control"))
        return false;
    changed(m_html.left(m_start) + html + m_html.mid(m_end));
    pasted << html;
    placeCaret(m_start + html.size());
    return true;
}

std::optional<QString> FakeEditSurface::controlHTML()
{
    if (m_selectionType != QLatin1String("Control") || !m_objectKnown)
        return std::nullopt;
    return m_html.mid(m_start, m_end - m_start);
}

bool FakeEditSurface::pasteOverControl(const QString &html)
{
    if (!controlHTML())
        return false;
    m_selectionType = QStringLiteral("None");
    return pasteAtRange(html);
}

bool FakeEditSurface::collapseSelection(bool toStart)
{
    placeCaret(toStart ? m_start : m_end);
    return true;
}

QString FakeEditSurface::documentProperty(const QString &name)
{
    const QString attribute = colourAttribute(name);
    return attribute.isEmpty() ? QString() : bodyAttribute(attribute);
}

bool FakeEditSurface::setDocumentProperty(const QString &name, const QString &value)
{
    const QString attribute = colourAttribute(name);
    return !attribute.isEmpty() && setBodyAttribute(attribute, value);
}

FakeEditSurface::Attributes FakeEditSurface::bodyAttributes() const
{
    const QRegularExpressionMatch tag = bodyTag().match(m_html);
    if (!tag.hasMatch())
        return m_madeUpBody;
    static const QRegularExpression attribute(
        QStringLiteral("([^\\s=>/]+)(?:\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+)))?"));
    Attributes out;
    for (const QRegularExpressionMatch &m : attribute.globalMatch(tag.captured(2)))
        out.append({m.captured(1).toLower(), m.captured(2) + m.captured(3) + m.captured(4)});
    return out;
}

void FakeEditSurface::writeBodyAttributes(const Attributes &attributes)
{
    const QRegularExpressionMatch tag = bodyTag().match(m_html);
    if (!tag.hasMatch()) {
        m_dirty = m_dirty || attributes != m_madeUpBody;
        m_madeUpBody = attributes;
        return;
    }
    QString text = u'<' + tag.captured(1);
    for (const auto &[name, value] : attributes)
        text += u' ' + name + QStringLiteral("=\"") + value + u'"';
    text += u'>';
    const qsizetype shift = text.size() - tag.capturedLength();
    QString html = m_html;
    html.replace(tag.capturedStart(), tag.capturedLength(), text);
    changed(html);
    // The selection stays on the same text.
    if (m_start >= tag.capturedEnd()) {
        m_start += shift;
        m_end += shift;
    }
}

bool FakeEditSurface::setBodyAttribute(const QString &name, const QString &value)
{
    Attributes attributes = bodyAttributes();
    const QString key = name.toLower();
    auto it =
        std::find_if(attributes.begin(), attributes.end(), [&](const auto &a) { return a.first == key; });
    if (it != attributes.end())
        it->second = value;
    else
        attributes.append({key, value});
    writeBodyAttributes(attributes);
    return true;
}

bool FakeEditSurface::removeBodyAttribute(const QString &name)
{
    Attributes attributes = bodyAttributes();
    const QString key = name.toLower();
    attributes.removeIf([&](const auto &a) { return a.first == key; });
    writeBodyAttributes(attributes);
    return true;
}

QString FakeEditSurface::bodyAttribute(const QString &name)
{
    const QString key = name.toLower();
    for (const auto &[attribute, value] : bodyAttributes())
        if (attribute == key)
            return value;
    return {};
}

void FakeEditSurface::changed(const QString &html)
{
    if (html == m_html)
        return;
    m_html = html;
    m_dirty = true;
    ++m_changes;
}

} // namespace testsupport
