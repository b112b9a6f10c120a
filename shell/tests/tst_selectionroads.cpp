// What the link and image dialogs and a dropped picture do with what the
// user selected, end to end in the real window: a picture clicked on, or
// text that holds markup characters.
#include "hyperlink/hyperlinkdialog.h"
#include "image/insertimagedialog.h"
#include "testsupport/children.h"
#include "testsupport/testwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace surface;

namespace {
// Answers the next modal dialog once it shows; answered stays false when
// another window came instead.
template <typename Dialog> void whenShown(bool &answered, std::function<void(Dialog &)> fill)
{
    answered = false;
    auto *timer = new QTimer(qApp); // the application owns it until it is done
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [&answered, fill, timer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        if (auto *d = qobject_cast<Dialog *>(modal)) {
            answered = true;
            fill(*d);
        } else {
            modal->close();
        }
    });
    timer->start();
}
} // namespace

class TestSelectionRoads final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void selectedPicture_data();
    void selectedPicture();
    void linkedTextKeepsItsCharacters();

private:
    EditSurface *surface() const { return m_window.form->surface(); }
    QString body() const { return m_window.js(QStringLiteral("document.body.innerHTML")).toString(); }
    // The paragraph's markup, with the engine's choice between a space and a
    // no-break space left out.
    QString paragraph() const
    {
        return m_window.js(QStringLiteral("document.querySelector('p').innerHTML"))
            .toString()
            .replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    }
    // A click on the element, as a person makes it.
    void click(const QString &selector);

    TestWindow m_window;
};

void TestSelectionRoads::initTestCase()
{
    QVERIFY(m_window.open());
}

void TestSelectionRoads::init()
{
    m_window.script = ui::Script();
    surface()->NewDocument();
}

void TestSelectionRoads::click(const QString &selector)
{
    const QVariantMap r =
        m_window
            .js(QStringLiteral("(() => { const b = document.querySelector('%1').getBoundingClientRect();"
                               " return {x: b.left + b.width / 2, y: b.top + b.height / 2}; })()")
                    .arg(selector))
            .toMap();
    const QPoint p(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt());
    QTest::mouseMove(m_window.input(), p);
    QTest::mouseClick(m_window.input(), Qt::LeftButton, {}, p);
}

void TestSelectionRoads::selectedPicture_data()
{
    QTest::addColumn<QString>("menu");     // "hyperlink", "image", or a picture file dropped on the toolbar
    QTest::addColumn<QString>("picture");  // in the paragraph "a ... b"
    QTest::addColumn<QString>("expected"); // the paragraph's markup after OK
    const QString old = QStringLiteral("<img id=\"p\" src=\"old.gif\" width=\"40\" height=\"30\">");
    const QString made = QStringLiteral("<img src=\"new.gif\" alt=\"New\" width=\"20\" height=\"10\">");
    QTest::newRow("linked") << "hyperlink" << old << QStringLiteral("a <a href=\"x.html\">%1</a> b").arg(old);
    QTest::newRow("replaced") << "image" << old << QStringLiteral("a %1 b").arg(made);
    QTest::newRow("replaced in its link") << "image" << QStringLiteral("<a href=\"l.html\">%1</a>").arg(old)
                                          << QStringLiteral("a <a href=\"l.html\">%1</a> b").arg(made);
    // As Insert Image puts it: %1 is the dropped file.
    const QString dropped = QStringLiteral("<img src=\"%1\" width=\"3\" height=\"2\">");
    QTest::newRow("replaced by a drop") << "drop" << old << QStringLiteral("a %1 b").arg(dropped);
    QTest::newRow("replaced by a drop in its link")
        << "drop" << QStringLiteral("<a href=\"l.html\">%1</a>").arg(old)
        << QStringLiteral("a <a href=\"l.html\">%1</a> b").arg(dropped);
}

