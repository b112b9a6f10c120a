#include "pathrel/pathrel.h"
#include "pathrel/references.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QUrl>

using pathrel::ChangeToRelativePath;
using pathrel::GetRelativePath;
using pathrel::ReferenceKind;

Q_DECLARE_METATYPE(pathrel::ReferenceKind)

namespace {
const QString kSrc = QStringLiteral("SRC=\"FILE://");
const QString kHref = QStringLiteral("HREF=\"FILE://");
const QString kBackground = QStringLiteral("BACKGROUND=FILE://");
const QString kBackgroundQuoted = QStringLiteral("BACKGROUND=\"FILE://");

// The three passes the save makes, plus the quoted background form.
QString rewriteAll(QString text, const QString &page)
{
    for (const QString &key : {kSrc, kHref, kBackground, kBackgroundQuoted})
        ChangeToRelativePath(text, key, page);
    return text;
}
} // namespace

class TestPathRel final : public QObject
{
    Q_OBJECT

private slots:
    void relativePath_data();
    void relativePath();
    void rewrite_data();
    void rewrite();
    void longPageRewritesEveryReference();
    void generatedPathsResolveBack_data();
    void generatedPathsResolveBack();
    void listing_data();
    void listing();
    void rewriting_data();
    void rewriting();
    void movedPageNamesTheSameFiles();
    void tagsReadAsTheTree_data();
    void tagsReadAsTheTree();
};

void TestPathRel::relativePath_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("expected");
    const struct
    {
        const char *name, *page, *object, *expected;
    } rows[] = {
        // Windows paths: folders compare without regard to letter case.
        {"win: below", "C:\\site\\page.htm", "C:\\site\\img\\x.gif", "img/x.gif"},
        {"win: two below", "C:\\site\\page.htm", "C:\\site\\img\\sub\\x.gif", "img/sub/x.gif"},
        {"win: same folder", "C:\\site\\page.htm", "C:\\site\\x.gif", "x.gif"},
        {"win: same folder other case", "C:\\site\\page.htm", "c:\\SITE\\x.gif", "x.gif"},
        {"win: sibling", "C:\\site\\sub\\page.htm", "C:\\site\\img\\x.gif", "../img/x.gif"},
        {"win: two up", "C:\\site\\a\\b\\page.htm", "C:\\site\\x.gif", "../../x.gif"},
        {"win: shared prefix of names", "C:\\site\\images2\\p.htm", "C:\\site\\images\\x.gif",
         "../images/x.gif"},
        {"win: name is prefix", "C:\\site\\a\\p.htm", "C:\\site\\ab\\x.gif", "../ab/x.gif"},
        {"win: case kept in result", "C:\\Site\\Sub\\p.htm", "c:\\site\\IMG\\X.GIF", "../IMG/X.GIF"},
        {"win: forward slashes", "C:\\site\\p.htm", "C:/site/img/a.gif", "img/a.gif"},
        {"win: file url form", "C:\\site\\p.htm", "/C:/site/img/a.gif", "img/a.gif"},
        {"win: unc same share", "\\\\srv\\web\\p.htm", "\\\\SRV\\Web\\img\\a.gif", "img/a.gif"},
        // POSIX paths: folders compare exactly.
        {"posix: below", "/home/u/site/page.html", "/home/u/site/img/x.gif", "img/x.gif"},
        {"posix: same folder", "/home/u/site/page.html", "/home/u/site/x.gif", "x.gif"},
        {"posix: sibling", "/home/u/site/sub/p.html", "/home/u/site/img/x.gif", "../img/x.gif"},
        {"posix: up to root", "/home/u/p.html", "/etc/x.gif", "../../etc/x.gif"},
        {"posix: page at root", "/p.html", "/srv/x.gif", "srv/x.gif"},
        {"posix: case differs", "/home/u/Site/p.html", "/home/u/site/x.gif", "../site/x.gif"},
        {"posix: name is prefix", "/s/a/p.html", "/s/ab/x.gif", "../ab/x.gif"},
        {"posix: backslash separates", "/s/p.html", "/s\\img\\x.gif", "img/x.gif"},
        {"posix: dot folders", "/s/./a/p.html", "/s/a/../b/x.gif", "../b/x.gif"},
        {"posix: characters a web address reads", "/home/u/site/p.html",
         "/home/u/site/img/hash#1 what?100%.png", "img/hash%231%20what%3F100%25.png"},
        {"posix: spaces and unicode", "/home/ü/my site/p.html", "/home/ü/my site/a b/ç.gif",
         "a%20b/%C3%A7.gif"},
        // No relative path exists: empty text.
        {"none: other drive", "C:\\site\\p.htm", "D:\\site\\x.gif", ""},
        {"none: other share", "\\\\a\\web\\p.htm", "\\\\b\\web\\x.gif", ""},
        {"none: drive vs posix", "/home/u/p.html", "C:\\x.gif", ""},
        {"none: empty page path", "", "/home/u/x.gif", ""},
        {"none: page without folder", "p.html", "/home/u/x.gif", ""},
        {"none: relative object", "/home/u/p.html", "img/x.gif", ""},
        {"none: object is a folder", "/home/u/p.html", "/home/u/img/", ""},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.page) << QString::fromUtf8(r.object)
                              << QString::fromUtf8(r.expected);
}

