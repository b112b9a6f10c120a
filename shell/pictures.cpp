#include "shell/pictures.h"

#include "shell/bakedpictures.h"

#include <QApplication>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

#include <string_view>

namespace shell::pictures {

namespace {
const QLatin1String kBakedTheme("Adwaita");
const QLatin1String kBakedStyle("fusion");
// As the build names the style's arrows.
constexpr std::string_view kHorizontalArrow = "fusion/toolbar-ext-h";
constexpr std::string_view kVerticalArrow = "fusion/toolbar-ext-v";

QIcon baked(std::string_view name)
{
    QIcon icon;
    for (const baked::Picture &p : baked::pictures(name)) {
        // Wraps the compiled-in pixels: the pixmap shares them, nothing is
        // copied, and no pixel is read until the size is shown (looking for
        // an opaque picture would read every size of every picture).
        icon.addPixmap(QPixmap::fromImage(
            QImage(p.pixels, p.width, p.height, p.bytesPerLine, QImage::Format_ARGB32_Premultiplied),
            Qt::NoOpaqueDetection | Qt::NoFormatConversion));
    }
    return icon;
}

// The style's own extension arrows come from picture files inside Qt, which
// the menu bar and every toolbar read as they are made.
class BakedArrowsStyle final : public QProxyStyle
{
public:
    explicit BakedArrowsStyle(QStyle *base)
        : QProxyStyle(base), m_horizontal(baked(kHorizontalArrow)), m_vertical(baked(kVerticalArrow))
    {}

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        // Right to left, the style mirrors the arrow; it is asked then.
        const bool leftToRight =
            (widget ? widget->layoutDirection() : QGuiApplication::layoutDirection()) == Qt::LeftToRight;
        if (which == SP_ToolBarHorizontalExtensionButton && leftToRight)
            return m_horizontal;
        if (which == SP_ToolBarVerticalExtensionButton)
            return m_vertical;
        return QProxyStyle::standardIcon(which, option, widget);
    }

private:
    QIcon m_horizontal;
    QIcon m_vertical;
};
} // namespace

QIcon own(const QString &name)
{
    return baked(name.toStdString());
}

QIcon toolbar(const QString &name)
{
    // We ship pictures only for names Debian's theme lacks; a theme's loose
    // name matching would otherwise give them a wrong picture.
    if (QIcon shipped = own(name); !shipped.isNull())
        return shipped;
    if (QIcon::themeName() == kBakedTheme) {
        if (QIcon icon = baked(QString(kBakedTheme + u'/' + name).toStdString()); !icon.isNull())
            return icon;
    }
    return QIcon::fromTheme(name);
}

void chooseTheme()
{
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(kBakedTheme);
}

bool allBaked()
{
    return QIcon::themeName() == kBakedTheme && dynamic_cast<BakedArrowsStyle *>(QApplication::style());
}

void useBakedStyle()
{
    QStyle *current = QApplication::style();
    if (current->name() != kBakedStyle || dynamic_cast<BakedArrowsStyle *>(current))
        return;
    if (baked::pictures(kHorizontalArrow).empty())
        return;
    // The application owns its style and deletes the one it replaces.
    QApplication::setStyle(new BakedArrowsStyle(QStyleFactory::create(kBakedStyle)));
}

} // namespace shell::pictures
