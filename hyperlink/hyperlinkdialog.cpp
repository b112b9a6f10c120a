#include "hyperlink/hyperlinkdialog.h"

#include "hyperlink/linkcomposer.h"
#include "surface/editsurface.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace hyperlink {

HyperlinkDialog::HyperlinkDialog(surface::EditSurface *surface, QWidget *parent)
    : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("LINKTEXT"));
    setWindowTitle(tr("HyperLink"));
    browse::installHelpKey(this);

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("TabStrip1"));

    auto *page0 = new QWidget;
    page0->setObjectName(QStringLiteral("Picture1_0"));
    linkTextEdit = new QLineEdit(page0);
    linkTextEdit->setObjectName(QStringLiteral("LText1"));
    linkTextEdit->setToolTip(tr("This text will be displayed and clickable on the Web page."));
    addressBox = new QComboBox(page0);
    addressBox->setObjectName(QStringLiteral("httpsite"));
    addressBox->setEditable(true);
    addressBox->setInsertPolicy(QComboBox::NoInsert);
    addressBox->setToolTip(tr("The address (URL) to link to: a web address such as "
                              "http://www.example.com/ or a local page such as support.html"));
    const QIcon open = style()->standardIcon(QStyle::SP_DialogOpenButton);
    browsePageButton = browse::pictureButton(page0, "Command1", open, tr("Browse for local Web page..."));
    browseFavouritesButton =
        browse::pictureButton(page0, "Command3", style()->standardIcon(QStyle::SP_DirLinkIcon),
                              tr("Browse Internet Explorer Favorites..."));

    auto *frame = new QGroupBox(tr("Advanced"), page0);
    frame->setObjectName(QStringLiteral("Frame1"));
    targetBox = new QComboBox(frame);
    targetBox->setObjectName(QStringLiteral("Combo1"));
    targetBox->setEditable(true);
    targetBox->setInsertPolicy(QComboBox::NoInsert);
    anchorCheck = new QCheckBox(tr("Link to an anchor?"), frame);
    anchorCheck->setObjectName(QStringLiteral("Check1"));
    anchorNameLabel = new QLabel(tr("Anchor name:"), frame);
    anchorNameLabel->setObjectName(QStringLiteral("Label3"));
    anchorNameEdit = new QLineEdit(frame);
    anchorNameEdit->setObjectName(QStringLiteral("Text1"));
    anchorNameLabel->setBuddy(anchorNameEdit);
    anchorNameLabel->hide();
    anchorNameEdit->hide();

    auto *linkLabel = new QLabel(tr("Enter Hyperlink text:"), page0);
    linkLabel->setBuddy(linkTextEdit);
    auto *addressLabel = new QLabel(tr("Enter URL of Web page or file to link to:"), page0);
    addressLabel->setBuddy(addressBox);
    // The label names the box, not the line edit inside it, where the typing goes.
    addressBox->lineEdit()->setAccessibleName(tr("URL of Web page or file to link to"));
    auto *targetLabel = new QLabel(tr("If using HTML Frames, enter name of frame to target:"), frame);
    targetLabel->setBuddy(targetBox);
    targetBox->lineEdit()->setAccessibleName(tr("Name of frame to target"));

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(addressBox, 1);
    addressRow->addWidget(browsePageButton);
    addressRow->addWidget(browseFavouritesButton);
    auto *anchorRow = new QHBoxLayout;
    anchorRow->addWidget(anchorCheck);
    anchorRow->addWidget(anchorNameLabel);
    anchorRow->addWidget(anchorNameEdit, 1);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(targetLabel);
    frameLayout->addWidget(targetBox);
    frameLayout->addLayout(anchorRow);
    auto *page0Layout = new QVBoxLayout(page0);
    page0Layout->addWidget(linkLabel);
    page0Layout->addWidget(linkTextEdit);
    page0Layout->addWidget(addressLabel);
    page0Layout->addLayout(addressRow);
    page0Layout->addWidget(frame);
    page0Layout->addStretch();

    auto *page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Picture1_1"));
    mouseOverEdit = new QLineEdit(page1);
    mouseOverEdit->setObjectName(QStringLiteral("Text2"));
    mouseOutEdit = new QLineEdit(page1);
    mouseOutEdit->setObjectName(QStringLiteral("Text3"));
    auto *overLabel =
        new QLabel(tr("When mouse moves over hyperlink, display this text in browser status bar:"), page1);
    overLabel->setWordWrap(true);
    overLabel->setBuddy(mouseOverEdit);
    auto *outLabel = new QLabel(
        tr("When mouse moves away from hyperlink, display this text in browser status bar:"), page1);
    outLabel->setWordWrap(true);
    outLabel->setBuddy(mouseOutEdit);
    auto *page1Layout = new QVBoxLayout(page1);
    page1Layout->addWidget(overLabel);
    page1Layout->addWidget(mouseOverEdit);
    page1Layout->addWidget(outLabel);
    page1Layout->addWidget(mouseOutEdit);
    page1Layout->addStretch();

    tabs->addTab(page0, tr(" Properties "));
    tabs->addTab(page1, tr(" Special Effects "));

    okButton = new QPushButton(tr("&OK"), this);
    okButton->setObjectName(QStringLiteral("LtextOK"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("&Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("Command2"));
    helpButton = browse::pictureButton(this, "Command8", browse::helpIcon(this), tr("Help"));
    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("Picture2"));
    buttons->addWidget(helpButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &HyperlinkDialog::insertLink);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(browsePageButton, &QToolButton::clicked, this, &HyperlinkDialog::browsePage);
    connect(browseFavouritesButton, &QToolButton::clicked, this, &HyperlinkDialog::browseFavourites);
    connect(anchorCheck, &QCheckBox::clicked, this, &HyperlinkDialog::anchorToggled);
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            linkTextEdit->setFocus();
        else
            mouseOverEdit->setFocus();
    });
    prepare();
}

