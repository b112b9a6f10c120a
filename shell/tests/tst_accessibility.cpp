// The program's windows as a screen reader finds them: every control a
// person can use must say what it is.
#include "about/aboutbox.h"
#include "hyperlink/hyperlinkdialog.h"
#include "image/insertimagedialog.h"
#include "pageprops/pagepropertiesdialog.h"
#include "publish/publishdialog.h"
#include "shell/inserthtmldialog.h"
#include "surface/surfacedialogs.h"
#include "testsupport/testwindow.h"

#include <QAccessible>
#include <QTest>

namespace {
struct NoPasswords final : publish::PasswordStore
{
    void read(QObject *, std::function<void(std::optional<QString>)> done) override { done(std::nullopt); }
    void write(const QString &, QObject *, std::function<void(bool)> done) override { done(false); }
    void remove() override {}
};

bool interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::SpinBox:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::Button:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Slider:
        return true;
    default:
        return false;
    }
}

// A combo box's name on some platforms is its current text, and a label
// names it through a relation; its own name or a label will do.
bool named(QAccessibleInterface *iface)
{
    if (!iface->text(QAccessible::Name).trimmed().isEmpty())
        return true;
    if (iface->role() != QAccessible::ComboBox)
        return false;
    const auto *widget = qobject_cast<const QWidget *>(iface->object());
    return (widget && !widget->accessibleName().isEmpty()) || !iface->relations(QAccessible::Label).isEmpty();
}

// The unnamed controls under iface, as "objectName (class)" or the path to them.
void collectUnnamed(QAccessibleInterface *iface, const QWidget *skip, const QString &path, QStringList &out)
{
    const auto *widget = qobject_cast<const QWidget *>(iface->object());
    if (widget && skip && (widget == skip || skip->isAncestorOf(widget)))
        return; // the page itself: its content is the author's, not ours
    const QString here =
        path + u'/' +
        (widget ? (widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                  : widget->objectName())
                : QStringLiteral("#%1").arg(int(iface->role())));
    if (widget && interactive(iface->role()) && !named(iface))
        out << here + QStringLiteral(" (%1)").arg(QString::fromLatin1(widget->metaObject()->className()));
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface *child = iface->child(i);
        // A combo box's drop-down list is read out as the box's own items.
        if (child && !(iface->role() == QAccessible::ComboBox && child->role() == QAccessible::List))
            collectUnnamed(child, skip, here, out);
    }
}
} // namespace

class TestAccessibility final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyControlIsNamed_data();
    void everyControlIsNamed();

private:
    std::unique_ptr<QWidget> make(const QString &window);
    TestWindow m_window;
};

void TestAccessibility::initTestCase()
{
    QVERIFY(m_window.open());
}

std::unique_ptr<QWidget> TestAccessibility::make(const QString &window)
{
    shell::MainForm *form = m_window.form.get();
    surface::EditSurface *s = form->surface();
    const auto open = [](const QString &) {};
    if (window == QLatin1String("Insert Image"))
        return std::make_unique<image::InsertImageDialog>(s, form);
    if (window == QLatin1String("HyperLink"))
        return std::make_unique<hyperlink::HyperlinkDialog>(s, form);
    if (window == QLatin1String("Web Page Properties"))
        return std::make_unique<pageprops::PagePropertiesDialog>(s, form);
    if (window == QLatin1String("Insert HTML"))
        return std::make_unique<shell::InsertHtmlDialog>(s, form);
    if (window == QLatin1String("Publish"))
        return std::make_unique<publish::PublishDialog>(s, std::make_unique<NoPasswords>(), form);
    if (window == QLatin1String("About"))
        return std::make_unique<about::AboutBox>(open, form);
    if (window == QLatin1String("Fizzet"))
        return std::make_unique<about::InfoBox>(about::InfoBox::Product::Fizzet, open, form);
    if (window == QLatin1String("Increase traffic"))
        return std::make_unique<about::InfoBox>(about::InfoBox::Product::IncreaseTraffic, open, form);
    if (window == QLatin1String("Font"))
        return std::make_unique<surface::FontDialog>(surface::FontChoice{}, form);
    if (window == QLatin1String("Find"))
        return std::make_unique<surface::FindDialog>([](const QString &, bool, bool, bool) { return false; },
                                                     form);
    return nullptr;
}

void TestAccessibility::everyControlIsNamed_data()
{
    QTest::addColumn<QString>("window");
    for (const char *window :
         {"main window", "Insert Image", "HyperLink", "Web Page Properties", "Insert HTML", "Publish",
          "About", "Fizzet", "Increase traffic", "Font", "Find"})
        QTest::newRow(window) << QString::fromLatin1(window);
}

void TestAccessibility::everyControlIsNamed()
{
    QFETCH(QString, window);
    std::unique_ptr<QWidget> dialog = make(window);
    QWidget *shown = dialog ? dialog.get() : m_window.form.get();
    QVERIFY(window == QLatin1String("main window") || dialog);
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    QAccessibleInterface *root = QAccessible::queryAccessibleInterface(shown);
    QVERIFY(root);
    QStringList unnamed;
    collectUnnamed(root, m_window.form->surface()->widget(), QString(), unnamed);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
}

QK_WINDOW_TEST_MAIN(TestAccessibility)

#include "tst_accessibility.moc"
