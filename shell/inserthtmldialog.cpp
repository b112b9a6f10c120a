#include "shell/inserthtmldialog.h"

#include "surface/editsurface.h"
#include "uikit/menuentry.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shell {

InsertHtmlDialog::InsertHtmlDialog(surface::EditSurface *surface, QWidget *owner)
    : QDialog(owner), m_surface(surface)
{
    setObjectName(QStringLiteral("InsertHTMLDlg"));
    setWindowTitle(tr("Insert HTML"));
    auto *label = new QLabel(tr("Type the HTML source you would like to insert:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    HTMLText = new QLineEdit(tr("<B> Quillon Kiv is <I>great!</></B>"), this);
    HTMLText->setObjectName(QStringLiteral("HTMLText"));
    HTMLText->setMinimumWidth(420);
    label->setBuddy(HTMLText);
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("CmdOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(HTMLText);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &InsertHtmlDialog::insert);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Esc is the Cancel button.
    connect(this, &QDialog::rejected, this, [this] {
        if (m_surface->widget())
            m_surface->widget()->setFocus();
    });
    // Typing replaces the sample.
    HTMLText->selectAll();
    HTMLText->setFocus();
}

void InsertHtmlDialog::insert()
{
    if (m_surface->widget())
        m_surface->widget()->setFocus();
    if (std::optional<surface::TextRange> range = m_surface->DOM().selection().createRange())
        range->pasteHTML(HTMLText->text()); // a refused paste is not the user's concern here
    accept();
}

void insertHtml(const ui::menus::Window &window)
{
    InsertHtmlDialog dialog(window.surface, window.widget);
    dialog.exec();
}

void registerInsertHtml(ui::menus::Registry &registry)
{
    using namespace ui::menus;
    registry.offer(Place::Inserting, [](const Window &w) {
        // Raw HTML does not replace a selected object.
        return QList<Entry>{
            {.name = "InsertHTML",
             .caption = InsertHtmlDialog::tr("H&TML..."),
             .handler = [w](QAction *) { insertHtml(w); },
             .offered = [s = w.surface] { return s->DOM().selection().type() != QLatin1String("Control"); }}};
    });
}

} // namespace shell
