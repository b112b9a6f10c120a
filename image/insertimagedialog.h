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

namespace image {

// A text box's up-down arrows: each click steps the number in the box by one
// within a range and writes it back; typing in the box stays free.
class UpDown final : public QWidget
{
    Q_OBJECT
public:
    explicit UpDown(QLineEdit *buddy, int minimum, int maximum, QWidget *parent);
    void step(int delta);

private:
    QToolButton *up = nullptr;
    QToolButton *down = nullptr;
    QLineEdit *m_buddy;
    int m_min;
    int m_max;
};

// The Insert Image dialog: picks a picture (typed, browsed or from the file
// lists), its alternatives, layout, link and video, and pastes the image
// fragment at the selection.
class InsertImageDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InsertImageDialog)

public:
    explicit InsertImageDialog(surface::EditSurface *surface, QWidget *parent = nullptr);

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
    void insertImage();
    void browseImage();
    void browseLowResImage();
    void browseLinkFile();
    void browseFavourites();
    void browseVideo();
    void clientMapToggled();
    void alignPicked(int index);
    void pickListedFile(QListWidgetItem *item);

private:
    QTabWidget *tabs = nullptr;
    // Select Image
    QLineEdit *imageFileEdit = nullptr;
    QToolButton *browseImageButton = nullptr;
    QComboBox *driveBox = nullptr;
    QListWidget *folderList = nullptr;
    QListWidget *fileList = nullptr;
    QLabel *imagePreview = nullptr;
    QLabel *widthReading = nullptr;
    QLabel *heightReading = nullptr;
    // Alternatives
    QLineEdit *altTextEdit = nullptr;
    QLineEdit *lowResEdit = nullptr;
    QToolButton *browseLowResButton = nullptr;
    QLabel *lowResPreview = nullptr;
    // Layout
    QLineEdit *widthEdit = nullptr;
    QLineEdit *heightEdit = nullptr;
    QLineEdit *borderEdit = nullptr;
    QLineEdit *verticalSpaceEdit = nullptr;
    QLineEdit *horizontalSpaceEdit = nullptr;
    UpDown *horizontalSpaceArrows = nullptr;
    UpDown *verticalSpaceArrows = nullptr;
    UpDown *borderArrows = nullptr;
    QComboBox *alignBox = nullptr;
    QGroupBox *alignPreview = nullptr;
    QWidget *existingObjectBox = nullptr;
    QLabel *neighbourText = nullptr;
    QWidget *inlineImageBox = nullptr;
    QWidget *leftImageBox = nullptr;
    QWidget *rightImageBox = nullptr;
    QLabel *redLegend = nullptr;
    QLabel *blueLegend = nullptr;
    QLabel *alignDescription = nullptr;
    // Link to URL
    QComboBox *linkAddressBox = nullptr;
    QToolButton *browseLinkFileButton = nullptr;
    QToolButton *browseFavouritesButton = nullptr;
    // Advanced
    QCheckBox *clientMapCheck = nullptr;
    QLineEdit *mapNameEdit = nullptr;
    QLabel *mapNameLabel = nullptr;
    QCheckBox *serverMapCheck = nullptr;
    QLineEdit *videoFileEdit = nullptr;
    QToolButton *browseVideoButton = nullptr;
    QComboBox *videoLoopBox = nullptr;
    QComboBox *videoStartBox = nullptr;
    QCheckBox *videoControlsCheck = nullptr;
    // Buttons
    QToolButton *helpButton = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

    void prepare();
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

} // namespace image
