// The handles of a selected picture, driven with the mouse in the whole window.
#include "testsupport/testwindow.h"

#include <QImage>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace surface;

class TestHandles final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dragResizes_data();
    void dragResizes();
    void arrowKeysMoveNothing();
    void tableByItsFrame();
    void positionedBlockByItsEdge();

private:
    // The picture's box in the view, as the page lays it out.
    QRect pictureBox() const
    {
        const QVariantMap r = w.js(QStringLiteral("(() => { const b = document.getElementById('g')"
                                                  ".getBoundingClientRect(); return {x: b.left, y: b.top,"
                                                  " w: b.width, h: b.height}; })()"))
                                  .toMap();
        return QRect(
            qRound(r.value(QStringLiteral("x")).toDouble()), qRound(r.value(QStringLiteral("y")).toDouble()),
            qRound(r.value(QStringLiteral("w")).toDouble()), qRound(r.value(QStringLiteral("h")).toDouble()));
    }
    void selectPicture()
    {
        const QPoint center = pictureBox().center();
        QTest::mouseMove(w.input(), center);
        QTest::mouseClick(w.input(), Qt::LeftButton, {}, center);
        QTRY_COMPARE(w.form->surface()->selectionType(), QStringLiteral("Control"));
        QTRY_VERIFY(w.js(QStringLiteral("!!document.querySelector('qk-handles')")).toBool());
    }
    QString page() const { return w.form->surface()->DocumentHTML(); }

    TestWindow w;
    QTemporaryDir m_dir;
};

void TestHandles::init()
{
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    QVERIFY(picture.save(m_dir.filePath(QStringLiteral("g.png"))));
    const QString path = writeTestFile(m_dir.filePath(QStringLiteral("page.html")),
                                       "<html><body><p>Pic: <img id=\"g\" src=\"g.png\"></p></body></html>");
    QVERIFY(w.open());
    w.openPage(path);
    QTRY_COMPARE(w.form->surface()->CurrentDocumentPath(), path);
    QTRY_COMPARE(pictureBox().size(), QSize(100, 50));
}

void TestHandles::cleanup()
{
    w.close();
}

void TestHandles::dragResizes_data()
{
    QTest::addColumn<QPointF>("handle"); // where on the picture's box, 0 to 1
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QString>("size");
    QTest::newRow("corner keeps the proportions") << QPointF(1, 1) << QPoint(40, 5) << "140 x 70";
    QTest::newRow("right edge: the width") << QPointF(1, 0.5) << QPoint(30, 40) << "130 x 50";
    QTest::newRow("bottom edge: the height") << QPointF(0.5, 1) << QPoint(30, -20) << "100 x 30";
}

void TestHandles::dragResizes()
{
    QFETCH(QPointF, handle);
    QFETCH(QPoint, drag);
    QFETCH(QString, size);
    selectPicture();
    const QRect box = pictureBox();
    const QPoint from(box.x() + qRound(handle.x() * box.width()),
                      box.y() + qRound(handle.y() * box.height()));
    QTest::mouseMove(w.input(), from);
    QTest::mousePress(w.input(), Qt::LeftButton, {}, from);
    QTest::mouseMove(w.input(), from + drag / 2);
    QTest::mouseMove(w.input(), from + drag);
    QTRY_COMPARE(w.form->statusBar()->currentMessage(), size + QStringLiteral(" pixels"));
    QTest::mouseRelease(w.input(), Qt::LeftButton, {}, from + drag);
    const QStringList wh = size.split(QStringLiteral(" x "));
    const QString resized =
        QStringLiteral("<img id=\"g\" src=\"g.png\" width=\"%1\" height=\"%2\">").arg(wh[0], wh[1]);
    QTRY_VERIFY2(page().contains(resized), qPrintable(page()));
    QVERIFY(w.form->statusBar()->currentMessage().isEmpty());
    QCOMPARE(w.form->surface()->selectionType(),
             QStringLiteral("Control")); // still selected, handles and all
    // One step to undo.
    QVERIFY(w.form->surface()->ExecCommand(DECMD_UNDO).isValid());
    QTRY_VERIFY2(page().contains(QStringLiteral("<img id=\"g\" src=\"g.png\">")), qPrintable(page()));
}

