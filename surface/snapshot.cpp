#include "surface/snapshot.h"

#include "surface/editsurface.h"

#include <QVariant>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <limits>

namespace surface {

namespace {

// Numbers come as int from the engine's direct answers and as double or
// long long from the script's JSON reports: any of them, if whole and in range.
std::optional<int> wholeNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
        return v.toInt();
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d || d < std::numeric_limits<int>::min() ||
            d > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(d);
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> text(const QVariantMap &m, const QString &key)
{
    const QVariant v = m.value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

bool knownStatus(int value)
{
    return std::any_of(std::begin(kStatusIds), std::end(kStatusIds),
                       [value](const NamedId &id) { return id.value == value; });
}

} // namespace

std::optional<Snapshot> Snapshot::fromVariant(const QVariant &v)
{
    if (v.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap m = v.toMap();
    Snapshot s;

    const QVariant status = m.value(QStringLiteral("status"));
    if (status.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap statusMap = status.toMap();
    for (auto it = statusMap.cbegin(); it != statusMap.cend(); ++it) {
        bool isNumber = false;
        const int command = it.key().toInt(&isNumber);
        const std::optional<int> answer = wholeNumber(it.value());
        if (!isNumber || !answer || !knownStatus(*answer))
            return std::nullopt;
        s.status.insert(command, *answer);
    }

    const auto fontName = text(m, QStringLiteral("fontName"));
    const auto blockFormat = text(m, QStringLiteral("blockFormat"));
    const auto selType = text(m, QStringLiteral("selType"));
    const auto title = text(m, QStringLiteral("title"));
    const auto tag = text(m, QStringLiteral("tag"));
    const auto fontSize = wholeNumber(m.value(QStringLiteral("fontSize")));
    const auto changes = wholeNumber(m.value(QStringLiteral("changes")));
    const QVariant dirty = m.value(QStringLiteral("dirty"));
    if (!fontName || !blockFormat || !selType || !title || !tag || !fontSize || !changes ||
        dirty.typeId() != QMetaType::Bool)
        return std::nullopt;
    if (*fontSize < 0 || *fontSize > 7 || *changes < 0)
        return std::nullopt;
    if (*selType != QLatin1String("None") && *selType != QLatin1String("Text") &&
        *selType != QLatin1String("Control"))
        return std::nullopt;
    s.fontName = *fontName;
    s.fontSize = *fontSize;
    s.blockFormat = *blockFormat;
    s.selType = *selType;
    s.title = *title;
    s.dirty = dirty.toBool();
    s.changes = *changes;
    s.tag = *tag;
    return s;
}

} // namespace surface
