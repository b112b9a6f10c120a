#include "pathrel/pathrel.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>
#include <QUrl>

using pathrel::ChangeToRelativePath;
using pathrel::GetRelativePath;

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

QTEST_GUILESS_MAIN(TestPathRel)
#include "tst_pathrel.moc"
