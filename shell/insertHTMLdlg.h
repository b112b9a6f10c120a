#pragma once

#include <QDialog>

class QLineEdit;

namespace surface {
class EditSurface;
}

namespace shell {

// Lets the user type raw HTML and inserts it at the selection unchanged.
class InsertHTMLDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InsertHTMLDlg)

public:
    InsertHTMLDlg(surface::EditSurface *surface, QWidget *owner);

    QLineEdit *HTMLText = nullptr;

public slots:
    void CmdOK_Click();

private:
    surface::EditSurface *m_surface;
};

} // namespace shell
