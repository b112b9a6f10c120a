// The source model without a browser: the engine's walk is stood in for by
// the parser's own tree, and recipes are written by hand. And the rules of
// the spelling dictionaries that need no engine.
#include "surface/pagetext.h"
#include "surface/sourcemodel.h"
#include "surface/spelling.h"

#include <QTest>

using surface::SourceModel;

namespace {
// The shape the editor's script would send for a page the engine parsed as
// the source parser does.
QString shapeOf(const QString &html)
{
    return SourceModel(html).sourceShape();
}
} // namespace

class TestSourceModel final : public QObject
{
    Q_OBJECT

private slots:
    void unchangedPagesComeBackExactly_data();
    void unchangedPagesComeBackExactly();
    void edits_data();
    void edits();
    void misnestedSourceFallsBackLocally();
    void walkThatDiffersIsWrittenAfresh();
    void textAroundAMovedCommentIsWrittenOnce();
    void escaping();
    void withWords_data();
    void withWords();
    void forLanguage_data();
    void forLanguage();
};

void TestSourceModel::unchangedPagesComeBackExactly_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("old style, upper case, unquoted")
        << "<HTML>\r\n<HEAD><TITLE>T</TITLE></HEAD>\r\n<BODY BGCOLOR=#FFFFFF>\r\n<P ALIGN=center>a &amp; "
           "b<BR>\r\n<P>c &copy; d\r\n</BODY>\r\n</HTML>\r\n";
    QTest::newRow("xhtml")
        << "<?xml version=\"1.0\"?>\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
           "\"x.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><meta charset=\"utf-8\" "
           "/></head>\n<body><p class='x'>t<br/></p></body></html>\n";
    QTest::newRow("comments around the page")
        << "<!-- a -->\n<!DOCTYPE html><html><body>x</body></html>\n<!-- b -->";
    QTest::newRow("no tags at all") << "Just text & more";
    QTest::newRow("table without tbody") << "<table border=1><tr><td>1<td>2</table>";
}

void TestSourceModel::unchangedPagesComeBackExactly()
{
    QFETCH(QString, html);
    SourceModel model(html);
    const SourceModel::Alignment a = model.align(shapeOf(html));
    QCOMPARE(a.fallbacks, 0);
    // Every top-level node by its number: the whole page is copied.
    const SourceModel::Assembled out = model.assemble(SourceModel::unchangedRecipe(shapeOf(html)));
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.text, html);
}

