#include "about/aboutbox.h"

#include "quillonkiv_config.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

static void initAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace about {
namespace {
const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
} // namespace

QString AboutBox::webAddress()
{
    return QStringLiteral(QK_MAKER_WEB_ADDRESS);
}

QString AboutBox::emailAddress()
{
    return QStringLiteral(QK_MAKER_EMAIL);
}

AboutBox::AboutBox(std::function<void(const QString &)> shellOpen, QWidget *parent)
    : QDialog(parent), m_shellOpen(std::move(shellOpen))
{
    initAboutResources();
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(tr("About Quillon Kiv"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, kWhite);
    setPalette(p);
    setMouseTracking(true);

    productPicture = new QLabel(this);
    productPicture->setObjectName(QStringLiteral("Picture1"));
    productPicture->setPixmap(QIcon(QStringLiteral(":/about/product.svg")).pixmap(QSize(280, 120)));
    productPicture->setMouseTracking(true);

    webLink = new QLabel(webAddress(), this);
    webLink->setObjectName(QStringLiteral("Label3"));
    webLink->setCursor(Qt::PointingHandCursor);
    webLink->setMouseTracking(true);
    webLink->setFocusPolicy(Qt::StrongFocus); // reachable from the keyboard: Enter or Space opens it
    webLink->setToolTip(tr("Open the web site in your browser"));

    emailLabel = new QLabel(tr("Email:  ") + emailAddress(), this);
    emailLabel->setObjectName(QStringLiteral("Label4"));
    emailLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    okButton = new QPushButton(tr("&OK"), this);
    okButton->setObjectName(QStringLiteral("Command1"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(productPicture, 0, Qt::AlignHCenter);
    layout->addWidget(webLink, 0, Qt::AlignHCenter);
    layout->addWidget(emailLabel, 0, Qt::AlignHCenter);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    layout->addLayout(buttons);

    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(productPicture),
                       static_cast<QWidget *>(webLink)})
        w->installEventFilter(this);
    setLinkColor(kWhite);
    // The box opens with the focus on OK, so that Enter and Space close it
    // as they close any message box; the link is one Tab away.
    setTabOrder(okButton, webLink);
    okButton->setFocus();
}

void AboutBox::setLinkColor(const QColor &color)
{
    QPalette p = webLink->palette();
    p.setColor(QPalette::WindowText, color);
    webLink->setPalette(p);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        // There is no leave handling: moving over the window or the picture
        // turns the link white again.
        setLinkColor(watched == webLink ? kBlue : kWhite);
        break;
    case QEvent::MouseButtonRelease:
        if (watched == webLink && m_shellOpen)
            m_shellOpen(webAddress()); // the box stays open
        break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // A label draws no focus frame: underline the link while it holds the
        // focus, so that the keys' target is never a surprise.
        if (watched == webLink) {
            QFont f = webLink->font();
            f.setUnderline(event->type() == QEvent::FocusIn);
            webLink->setFont(f);
        }
        break;
    case QEvent::KeyPress:
        if (watched == webLink) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && m_shellOpen) {
                m_shellOpen(webAddress());
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

InfoBox::InfoBox(Product product, std::function<void(const QString &)> shellOpen, QWidget *parent)
    : QDialog(parent)
{
    QString title;
    QString text;
    if (product == Product::Fizzet) {
        setObjectName(QStringLiteral("FizzetBox"));
        title = tr("Fizzet: Web page special effects");
        text = tr("Fizzet adds special effects to your web pages: rollover buttons, fading text, "
                  "scrolling banners and more, without writing any script yourself.");
        m_address = QStringLiteral(QK_FIZZET_ADDRESS);
    } else {
        setObjectName(QStringLiteral("TrafficBox"));
        title = tr("Increase traffic to your Web site");
        text = tr("Bring more visitors to your web site: a program that submits your site to search "
                  "engines and directories and checks how your pages rank.");
        m_address = QStringLiteral(QK_TRAFFIC_ADDRESS);
    }
    setWindowTitle(title);
    auto *heading = new QLabel(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()), this);
    auto *body = new QLabel(text, this);
    body->setWordWrap(true);
    downloadButton = new QPushButton(tr("&Download..."), this);
    downloadButton->setObjectName(QStringLiteral("downloadButton"));
    okButton = new QPushButton(tr("&OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(downloadButton, &QPushButton::clicked, this, [this, open = std::move(shellOpen)] {
        if (open)
            open(m_address);
    });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(body);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(downloadButton);
    buttons->addWidget(okButton);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());
}

} // namespace about
