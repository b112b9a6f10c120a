#pragma once

#include "surface/editsurface.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace surface {

// The surface's font dialog: face, size 1 to 7, bold, italic, underline, colour.
class FontDialog final : public QDialog
{
    Q_OBJECT
public:
    FontDialog(const FontChoice &current, QWidget *parent);
    FontChoice choice() const;

    QComboBox *face = nullptr;
    QComboBox *size = nullptr;
    QCheckBox *bold = nullptr;
    QCheckBox *italic = nullptr;
    QCheckBox *underline = nullptr;
    QPushButton *colorButton = nullptr;

private:
    QString m_color;
};

// The surface's find dialog; it stays open while the user goes from match to match.
class FindDialog final : public QDialog
{
    Q_OBJECT
public:
    using Finder = std::function<bool(const QString &text, bool matchCase, bool wholeWord, bool backward)>;
    FindDialog(Finder finder, QWidget *parent);

    QLineEdit *text = nullptr;
    QCheckBox *matchCase = nullptr;
    QCheckBox *wholeWord = nullptr;
    QRadioButton *up = nullptr;
    QRadioButton *down = nullptr;
    QPushButton *findNext = nullptr;
    QLabel *feedback = nullptr;

    void findNextClicked();

private:
    Finder m_finder;
};

} // namespace surface
