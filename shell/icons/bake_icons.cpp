// Bakes the pictures the window shows at start-up into the program itself,
// as ready pixels at the sizes they are shown. Reading a picture file at run
// time, even a PNG, makes Qt load every image format plugin with its
// libraries (about 1 MiB) and, for SVG, Qt SVG and its icon engine; pixels
// compiled in need none of that.
//
//   bake_icons OUT.cpp SIZES SOURCE...
//
// SIZES is a comma-separated list of pixel sizes. A SOURCE is one of
//   path/NAME.svg[@SIZES]  our own drawing, baked as "NAME"
//   theme:THEME/NAME       the icon theme's picture, baked as "THEME/NAME"
//   style:fusion           the Fusion style's toolbar extension pictures,
//                          baked as "fusion/toolbar-ext-h" and "-v"
// A theme picture the build machine lacks is left out: the program then asks
// the theme at run time, as it would without baking.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {
struct Baked
{
    QString name;
    QList<QImage> sizes;
};

QList<int> parseSizes(const QString &text)
{
    QList<int> sizes;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0 || size > 1024)
            return {};
        sizes << size;
    }
    return sizes;
}

// The icon's pixmaps at each size, as Qt would show them: a size the icon
// lacks comes out at the nearest size it has, and repeats are dropped.
QList<QImage> fromIcon(const QIcon &icon, const QList<int> &sizes)
{
    QList<QImage> out;
    for (int size : sizes) {
        const QImage image =
            icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            continue;
        const bool seen =
            std::any_of(out.cbegin(), out.cend(), [&](const QImage &i) { return i.size() == image.size(); });
        if (!seen)
            out << image;
    }
    return out;
}

bool bakeSvg(const QString &source, const QList<int> &defaultSizes, QList<Baked> &out)
{
    const qsizetype at = source.lastIndexOf(u'@');
    const QString path = at < 0 ? source : source.left(at);
    const QList<int> sizes = at < 0 ? defaultSizes : parseSizes(source.mid(at + 1));
    if (sizes.isEmpty()) {
        std::fprintf(stderr, "bake_icons: %s: not a list of sizes\n", qPrintable(source));
        return false;
    }
    Baked baked{QFileInfo(path).completeBaseName(), {}};
    for (int size : sizes) {
        QImageReader reader(path, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "bake_icons: %s at %d px: %s\n", qPrintable(path), size,
                         qPrintable(reader.errorString()));
            return false;
        }
        baked.sizes << image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    out << baked;
    return true;
}

void bakeTheme(const QString &themeAndName, const QList<int> &sizes, QList<Baked> &out)
{
    const QString theme = themeAndName.section(u'/', 0, 0);
    const QString name = themeAndName.section(u'/', 1);
    QIcon::setThemeName(theme);
    const QIcon icon = QIcon::fromTheme(name);
    const QList<QImage> images = fromIcon(icon, sizes);
    if (images.isEmpty()) {
        std::fprintf(stderr, "bake_icons: warning: theme %s has no %s; it is asked at run time\n",
                     qPrintable(theme), qPrintable(name));
        return;
    }
    out << Baked{themeAndName, images};
}

bool bakeStyle(const QString &styleName, QList<Baked> &out)
{
    const std::unique_ptr<QStyle> style(QStyleFactory::create(styleName));
    if (!style) {
        std::fprintf(stderr, "bake_icons: no style %s\n", qPrintable(styleName));
        return false;
    }
    const QString prefix = styleName.toLower() + u'/';
    const auto bake = [&](QStyle::StandardPixmap which, const char *name) {
        const QIcon icon = style->standardIcon(which);
        QList<QImage> images;
        for (const QSize &size : icon.availableSizes())
            images << icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        out << Baked{prefix + QLatin1String(name), images};
    };
    bake(QStyle::SP_ToolBarHorizontalExtensionButton, "toolbar-ext-h");
    bake(QStyle::SP_ToolBarVerticalExtensionButton, "toolbar-ext-v");
    return true;
}

