#include "testsupport/surfacehost.h"
#include "testsupport/testfiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace surface;

namespace {

// Answers the surface's own file dialogs from a queue.
struct ScriptedPicker final : FilePicker
{
    QStringList answers;
    int asked = 0;
    QString pickFile(QWidget *, Kind, const QString &, const QString &, const QString &) override
    {
        ++asked;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};

const QByteArray kFixture = "<!DOCTYPE html>\n"
                            "<html><head><meta charset=\"utf-8\"><title>Original</title>\n"
                            "<script>document.title = 'changed by script';</script></head>\n"
                            "<body onload=\"document.body.innerHTML='gone'\">\n"
                            "<!-- a comment -->\n"
                            "<p id=\"p1\">Gr\xc3\xbc\xc3\x9f"
                            "e &amp; &copy; caf\xc3\xa9 \xe2\x82\xac</p>\n"
                            "<img id=\"pic\" src=\"img/dot.gif\">\n"
                            "<table border=\"1\"><tr><td id=\"c1\">one</td><td>two</td></tr></table>\n"
                            "<p><a id=\"go\" href=\"http://example.invalid/\">link</a></p>\n"
                            "</body></html>\n";
} // namespace

class TestSurface final : public QObject, SurfaceHost
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void engineAddsNothingToThePreparedEnvironment();
    void graphicsDevice_data();
    void graphicsDevice();
    void fixtureLoadsSafelyAndReadsBackUnchanged();
    void loadFailures_data();
    void loadFailures();
    void dismissedOpenKeepsThePage();
    void writeAndReadBackLargePage();
    void commandsAndStatuses();
    void pasteAtSelectionUndoesInOneStep();
    void localReferencesReadAsFileUrls();
    void controlSelectionHasNoTextRange();
    void dirtyFlag();
    void pageLanguageFollowsEdits();
    void linkClickDoesNotNavigate();
    void saveAsDialog();
    void serialisationSurvivesReload();

private:
    void clickAt(const QPoint &pos, Qt::MouseButton button = Qt::LeftButton);
    QPoint elementCenter(const QString &id);

    std::shared_ptr<ScriptedPicker> m_picker;
    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_preparedEnvironment;
};

void TestSurface::initTestCase()
{
    // Before any surface, as the program does before its first worker thread.
    prepareEnvironment();
    m_preparedEnvironment = QProcessEnvironment::systemEnvironment().keys();
}

// Threads read the environment while the engine starts (fontconfig does);
// a variable the engine added then could crash them.
void TestSurface::engineAddsNothingToThePreparedEnvironment()
{
    // init() has started the engine, with this test's surface.
    QCOMPARE(QProcessEnvironment::systemEnvironment().keys(), m_preparedEnvironment);
}

// Where there is none, the page is drawn in software; a machine whose
// drivers only show a screen (a card without a render node) has none either.
void TestSurface::graphicsDevice_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("found");
    QTest::newRow("no graphics folder") << QStringList() << false;
    QTest::newRow("display only") << QStringList{QStringLiteral("dri/card0")} << false;
    QTest::newRow("render node") << QStringList{QStringLiteral("dri/card0"), QStringLiteral("dri/renderD128")}
                                 << true;
    QTest::newRow("NVIDIA's driver") << QStringList{QStringLiteral("nvidiactl")} << true;
}

void TestSurface::graphicsDevice()
{
    QFETCH(QStringList, files);
    QFETCH(bool, found);
    QTemporaryDir devices;
    for (const QString &name : files) {
        QVERIFY(QDir(devices.path()).mkpath(QFileInfo(devices.filePath(name)).path()));
        QFile node(devices.filePath(name));
        QVERIFY(node.open(QIODevice::WriteOnly));
    }
    QCOMPARE(surface::hasGraphicsDevice(devices.path()), found);
}

void TestSurface::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_picker = std::make_shared<ScriptedPicker>();
    QVERIFY(openSurface(m_picker));
}

void TestSurface::cleanup()
{
    closeSurface();
    m_dir.reset();
}

void TestSurface::clickAt(const QPoint &pos, Qt::MouseButton button)
{
    QTest::mouseMove(inputTarget(), pos);
    QTest::mouseClick(inputTarget(), button, {}, pos);
}

