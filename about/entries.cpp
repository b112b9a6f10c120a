#include "about/entries.h"

#include "about/aboutbox.h"
#include "uikit/menuentry.h"
#include "uikit/uiseam.h"

namespace about {

using namespace ui::menus;

namespace {
std::function<void(const QString &)> shellOpen(QWidget *owner)
{
    return [owner](const QString &target) { ui::ShellOpen(owner, target); };
}

void showInfo(InfoBox::Product product, const Window &window)
{
    InfoBox box(product, shellOpen(window.widget), window.widget);
    box.exec();
}
} // namespace

void about(const Window &window)
{
    AboutBox box(shellOpen(window.widget), window.widget);
    box.exec();
}

void aboutFizzet(const Window &window)
{
    showInfo(InfoBox::Product::Fizzet, window);
}

void aboutIncreasingTraffic(const Window &window)
{
    showInfo(InfoBox::Product::IncreaseTraffic, window);
}

void registerEntries(Registry &registry)
{
    registry.offer(Place::SpecialEffects, [](const Window &w) {
        return QList<Entry>{
            {"mnuFizzet", InfoBox::tr("Fizzet: Web page special effects..."), {}, [w](QAction *) {
                 aboutFizzet(w);
             }}};
    });
    registry.offer(Place::OtherProducts, [](const Window &w) {
        return QList<Entry>{{"mnuHelpIncreaseTraffic",
                             InfoBox::tr("&Increase traffic to your Web site..."),
                             {},
                             [w](QAction *) { aboutIncreasingTraffic(w); }}};
    });
    registry.offer(Place::AboutProgram, [](const Window &w) {
        return QList<Entry>{{"mnuAbout", AboutBox::tr("&About..."), {}, [w](QAction *) { about(w); }}};
    });
}

} // namespace about
