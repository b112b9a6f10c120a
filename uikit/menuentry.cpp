#include "uikit/menuentry.h"

namespace ui::menus {

Entry separator(const char *name)
{
    return {.name = name, .separator = true};
}

Entry placeFor(Place place)
{
    return {.place = place};
}

void Registry::offer(Place place, Offer offer)
{
    m_offers.append({place, std::move(offer)});
}

QList<Entry> Registry::entries(Place place, const Window &window) const
{
    QList<Entry> out;
    for (const auto &[where, offer] : m_offers)
        if (where == place)
            out += offer(window);
    return out;
}

void Registry::takeDrops(const QString &typePrefix, DropTaker take)
{
    m_drops.append({typePrefix, std::move(take)});
}

DropTaker Registry::dropTaker(const QString &type) const
{
    for (const auto &[prefix, take] : m_drops)
        if (type.startsWith(prefix))
            return take;
    return {};
}

} // namespace ui::menus