QPoint TestSurface::elementCenter(const QString &id)
{
    const QVariantMap r =
        js(QStringLiteral("(() => { const b = document.getElementById('%1').getBoundingClientRect();"
                          " return {x: b.left + b.width / 2, y: b.top + b.height / 2}; })()")
               .arg(id))
            .toMap();
    return {qRound(r.value(QStringLiteral("x")).toDouble()), qRound(r.value(QStringLiteral("y")).toDouble())};
}

void TestSurface::fixtureLoadsSafelyAndReadsBackUnchanged()
{
    const QString page = m_dir->filePath(QStringLiteral("site/index.html"));
    writeTestFile(page, kFixture);
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    QDir().mkpath(m_dir->filePath(QStringLiteral("site/img")));
    QVERIFY(dot.save(m_dir->filePath(QStringLiteral("site/img/dot.gif")), "PNG"));

    QSignalSpy complete(m_surface.get(), &EditSurface::DocumentComplete);
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(m_surface->CurrentDocumentPath(), QFileInfo(page).absoluteFilePath());
    QVERIFY(!m_surface->IsDirty());
    // The script never ran: the title is the page's own.
    QCOMPARE(m_surface->DocumentTitle(), QStringLiteral("Original"));
    QCOMPARE(m_surface->DocumentHTML(), QString::fromUtf8(kFixture));
    // Nor did the event attribute; the relative image loaded from the page's folder.
    QCOMPARE(
        js(QStringLiteral("document.body.getAttribute('onload') !== null && !!document.getElementById('c1')"))
            .toBool(),
        true);
    QTRY_COMPARE(js(QStringLiteral("document.getElementById('pic').naturalWidth")).toInt(), 4);
    // Nothing about the page is lost on the way through the engine either.
    QVERIFY(m_surface->DOM().setBgColor(QStringLiteral("#ffffff")));
    const QString edited = m_surface->DocumentHTML();
    for (const char *kept : {"<script>document.title = 'changed by script';</script>", "<!-- a comment -->",
                             "onload=\"document.body.innerHTML='gone'\"", "Grüße &amp; &copy; café €"})
        QVERIFY2(edited.contains(QString::fromUtf8(kept)), kept);
    QVERIFY(!edited.contains(QStringLiteral("contenteditable"), Qt::CaseInsensitive));
}

void TestSurface::loadFailures_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<qint64>("code");
    QTest::newRow("missing file") << "nothere.html" << codes::FileNotFound;
    QTest::newRow("missing folder") << "nofolder/x.html" << codes::PathNotFound;
    QTest::newRow("a folder") << "." << codes::InvalidArgument;
    QTest::newRow("frameset") << "frames.html" << codes::Frameset;
}

void TestSurface::loadFailures()
{
    QFETCH(QString, relative);
    QFETCH(qint64, code);
    writeTestFile(
        m_dir->filePath(QStringLiteral("frames.html")),
        "<html><frameset cols=\"50%,50%\"><frame src=\"a.html\"><frame src=\"b.html\"></frameset></html>");
    QCOMPARE(m_surface->LoadDocument(m_dir->filePath(relative), false), code);
    QCOMPARE(m_surface->CurrentDocumentPath(), QString());
}

void TestSurface::dismissedOpenKeepsThePage()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body><p>keep me</p></body></html>")));
    QCOMPARE(m_surface->LoadDocument(QString(), true), codes::Ok);
    QCOMPARE(m_picker->asked, 1);
    QVERIFY(m_surface->DocumentHTML().contains(QStringLiteral("keep me")));
}

void TestSurface::writeAndReadBackLargePage()
{
    QString html = QStringLiteral("<html><head><title>Big</title></head><body>");
    const QString para =
        QStringLiteral("<p>Ünïcödé paragraph with some text to fill the page up nicely.</p>\n");
    while (html.size() < 10 * 1024 * 1024)
        html += para;
    html += QStringLiteral("</body></html>");
    QSignalSpy complete(m_surface.get(), &EditSurface::DocumentComplete);
    QVERIFY(m_surface->setDocumentHTML(html));
    QCOMPARE(complete.count(), 1);
    QCOMPARE(m_surface->DocumentTitle(), QStringLiteral("Big"));
    QCOMPARE(m_surface->DocumentHTML(), html);
    // After an edit the text comes from the engine's document, still whole.
    QVERIFY(m_surface->DOM().setBgColor(QStringLiteral("#ffffff")));
    const QString back = m_surface->DocumentHTML();
    QVERIFY(back.size() > 10 * 1024 * 1024);
    QCOMPARE(back.count(QStringLiteral("<p>Ünïcödé")), html.count(QStringLiteral("<p>Ünïcödé")));
}

