// Writes the script's table of command numbers and status answers from the
// same lists the surface's enums are made from, so that the script names
// them and never repeats a number by hand.

#include "surface/editsurface.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <span>

namespace {

QByteArray table(const char *name, std::span<const surface::NamedId> ids)
{
    // One line per table: the build's check of the script's names reads it so.
    QByteArray line = "    const " + QByteArray(name) + " = Object.freeze({";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i)
            line += ", ";
        line += QByteArray(ids[i].name) + ": " + QByteArray::number(ids[i].value);
    }
    return line + "});\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: surface_script_ids OUTPUT.js\n", stderr);
        return 2;
    }
    const QByteArray text = "    // Made at build time from the lists in surface/editsurface.h.\n" +
                            table("DECMD", surface::kCommandIds) + table("DECMDF", surface::kStatusIds);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size()) {
        std::fprintf(stderr, "surface_script_ids: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
