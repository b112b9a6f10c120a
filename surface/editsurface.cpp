#include "surface/editsurface.h"

namespace surface {

QString EditSurface::DocumentHTML()
{
    const DocumentRead read = readDocument();
    return read.ok ? read.text : QString();
}

bool TextRange::pasteHTML(const QString &html)
{
    return m_owner->pasteAtRange(html);
}

bool ControlRange::pasteHTML(const QString &html)
{
    return m_owner->pasteOverControl(html);
}

bool TextRange::Collapse(bool toStart)
{
    return m_owner->collapseSelection(toStart);
}

QString Selection::type() const
{
    return m_owner->selectionType();
}

std::optional<TextRange> Selection::createRange() const
{
    std::optional<QString> text = m_owner->rangeText();
    if (!text)
        return std::nullopt;
    return TextRange(m_owner, *text);
}

std::optional<ControlRange> Selection::createControlRange() const
{
    std::optional<QString> html = m_owner->controlHTML();
    if (!html)
        return std::nullopt;
    return ControlRange(m_owner, *html);
}

bool Body::setAttribute(const QString &name, const QString &value, int /*flags*/)
{
    return m_owner->setBodyAttribute(name, value);
}

bool Body::removeAttribute(const QString &name)
{
    return m_owner->removeBodyAttribute(name);
}

QString Body::getAttribute(const QString &name) const
{
    return m_owner->bodyAttribute(name);
}

QString Document::color(const QString &name) const
{
    return m_owner->documentProperty(name);
}

bool Document::setColor(const QString &name, const QString &value)
{
    return m_owner->setDocumentProperty(name, value);
}

} // namespace surface
