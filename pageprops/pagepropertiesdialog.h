#pragma once

#include "pageprops/bodytag.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace surface {
class EditSurface;
}

namespace pageprops {

// The Web Page Properties dialog: title, the five page colours, background
// picture and fixed watermark.
class PagePropertiesDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PagePropertiesDialog)

public:
    explicit PagePropertiesDialog(surface::EditSurface *surface, QWidget *parent = nullptr);

    // A colour box's colour as the preview shows it.
    QColor previewColor(int row) const;

public slots:
    void applyToPage();
    void browseBackground();
    void swatchClicked(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTabWidget *tabs = nullptr;
    QLineEdit *titleEdit = nullptr; // title
    // Colour boxes: background, text, link, visited link, active link.
    QLineEdit *backgroundColourEdit = nullptr;
    QLineEdit *textColourEdit = nullptr;
    QLineEdit *linkColourEdit = nullptr;
    QLineEdit *visitedColourEdit = nullptr;
    QLineEdit *activeColourEdit = nullptr;
    QLabel *swatches[5] = {};
    QLabel *samples[4] = {};                  // the preview's sample labels
    QGroupBox *colourPreview = nullptr;       // the preview frame
    QLineEdit *backgroundImageEdit = nullptr; // background picture
    QToolButton *browseBackgroundButton = nullptr;
    QLabel *backgroundPreview = nullptr;
    QCheckBox *watermarkCheck = nullptr;
    QPushButton *okButton = nullptr;     // OK
    QPushButton *cancelButton = nullptr; // Cancel
    QToolButton *helpButton = nullptr;   // Help

    void prepare();
    void colourChanged(int row);
    void applyPreview(int row, const QColor &color);
    QLineEdit *box(int row) const;

    surface::EditSurface *m_surface;
    // Of this opening only: a page without a body tag must not show the last
    // page's background.
    State m_state;
    QColor m_rowColor[5];
    // The fields as the page filled them: OK writes only what the user changed.
    QString m_loadedColour[5];
    QString m_loadedBackground;
    QString m_loadedTitle;
};

} // namespace pageprops
