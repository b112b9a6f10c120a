// Pure pieces of the session: stored numbers and the charset declaration.
#include "editsurface.h"
#include "session.h"

#include <QTest>

class TestSession final : public QObject
{
    Q_OBJECT

private slots:
    void storedNumbers_data();
    void storedNumbers();
    void utf8Declaration_data();
    void utf8Declaration();
    void messages_data();
    void messages();
};

void TestSession::storedNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "5000" << 5000;
    QTest::newRow("blank before") << "  120" << 120;
    QTest::newRow("leading number") << "77abc" << 77;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative") << "-300" << -300;
    QTest::newRow("half to even down") << "2.5" << 2;
    QTest::newRow("half to even up") << "3.5" << 4;
    QTest::newRow("fraction") << "10.4" << 10;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("too large") << "32768" << 0;
    QTest::newRow("too small") << "-32769" << 0;
    QTest::newRow("exponent") << "1e3" << 1000;
}

void TestSession::storedNumbers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(session::readStoredNumber(text), value);
}

void TestSession::utf8Declaration_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("meta charset") << "<html><head><meta charset=\"windows-1252\"></head></html>"
                                  << "<html><head><meta charset=\"utf-8\"></head></html>";
    QTest::newRow("http-equiv")
        << "<HEAD><META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\"></HEAD>"
        << "<HEAD><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></HEAD>";
    QTest::newRow("no declaration") << "<HTML>\r\n<HEAD>\r\n<TITLE>x</TITLE>"
                                    << "<HTML>\r\n<HEAD><META charset=\"utf-8\">\r\n<TITLE>x</TITLE>";
    QTest::newRow("no head") << "<html><body>x</body></html>"
                             << "<html><HEAD><META charset=\"utf-8\"></HEAD><body>x</body></html>";
    QTest::newRow("fragment") << "<p>x</p>"
                              << "<META charset=\"utf-8\"><p>x</p>";
    QTest::newRow("header element is no head")
        << "<html><header>h</header></html>"
        << "<html><HEAD><META charset=\"utf-8\"></HEAD><header>h</header></html>";
}

void TestSession::utf8Declaration()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(session::declareUtf8(html), expected);
}

void TestSession::messages_data()
{
    using namespace surface::codes;
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("load");
    QTest::addColumn<QString>("save");
    QTest::newRow("unexpected") << Unexpected << "Unexpected error"
                                << "Unexpected error";
    QTest::newRow("file not found") << FileNotFound << "File not found"
                                    << "Unknown error";
    QTest::newRow("path not found") << PathNotFound << "Path not found"
                                    << "Path not found";
    QTest::newRow("disk full") << DiskFull << "Unknown error"
                               << "Disk is full";
    QTest::newRow("frameset") << Frameset << "Document contains a frameset"
                              << "Unknown error";
    QTest::newRow("server script") << ServerScript << "Document is primarily server side script"
                                   << "Unknown error";
    QTest::newRow("invalid argument") << InvalidArgument << "Invalid argument"
                                      << "Invalid argument";
    QTest::newRow("access denied") << AccessDenied << "Access denied"
                                   << "Access denied";
    QTest::newRow("anything else") << qint64(12345) << "Unknown error"
                                   << "Unknown error";
}

void TestSession::messages()
{
    QFETCH(qint64, code);
    QFETCH(QString, load);
    QFETCH(QString, save);
    QCOMPARE(session::loadMessage(code), load);
    QCOMPARE(session::saveMessage(code), save);
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
