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

// The HyperLink dialog: wraps text in a link and pastes it at the selection.
class LINKTEXT final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LINKTEXT)

public:
    LINKTEXT(surface::EditSurface *surface, QWidget *parent = nullptr);

    QTabWidget *TabStrip1 = nullptr;
    QLineEdit *LText1 = nullptr;
    QComboBox *httpsite = nullptr;
    QToolButton *Command1 = nullptr;
    QToolButton *Command3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QCheckBox *Check1 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *LtextOK = nullptr;
    QPushButton *Command2 = nullptr;
    QToolButton *Command8 = nullptr;

public slots:
    void LtextOK_Click();
    void Command1_Click();
    void Command3_Click();
    void Check1_Click();

private:
    void Form_Load();
    surface::EditSurface *m_surface;
};
