#pragma once

#include <QDialog>

class QLineEdit;

namespace surface {
class EditSurface;
}

namespace ui::menus {
class Registry;
struct Window;
} // namespace ui::menus

namespace shell {

// Lets the user type raw HTML and inserts it at the selection unchanged.
class InsertHtmlDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InsertHtmlDialog)

public:
    InsertHtmlDialog(surface::EditSurface *surface, QWidget *owner);

public slots:
    void insert();

private:
    QLineEdit *HTMLText = nullptr;

    surface::EditSurface *m_surface;
};

// Opens Insert HTML on the window's page.
void insertHtml(const ui::menus::Window &window);
// Insert > "H&TML...", offered while no object is selected.
void registerInsertHtml(ui::menus::Registry &registry);

} // namespace shell