void TestHandles::arrowKeysMoveNothing()
{
    const QString before = page();
    selectPicture();
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Down, Qt::Key_Up})
        QTest::keyClick(w.input(), key);
    QTRY_VERIFY(!w.js(QStringLiteral("!!document.querySelector('qk-handles')")).toBool());
    QCOMPARE(page(), before);
    QVERIFY(!w.form->surface()->IsDirty());
}

// A click on a table's frame selects the table; a corner resizes it.
void TestHandles::tableByItsFrame()
{
    const QString path = writeTestFile(m_dir.filePath(QStringLiteral("table.html")),
                                       "<html><body><table id=\"t\" border=\"8\" width=\"200\" height=\"60\">"
                                       "<tr><td>cell</td></tr></table><p>after</p></body></html>");
    w.openPage(path);
    QTRY_COMPARE(w.form->surface()->CurrentDocumentPath(), path);
    const QVariantMap r = w.js(QStringLiteral("(() => { const b = document.getElementById('t')"
                                              ".getBoundingClientRect(); return {x: b.left, y: b.top}; })()"))
                              .toMap();
    const QPoint corner(qRound(r.value(QStringLiteral("x")).toDouble()),
                        qRound(r.value(QStringLiteral("y")).toDouble()));
    const QPoint frame = corner + QPoint(3, 30); // on the left border
    QTest::mouseMove(w.input(), frame);
    QTest::mouseClick(w.input(), Qt::LeftButton, {}, frame);
    QTRY_COMPARE(w.form->surface()->selectionType(), QStringLiteral("Control"));
    const QPoint handle = corner + QPoint(200, 60);
    QTest::mouseMove(w.input(), handle);
    QTest::mousePress(w.input(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(w.input(), handle + QPoint(100, 0));
    QTest::mouseRelease(w.input(), Qt::LeftButton, {}, handle + QPoint(100, 0));
    QTRY_VERIFY2(page().contains(QStringLiteral(
                     "<table id=\"t\" border=\"8\" width=\"300\" "
                     "height=\"90\"><tbody><tr><td>cell</td></tr></tbody></table><p>after</p>")),
                 qPrintable(page()));
}

// A click on the edge of a positioned block selects it; an edge resizes it.
void TestHandles::positionedBlockByItsEdge()
{
    const QString path =
        writeTestFile(m_dir.filePath(QStringLiteral("box.html")),
                      "<html><body><div id=\"b\" style=\"position: absolute; left: 50px; top: 40px;"
                      " width: 120px; height: 80px; border: 2px solid\">boxed</div></body></html>");
    w.openPage(path);
    QTRY_COMPARE(w.form->surface()->CurrentDocumentPath(), path);
    const QPoint edge(51, 80);
    QTest::mouseMove(w.input(), edge);
    QTest::mouseClick(w.input(), Qt::LeftButton, {}, edge);
    QTRY_COMPARE(w.form->surface()->selectionType(), QStringLiteral("Control"));
    const QPoint handle(50 + 124, 40 + 42); // the right edge's handle
    QTest::mouseMove(w.input(), handle);
    QTest::mousePress(w.input(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(w.input(), handle + QPoint(36, 20));
    QTest::mouseRelease(w.input(), Qt::LeftButton, {}, handle + QPoint(36, 20));
    QTRY_VERIFY2(page().contains(QStringLiteral("width: 156px; height: 80px;")), qPrintable(page()));
    QVERIFY(page().contains(QStringLiteral("left: 50px; top: 40px;"))); // it stays where it was
}

QK_WINDOW_TEST_MAIN(TestHandles)
#include "tst_handles.moc"