// Pixels as one C++ array: aligned, as QImage wants them, and read straight
// from the program's file when shown. Pictures of one size lie together, so
// a window showing its toolbars at one size touches few pages of it.
QByteArray sourceFor(const QList<Baked> &all)
{
    struct Placed
    {
        const QImage *image;
        QString name;
        qsizetype offset = 0;
    };
    QList<Placed> placed;
    for (const Baked &b : all) {
        for (const QImage &image : b.sizes)
            placed << Placed{&image, b.name};
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed &x, const Placed &y) { return x.image->width() < y.image->width(); });
    QByteArray cpp = "// Generated at build time by bake_icons; not to be edited.\n"
                     "#include \"shell/bakedpictures.h\"\n\n"
                     "#include <algorithm>\n#include <iterator>\n\n"
                     "namespace shell::baked {\nnamespace {\n"
                     "alignas(4) const unsigned char kPixels[] = {";
    qsizetype offset = 0;
    for (Placed &p : placed) {
        p.offset = offset;
        const uchar *bits = p.image->constBits();
        const qsizetype bytes = p.image->sizeInBytes();
        for (qsizetype i = 0; i < bytes; ++i) {
            if (i % 24 == 0)
                cpp += "\n   ";
            cpp += ' ' + QByteArray::number(bits[i]) + ',';
        }
        offset += bytes;
    }
    cpp += "\n};\n";
    // The table lists each name's sizes together, smallest first, names sorted for the lookup.
    std::map<QString, QByteArray> table;
    for (const Placed &p : placed) {
        table[p.name] += "    {" + QByteArray::number(p.image->width()) + ", " +
                         QByteArray::number(p.image->height()) + ", " +
                         QByteArray::number(p.image->bytesPerLine()) + ", kPixels + " +
                         QByteArray::number(p.offset) + "},\n";
    }
    cpp += "const Picture kPictures[] = {\n";
    QByteArray index = "struct Named\n{\n    std::string_view name;\n    int first;\n    int count;\n};\n"
                       "const Named kNamed[] = {\n";
    int first = 0;
    for (const auto &[name, entries] : table) {
        cpp += entries;
        const int count = int(entries.count('\n'));
        index += "    {\"" + name.toUtf8() + "\", " + QByteArray::number(first) + ", " +
                 QByteArray::number(count) + "},\n";
        first += count;
    }
    cpp += "};\n" + index +
           "};\n} // namespace\n\n"
           "std::span<const Picture> pictures(std::string_view name)\n{\n"
           "    const auto it = std::lower_bound(std::begin(kNamed), std::end(kNamed), name,\n"
           "                                     [](const Named &n, std::string_view v) { return n.name < v; "
           "});\n"
           "    if (it == std::end(kNamed) || it->name != name)\n        return {};\n"
           "    return {kPictures + it->first, std::size_t(it->count)};\n}\n\n} // namespace shell::baked\n";
    return cpp;
}
} // namespace

int main(int argc, char *argv[])
{
    // A build machine may have no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QList<int> sizes = args.size() > 2 ? parseSizes(args.at(2)) : QList<int>();
    if (args.size() < 4 || sizes.isEmpty()) {
        std::fputs("usage: bake_icons OUT.cpp SIZE,SIZE,... SOURCE...\n", stderr);
        return 2;
    }
    // Where the desktop's icon themes live; the platform here may not say.
    QStringList searchPaths;
    for (const QString &dir : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory))
        searchPaths << dir;
    QIcon::setThemeSearchPaths(searchPaths);

    QList<Baked> all;
    for (qsizetype i = 3; i < args.size(); ++i) {
        const QString &source = args.at(i);
        bool ok = true;
        if (source.startsWith(QLatin1String("theme:")))
            bakeTheme(source.mid(6), sizes, all);
        else if (source.startsWith(QLatin1String("style:")))
            ok = bakeStyle(source.mid(6), all);
        else
            ok = bakeSvg(source, sizes, all);
        if (!ok)
            return 1;
    }
    QSaveFile out(args.at(1));
    if (!out.open(QIODevice::WriteOnly) || out.write(sourceFor(all)) < 0 || !out.commit()) {
        std::fprintf(stderr, "bake_icons: cannot write %s\n", qPrintable(args.at(1)));
        return 1;
    }
    return 0;
}