void TestSurface::commandsAndStatuses()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral(
        "<html><body><p id=a>plain <b>bold</b> text</p><ul><li>item</li></ul></body></html>")));
    auto *s = m_surface.get();
    // Caret at the start of plain text.
    QCOMPARE(s->QueryStatus(DECMD_BOLD), int(DECMDF_ENABLED));
    QCOMPARE(s->QueryStatus(DECMD_OUTDENT), int(DECMDF_DISABLED));
    QCOMPARE(s->QueryStatus(DECMD_CUT), int(DECMDF_DISABLED));
    QCOMPARE(s->QueryStatus(DECMD_INSERTROW), int(DECMDF_DISABLED));
    QCOMPARE(s->QueryStatus(DECMD_UNDO), int(DECMDF_DISABLED));

    // Select everything in the paragraph: partly bold is mixed.
    QVERIFY(s->ExecCommand(DECMD_SELECTALL).isValid());
    QCOMPARE(s->QueryStatus(DECMD_BOLD), int(DECMDF_NINCHED));
    QCOMPARE(s->QueryStatus(DECMD_CUT), int(DECMDF_ENABLED));
    QCOMPARE(s->selectionType(), QStringLiteral("Text"));

    QVERIFY(s->ExecCommand(DECMD_BOLD, OLECMDEXECOPT_DONTPROMPTUSER).isValid());
    QCOMPARE(s->QueryStatus(DECMD_BOLD), int(DECMDF_LATCHED));
    QVERIFY(s->IsDirty());
    QCOMPARE(s->QueryStatus(DECMD_UNDO), int(DECMDF_ENABLED));

    QVERIFY(s->ExecCommand(DECMD_SETFORECOLOR, OLECMDEXECOPT_DONTPROMPTUSER, QStringLiteral("#FF0000"))
                .isValid());
    QVERIFY(s->DocumentHTML().contains(QStringLiteral("#ff0000"), Qt::CaseInsensitive));
    QVERIFY(s->ExecCommand(DECMD_SETFONTSIZE, OLECMDEXECOPT_DONTPROMPTUSER, 5).isValid());
    QCOMPARE(s->ExecCommand(DECMD_GETFONTSIZE).toInt(), 5);
    QVERIFY(
        s->ExecCommand(DECMD_SETFONTNAME, OLECMDEXECOPT_DONTPROMPTUSER, QStringLiteral("Arial")).isValid());
    QCOMPARE(s->ExecCommand(DECMD_GETFONTNAME).toString(), QStringLiteral("Arial"));

    const QStringList names = s->ExecCommand(DECMD_GETBLOCKFMTNAMES).toStringList();
    QCOMPARE(names.size(), 16);
    QCOMPARE(names.first(), QStringLiteral("Normal"));
    QVERIFY(s->DOM().selection().createRange()->Collapse(true));
    QVERIFY(s->ExecCommand(DECMD_SETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER, QStringLiteral("Heading 2"))
                .isValid());
    QCOMPARE(s->ExecCommand(DECMD_GETBLOCKFMT).toString(), QStringLiteral("Heading 2"));
    QVERIFY(s->DocumentHTML().contains(QStringLiteral("<h2")));
    QVERIFY(!s->ExecCommand(DECMD_SETBLOCKFMT, OLECMDEXECOPT_DONTPROMPTUSER, QStringLiteral("No such"))
                 .isValid());
}

