#include "hyperlink/linkcomposer.h"

#include <QTest>

using hyperlink::composeLink;
using hyperlink::Focus;
using hyperlink::LinkFields;

Q_DECLARE_METATYPE(hyperlink::Focus)

namespace {
LinkFields fields(const char *text, const char *address, const char *target = "", const char *over = "",
                  const char *out = "", bool anchor = false, const char *anchorName = "")
{
    auto s = [](const char *c) { return QString::fromUtf8(c); };
    return LinkFields{s(text), s(address), s(target), s(over), s(out), anchor, s(anchorName), false, {}};
}
const QString kNoText = QStringLiteral("Please enter text to be linked in the box below.");
const QString kNoSite = QStringLiteral("Please enter Web site to be linked in the appropriate box");
const QString kNoAnchor = QStringLiteral("Please enter the bookmark name you wish to link to.");
} // namespace

Q_DECLARE_METATYPE(LinkFields)

class TestLinkComposer final : public QObject
{
    Q_OBJECT

private slots:
    void compose_data();
    void compose();
};

void TestLinkComposer::compose_data()
{
    QTest::addColumn<LinkFields>("in");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Focus>("focus");
    QTest::addColumn<bool>("clearAddress");

    // The worked examples.
    QTest::newRow("products")
        << fields("Products", "products.html", "_blank", "See the list")
        << "<a href=\"products.html\" target=\"_blank\" OnMouseOver=\"window.status='See the "
           "list'; return true\" OnMouseOut=\"window.status=' '; return true\">Products</a>"
        << "" << Focus::None << false;
    QTest::newRow("question 3") << fields("Question 3", "faq.html", "", "", "", true, "q3")
                                << "<a href=\"faq.html#q3\">Question 3</a>"
                                << "" << Focus::None << false;
    QTest::newRow("top: bare scheme with anchor")
        << fields("Top", "http://", "", "Back up", "", true, "top") << "<a href=\"#top\">Top</a>"
        << "" << Focus::None << true;
    QTest::newRow("home: anchor only, target")
        << fields("Home", "", "_top", "", "", true, "start") << "<a href=\"#start\" target=\"_top\">Home</a>"
        << "" << Focus::None << false;

    // The order of the checks.
    QTest::newRow("empty text beats everything")
        << fields("", "", "", "", "", true, "") << "" << kNoText << Focus::LinkText << false;
    QTest::newRow("empty text, all else filled")
        << fields("", "x.html", "_top", "o", "p", true, "a") << "" << kNoText << Focus::LinkText << false;
    QTest::newRow("no address") << fields("t", "") << "" << kNoSite << Focus::Address << false;
    QTest::newRow("bare scheme alone") << fields("t", "http://") << "" << kNoSite << Focus::Address << false;
    QTest::newRow("bare scheme, empty anchor name gives #")
        << fields("t", "http://", "", "", "", true, "") << "<a href=\"#\">t</a>"
        << "" << Focus::None << true;
    QTest::newRow("anchor without name")
        << fields("t", "x.html", "", "", "", true, "") << "" << kNoAnchor << Focus::None << false;
    QTest::newRow("anchor unchecked ignores its name")
        << fields("t", "x.html", "", "", "", false, "old") << "<a href=\"x.html\">t</a>"
        << "" << Focus::None << false;
    QTest::newRow("capital scheme is an address") << fields("t", "HTTP://") << "<a href=\"HTTP://\">t</a>"
                                                  << "" << Focus::None << false;
    QTest::newRow("space before scheme is an address")
        << fields("t", " http://") << "<a href=\" http://\">t</a>"
        << "" << Focus::None << false;

    // The optional pieces.
    QTest::newRow("mouse-out alone")
        << fields("t", "a.html", "", "", "bye")
        << "<a href=\"a.html\" OnMouseOut=\"window.status='bye'; return true\">t</a>"
        << "" << Focus::None << false;
    QTest::newRow("both status texts") << fields("t", "a.html", "", "hi", "bye")
                                       << "<a href=\"a.html\" OnMouseOver=\"window.status='hi'; return "
                                          "true\" OnMouseOut=\"window.status='bye'; "
                                          "return true\">t</a>"
                                       << "" << Focus::None << false;
    QTest::newRow("any frame name") << fields("t", "a.html", "main")
                                    << "<a href=\"a.html\" target=\"main\">t</a>"
                                    << "" << Focus::None << false;
    QTest::newRow("nothing escaped") << fields("<b>x</b>", "a\"b", "", "it's")
                                     << "<a href=\"a\"b\" OnMouseOver=\"window.status='it's'; return true\" "
                                        "OnMouseOut=\"window.status=' '; return true\"><b>x</b></a>"
                                     << "" << Focus::None << false;
    // The selection's own text is text, not markup.
    LinkFields page = fields("a<b and c>d &copy; &amp;", "a.html");
    page.textFromPage = true;
    QTest::newRow("page text escaped")
        << page << "<a href=\"a.html\">a&lt;b and c&gt;d &amp;copy; &amp;amp;</a>"
        << "" << Focus::None << false;
    // A picture is linked as it stands, whatever the (empty) link text.
    LinkFields picture = fields("", "a.html");
    picture.textFromPage = true;
    picture.linkedObject = QStringLiteral("<img src=\"a&amp;b.gif\">");
    QTest::newRow("picture") << picture << "<a href=\"a.html\"><img src=\"a&amp;b.gif\"></a>"
                             << "" << Focus::None << false;
    QTest::newRow("single space link text") << fields(" ", "a.html") << "<a href=\"a.html\"> </a>"
                                            << "" << Focus::None << false;
}

void TestLinkComposer::compose()
{
    QFETCH(LinkFields, in);
    QFETCH(QString, fragment);
    QFETCH(QString, message);
    QFETCH(Focus, focus);
    QFETCH(bool, clearAddress);
    const hyperlink::LinkOutcome out = composeLink(in);
    QCOMPARE(out.message, message);
    QCOMPARE(out.fragment, fragment);
    QCOMPARE(out.focus, focus);
    QCOMPARE(out.clearAddress, clearAddress);
}

QTEST_GUILESS_MAIN(TestLinkComposer)
#include "tst_linkcomposer.moc"