void TestSourceModel::edits_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QString>("expected");

    // Nodes: 0 html, 1 head, 2 title, 3 text, 4 ws, 5 body, 6 ws, 7 p, 8 text, 9 ws, 10 p, 11 text, 12 ws
    const QString page =
        QStringLiteral("<html><head><title>T</title></head>\r\n<body>\r\n<p>a &copy; b</p>\r\n"
                       "<P class=x ID='y'>second</P>\r\n</body>\r\n</html>\r\n");
    QTest::newRow("typed into text keeps its entity")
        << page << R"([{"e":0,"c":[1,4,{"e":5,"c":[6,{"e":7,"c":[{"t":"a © b!","n":8}]},9,10,12]}]}])"
        << QString(page).replace(QStringLiteral("b</p>"), QStringLiteral("b!</p>"));
    const QString page2 =
        QStringLiteral("<html><head><title>T</title></head>\r\n<body>\r\n<p>a &copy; b</p>\r\n"
                       "<P class=x ID='y'>second</P>\r\n</body>\r\n</html>\r\n");
    QTest::newRow("an attribute changed, the others keep their quoting")
        << page2
        << R"([{"e":0,"c":[1,4,{"e":5,"c":[6,7,9,{"e":10,"a":[["class","z"],["id","y"]],"c":[11]},12]}]}])"
        << QString(page2).replace(QStringLiteral("<P class=x ID='y'>"),
                                  QStringLiteral("<P class=\"z\" ID='y'>"));
    QTest::newRow("a new paragraph between, line breaks as the page's")
        << page2 << R"([{"e":0,"c":[1,4,{"e":5,"c":[6,7,{"h":"\n<p>new</p>"},9,10,12]}]}])"
        << QString(page2).replace(QStringLiteral("b</p>\r\n"), QStringLiteral("b</p>\r\n<p>new</p>\r\n"));
    QTest::newRow("a paragraph deleted")
        << page2 << R"([{"e":0,"c":[1,4,{"e":5,"c":[6,10,12]}]}])"
        << QString(page2).replace(QStringLiteral("<p>a &copy; b</p>\r\n"), QString());
    QTest::newRow("bold around a word: only that run changes")
        << page2
        << R"([{"e":0,"c":[1,4,{"e":5,"c":[6,7,9,{"e":10,"c":[{"f":"b","a":[],"c":[{"t":"sec","n":11}]},{"t":"ond"}]},12]}]}])"
        << QString(page2).replace(QStringLiteral(">second<"), QStringLiteral("><b>sec</b>ond<"));

    // 0 html, 1 head, 2 body, 3 p, 4 text, 5 h3, 6 text
    const QString blocks = QStringLiteral("<html><body><p>has cookies\n<h3>x</h3></body></html>");
    QTest::newRow("a line break the engine dropped at a block's end stays")
        << blocks
        << R"([{"e":0,"c":[1,{"e":2,"c":[{"e":3,"c":[{"t":"has cookies!","n":4,"ws":1,"be":1}]},5]}]}])"
        << QString(blocks).replace(QStringLiteral("cookies\n"), QStringLiteral("cookies!\n"));
    QTest::newRow("a space the engine hardened beside a new link stays a space")
        << blocks
        << R"([{"e":0,"c":[1,{"e":2,"c":[{"e":3,"c":[{"t":"has\u00a0","n":4,"ws":1},{"h":"<a href=x>cookies</a>"}]},5]}]}])"
        << QString(blocks).replace(QStringLiteral("has cookies\n"),
                                   QStringLiteral("has <a href=x>cookies</a>"));
    // 0 html, 1 head, 2 body, 3 p, 4 text, 5 text holding "</body>" and "</html>"
    const QString tail = QStringLiteral("<html><body><p>a</p>\n</body>\n</html>\n");
    QTest::newRow("text that holds the page's end tags, moved, loses them")
        << tail << R"([{"e":0,"c":[1,{"e":2,"c":[{"f":"div","a":[],"c":[3,5]}]}]}])"
        << QStringLiteral("<html><body><div><p>a</p>\n\n\n</div></body></html>");

    const QString open = QStringLiteral("<HTML><BODY>\r\n<P>a &amp; b\r\n</BODY></HTML>");
    // 0 html, 1 head, 2 body, 3 ws, 4 p, 5 text (swallows the end tags)
    QTest::newRow("end tags the text swallowed stay once")
        << open << R"([{"e":0,"c":[1,{"e":2,"c":[3,{"e":4,"c":[{"t":"a & bc\n","n":5}]}]}]}])"
        << QString(open).replace(QStringLiteral("b\r\n"), QStringLiteral("bc\r\n"));
}

void TestSourceModel::edits()
{
    QFETCH(QString, html);
    QFETCH(QString, recipe);
    QFETCH(QString, expected);
    SourceModel model(html);
    QCOMPARE(model.align(shapeOf(html)).fallbacks, 0);
    const SourceModel::Assembled out = model.assemble(recipe.toUtf8());
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.text, expected);
}

void TestSourceModel::misnestedSourceFallsBackLocally()
{
    // The parser clones <b> into the second paragraph: that clone has no
    // source of its own and is written afresh; the rest is copied.
    const QString html = QStringLiteral("<p>one <b>two</p><p>three</p>");
    SourceModel model(html);
    const SourceModel::Alignment a = model.align(shapeOf(html));
    QVERIFY(a.fallbacks >= 1);
    QVERIFY(!a.notWhole.isEmpty());
}

void TestSourceModel::walkThatDiffersIsWrittenAfresh()
{
    const QString html = QStringLiteral("<html><body><div><p>x</p></div><p>y</p></body></html>");
    SourceModel model(html);
    // The engine saw a second paragraph in the div that the source lacks.
    const SourceModel::Alignment a =
        model.align(QStringLiteral("Ehtml Ehead ) Ebody Ediv Ep T1 ) Ep T1 ) ) Ep T1 ) ) )"));
    QCOMPARE(a.fallbacks, 1);
    QCOMPARE(a.unaligned.size(), 1);
    QCOMPARE(a.unaligned.constFirst(), qMakePair(6, 7));
}

