#include "pathrel/references.h"

#include <QTest>

using pathrel::ReferenceKind;

Q_DECLARE_METATYPE(pathrel::ReferenceKind)

class TestReferences final : public QObject
{
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void rewriting_data();
    void rewriting();
    void movedPageNamesTheSameFiles();
};

void TestReferences::listing_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("index");
    QTest::addColumn<ReferenceKind>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("localPath");
    const QString page = QStringLiteral("/s/p.html");
    QTest::newRow("src, relative") << "<img src=\"img/a.png\">" << page << 0 << ReferenceKind::Src
                                   << "img/a.png" << 10 << "/s/img/a.png";
    QTest::newRow("href, file URL with an escape")
        << "<a href='file:///s/my%20p.html'>x</a>" << page << 0 << ReferenceKind::Href
        << "file:///s/my%20p.html" << 9 << "/s/my p.html";
    QTest::newRow("background, unquoted Windows path") << "<body background=C:\\site\\bg.gif>"
                                                       << "C:\\site\\p.htm" << 0 << ReferenceKind::Background
                                                       << "C:\\site\\bg.gif" << 17 << "C:\\site\\bg.gif";
    QTest::newRow("srcset, second address") << "<img srcset=\"a.png 1x, sub/b.png 2x\">" << page << 1
                                            << ReferenceKind::Srcset << "sub/b.png" << 23 << "/s/sub/b.png";
    QTest::newRow("css url, style attribute") << "<p style=\"background:url('i/a.png')\">x" << page << 0
                                              << ReferenceKind::CssUrl << "i/a.png" << 26 << "/s/i/a.png";
    QTest::newRow("css url, style element") << "<style>p{background:url(b.jpg)}</style>" << page << 0
                                            << ReferenceKind::CssUrl << "b.jpg" << 24 << "/s/b.jpg";
    QTest::newRow("link element") << "<link rel=stylesheet href=\"css/s.css\">" << page << 0
                                  << ReferenceKind::Link << "css/s.css" << 27 << "/s/css/s.css";
    QTest::newRow("offset after text outside ASCII")
        << QString::fromUtf8("<p>\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80</p><img src=\"a.png\">") << page << 0
        << ReferenceKind::Src << "a.png" << 21 << "/s/a.png";
    QTest::newRow("character reference read") << "<img src=\"a&amp;b.png\">" << page << 0
                                              << ReferenceKind::Src << "a&amp;b.png" << 10 << "/s/a&b.png";
    QTest::newRow("css url in quotes written as references")
        << "<p style=\"background:url(&quot;i/a.png&quot;)\">" << page << 0 << ReferenceKind::CssUrl
        << "i/a.png" << 31 << "/s/i/a.png";
    QTest::newRow("unknown character reference: as written, no file")
        << "<img src=\"a&copy;b.png\">" << page << 0 << ReferenceKind::Src << "a&copy;b.png" << 10 << "";
    QTest::newRow("file URL of a drive")
        << "<img src=\"file:///C:/site/a.gif\">" << page << 0 << ReferenceKind::Src << "file:///C:/site/a.gif"
        << 10 << "C:/site/a.gif";
    QTest::newRow("site root is no local file")
        << "<a href=\"/about.html\">" << page << 0 << ReferenceKind::Href << "/about.html" << 9 << "";
    QTest::newRow("web address") << "<img src=\"http://x/a.png\">" << page << 0 << ReferenceKind::Src
                                 << "http://x/a.png" << 10 << "";
    QTest::newRow("page with a base of its own") << "<base href=\"http://x/\"><img src=\"a.png\">" << page
                                                 << 1 << ReferenceKind::Src << "a.png" << 33 << "";
    QTest::newRow("a link the parser opens again counts once")
        << "<a href=x.html><p>t</a><img src=y.png>" << page << 1 << ReferenceKind::Src << "y.png" << 32
        << "/s/y.png";
    QTest::newRow("page never saved")
        << "<img src=\"a.png\">" << QString() << 0 << ReferenceKind::Src << "a.png" << 10 << "";
}

void TestReferences::listing()
{
    QFETCH(QString, html);
    QFETCH(QString, page);
    QFETCH(int, index);
    const QList<pathrel::Reference> refs = pathrel::listReferences(html, page);
    QVERIFY(index < refs.size());
    const pathrel::Reference &r = refs.at(index);
    QTEST(r.kind, "kind");
    QTEST(r.value, "value");
    QTEST(int(r.offset), "offset");
    QCOMPARE(html.mid(r.offset, r.length), r.value);
    QTEST(r.localPath, "localPath");
}

