// Renders the program's own pictures, drawn as SVG, into PNGs at the sizes
// they are shown. Done at build time so that the running program reads
// plain PNGs: showing them then needs neither Qt SVG nor its icon engine,
// which cost start-up time and memory for four small pictures.
//
//   bake_icons PICTURE.svg OUT_DIR SIZE...   writes OUT_DIR/PICTURE-SIZE.png
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char *argv[])
{
    // A build machine may have no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        std::fputs("usage: bake_icons PICTURE.svg OUT_DIR SIZE...\n", stderr);
        return 2;
    }
    const QString &svg = args.at(1);
    const QDir out(args.at(2));
    const QString base = QFileInfo(svg).completeBaseName();
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "bake_icons: not a size: %s\n", qPrintable(args.at(i)));
            return 2;
        }
        QImageReader reader(svg, "svg");
        reader.setScaledSize(QSize(size, size));
        const QImage picture = reader.read();
        const QString target = out.filePath(QStringLiteral("%1-%2.png").arg(base).arg(size));
        if (picture.isNull() || !picture.save(target, "png")) {
            std::fprintf(stderr, "bake_icons: %s at %d px: %s\n", qPrintable(svg), size,
                         qPrintable(picture.isNull() ? reader.errorString()
                                                     : QStringLiteral("cannot write ") + target));
            return 1;
        }
    }
    return 0;
}
