#include "surface/surfacedialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace surface {

bool FilePicker::offerToStopWaiting(QWidget *, const QString &, const std::function<bool()> &)
{
    return false;
}

std::optional<FontChoice> FilePicker::pickFont(QWidget *parent, const FontChoice &current)
{
    FontDialog dialog(current, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

FontDialog::FontDialog(const FontChoice &current, QWidget *parent) : QDialog(parent), m_color(current.color)
{
    setObjectName(QStringLiteral("FontDialog"));
    setWindowTitle(tr("Font"));
    face = new QComboBox(this);
    face->setEditable(true);
    QStringList families = {QStringLiteral("Times New Roman"), QStringLiteral("Arial"),
                            QStringLiteral("Tahoma"),          QStringLiteral("Courier"),
                            QStringLiteral("Verdana"),         QStringLiteral("Wingdings")};
    for (const QString &f : QFontDatabase::families())
        if (!families.contains(f))
            families << f;
    face->addItems(families);
    face->setEditText(current.face);
    face->lineEdit()->setAccessibleName(tr("Font"));
    size = new QComboBox(this);
    size->addItem(QString());
    for (int i = 1; i <= 7; ++i)
        size->addItem(QString::number(i));
    size->setCurrentIndex(current.size >= 1 && current.size <= 7 ? current.size : 0);
    bold = new QCheckBox(tr("&Bold"), this);
    bold->setChecked(current.bold);
    italic = new QCheckBox(tr("&Italic"), this);
    italic->setChecked(current.italic);
    underline = new QCheckBox(tr("&Underline"), this);
    underline->setChecked(current.underline);
    colorButton = new QPushButton(tr("C&olor..."), this);
    connect(colorButton, &QPushButton::clicked, this, [this] {
        const QColor c =
            QColorDialog::getColor(m_color.isEmpty() ? QColor(Qt::black) : QColor(m_color), this);
        if (c.isValid())
            m_color = c.name().toUpper();
    });
    auto *form = new QFormLayout;
    form->addRow(tr("&Font:"), face);
    form->addRow(tr("&Size:"), size);
    auto *styles = new QHBoxLayout;
    styles->addWidget(bold);
    styles->addWidget(italic);
    styles->addWidget(underline);
    styles->addWidget(colorButton);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(styles);
    layout->addWidget(buttons);
}

FontChoice FontDialog::choice() const
{
    FontChoice c;
    c.face = face->currentText();
    c.size = size->currentIndex();
    c.bold = bold->isChecked();
    c.italic = italic->isChecked();
    c.underline = underline->isChecked();
    c.color = m_color;
    return c;
}

FindDialog::FindDialog(Finder finder, QWidget *parent) : QDialog(parent), m_finder(std::move(finder))
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(tr("Find"));
    text = new QLineEdit(this);
    auto *label = new QLabel(tr("Fi&nd what:"), this);
    label->setBuddy(text);
    matchCase = new QCheckBox(tr("Match &case"), this);
    wholeWord = new QCheckBox(tr("Match &whole word only"), this);
    auto *direction = new QGroupBox(tr("Direction"), this);
    up = new QRadioButton(tr("&Up"), direction);
    down = new QRadioButton(tr("&Down"), direction);
    down->setChecked(true);
    auto *dirLayout = new QHBoxLayout(direction);
    dirLayout->addWidget(up);
    dirLayout->addWidget(down);
    findNext = new QPushButton(tr("&Find Next"), this);
    findNext->setDefault(true);
    findNext->setEnabled(false);
    auto *close = new QPushButton(tr("Close"), this);
    feedback = new QLabel(this);
    feedback->setObjectName(QStringLiteral("feedback"));
    connect(text, &QLineEdit::textChanged, this, [this](const QString &t) {
        findNext->setEnabled(!t.isEmpty());
        feedback->clear();
    });
    connect(findNext, &QPushButton::clicked, this, &FindDialog::findNextClicked);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto *grid = new QHBoxLayout;
    grid->addWidget(label);
    grid->addWidget(text, 1);
    auto *options = new QVBoxLayout;
    options->addWidget(matchCase);
    options->addWidget(wholeWord);
    auto *middle = new QHBoxLayout;
    middle->addLayout(options);
    middle->addWidget(direction);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(findNext);
    buttons->addWidget(close);
    buttons->addStretch();
    auto *left = new QVBoxLayout;
    left->addLayout(grid);
    left->addLayout(middle);
    left->addWidget(feedback);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
}

void FindDialog::findNextClicked()
{
    if (m_finder(text->text(), matchCase->isChecked(), wholeWord->isChecked(), up->isChecked())) {
        feedback->clear();
        return;
    }
    feedback->setText(tr("Cannot find \"%1\".").arg(text->text()));
    QApplication::beep();
}

} // namespace surface