void TestSurface::pasteAtSelectionUndoesInOneStep()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body><p>before after</p></body></html>")));
    auto range = m_surface->DOM().selection().createRange();
    QVERIFY(range);
    QVERIFY(range->pasteHTML(QStringLiteral("<b>X</b><i>Y</i>")));
    const QString pasted = m_surface->DocumentHTML();
    QVERIFY2(pasted.contains(QStringLiteral("<b>X</b><i>Y</i>")), qPrintable(pasted));
    QVERIFY(m_surface->ExecCommand(DECMD_UNDO).isValid());
    QTRY_VERIFY(!m_surface->DocumentHTML().contains(QStringLiteral("<b>X</b>")));
    QVERIFY(m_surface->DocumentHTML().contains(QStringLiteral("before after")));
}

void TestSurface::localReferencesReadAsFileUrls()
{
    const QString page = m_dir->filePath(QStringLiteral("site/p.html"));
    writeTestFile(page, "<html><body><p>x</p></body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    const QString img = m_dir->filePath(QStringLiteral("site/img/a b.gif"));
    QImage dot(3, 3, QImage::Format_RGB32);
    dot.fill(Qt::blue);
    QDir().mkpath(QFileInfo(img).absolutePath());
    QVERIFY(dot.save(img, "PNG"));
    auto range = m_surface->DOM().selection().createRange();
    QVERIFY(range);
    QVERIFY(range->pasteHTML(
        QStringLiteral("<img src=\"%1\"><a href=\"file://%2\">l</a>")
            .arg(img, QString::fromUtf8(QUrl::fromLocalFile(page).path(QUrl::FullyEncoded).toUtf8()))));
    const QString html = m_surface->DocumentHTML();
    QVERIFY2(html.contains(QStringLiteral("src=\"file://%1\"").arg(img)), qPrintable(html));
    QVERIFY2(html.contains(QStringLiteral("href=\"file://%1\"").arg(QFileInfo(page).absoluteFilePath())),
             qPrintable(html));
}

void TestSurface::controlSelectionHasNoTextRange()
{
    QVERIFY(m_surface->setDocumentHTML(
        QStringLiteral("<html><body><p>text <img id=i style=\"width:40px;height:40px;background:red\"> "
                       "more</p></body></html>")));
    QSignalSpy display(m_surface.get(), &EditSurface::DisplayChanged);
    clickAt(elementCenter(QStringLiteral("i")));
    QTRY_COMPARE(m_surface->DOM().selection().type(), QStringLiteral("Control"));
    QVERIFY(!m_surface->DOM().selection().createRange());
    QVERIFY(!m_surface->pasteAtRange(QStringLiteral("<b>no</b>")));
    QVERIFY(!m_surface->DocumentHTML().contains(QStringLiteral("<b>no</b>")));
    QVERIFY(display.count() >= 1);
    QCOMPARE(m_surface->QueryStatus(DECMD_BOLD), int(DECMDF_DISABLED));
    QCOMPARE(m_surface->QueryStatus(DECMD_COPY), int(DECMDF_ENABLED));
}

void TestSurface::dirtyFlag()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body><p>text</p></body></html>")));
    QVERIFY(!m_surface->IsDirty());
    m_surface->widget()->setFocus();
    QTest::keyClicks(m_surface->widget()->focusProxy() ? m_surface->widget()->focusProxy()
                                                       : m_surface->widget(),
                     QStringLiteral("abc"));
    QTRY_VERIFY(m_surface->IsDirty());
    QTRY_VERIFY(m_surface->DocumentHTML().contains(QStringLiteral("abc")));
    const QString page = m_dir->filePath(QStringLiteral("d.html"));
    writeTestFile(page, "<html><body>x</body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    QVERIFY(!m_surface->IsDirty());
    QVERIFY(m_surface->DOM().body().setAttribute(QStringLiteral("bgcolor"), QStringLiteral("red")));
    QVERIFY(m_surface->IsDirty());
    // A write that changes the page keeps it changed; New starts clean.
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body>y</body></html>")));
    QVERIFY(m_surface->IsDirty());
    m_surface->NewDocument();
    QVERIFY(!m_surface->IsDirty());
    QCOMPARE(m_surface->CurrentDocumentPath(), QString());
}

// The language comes with the page's ready report; moving the caret leaves
// it, and an edit of the page's lang is read anew.
void TestSurface::pageLanguageFollowsEdits()
{
    const QString page = m_dir->filePath(QStringLiteral("lang.html"));
    writeTestFile(page, "<html lang=de><body><p>Wort</p><p>zwei</p></body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    QCOMPARE(m_surface->pageLanguage(), QStringLiteral("de"));
    js(QStringLiteral("getSelection().collapse(document.querySelectorAll('p')[1].firstChild, 2), true"));
    QTRY_COMPARE(m_surface->QueryStatus(DECMD_BOLD), int(DECMDF_ENABLED));
    QCOMPARE(m_surface->pageLanguage(), QStringLiteral("de"));
    // Changed behind the commands' back, as typing does: only the state tells.
    QVERIFY(m_surface->evaluate(QStringLiteral("document.documentElement.lang = 'fr', true")));
    QCOMPARE(m_surface->pageLanguage(), QStringLiteral("fr"));
}

void TestSurface::linkClickDoesNotNavigate()
{
    const QString page = m_dir->filePath(QStringLiteral("links.html"));
    writeTestFile(
        page, "<html><head><meta http-equiv=\"refresh\" content=\"0; url=http://example.invalid/\"></head>"
              "<body><p><a id=l href=\"other.html\" target=\"_blank\">other page</a> "
              "<a id=j href=\"javascript:document.title='x'\">js</a></p>"
              "<form action=\"other.html\"><input id=s type=submit value=go></form></body></html>");
    writeTestFile(m_dir->filePath(QStringLiteral("other.html")), "<html><body>OTHER</body></html>");
    QCOMPARE(m_surface->LoadDocument(page, false), codes::Ok);
    QSignalSpy complete(m_surface.get(), &EditSurface::DocumentComplete);
    for (const char *id : {"l", "j", "s"}) {
        const QPoint p = elementCenter(QString::fromLatin1(id));
        clickAt(p);
        QTest::mouseDClick(inputTarget(), Qt::LeftButton, Qt::ControlModifier, p);
    }
    QTest::qWait(1500);
    QCOMPARE(complete.count(), 0);
    QVERIFY(!m_surface->DocumentHTML().contains(QStringLiteral("OTHER")));
    QCOMPARE(js(QStringLiteral("document.title")).toString(), QString());
}

void TestSurface::saveAsDialog()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral("<html><body><p>saved</p></body></html>")));
    QCOMPARE(m_surface->chooseSaveAsPath(), QString());
    const QString target = m_dir->filePath(QStringLiteral("out.html"));
    m_picker->answers << target;
    // The surface only asks: the page is written by the document session.
    QCOMPARE(m_surface->chooseSaveAsPath(), target);
    QVERIFY(!QFile::exists(target));
    QCOMPARE(m_surface->CurrentDocumentPath(), QString());
}