void TestPathRel::relativePath()
{
    QFETCH(QString, page);
    QFETCH(QString, object);
    QFETCH(QString, expected);
    QCOMPARE(GetRelativePath(page, object), expected);
}

void TestPathRel::rewrite_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    const QString winPage = QStringLiteral("C:\\site\\p.htm");
    const QString page = QStringLiteral("/home/u/site/p.html");
    const QString none;
    // expected nullptr: the text stays as it is.
    const struct
    {
        const char *name;
        const QString &key;
        const QString *page;
        const char *input, *expected;
    } rows[] = {
        {"win: image", kSrc, &winPage, R"(<IMG SRC="FILE://C:\site\img\a.gif">)", R"(<IMG SRC="img/a.gif">)"},
        {"win: link elsewhere", kHref, &winPage, R"(<A HREF="FILE://C:\other\p.htm">x</A>)",
         R"(<A HREF="../other/p.htm">x</A>)"},
        {"win: background ends at space", kBackground, &winPage,
         "<BODY BACKGROUND=FILE://C:\\site\\bg\\b.jpg text=red>", "<BODY BACKGROUND=bg/b.jpg text=red>"},
        {"posix: image", kSrc, &page, R"(<img src="file:///home/u/site/img/a.gif">)",
         R"(<img src="img/a.gif">)"},
        {"lower-case key keeps its case", kHref, &page, R"(<a href="file:///home/u/x.html">x</a>)",
         R"(<a href="../x.html">x</a>)"},
        {"two in a row", kSrc, &page,
         R"(<img src="file:///home/u/site/a.gif"><img src="file:///home/u/site/b.gif">)",
         R"(<img src="a.gif"><img src="b.gif">)"},
        {"spaces around =", kSrc, &page, R"(<img src = "file:///home/u/site/a.gif">)", nullptr},
        {"single quotes", kSrc, &page, R"(<img src='file:///home/u/site/a.gif'>)", nullptr},
        {"no FILE://", kSrc, &page, R"(<img src="/home/u/site/a.gif">)", nullptr},
        {"web address untouched", kHref, &page, R"(<a href="http://example.org/">x</a>)", nullptr},
        {"background runs past the tag", kBackground, &page,
         "<body background=file:///home/u/site/b.gif><p>one two</p>",
         "<body background=b.gif><p>one two</p>"},
        {"quoted background", kBackgroundQuoted, &page, R"(<body background="file:///home/u/site/bg/b.gif">)",
         R"(<body background="bg/b.gif">)"},
        {"no terminator ends the pass", kSrc, &page,
         R"(<img src="file:///home/u/site/a.gif"><img src="file:///home/u/site/b.gif)",
         R"(<img src="a.gif"><img src="file:///home/u/site/b.gif)"},
        {"other drive left, next rewritten", kSrc, &winPage,
         R"(<img src="FILE://D:\x.gif"><img src="FILE://C:\site\y.gif">)",
         R"(<img src="FILE://D:\x.gif"><img src="y.gif">)"},
        {"unsaved page changes nothing", kSrc, &none, R"(<img src="file:///home/u/site/a.gif">)", nullptr},
        {"key at the very end", kSrc, &page, R"(<img src="FILE://)", nullptr},
        {"empty path", kSrc, &page, R"(<img src="file://">)", nullptr},
        {"other key's references stay", kHref, &page, R"(<img src="file:///home/u/site/a.gif">)", nullptr},
        {"key overlapping the previous path", kSrc, &page,
         "<img src=\"file:///home/u/site/x SRC=\"FILE:///home/u/site/y.gif\">",
         "<img src=\"x%20SRC=\"y.gif\">"},
        {"key whose first characters were escaped in the previous path", kSrc, &page,
         "<img src=\"file:///home/u/site/SR%43=\"FILE:///home/u/site/y.gif\">", "<img src=\"SRC=\"y.gif\">"},
        {"unquoted background running into a quote", kBackground, &page,
         "<body background=file:///home/u/site/\"g/b.gif x\">", nullptr},
        {"unquoted background ends at the tag, not in the text after it", kBackground, &page,
         "<BODY BACKGROUND=file:///home/u/site/bg.gif>\r\n<P>http://example.com/../x.html</P>",
         "<BODY BACKGROUND=bg.gif>\r\n<P>http://example.com/../x.html</P>"},
        {"unquoted background ends at a line break", kBackground, &page,
         "<body background=file:///home/u/site/b.gif\r\ntext=red>", "<body background=b.gif\r\ntext=red>"},
        {"a path running into a tag is left alone", kSrc, &page,
         "<p>src=\"file:///home/u/a.gif</p><img alt=\"x\">", nullptr},
        // A file URL is decoded once, the relative path escaped once.
        {"escaped file url", kSrc, &page, R"(<img src="file:///home/u/site/images/caf%C3%A9%201.png">)",
         R"(<img src="images/caf%C3%A9%201.png">)"},
        {"plain path with a space and unicode", kSrc, &page,
         R"(<img src="file:///home/u/site/images/café 1.png">)", R"(<img src="images/caf%C3%A9%201.png">)"},
        {"windows path with a space", kSrc, &winPage, R"(<IMG SRC="FILE://C:\site\a b.gif">)",
         R"(<IMG SRC="a%20b.gif">)"},
        {"escaped percent stays one", kSrc, &page, R"(<img src="file:///home/u/site/100%2541.png">)",
         R"(<img src="100%2541.png">)"},
        {"a name holding > is written escaped", kSrc, &page, R"(<img src="file:///home/u/other/p>m.gif">)",
         R"(<img src="../other/p%3Em.gif">)"},
        {"percent that starts no escape", kSrc, &page, R"(<img src="file:///home/u/site/100%.png">)",
         R"(<img src="100%25.png">)"},
        {"escapes that are no UTF-8 stay absolute", kSrc, &page,
         R"(<img src="file:///home/u/site/caf%E9.png">)", nullptr},
        {"stray scheme mark", kSrc, &page, "a://b <img src=\"file:///home/u/site/a.gif\"> ://",
         "a://b <img src=\"a.gif\"> ://"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.key << *r.page << QString::fromUtf8(r.input)
                              << QString::fromUtf8(r.expected ? r.expected : r.input);
}

void TestPathRel::rewrite()
{
    QFETCH(QString, key);
    QFETCH(QString, page);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QString text = input;
    ChangeToRelativePath(text, key, page);
    QCOMPARE(text, expected);
    // A second pass finds nothing left to do.
    ChangeToRelativePath(text, key, page);
    QCOMPARE(text, expected);
}

void TestPathRel::longPageRewritesEveryReference()
{
    // References far beyond the first 32,767 characters are rewritten too.
    QString text = QStringLiteral("<html><body>") + QString(40000, u'x');
    for (int i = 0; i < 500; ++i)
        text += QStringLiteral("<img src=\"file:///srv/site/img/%1.gif\">").arg(i);
    text = rewriteAll(text, QStringLiteral("/srv/site/index.html"));
    QVERIFY(!text.contains(QStringLiteral("file://")));
    QVERIFY(text.contains(QStringLiteral("<img src=\"img/499.gif\">")));
}

void TestPathRel::generatedPathsResolveBack_data()
{
    QTest::addColumn<bool>("windows");
    QTest::newRow("posix") << false;
    QTest::newRow("windows") << true;
}

void TestPathRel::generatedPathsResolveBack()
{
    QFETCH(bool, windows);
    QRandomGenerator rng(20261206);
    const QStringList names = {QStringLiteral("a"),   QStringLiteral("ab"),  QStringLiteral("A"),
                               QStringLiteral("b c"), QStringLiteral("img"), QStringLiteral("images2"),
                               QStringLiteral("é")};
    auto randomPath = [&](int maxDepth) {
        QString p = windows ? QStringLiteral("C:") : QString();
        const int depth = int(rng.bounded(maxDepth + 1));
        for (int i = 0; i < depth; ++i)
            p += (windows ? u'\\' : u'/') + names[int(rng.bounded(names.size()))];
        return p;
    };
    for (int i = 0; i < 3000; ++i) {
        const QString pageFolder = randomPath(4);
        const QString objectFolder = randomPath(4);
        const QChar sep = windows ? u'\\' : u'/';
        const QString page = pageFolder + sep + QStringLiteral("page.html");
        const QString object = objectFolder + sep + QStringLiteral("Pic %1.gif").arg(i);
        const QString rel = GetRelativePath(page, object);
        QVERIFY2(!rel.isEmpty(), qPrintable(page + QStringLiteral(" -> ") + object));
        QVERIFY(!rel.contains(u'\\'));

        auto normal = [&](QString p) {
            p.replace(u'\\', u'/');
            p = QDir::cleanPath(p);
            return windows ? p.toLower() : p;
        };
        QString folder = pageFolder;
        folder.replace(u'\\', u'/');
        const QString resolved = normal(folder + u'/' + QUrl::fromPercentEncoding(rel.toUtf8()));
        QVERIFY2(resolved == normal(object),
                 qPrintable(page + QStringLiteral(" + ") + rel + QStringLiteral(" != ") + object));

        // The same reference inside a page: rewriting twice equals rewriting once.
        const QString prefix = windows ? QStringLiteral("FILE://") : QStringLiteral("file://");
        QString text = QStringLiteral("<img src=\"%1%2\"><a href=\"%1%2\">x</a>").arg(prefix, object);
        const QString once = rewriteAll(text, page);
        QCOMPARE(rewriteAll(once, page), once);
        QCOMPARE(once, QStringLiteral("<img src=\"%1\"><a href=\"%1\">x</a>").arg(rel));
    }
}

void TestPathRel::listing_data()
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

void TestPathRel::listing()
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

void TestPathRel::rewriting_data()
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
    QTest::newRow("a key inside a path left alone")
        << R"(<body background=file:///s/x"src="file:///s/img/a.gif">)"
        << R"(<body background=file:///s/x"src="../img/a.gif">)"
        << "file:///s/img/a.gif|../img/a.gif";
    QTest::newRow("rebased, then local files made relative")
        << R"(<img src="a.png"><img src="file:///s/img/b%20c.png">)"
        << R"(<img src="../a.png"><img src="../img/b%20c.png">)"
        << "a.png|../a.png|file:///s/img/b%20c.png|../img/b%20c.png";
}

void TestPathRel::rewriting()
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
void TestPathRel::movedPageNamesTheSameFiles()
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

void TestPathRel::tagsReadAsTheTree_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<int>("road"); // 0: the tags alone, 1: the tree, -1: either
    const QString source = QStringLiteral(QK_SOURCE_DIR);
    for (const QString &folder : {QStringLiteral("/surface/tests/corpus"), QStringLiteral("/site/tests/site"),
                                  QStringLiteral("/pathrel/tests/corpus/pathrel")}) {
        QDirIterator it(source + folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.fileName().endsWith(QLatin1String(".md")) || !f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = f.readAll();
            if (bytes.contains('<'))
                QTest::newRow(qPrintable(folder + u'/' + it.fileName())) << QString::fromUtf8(bytes) << -1;
        }
    }
    const auto row = [](const char *name, const char *html, int road) {
        QTest::newRow(name) << QString::fromUtf8(html) << road;
    };
    row("comments and doctype",
        "<!DOCTYPE html><!--><img src=a.png><!---><img src=b.png><!-- <img src=c> --!>"
        "<? <img src=d> ><! x><img src=e.png></ 1 <img src=f><img src=g.png>",
        0);
    row("raw text and end tags with attributes",
        "<title>T &amp; x</title><style>a{background:url(s.png)}</style x=\">\"><script>'<img "
        "src=no>'</script>"
        "<xmp><img src=no></xmp><textarea><a href=no></textarea><iframe><img src=no></iframe>"
        "<noembed><img src=no></noembed><noframes><img src=no></noframes><img src='y.png'>",
        0);
    row("attribute forms",
        "<img src = \"a b.png\"/ alt><a href=x.html/><p style='background:url(c.png)'"
        "background=d.gif><img srcset=\"a.png 1x, b.png 2x\" src=><link href=s.css>"
        "<img\tsrc=e.png\r\n id=\"p q\"><a name=n1 id=i1>",
        0);
    row("lines of pictures", "a\rb\r\nc\n<img src=x.png>\n\r<img src=y.png>", 0);
    row("tables and forms",
        "<body background=b.gif><table><tr><td background=t.gif><table><td id=in></table>"
        "<td><form><img src=f.png></form><form id=f2></form></table><a href=after.html>",
        0);
    row("plain text", "<plaintext><img src=no.png>", 0);
    row("noscript in the body", "<p><noscript><img src=n.png></noscript>", -1);
    row("a title of white space", "<title> \n</title><title></title>", 0);
    row("unfinished", "<img src=a.png><style>a{}", 0);
    row("cut off", "<img src=a.png><img src=\"b.png", 0);
    row("a cell outside a table", "<td background=c.gif><img src=x.png>", 1);
    row("a second body", "<p>x<body background=b.gif>", 1);
    row("a form in a form", "<form><form id=x style=\"background:url(b.png)\">", 1);
    row("a table in a table", "<table><table><td background=x.gif>", 1);
    row("foreign content", "<svg><image href=a.png /></svg><math><mi id=m>", 1);
    row("a template", "<template><img src=t.png></template>", 1);
    row("select", "<select><img src=x.png></select>", 1);
    row("image", "<image src=x.png>", 1);
    row("frames", "<frameset><frame src=a.html></frameset>", 1);
    row("a repeated attribute", "<img src=a.png src=b.png>", 1);
    row("an odd name", "<img \"src=a.png>", 1);
    row("CDATA", "<![CDATA[<img src=a.png>]]>", 1);
    row("a script that hides its end", "<script><!--<script></script><img src=no.png></script>-->", 1);
    row("an html element with an id", "<p><html id=h>", 1);
    row("an id with a reference", "<p id=\"a&amp;b\">", 1);
    row("an unquoted value after a reference", "<img src=&lt;x.png>", 1);
    row("a name with a control character", "<a name=\"x\x07y\">", 1);
}

// The start tags alone give what the full parser's tree gives, reference for
// reference and fact for fact; where they cannot, the page goes to the tree.
void TestPathRel::tagsReadAsTheTree()
{
    QFETCH(QString, html);
    QFETCH(int, road);
    const QString page = QStringLiteral("/s/p.html");
    const pathrel::ParsedPage tags(html);
    const pathrel::ParsedPage tree(html, pathrel::ParsedPage::Road::Tree);
    if (road >= 0)
        QCOMPARE(tags.builtTree(), road == 1);
    const QList<pathrel::Reference> a = pathrel::listReferences(tags, page);
    const QList<pathrel::Reference> b = pathrel::listReferences(tree, page);
    QCOMPARE(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        QCOMPARE(a[i].kind, b[i].kind);
        QCOMPARE(a[i].offset, b[i].offset);
        QCOMPARE(a[i].value, b[i].value);
        QCOMPARE(a[i].localPath, b[i].localPath);
    }
    const pathrel::PageFacts &f = tags.facts();
    const pathrel::PageFacts &g = tree.facts();
    QCOMPARE(f.hasTitle, g.hasTitle);
    QCOMPARE(f.hasBase, g.hasBase);
    QCOMPARE(f.anchors, g.anchors);
    QCOMPARE(f.picturesWithoutAlt.size(), g.picturesWithoutAlt.size());
    for (qsizetype i = 0; i < f.picturesWithoutAlt.size(); ++i) {
        QCOMPARE(f.picturesWithoutAlt[i].offset, g.picturesWithoutAlt[i].offset);
        QCOMPARE(f.picturesWithoutAlt[i].line, g.picturesWithoutAlt[i].line);
        QCOMPARE(f.picturesWithoutAlt[i].tag, g.picturesWithoutAlt[i].tag);
    }
}

QTEST_GUILESS_MAIN(TestPathRel)
#include "tst_pathrel.moc"
