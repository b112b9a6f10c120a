#pragma once

#include <QByteArray>
#include <QString>

namespace browse {
// The address in the text of an Internet Shortcut (.url) file: the URL= value
// of its [InternetShortcut] section, with CR LF, LF or CR line ends; empty
// when there is none.
QString parseInternetShortcut(const QByteArray &bytes);
} // namespace browse
