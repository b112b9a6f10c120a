#pragma once

#include <QString>

#include <optional>

// What the program reads as it starts: the window's stored geometry and the
// pages named on its command line.
namespace shell {

// Reads a stored number: the leading number of the text (0 when there is
// none), rounded half to even to a whole number; 0 when it does not fit in
// 16 bits.
int readStoredNumber(const QString &text);

// A page named on the command line, as a path or a file URL: its absolute
// path, or nothing for an address that is no local file.
std::optional<QString> pageFromArgument(const QString &argument, const QString &workingFolder);

} // namespace shell