// A picture clicked on is linked as it is, or replaced by the one composed.
void TestSelectionRoads::selectedPicture()
{
    QFETCH(QString, menu);
    QFETCH(QString, picture);
    QFETCH(QString, expected);
    QVERIFY(
        surface()->setDocumentHTML(QStringLiteral("<html><body><p>a %1 b</p></body></html>").arg(picture)));
    const QString before = body();
    click(QStringLiteral("#p"));
    QTRY_COMPARE(surface()->selectionType(), QStringLiteral("Control"));
    bool answered = false;
    if (menu == QLatin1String("hyperlink")) {
        QString shown;
        bool enabled = true;
        whenShown<hyperlink::HyperlinkDialog>(answered, [&](hyperlink::HyperlinkDialog &d) {
            shown = child<QLineEdit>(d, "LText1")->text();
            enabled = child<QLineEdit>(d, "LText1")->isEnabled();
            child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("x.html"));
            d.insertLink();
            if (d.isVisible())
                d.reject(); // a field check kept it open
        });
        m_window.trigger(QStringLiteral("mnuInsertHyperlink"));
        QCOMPARE(shown, QStringLiteral("The selected picture is linked"));
        QVERIFY(!enabled);
    } else if (menu == QLatin1String("drop")) {
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("new.png"));
        QVERIFY(QImage(3, 2, QImage::Format_RGB32).save(file));
        expected = expected.arg(file);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QWidget *bar = m_window.form->findChild<QWidget *>(QStringLiteral("Toolbar2"));
        const QPoint at = bar->mapTo(m_window.form.get(), bar->rect().center());
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.form->windowHandle(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.form->windowHandle(), &drop);
        QTRY_VERIFY(surface()->IsDirty());
        answered = true;
    } else {
        whenShown<image::InsertImageDialog>(answered, [&](image::InsertImageDialog &d) {
            child<QLineEdit>(d, "GraphText")->setText(QStringLiteral("new.gif"));
            child<QLineEdit>(d, "Alt")->setText(QStringLiteral("New"));
            child<QLineEdit>(d, "Text1")->setText(QStringLiteral("20"));
            child<QLineEdit>(d, "Text2")->setText(QStringLiteral("10"));
            d.insertImage();
            if (d.isVisible())
                d.reject();
        });
        m_window.trigger(QStringLiteral("mnuInsertImage"));
    }
    QVERIFY(answered);
    QCOMPARE(paragraph(), expected);
    QVERIFY(surface()->IsDirty());
    // One step to undo, and the page reads back as it stands.
    surface()->ExecCommand(DECMD_UNDO);
    QTRY_COMPARE(body(), before);
    surface()->ExecCommand(DECMD_REDO);
    QTRY_COMPARE(paragraph(), expected);
    QVERIFY(surface()->setDocumentHTML(surface()->DocumentHTML()));
    QCOMPARE(paragraph(), expected);
}

// The selection's text is the page's text: linked untouched, it reads the
// same, markup characters and all.
void TestSelectionRoads::linkedTextKeepsItsCharacters()
{
    QVERIFY(surface()->setDocumentHTML(
        QStringLiteral("<html><body><p id=\"s\">a&lt;b and c&gt;d &amp;copy</p></body></html>")));
    m_window.js(QStringLiteral("(() => { const r = document.createRange();"
                               " r.selectNodeContents(document.getElementById('s'));"
                               " const s = document.getSelection(); s.removeAllRanges(); s.addRange(r);"
                               " return true; })()"));
    QTRY_COMPARE(surface()->selectionType(), QStringLiteral("Text"));
    bool answered = false;
    whenShown<hyperlink::HyperlinkDialog>(answered, [&](hyperlink::HyperlinkDialog &d) {
        child<QComboBox>(d, "httpsite")->setEditText(QStringLiteral("x.html"));
        d.insertLink();
        if (d.isVisible())
            d.reject();
    });
    m_window.trigger(QStringLiteral("mnuInsertHyperlink"));
    QVERIFY(answered);
    QCOMPARE(m_window.js(QStringLiteral("document.getElementById('s').innerHTML")).toString(),
             QStringLiteral("<a href=\"x.html\">a&lt;b and c&gt;d &amp;copy</a>"));
    QVERIFY(surface()->setDocumentHTML(surface()->DocumentHTML()));
    QCOMPARE(m_window.js(QStringLiteral("document.getElementById('s').textContent")).toString(),
             QStringLiteral("a<b and c>d &copy"));
}

QK_WINDOW_TEST_MAIN(TestSelectionRoads)

#include "tst_selectionroads.moc"