void TestReferences::rewriting_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("rewrites"); // from|to|from|to...
    // The page moves from /s/ to /s/sub/.
    QTest::newRow("attributes")
        << R"(<body background=bg.gif><img src="images/a.png"><a href='sub/p2.html#top'>x</a>)"
        << R"(<body background=../bg.gif><img src="../images/a.png"><a href='p2.html#top'>x</a>)"
        << "bg.gif|../bg.gif|images/a.png|../images/a.png|sub/p2.html#top|p2.html#top";
    QTest::newRow("srcset") << R"(<img srcset="a.png 1x, images/b.jpg 2x">)"
                            << R"(<img srcset="../a.png 1x, ../images/b.jpg 2x">)"
                            << "a.png 1x, images/b.jpg 2x|../a.png 1x, ../images/b.jpg 2x";
    QTest::newRow("style attribute and element")
        << R"x(<p style="background:url('images/a.png')"><style>.h{background:url("b.jpg")}</style>)x"
        << R"x(<p style="background:url('../images/a.png')"><style>.h{background:url("../b.jpg")}</style>)x"
        << "background:url('images/a.png')|background:url('../images/"
           "a.png')|.h{background:url(\"b.jpg\")}|.h{background:url(\"../b.jpg\")}";
    QTest::newRow("a folder stays a folder") << R"(<a href="images/">i</a>)"
                                             << R"(<a href="../images/">i</a>)"
                                             << "images/|../images/";
    QTest::newRow("addresses elsewhere stay")
        << R"(<a href="http://x/a.html"><a href="#x"><a href="/root.html"><a href="mailto:a@b">)"
        << R"(<a href="http://x/a.html"><a href="#x"><a href="/root.html"><a href="mailto:a@b">)"
        << "";
    QTest::newRow("character references are read and written back")
        << R"x(<a href="p.php?a=1&amp;b=2"><p style="background:url(&quot;i/a.png&quot;)">)x"
        << R"x(<a href="../p.php?a=1&amp;b=2"><p style="background:url(&quot;../i/a.png&quot;)">)x"
        << "p.php?a=1&b=2|../p.php?a=1&b=2|background:url(\"i/a.png\")|background:url(\"../i/a.png\")";
    QTest::newRow("a value with another \"&\" stays") << R"(<img src="a&copy;b.png">)"
                                                      << R"(<img src="a&copy;b.png">)"
                                                      << "";
    QTest::newRow("an unquoted value starting with a reference stays") << R"(<img src=&lt;x.png>)"
                                                                       << R"(<img src=&lt;x.png>)"
                                                                       << "";
    QTest::newRow("a page with a base of its own stays") << R"(<base href="http://x/"><img src="a.png">)"
                                                         << R"(<base href="http://x/"><img src="a.png">)"
                                                         << "";
    QTest::newRow("an empty unquoted value is no reference") << R"(<img src="a.png"><div background=>x)"
                                                             << R"(<img src="../a.png"><div background=>x)"
                                                             << "a.png|../a.png";
    QTest::newRow("a backslash reads as a slash") << R"(<img src="a\b/../c.png">)"
                                                  << R"(<img src="../a/c.png">)"
                                                  << R"(a\b/../c.png|../a/c.png)";
    QTest::newRow("a name with a colon reads as no scheme")
        << R"(<a href="sub/mailto:a"><img src="file:///s/sub/C:x.gif">)"
        << R"(<a href="./mailto:a"><img src="./C:x.gif">)"
        << "sub/mailto:a|./mailto:a|file:///s/sub/C:x.gif|./C:x.gif";
    QTest::newRow("rebased, then local files made relative")
        << R"(<img src="a.png"><img src="file:///s/img/b%20c.png">)"
        << R"(<img src="../a.png"><img src="../img/b%20c.png">)"
        << "a.png|../a.png|file:///s/img/b%20c.png|../img/b%20c.png";
}

void TestReferences::rewriting()
{
    QFETCH(QString, html);
    const pathrel::RewriteResult r =
        pathrel::rewriteReferences(html, {QStringLiteral("/s"), QStringLiteral("/s/sub/copy.html")});
    QTEST(r.text, "expected");
    QStringList pairs;
    for (const pathrel::Rewrite &w : r.rewrites) {
        pairs << w.from << w.to;
        QCOMPARE(w.step, w.from.startsWith(QLatin1String("file:")) ? pathrel::Rewrite::Relativised
                                                                   : pathrel::Rewrite::Rebased);
    }
    QTEST(pairs.join(u'|'), "rewrites");
    // A page never saved has no folder: nothing changes.
    QCOMPARE(pathrel::rewriteReferences(html, {QStringLiteral("/s"), QString()}).text, html);
}

// What the listing reads and what the rewrite writes agree: after a move
// every reference still names the file it named before.
void TestReferences::movedPageNamesTheSameFiles()
{
    const QString html = QStringLiteral(
        "<link href=css/s.css rel=stylesheet><style>b{background:url( 'i/x y.png' )}</style>"
        "<body background=\"../up.gif\"><img src='a%20b.png' srcset=\"a.png 1x,./img/b.png 2x\">"
        "<p style=\"background:url(i/c.png)\"><a href=\"sub/p.html?q#f\">l</a><a href=\"/root.html\">r</a>"
        "<img src=\"file:///home/u/site/img/d.png\"><a href=\"http://x/\">w</a>");
    const QString from = QStringLiteral("/home/u/site");
    const QString to = QStringLiteral("/home/u/other/deep/moved.html");
    const QList<pathrel::Reference> before = pathrel::listReferences(html, from + QStringLiteral("/p.html"));
    const pathrel::RewriteResult moved = pathrel::rewriteReferences(html, {from, to});
    const QList<pathrel::Reference> after = pathrel::listReferences(moved.text, to);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(before.size(), 11);
    for (qsizetype i = 0; i < before.size(); ++i) {
        QCOMPARE(after[i].kind, before[i].kind);
        QCOMPARE(after[i].localPath, before[i].localPath);
    }
}

QTEST_GUILESS_MAIN(TestReferences)
#include "tst_references.moc"
