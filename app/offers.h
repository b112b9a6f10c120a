#pragma once

// What the dialogs offer the window: their menu and toolbar items and the
// files they take when dropped. One list, for the program and for the tests
// and benchmarks that run the whole window, so that they cannot drift apart.
#include "about/entries.h"
#include "hyperlink/entries.h"
#include "image/entries.h"
#include "pageprops/entries.h"
#include "publish/entries.h"
#include "shell/inserthtmldialog.h"
#include "sitepanel/entries.h"
#include "uikit/menuentry.h"

// The order here is the items' order where they share a place.
inline ui::menus::Registry programOffers()
{
    ui::menus::Registry offers;
    pageprops::registerEntries(offers);
    hyperlink::registerEntries(offers);
    image::registerEntries(offers);
    shell::registerInsertHtml(offers);
    publish::registerEntries(offers);
    sitepanel::registerEntries(offers);
    about::registerEntries(offers);
    return offers;
}
