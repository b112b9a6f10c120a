#pragma once

#include <QtGlobal>

#include <span>
#include <string_view>

// Pictures compiled into the program at build time, as premultiplied ARGB32
// pixels ready to show. Showing them reads no file and loads no image
// format plugin.
namespace shell::baked {

struct Picture
{
    int width;
    int height;
    int bytesPerLine;
    const uchar *pixels;
};

// Every size of the named picture, or none. Our own drawings go by their
// name ("quillon-kiv"), a theme's by theme and name ("Adwaita/edit-cut"),
// a style's by style and name ("fusion/toolbar-ext-h").
std::span<const Picture> pictures(std::string_view name);

} // namespace shell::baked
