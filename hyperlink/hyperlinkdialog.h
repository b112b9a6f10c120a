#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QToolButton;
class QPushButton;

namespace surface {
class EditSurface;
}

namespace hyperlink {

// The HyperLink dialog: wraps text in a link and pastes it at the selection.
class HyperlinkDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HyperlinkDialog)

public:
    explicit HyperlinkDialog(surface::EditSurface *surface, QWidget *parent = nullptr);

public slots:
    void insertLink();
    void browsePage();
    void browseFavourites();
    void anchorToggled();

private:
    QTabWidget *tabs = nullptr;
    QLineEdit *linkTextEdit = nullptr;
    QComboBox *addressBox = nullptr;
    QToolButton *browsePageButton = nullptr;
    QToolButton *browseFavouritesButton = nullptr;
    QComboBox *targetBox = nullptr;
    QCheckBox *anchorCheck = nullptr;
    QLabel *anchorNameLabel = nullptr;
    QLineEdit *anchorNameEdit = nullptr;
    QLineEdit *mouseOverEdit = nullptr;
    QLineEdit *mouseOutEdit = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QToolButton *helpButton = nullptr;

    void prepare();
    surface::EditSurface *m_surface;
    // The selection's text as the link text box was filled with it.
    QString m_pageText;
    // A picture is selected: the link goes around it, and there is no text to ask for.
    bool m_linksPicture = false;
};

} // namespace hyperlink
