#include "pageprops/bgcolor.h"

#include "pageprops/bodytag.h"
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

BGCOLOR::BGCOLOR(surface::EditSurface *surface, QWidget *parent) : QDialog(parent), m_surface(surface)
{
    setObjectName(QStringLiteral("BGCOLOR"));
    setWindowTitle(QStringLiteral("Web Page Properties"));
    browse::installHelpKey(this);
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));

    // Page title.
    auto *page0 = new QWidget;
    page0->setObjectName(QStringLiteral("Picture2_0"));
    auto *titleFrame = new QGroupBox(QStringLiteral("Enter the Title of your Web page"), page0);
    Text5 = new QLineEdit(titleFrame);
    Text5->setObjectName(QStringLiteral("Text5"));
    (new QVBoxLayout(titleFrame))->addWidget(Text5);
    auto *l0 = new QVBoxLayout(page0);
    l0->addWidget(titleFrame);
    l0->addStretch();

    // Colours.
    auto *page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Picture2_1"));
    auto *rowsFrame =
        new QGroupBox(QStringLiteral("Click on the \"Select\" boxes to select Web page colors."), page1);
    auto *grid = new QGridLayout(rowsFrame);
    const char *rowLabels[] = {
        "Background color:", "Text Color:", "Link Color:", "Visited Link Color:", "Active Link Color:"};
    const char *boxNames[] = {"Text1", "Text2", "Text3", "Text4", "Text10"};
    const char *swatchNames[] = {"Label9", "Label10", "Label11", "Label12", "Label13"};
    QLineEdit **boxes[] = {&Text1, &Text2, &Text3, &Text4, &Text10};
    for (int row = 0; row < 5; ++row) {
        auto *edit = new QLineEdit(rowsFrame);
        edit->setObjectName(QString::fromLatin1(boxNames[row]));
        edit->setMaxLength(7); // a "#" and six digits
        *boxes[row] = edit;
        auto *label = new QLabel(QString::fromLatin1(rowLabels[row]), rowsFrame);
        label->setBuddy(edit);
        auto *swatch = new QLabel(QStringLiteral("Select"), rowsFrame);
        swatch->setObjectName(QString::fromLatin1(swatchNames[row]));
        swatch->setToolTip(QStringLiteral("Click here to select a color"));
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
    Frame4 = new QGroupBox(QStringLiteral("Preview"), page1);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    auto *previewLayout = new QVBoxLayout(Frame4);
    const char *samples[] = {"Normal Text", "Linked Text", "Visited Link Text", "Active Link Text"};
    for (int i = 0; i < 4; ++i) {
        Label6[i] = new QLabel(QString::fromLatin1(samples[i]), Frame4);
        Label6[i]->setObjectName(QStringLiteral("Label6_%1").arg(i));
        previewLayout->addWidget(Label6[i]);
    }
    auto *l1 = new QHBoxLayout(page1);
    l1->addWidget(rowsFrame, 2);
    l1->addWidget(Frame4, 1);

    // Background picture.
    auto *page2 = new QWidget;
    page2->setObjectName(QStringLiteral("Picture2_2"));
    auto *fileFrame = new QGroupBox(QStringLiteral("Enter image filename for background:"), page2);
    Text9 = new QLineEdit(fileFrame);
    Text9->setObjectName(QStringLiteral("Text9"));
    Command6 = new QToolButton(fileFrame);
    Command6->setObjectName(QStringLiteral("Command6"));
    Command6->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    Command6->setToolTip(QStringLiteral("Browse for image..."));
    Command6->setAccessibleName(QStringLiteral("Browse for image..."));
    auto *fileRow = new QHBoxLayout(fileFrame);
    fileRow->addWidget(Text9, 1);
    fileRow->addWidget(Command6);
    auto *previewFrame = new QGroupBox(QStringLiteral("Preview"), page2);
    Picture1 = new QLabel(previewFrame);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setMinimumSize(160, 120);
    Picture1->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(previewFrame))->addWidget(Picture1);
    Check1 = new QCheckBox(
        QStringLiteral(
            "Make background image a fixed watermark on page (Only supported by Internet Explorer)"),
        page2);
    Check1->setObjectName(QStringLiteral("Check1"));
    auto *l2 = new QVBoxLayout(page2);
    l2->addWidget(fileFrame);
    l2->addWidget(previewFrame, 1);
    l2->addWidget(Check1);

    TabStrip1->addTab(page0, QStringLiteral(" Page Title "));
    TabStrip1->addTab(page1, QStringLiteral(" Colors "));
    TabStrip1->addTab(page2, QStringLiteral(" Background Image "));

    Command2 = new QPushButton(QStringLiteral("&OK"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setDefault(true);
    Command1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command5 = new QToolButton(this);
    Command5->setObjectName(QStringLiteral("Command5"));
    Command5->setIcon(browse::helpIcon(this));
    Command5->setToolTip(QStringLiteral("Help"));
    Command5->setAccessibleName(QStringLiteral("Help"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command5);
    buttons->addStretch();
    buttons->addWidget(Command2);
    buttons->addWidget(Command1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    layout->addLayout(buttons);

    // Keyboard order: title, the buttons, the colours, then the background.
    QWidget *order[] = {Text5, Command2, Command1, Command5, Text1,    Text2,
                        Text3, Text4,    Text10,   Text9,    Command6, Check1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Command2, &QPushButton::clicked, this, &BGCOLOR::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command5, &QToolButton::clicked, this, [this] { browse::showHelp(this); });
    connect(Command6, &QToolButton::clicked, this, &BGCOLOR::Command6_Click);
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this](int index) {
        QWidget *first[] = {Text5, Text1, Text9};
        if (index >= 0 && index < 3)
            first[index]->setFocus();
    });
    for (int row = 0; row < 5; ++row)
        colourChanged(row);
    Form_Load();
    Text5->setFocus();
}

QLineEdit *BGCOLOR::box(int row) const
{
    QLineEdit *const boxes[] = {Text1, Text2, Text3, Text4, Text10};
    return boxes[row];
}

QColor BGCOLOR::previewColor(int row) const
{
    return m_rowColor[row];
}

void BGCOLOR::Form_Load()
{
    surface::Document dom = m_surface->DOM();
    Text1->setText(dom.bgColor());
    Text2->setText(dom.fgColor());
    Text3->setText(dom.linkColor());
    Text4->setText(dom.vlinkColor());
    Text10->setText(dom.alinkColor());
    Text5->setText(m_surface->DocumentTitle());
    pageprops::State &s = pageprops::state();
    pageprops::ParseTag(s, m_surface->DocumentHTML(), QStringLiteral("BACKGROUND="));
    Text9->setText(pageprops::backgroundForDisplay(s.AttributeValue));
    for (int row = 0; row < 5; ++row)
        m_loadedColour[row] = box(row)->text();
    m_loadedBackground = Text9->text();
    m_loadedTitle = Text5->text();
}

void BGCOLOR::colourChanged(int row)
{
    QLineEdit *edit = box(row);
    if (edit->text().startsWith(u'#')) {
        edit->setText(edit->text().mid(1)); // runs this again for the rest
        return;
    }
    pageprops::State &s = pageprops::state();
    pageprops::ConvertRGB(s, edit->text());
    applyPreview(row, fromValue(pageprops::convertedColor(s)));
}

void BGCOLOR::applyPreview(int row, const QColor &color)
{
    m_rowColor[row] = color;
    setBackground(swatches[row], color);
    setForeground(swatches[row], captionFor(color));
    if (row == 0) {
        setBackground(Frame4, color);
        for (QLabel *l : Label6)
            setBackground(l, color);
    } else {
        setForeground(Label6[row - 1], color);
    }
}

bool BGCOLOR::eventFilter(QObject *watched, QEvent *event)
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

void BGCOLOR::swatchClicked(int row)
{
    pageprops::State &s = pageprops::state();
    s.SelectedColorHex.clear();
    pageprops::ColorCancelled().clear();
    if (const std::optional<QColor> c = ui::pickColor(this, QColor()))
        pageprops::selectColor(s, quint32(c->red()) | quint32(c->green()) << 8 | quint32(c->blue()) << 16);
    else
        pageprops::ColorCancelled() = QStringLiteral("true");
    if (pageprops::ColorCancelled() != QLatin1String("true")) {
        box(row)->setText(s.SelectedColorHex);
        applyPreview(row, fromValue(s.SelectedColor));
    }
    swatches[row]->setText(QString()); // from now on the swatch shows only its colour
}

void BGCOLOR::Command6_Click()
{
    browse::ChosenFileName().clear();
    browse::BrowseForFile(
        this,
        QStringLiteral("All Files (*.*)|*.*|Graphics Files (*.jpeg, *.jpg, *.gif, *.png)|*.jpeg;*.jpg;"
                       "*.gif;*.png|GIF Files (*.gif)|*.gif|JPEG Files (*.jpeg, *.jpg)|*.jpeg;*.jpg"),
        2);
    Text9->setText(browse::ChosenFileName());
    if (browse::ChosenFileName().isEmpty()) {
        Picture1->clear();
        return;
    }
    if (const std::optional<QImage> picture = browse::readPicture(browse::ChosenFileName()))
        Picture1->setPixmap(QPixmap::fromImage(
            picture->size().boundedTo(QSize(320, 240)) == picture->size()
                ? *picture
                : picture->scaled(QSize(320, 240), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void BGCOLOR::Command2_Click()
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
    if (Text9->text() != m_loadedBackground) {
        if (Text9->text().isEmpty())
            dom.body().removeAttribute(QStringLiteral("BACKGROUND"));
        else
            dom.body().setAttribute(QStringLiteral("BACKGROUND"), pageprops::backgroundToWrite(Text9->text()),
                                    0);
    }
    if (Check1->isChecked())
        dom.body().setAttribute(QStringLiteral("BGPROPERTIES"), QStringLiteral("FIXED"), 0);
    if (!Text5->text().isEmpty() && Text5->text() != m_loadedTitle) {
        if (const std::optional<QString> html =
                pageprops::replaceTitle(m_surface->DocumentHTML(), Text5->text()))
            m_surface->setDocumentHTML(*html);
    }
    accept();
}