void TestSurface::serialisationSurvivesReload()
{
    QVERIFY(m_surface->setDocumentHTML(QStringLiteral(
        "<html><body><p id=a>one</p><h2 id=h>head</h2><p id=dup>x</p><p id=dup>y</p></body></html>")));
    // Edits of the kind the engine makes: a list dropped into a paragraph and
    // a heading, and a block split that copies its id.
    QVERIFY(
        js(QStringLiteral(
               "qk.shape() && (() => { const ul = document.createElement('ul'); ul.innerHTML = '<li>i</li>';"
               " document.getElementById('a').appendChild(ul);"
               " document.getElementById('h').appendChild(document.createElement('ol'));"
               " const c = document.getElementById('a').cloneNode(false); c.textContent = 'copy';"
               " document.body.appendChild(c); return true; })()"))
            .toBool());
    const QString html = m_surface->DocumentHTML();
    QVERIFY2(html.contains(QStringLiteral("<p id=a>one</p><ul><li>i</li></ul>")), qPrintable(html));
    QVERIFY2(html.contains(QStringLiteral("<h2 id=h>head</h2><ol></ol>")), qPrintable(html));
    QVERIFY2(html.count(QStringLiteral("id=a")) == 1, qPrintable(html));
    // Duplicates the page came with are its own business.
    QCOMPARE(html.count(QStringLiteral("id=dup")), 2);
    // The live page keeps its undo history: nothing was changed in it.
    QVERIFY(js(QStringLiteral("!!document.querySelector('p > ul')")).toBool());
}

int main(int argc, char *argv[])
{
    surface::prepareBeforeApplication();
    QApplication app(argc, argv);
    TestSurface test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_surface.moc"
