#pragma once

// A window's controls as tests reach them: by their objectName, as a
// person's tools (screen readers, UI test drivers) do, not through the
// window's own members.
#include <QObject>
#include <QString>

// The one control of that type and name; anything else ends the run, named.
template <typename T> T *child(const QObject &window, const char *name)
{
    const QList<T *> found = window.findChildren<T *>(QString::fromLatin1(name));
    if (found.size() != 1)
        qFatal("%lld controls of type %s named %s", qlonglong(found.size()), T::staticMetaObject.className(),
               name);
    return found.first();
}