void TestSourceModel::textAroundAMovedCommentIsWrittenOnce()
{
    // Text after the page's end goes back into the body, beside the text
    // before the comment; the comment stays after the page.
    const QString html = QStringLiteral("<html><body>a</body></html><!-- c -->b");
    SourceModel model(html);
    // 0 html, 1 head, 2 body, 3 text "ab", 4 comment
    const SourceModel::Alignment a = model.align(shapeOf(html));
    QCOMPARE(a.fallbacks, 1);
    const SourceModel::Assembled out = model.assemble(R"([{"e":0,"c":[1,{"e":2,"c":[{"t":"ab"}]}]},4])");
    QVERIFY2(out.ok, qPrintable(out.error));
    QCOMPARE(out.text.count(QStringLiteral("<!-- c -->")), 1);
    QVERIFY2(out.text.contains(u'a') && out.text.contains(u'b'), qPrintable(out.text));
}

void TestSourceModel::escaping()
{
    QCOMPARE(SourceModel::escapeText(u"a<b>&c\u00a0\"", 0), QStringLiteral("a&lt;b&gt;&amp;c&nbsp;\""));
    QCOMPARE(SourceModel::escapeText(u"if (a<b && c) {}", 1), QStringLiteral("if (a<b && c) {}"));
    QCOMPARE(SourceModel::escapeAttribute(u"say \"x\" & <y>"), QStringLiteral("say &quot;x&quot; &amp; <y>"));
}

void TestSourceModel::withWords_data()
{
    QTest::addColumn<QByteArray>("dic");
    QTest::addColumn<QByteArray>("aff");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("count follows") << QByteArray("2\nab/S\ncd\n") << QByteArray("SET UTF-8\n")
                                   << QStringList{QStringLiteral("Kiv"), QStringLiteral("naïve")}
                                   << QByteArray("4\nab/S\ncd\nKiv\nna\xC3\xAFve\n");
    QTest::newRow("last line without end") << QByteArray("1\nab") << QByteArray("SET UTF-8\n")
                                           << QStringList{QStringLiteral("x")} << QByteArray("2\nab\nx\n");
    QTest::newRow("slash is no flag") << QByteArray("0\n") << QByteArray("SET UTF-8\n")
                                      << QStringList{QStringLiteral("and/or")} << QByteArray("1\nand\\/or\n");
    QTest::newRow("spaces and the charset's gaps left out")
        << QByteArray("1\nab\n") << QByteArray("SET ISO8859-1\n")
        << QStringList{QStringLiteral("two words"), QStringLiteral("Ωmega"), QStringLiteral("café")}
        << QByteArray("2\nab\ncaf\xE9\n");
}

void TestSourceModel::withWords()
{
    QFETCH(QByteArray, dic);
    QFETCH(QByteArray, aff);
    QFETCH(QStringList, words);
    QFETCH(QByteArray, expected);
    QCOMPARE(spelling::withWords(dic, aff, words), expected);
}

void TestSourceModel::forLanguage_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("expected");
    QTest::newRow("exact") << QStringLiteral("en-GB") << QStringLiteral("en_GB");
    QTest::newRow("usual country") << QStringLiteral("en") << QStringLiteral("en_US");
    QTest::newRow("language alone") << QStringLiteral("fr-CA") << QStringLiteral("fr");
    QTest::newRow("another country") << QStringLiteral("de-AT") << QStringLiteral("de_DE");
    QTest::newRow("none fits") << QStringLiteral("nl") << QString();
    QTest::newRow("no language") << QString() << QString();
}

void TestSourceModel::forLanguage()
{
    QFETCH(QString, lang);
    QFETCH(QString, expected);
    const QStringList installed = {QStringLiteral("de_DE"), QStringLiteral("en_GB"), QStringLiteral("en_US"),
                                   QStringLiteral("fr")};
    QCOMPARE(spelling::forLanguage(lang, installed), expected);
}

QTEST_GUILESS_MAIN(TestSourceModel)
#include "tst_sourcemodel.moc"
