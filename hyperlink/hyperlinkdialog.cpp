#include "hyperlink/linktext.h"

#include <QFileInfo>

#include "hyperlink/linkcomposer.h"
#include "surface/editsurface.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QCheckBox>
#include <QComboBox>
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

namespace {
QToolButton *pictureButton(QWidget *parent, const char *name, const QIcon &icon, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(icon);
    b->setToolTip(tip);
    b->setAccessibleName(tip);
    return b;
}
} // namespace

LINKTEXT::LINKTEXT(surface::EditSurface *surface, QWidget *parent) : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("LINKTEXT"));
    setWindowTitle(QStringLiteral("HyperLink"));
    browse::installHelpKey(this);

    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));

    auto *page0 = new QWidget;
    page0->setObjectName(QStringLiteral("Picture1_0"));
    LText1 = new QLineEdit(page0);
    LText1->setObjectName(QStringLiteral("LText1"));
    LText1->setToolTip(QStringLiteral("This text will be displayed and clickable on the Web page."));
    httpsite = new QComboBox(page0);
    httpsite->setObjectName(QStringLiteral("httpsite"));
    httpsite->setEditable(true);
    httpsite->setInsertPolicy(QComboBox::NoInsert);
    httpsite->setToolTip(QStringLiteral("The address (URL) to link to: a web address such as "
                                        "http://www.example.com/ or a local page such as support.html"));
    const QIcon open = style()->standardIcon(QStyle::SP_DialogOpenButton);
    Command1 = pictureButton(page0, "Command1", open, QStringLiteral("Browse for local Web page..."));
    Command3 = pictureButton(page0, "Command3", style()->standardIcon(QStyle::SP_DirLinkIcon),
                             QStringLiteral("Browse Internet Explorer Favorites..."));

    auto *frame = new QGroupBox(QStringLiteral("Advanced"), page0);
    frame->setObjectName(QStringLiteral("Frame1"));
    Combo1 = new QComboBox(frame);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Check1 = new QCheckBox(QStringLiteral("Link to an anchor?"), frame);
    Check1->setObjectName(QStringLiteral("Check1"));
    Label3 = new QLabel(QStringLiteral("Anchor name:"), frame);
    Label3->setObjectName(QStringLiteral("Label3"));
    Text1 = new QLineEdit(frame);
    Text1->setObjectName(QStringLiteral("Text1"));
    Label3->setBuddy(Text1);
    Label3->hide();
    Text1->hide();

    auto *linkLabel = new QLabel(QStringLiteral("Enter Hyperlink text:"), page0);
    linkLabel->setBuddy(LText1);
    auto *addressLabel = new QLabel(QStringLiteral("Enter URL of Web page or file to link to:"), page0);
    addressLabel->setBuddy(httpsite);
    auto *targetLabel =
        new QLabel(QStringLiteral("If using HTML Frames, enter name of frame to target:"), frame);
    targetLabel->setBuddy(Combo1);

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(httpsite, 1);
    addressRow->addWidget(Command1);
    addressRow->addWidget(Command3);
    auto *anchorRow = new QHBoxLayout;
    anchorRow->addWidget(Check1);
    anchorRow->addWidget(Label3);
    anchorRow->addWidget(Text1, 1);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(targetLabel);
    frameLayout->addWidget(Combo1);
    frameLayout->addLayout(anchorRow);
    auto *page0Layout = new QVBoxLayout(page0);
    page0Layout->addWidget(linkLabel);
    page0Layout->addWidget(LText1);
    page0Layout->addWidget(addressLabel);
    page0Layout->addLayout(addressRow);
    page0Layout->addWidget(frame);
    page0Layout->addStretch();

    auto *page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Picture1_1"));
    Text2 = new QLineEdit(page1);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text3 = new QLineEdit(page1);
    Text3->setObjectName(QStringLiteral("Text3"));
    auto *overLabel = new QLabel(
        QStringLiteral("When mouse moves over hyperlink, display this text in browser status bar:"), page1);
    overLabel->setWordWrap(true);
    overLabel->setBuddy(Text2);
    auto *outLabel = new QLabel(
        QStringLiteral("When mouse moves away from hyperlink, display this text in browser status bar:"),
        page1);
    outLabel->setWordWrap(true);
    outLabel->setBuddy(Text3);
    auto *page1Layout = new QVBoxLayout(page1);
    page1Layout->addWidget(overLabel);
    page1Layout->addWidget(Text2);
    page1Layout->addWidget(outLabel);
    page1Layout->addWidget(Text3);
    page1Layout->addStretch();

    TabStrip1->addTab(page0, QStringLiteral(" Properties "));
    TabStrip1->addTab(page1, QStringLiteral(" Special Effects "));

    LtextOK = new QPushButton(QStringLiteral("&OK"), this);
    LtextOK->setObjectName(QStringLiteral("LtextOK"));
    LtextOK->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command8 = pictureButton(this, "Command8", browse::helpIcon(this), QStringLiteral("Help"));
    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("Picture2"));
    buttons->addWidget(Command8);
    buttons->addStretch();
    buttons->addWidget(LtextOK);
    buttons->addWidget(Command2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    layout->addLayout(buttons);

    connect(LtextOK, &QPushButton::clicked, this, &LINKTEXT::LtextOK_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command8, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(Command1, &QToolButton::clicked, this, &LINKTEXT::Command1_Click);
    connect(Command3, &QToolButton::clicked, this, &LINKTEXT::Command3_Click);
    connect(Check1, &QCheckBox::clicked, this, &LINKTEXT::Check1_Click);
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0)
            LText1->setFocus();
        else
            Text2->setFocus();
    });
    Form_Load();
}

