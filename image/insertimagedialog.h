#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace surface {
class EditSurface;
}

// A text box's up-down arrows: each click steps the number in the box by one
// within a range and writes it back; typing in the box stays free.
class UpDown final : public QWidget
{
    Q_OBJECT
public:
    UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent);
    void step(int delta);
    QToolButton *up = nullptr;
    QToolButton *down = nullptr;

private:
    QLineEdit *m_buddy;
    int m_min;
    int m_max;
};

// The Insert Image dialog.
class LinkGraph final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkGraph)

public:
    LinkGraph(surface::EditSurface *surface, QWidget *parent = nullptr);

    QTabWidget *TabStrip1 = nullptr;
    // Select Image
    QLineEdit *GraphText = nullptr;
    QToolButton *Command2 = nullptr;
    QComboBox *Drive1 = nullptr;
    QListWidget *Dir1 = nullptr;
    QListWidget *File1 = nullptr;
    QLabel *Picture2 = nullptr;
    QLabel *Label15 = nullptr;
    QLabel *Label16 = nullptr;
    // Alternatives
    QLineEdit *Alt = nullptr;
    QLineEdit *Text8 = nullptr;
    QToolButton *Command3 = nullptr;
    QLabel *Picture3 = nullptr;
    // Layout
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLineEdit *Text5 = nullptr;
    UpDown *UpDown1 = nullptr;
    UpDown *UpDown2 = nullptr;
    UpDown *UpDown3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QWidget *Redtext = nullptr;
    QLabel *Toplabel = nullptr;
    QWidget *Leftimage = nullptr;
    QWidget *Leftimage2 = nullptr;
    QWidget *Rightimage = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    // Link to URL
    QComboBox *XimageLink = nullptr;
    QToolButton *Command5 = nullptr;
    QToolButton *Command1 = nullptr;
    // Advanced
    QCheckBox *Check2 = nullptr;
    QLineEdit *Text7 = nullptr;
    QLabel *Label22 = nullptr;
    QCheckBox *Check3 = nullptr;
    QLineEdit *Text6 = nullptr;
    QToolButton *Command7 = nullptr;
    QComboBox *Combo2 = nullptr;
    QComboBox *Combo3 = nullptr;
    QCheckBox *Check1 = nullptr;
    // Buttons
    QToolButton *Command8 = nullptr;
    QPushButton *LgraphOK = nullptr;
    QPushButton *CANCELBUT = nullptr;

    QString alignPiece() const { return m_alignPiece; }
    QString folder() const { return m_folder; }
    // Shows the folder in the folder and file lists; false when it cannot be read.
    bool setFolder(const QString &path);
    // Where the lists and the image browses start: the folder of the last
    // image used, else the page's folder, else (a page never saved) the
    // user's Pictures folder, else home.
    QString startFolder() const;
    // The folder of the last image used in any opening of the dialog.
    static QString &lastImageFolder();
    // Twips per pixel of the screen the diagram is drawn on.
    static double twipsPerPixel();

public slots:
    void LgraphOK_Click();
    void Command2_Click();
    void Command3_Click();
    void Command5_Click();
    void Command1_Click();
    void Command7_Click();
    void Check2_Click();
    void Combo1_Click(int index);
    void File1_Click(QListWidgetItem *item);

private:
    void Form_Load();
    void showImage(const QString &path, bool fillSizes);
    QString localPath(const QString &typed) const;
    QString pageFolder() const;
    void rememberFolderOf(const QString &path);
    void refreshFiles();
    void placeDiagram();

    surface::EditSurface *m_surface;
    QString m_alignPiece;
    QString m_folder;
    // The user typed a width or height since a picture last filled them.
    bool m_sizesTyped = false;
};