void HyperlinkDialog::prepare()
{
    targetBox->addItems({QStringLiteral("_blank"), QStringLiteral("_parent"), QStringLiteral("_self"),
                         QStringLiteral("_top")});
    targetBox->setCurrentIndex(-1);
    targetBox->setEditText(QString());
    const surface::Selection selection = m_surface->DOM().selection();
    if (selection.createControlRange()) {
        // The picture itself becomes the link; the box says so instead of
        // asking for a text that would not be used.
        m_linksPicture = true;
        linkTextEdit->setText(tr("The selected picture is linked"));
        linkTextEdit->setEnabled(false);
        addressBox->setFocus();
        return;
    }
    std::optional<surface::TextRange> range = selection.createRange();
    if (range) {
        m_pageText = range->text();
        linkTextEdit->setText(m_pageText);
    }
    // With text to link (or an object that gives none), the address comes first.
    if (!range || !range->text().isEmpty())
        addressBox->setFocus();
    else
        linkTextEdit->setFocus();
}

void HyperlinkDialog::anchorToggled()
{
    const bool on = anchorCheck->isChecked();
    anchorNameLabel->setVisible(on);
    anchorNameEdit->setVisible(on);
    if (on)
        anchorNameEdit->setFocus();
}

void HyperlinkDialog::browsePage()
{
    browse::ChosenFileName().clear();
    // From the page's own folder, where the pages it links to mostly are.
    const QString page = m_surface->CurrentDocumentPath();
    // A cancel leaves the address as the user had it.
    if (browse::BrowseForFile(this, tr("All Files (*.*)|*.*|HTML files (*.html, *.htm)|*.html;*.htm"), 2,
                              page.isEmpty() ? QString() : QFileInfo(page).absolutePath()))
        addressBox->setEditText(browse::ChosenFileName());
    addressBox->setFocus();
}

void HyperlinkDialog::browseFavourites()
{
    if (const std::optional<QString> address = browse::browseFavorites(this))
        addressBox->setEditText(*address);
    addressBox->setFocus();
}

void HyperlinkDialog::insertLink()
{
    const surface::Selection selection = m_surface->DOM().selection();
    std::optional<surface::ControlRange> picture;
    if (m_linksPicture && !(picture = selection.createControlRange())) {
        // The picture is no longer selected: ask for a text as for a caret.
        m_linksPicture = false;
        linkTextEdit->clear();
        linkTextEdit->setEnabled(true);
    }
    hyperlink::LinkFields f;
    f.linkText = m_linksPicture ? QString() : linkTextEdit->text();
    f.linkedObject = picture ? picture->html() : QString();
    // The selection's text left as it was is the page's text and must read
    // the same inside the link; what the user typed over it goes in as typed.
    f.textFromPage = !m_pageText.isEmpty() && f.linkText == m_pageText;
    f.address = addressBox->currentText();
    f.target = targetBox->currentText();
    f.mouseOver = mouseOverEdit->text();
    f.mouseOut = mouseOutEdit->text();
    f.anchor = anchorCheck->isChecked();
    f.anchorName = anchorNameEdit->text();
    const hyperlink::LinkOutcome out = hyperlink::composeLink(f);
    if (!out.ok()) {
        ui::messageBox(this, out.message, QMessageBox::Ok, QMessageBox::NoIcon);
        if (out.focus == hyperlink::Focus::LinkText) {
            tabs->setCurrentIndex(0);
            linkTextEdit->setFocus();
        } else if (out.focus == hyperlink::Focus::Address) {
            tabs->setCurrentIndex(0);
            addressBox->setFocus();
        }
        return;
    }
    if (out.clearAddress)
        addressBox->setEditText(QString());
    // A refused paste still closes the dialog.
    if (picture)
        picture->pasteHTML(out.fragment);
    else if (std::optional<surface::TextRange> range = selection.createRange())
        range->pasteHTML(out.fragment);
    accept();
}

} // namespace hyperlink