void LINKTEXT::Form_Load()
{
    Combo1->addItems({QStringLiteral("_blank"), QStringLiteral("_parent"), QStringLiteral("_self"),
                      QStringLiteral("_top")});
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString());
    std::optional<surface::TextRange> range = m_surface->DOM().selection().createRange();
    if (range)
        LText1->setText(range->text());
    // With text to link (or an object that gives none), the address comes first.
    if (!range || !range->text().isEmpty())
        httpsite->setFocus();
    else
        LText1->setFocus();
}

void LINKTEXT::Check1_Click()
{
    const bool on = Check1->isChecked();
    Label3->setVisible(on);
    Text1->setVisible(on);
    if (on)
        Text1->setFocus();
}

void LINKTEXT::Command1_Click()
{
    browse::ChosenFileName().clear();
    // From the page's own folder, where the pages it links to mostly are.
    const QString page = m_surface->CurrentDocumentPath();
    browse::BrowseForFile(this, QStringLiteral("All Files (*.*)|*.*|HTML files (*.html, *.htm)|*.html;*.htm"),
                          2, page.isEmpty() ? QString() : QFileInfo(page).absolutePath());
    httpsite->setEditText(browse::ChosenFileName());
    httpsite->setFocus();
}

void LINKTEXT::Command3_Click()
{
    httpsite->setEditText(browse::browseFavorites(this));
    httpsite->setFocus();
}

void LINKTEXT::LtextOK_Click()
{
    hyperlink::LinkFields f;
    f.linkText = LText1->text();
    f.address = httpsite->currentText();
    f.target = Combo1->currentText();
    f.mouseOver = Text2->text();
    f.mouseOut = Text3->text();
    f.anchor = Check1->isChecked();
    f.anchorName = Text1->text();
    const hyperlink::LinkOutcome out = hyperlink::composeLink(f);
    if (!out.ok()) {
        ui::messageBox(this, out.message, QMessageBox::Ok, QMessageBox::NoIcon);
        if (out.focus == hyperlink::Focus::LinkText) {
            TabStrip1->setCurrentIndex(0);
            LText1->setFocus();
        } else if (out.focus == hyperlink::Focus::Address) {
            TabStrip1->setCurrentIndex(0);
            httpsite->setFocus();
        }
        return;
    }
    if (out.clearAddress)
        httpsite->setEditText(QString());
    // A selection that gives no text range (an image) takes no link; the
    // dialog closes all the same.
    if (std::optional<surface::TextRange> range = m_surface->DOM().selection().createRange())
        range->pasteHTML(out.fragment);
    accept();
}
