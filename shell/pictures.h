#pragma once

#include <QIcon>
#include <QString>

// The window's pictures: our own, the icon theme's toolbar pictures, and the
// style's toolbar extension arrows, taken where they can be from the pixels
// baked into the program.
namespace shell::pictures {

// One of our own pictures at every size it was made in; null when there is
// none of that name.
QIcon own(const QString &name);

// A toolbar picture: ours where the theme lacks one, else the icon theme's,
// baked when the theme is the one baked at build time.
QIcon toolbar(const QString &name);

// Outside a desktop session no icon theme is set; Debian's Adwaita has the
// toolbar pictures. Called before the first window is built.
void chooseTheme();

// Whether the window can open without reading any picture file: the theme
// and the style are the ones baked at build time.
bool allBaked();

// Gives the application style the baked toolbar extension arrows where it
// is the style they were baked from.
void useBakedStyle();

} // namespace shell::pictures
