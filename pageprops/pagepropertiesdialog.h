#pragma once

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

// The Web Page Properties dialog: title, the five page colours, background
// picture and fixed watermark.
class BGCOLOR final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BGCOLOR)

public:
    BGCOLOR(surface::EditSurface *surface, QWidget *parent = nullptr);

    QTabWidget *TabStrip1 = nullptr;
    QLineEdit *Text5 = nullptr; // title
    // Colour boxes: background, text, link, visited link, active link.
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLineEdit *Text10 = nullptr;
    QLabel *swatches[5] = {};
    QLabel *Label6[4] = {};      // the preview's sample labels
    QGroupBox *Frame4 = nullptr; // the preview frame
    QLineEdit *Text9 = nullptr;  // background picture
    QToolButton *Command6 = nullptr;
    QLabel *Picture1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QPushButton *Command2 = nullptr; // OK
    QPushButton *Command1 = nullptr; // Cancel
    QToolButton *Command5 = nullptr; // Help

    // A colour box's colour as the preview shows it.
    QColor previewColor(int row) const;

public slots:
    void Command2_Click();
    void Command6_Click();
    void swatchClicked(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void colourChanged(int row);
    void applyPreview(int row, const QColor &color);
    QLineEdit *box(int row) const;

    surface::EditSurface *m_surface;
    QColor m_rowColor[5];
    // The fields as the page filled them: OK writes only what the user changed.
    QString m_loadedColour[5];
    QString m_loadedBackground;
    QString m_loadedTitle;
};
