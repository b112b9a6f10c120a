#include "pageprops/pagepropertiesdialog.h"

#include "surface/editsurface.h"
#include "uikit/browse.h"
#include "uikit/uiseam.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {
QColor fromValue(quint32 v)
{
    return QColor(int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF));
}

void setBackground(QWidget *w, const QColor &c)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
}

void setForeground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

// Black or white, whichever stands out more against the colour (the contrast
// ratio of relative luminances), so that a swatch's caption stays readable.
QColor captionFor(const QColor &background)
{
    auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const double l = 0.2126 * linear(background.redF()) + 0.7152 * linear(background.greenF()) +
                     0.0722 * linear(background.blueF());
    return (l + 0.05) / 0.05 >= 1.05 / (l + 0.05) ? QColor(Qt::black) : QColor(Qt::white);
}

// The body attribute behind each colour row.
const char *const kColourAttribute[5] = {"bgcolor", "text", "link", "vlink", "alink"};
} // namespace

namespace pageprops {

PagePropertiesDialog::PagePropertiesDialog(surface::EditSurface *surface, QWidget *parent)
    : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("BGCOLOR"));
    setWindowTitle(tr("Web Page Properties"));
    browse::installHelpKey(this);
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("TabStrip1"));

    // Page title.
    auto *page0 = new QWidget;
    page0->setObjectName(QStringLiteral("Picture2_0"));
    auto *titleFrame = new QGroupBox(tr("Enter the Title of your Web page"), page0);
    titleEdit = new QLineEdit(titleFrame);
    titleEdit->setObjectName(QStringLiteral("Text5"));
    (new QVBoxLayout(titleFrame))->addWidget(titleEdit);
    auto *l0 = new QVBoxLayout(page0);
    l0->addWidget(titleFrame);
    l0->addStretch();

    // Colours.
    auto *page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Picture2_1"));
    auto *rowsFrame = new QGroupBox(tr("Click on the \"Select\" boxes to select Web page colors."), page1);
    auto *grid = new QGridLayout(rowsFrame);
    const QString rowLabels[] = {tr("Background color:"), tr("Text Color:"), tr("Link Color:"),
                                 tr("Visited Link Color:"), tr("Active Link Color:")};
    const char *boxNames[] = {"Text1", "Text2", "Text3", "Text4", "Text10"};
    const char *swatchNames[] = {"Label9", "Label10", "Label11", "Label12", "Label13"};
    QLineEdit **boxes[] = {&backgroundColourEdit, &textColourEdit, &linkColourEdit, &visitedColourEdit,
                           &activeColourEdit};
    for (int row = 0; row < 5; ++row) {
        auto *edit = new QLineEdit(rowsFrame);
        edit->setObjectName(QString::fromLatin1(boxNames[row]));
        edit->setMaxLength(7); // a "#" and six digits
        *boxes[row] = edit;
        auto *label = new QLabel(rowLabels[row], rowsFrame);
        label->setBuddy(edit);
        auto *swatch = new QLabel(tr("Select"), rowsFrame);
        swatch->setObjectName(QString::fromLatin1(swatchNames[row]));
        swatch->setToolTip(tr("Click here to select a color"));
        swatch->setFrameShape(QFrame::Box);
        swatch->setAlignment(Qt::AlignCenter);
        swatch->setMinimumWidth(60);
        swatch->setCursor(Qt::PointingHandCursor);
        swatch->installEventFilter(this);
        swatches[row] = swatch;
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(swatch, row, 2);
        connect(edit, &QLineEdit::textChanged, this, [this, row] { colourChanged(row); });
    }
    colourPreview = new QGroupBox(tr("Preview"), page1);
    colourPreview->setObjectName(QStringLiteral("Frame4"));
    auto *previewLayout = new QVBoxLayout(colourPreview);
    const QString sampleTexts[] = {tr("Normal Text"), tr("Linked Text"), tr("Visited Link Text"),
                                   tr("Active Link Text")};
    for (int i = 0; i < 4; ++i) {
        samples[i] = new QLabel(sampleTexts[i], colourPreview);
        samples[i]->setObjectName(QStringLiteral("Label6_%1").arg(i));
        previewLayout->addWidget(samples[i]);
    }
    auto *l1 = new QHBoxLayout(page1);
    l1->addWidget(rowsFrame, 2);
    l1->addWidget(colourPreview, 1);

    // Background picture.
    auto *page2 = new QWidget;
    page2->setObjectName(QStringLiteral("Picture2_2"));
    auto *fileFrame = new QGroupBox(tr("Enter image filename for background:"), page2);
    backgroundImageEdit = new QLineEdit(fileFrame);
    backgroundImageEdit->setObjectName(QStringLiteral("Text9"));
    browseBackgroundButton = browse::pictureButton(
        fileFrame, "Command6", style()->standardIcon(QStyle::SP_DialogOpenButton), tr("Browse for image..."));
    auto *fileRow = new QHBoxLayout(fileFrame);
    fileRow->addWidget(backgroundImageEdit, 1);
    fileRow->addWidget(browseBackgroundButton);
    auto *previewFrame = new QGroupBox(tr("Preview"), page2);
    backgroundPreview = new QLabel(previewFrame);
    backgroundPreview->setObjectName(QStringLiteral("Picture1"));
    backgroundPreview->setMinimumSize(160, 120);
    backgroundPreview->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(previewFrame))->addWidget(backgroundPreview);
    watermarkCheck = new QCheckBox(
        tr("Make background image a fixed watermark on page (Only supported by Internet Explorer)"), page2);
    watermarkCheck->setObjectName(QStringLiteral("Check1"));
    auto *l2 = new QVBoxLayout(page2);
    l2->addWidget(fileFrame);
    l2->addWidget(previewFrame, 1);
    l2->addWidget(watermarkCheck);

    tabs->addTab(page0, tr(" Page Title "));
    tabs->addTab(page1, tr(" Colors "));
    tabs->addTab(page2, tr(" Background Image "));

    okButton = new QPushButton(tr("&OK"), this);
    okButton->setObjectName(QStringLiteral("Command2"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("&Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("Command1"));
    helpButton = browse::pictureButton(this, "Command5", browse::helpIcon(this), tr("Help"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(helpButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    // Keyboard order: title, the buttons, the colours, then the background.
    QWidget *order[] = {titleEdit,
                        okButton,
                        cancelButton,
                        helpButton,
                        backgroundColourEdit,
                        textColourEdit,
                        linkColourEdit,
                        visitedColourEdit,
                        activeColourEdit,
                        backgroundImageEdit,
                        browseBackgroundButton,
                        watermarkCheck};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(okButton, &QPushButton::clicked, this, &PagePropertiesDialog::applyToPage);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpButton, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(browseBackgroundButton, &QToolButton::clicked, this, &PagePropertiesDialog::browseBackground);
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget *first[] = {titleEdit, backgroundColourEdit, backgroundImageEdit};
        if (index >= 0 && index < 3)
            first[index]->setFocus();
    });
    for (int row = 0; row < 5; ++row)
        colourChanged(row);
    prepare();
    titleEdit->setFocus();
}

QLineEdit *PagePropertiesDialog::box(int row) const
{
    QLineEdit *const boxes[] = {backgroundColourEdit, textColourEdit, linkColourEdit, visitedColourEdit,
                                activeColourEdit};
    return boxes[row];
}

QColor PagePropertiesDialog::previewColor(int row) const
{
    return m_rowColor[row];
}

void PagePropertiesDialog::prepare()
{
    surface::Document dom = m_surface->DOM();
    backgroundColourEdit->setText(dom.bgColor());
    textColourEdit->setText(dom.fgColor());
    linkColourEdit->setText(dom.linkColor());
    visitedColourEdit->setText(dom.vlinkColor());
    activeColourEdit->setText(dom.alinkColor());
    titleEdit->setText(m_surface->DocumentTitle());
    parseTag(m_state, m_surface->DocumentHTML(), QStringLiteral("BACKGROUND="));
    backgroundImageEdit->setText(backgroundForDisplay(m_state.attributeValue));
    for (int row = 0; row < 5; ++row)
        m_loadedColour[row] = box(row)->text();
    m_loadedBackground = backgroundImageEdit->text();
    m_loadedTitle = titleEdit->text();
}

void PagePropertiesDialog::colourChanged(int row)
{
    QLineEdit *edit = box(row);
    if (edit->text().startsWith(u'#')) {
        edit->setText(edit->text().mid(1)); // runs this again for the rest
        return;
    }
    convertRgb(m_state, edit->text());
    applyPreview(row, fromValue(convertedColor(m_state)));
}

void PagePropertiesDialog::applyPreview(int row, const QColor &color)
{
    m_rowColor[row] = color;
    setBackground(swatches[row], color);
    setForeground(swatches[row], captionFor(color));
    if (row == 0) {
        setBackground(colourPreview, color);
        for (QLabel *l : samples)
            setBackground(l, color);
    } else {
        setForeground(samples[row - 1], color);
    }
}

bool PagePropertiesDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int row = 0; row < 5; ++row)
            if (watched == swatches[row]) {
                swatchClicked(row);
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

void PagePropertiesDialog::swatchClicked(int row)
{
    m_state.selectedColorHex.clear();
    if (const std::optional<QColor> c = ui::pickColor(this, QColor())) {
        selectColor(m_state, quint32(c->red()) | quint32(c->green()) << 8 | quint32(c->blue()) << 16);
        box(row)->setText(m_state.selectedColorHex);
        applyPreview(row, fromValue(m_state.selectedColor));
    }
    swatches[row]->setText(QString()); // from now on the swatch shows only its colour
}

void PagePropertiesDialog::browseBackground()
{
    browse::ChosenFileName().clear();
    // A cancel leaves the box, and with it the page's background on OK.
    if (!browse::BrowseForFile(
            this,
            tr("All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;"
               "*.gif;*.png|GIF Files (*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg"),
            2))
        return;
    backgroundImageEdit->setText(browse::ChosenFileName());
    if (const std::optional<QImage> picture = browse::readPicture(browse::ChosenFileName()))
        backgroundPreview->setPixmap(QPixmap::fromImage(
            picture->size().boundedTo(QSize(320, 240)) == picture->size()
                ? *picture
                : picture->scaled(QSize(320, 240), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void PagePropertiesDialog::applyToPage()
{
    // A field left as the page filled it leaves its attribute exactly as it
    // was (its "#", its letter case); an emptied field takes the attribute
    // away rather than leaving an empty one behind.
    surface::Document dom = m_surface->DOM();
    bool (surface::Document::*const setColour[5])(const QString &) = {
        &surface::Document::setBgColor, &surface::Document::setFgColor, &surface::Document::setLinkColor,
        &surface::Document::setVlinkColor, &surface::Document::setAlinkColor};
    for (int row = 0; row < 5; ++row) {
        const QString text = box(row)->text();
        if (text == m_loadedColour[row])
            continue;
        if (text.isEmpty())
            dom.body().removeAttribute(QString::fromLatin1(kColourAttribute[row]));
        else
            (dom.*setColour[row])(text);
    }
    if (backgroundImageEdit->text() != m_loadedBackground) {
        if (backgroundImageEdit->text().isEmpty())
            dom.body().removeAttribute(QStringLiteral("BACKGROUND"));
        else
            dom.body().setAttribute(QStringLiteral("BACKGROUND"),
                                    backgroundToWrite(backgroundImageEdit->text()), 0);
    }
    if (watermarkCheck->isChecked())
        dom.body().setAttribute(QStringLiteral("BGPROPERTIES"), QStringLiteral("FIXED"), 0);
    // The title is edited in the page itself, not by writing the page's
    // text afresh: that would read the page again, in UTF-8, and end its
    // undo history.
    if (!titleEdit->text().isEmpty() && titleEdit->text() != m_loadedTitle)
        m_surface->setDocumentTitle(titleEdit->text());
    accept();
}

} // namespace pageprops
