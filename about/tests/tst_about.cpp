#include "about/aboutbox.h"
#include "testsupport/children.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using about::AboutBox;
using about::InfoBox;

class TestAbout final : public QObject
{
    Q_OBJECT

private slots:
    void linkColourAndOpening();
    void closingKeys_data();
    void closingKeys();
    void infoBoxes_data();
    void infoBoxes();
};

void TestAbout::linkColourAndOpening()
{
    QStringList opened;
    AboutBox about([&](const QString &t) { opened << t; });
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(!child<QLabel>(about, "Picture1")->pixmap().isNull()); // the picture is found in the resources
    auto linkColor = [&] { return child<QLabel>(about, "Label3")->palette().color(QPalette::WindowText); };
    QCOMPARE(linkColor(), QColor(255, 255, 255));
    QTest::mouseMove(child<QLabel>(about, "Label3"), child<QLabel>(about, "Label3")->rect().center());
    QTRY_COMPARE(linkColor(), QColor(0, 0, 255));
    // Leaving the label straight off the window keeps it blue ...
    QTest::mouseMove(child<QPushButton>(about, "Command1"),
                     child<QPushButton>(about, "Command1")->rect().center());
    QCOMPARE(linkColor(), QColor(0, 0, 255));
    // ... until the pointer moves over the picture or the window itself.
    QTest::mouseMove(child<QLabel>(about, "Picture1"), child<QLabel>(about, "Picture1")->rect().center());
    QTRY_COMPARE(linkColor(), QColor(255, 255, 255));

    QTest::mouseClick(child<QLabel>(about, "Label3"), Qt::LeftButton);
    QCOMPARE(opened, QStringList{AboutBox::webAddress()});
    QVERIFY(about.isVisible()); // clicking the link does not close the box
    child<QLabel>(about, "Label3")->setFocus();
    QTest::keyClick(child<QLabel>(about, "Label3"), Qt::Key_Space);
    QCOMPARE(opened.size(), 2);
    QTest::mouseClick(child<QPushButton>(about, "Command1"), Qt::LeftButton);
    QVERIFY(!about.isVisible());
}

void TestAbout::closingKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

// As the box opens, the keys that close a message box close it too, and
// never open the web site on the way.
void TestAbout::closingKeys()
{
    QFETCH(int, key);
    QStringList opened;
    AboutBox about([&](const QString &t) { opened << t; });
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTRY_VERIFY(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QTRY_VERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QCOMPARE(opened, QStringList());
}

void TestAbout::infoBoxes_data()
{
    QTest::addColumn<int>("product");
    QTest::newRow("fizzet") << int(InfoBox::Product::Fizzet);
    QTest::newRow("traffic") << int(InfoBox::Product::IncreaseTraffic);
}

void TestAbout::infoBoxes()
{
    QFETCH(int, product);
    QStringList opened;
    InfoBox box(InfoBox::Product(product), [&](const QString &t) { opened << t; });
    box.show();
    QVERIFY(!box.address().isEmpty());
    QTest::mouseClick(child<QPushButton>(box, "downloadButton"), Qt::LeftButton);
    QCOMPARE(opened, QStringList{box.address()});
    QVERIFY(box.isVisible());
    QTest::mouseClick(child<QPushButton>(box, "okButton"), Qt::LeftButton);
    QVERIFY(!box.isVisible());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
