// What our own script does on a key must depend on the change, not on the
// page: the same keys on a page of 1 MB and of 10 MB cost it the same number
// of steps through the document. The steps are counted in the script's own
// world, where every walk of ours goes through the document's interfaces:
// each node reached, each element looked up, each style read and each
// character serialised counts one.
#include "surface/tests/corpuspage.h"
#include "testsupport/surfacehost.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace surface;

namespace {

const QString kCountSteps = QStringLiteral(R"JS((() => {
    if (window.kwSteps)
        return true;
    const c = window.kwSteps = {n: 0, by: {}};
    const owner = (name) => {
        for (const p of [Node.prototype, Element.prototype, Document.prototype, CharacterData.prototype,
                         HTMLElement.prototype])
            if (Object.getOwnPropertyDescriptor(p, name))
                return p;
        return null;
    };
    const getter = (name, cost) => {
        const p = owner(name);
        const d = Object.getOwnPropertyDescriptor(p, name);
        Object.defineProperty(p, name, {configurable: true, get() {
            const v = d.get.call(this);
            const k = cost ? cost(v) : 1;
            c.n += k;
            c.by[name] = (c.by[name] || 0) + k;
            return v;
        }, set: d.set});
    };
    const method = (p, name, cost) => {
        const f = p[name];
        p[name] = function (...args) {
            const v = f.apply(this, args);
            const k = cost ? cost(v) : 1;
            c.n += k;
            c.by[name] = (c.by[name] || 0) + k;
            return v;
        };
    };
    const length = (v) => 1 + (v && v.length ? v.length : 0);
    for (const name of ['parentNode', 'parentElement', 'firstChild', 'lastChild', 'nextSibling',
                        'previousSibling', 'firstElementChild', 'nextElementSibling'])
        getter(name);
    // A list of children counts each child taken from it.
    const listed = (list) => new Proxy(list, {get(t, k) {
        const take = () => { c.n++; c.by.listed = (c.by.listed || 0) + 1; };
        if (typeof k === 'string' && /^[0-9]+$/.test(k))
            take();
        if (k === Symbol.iterator)
            return function* () { for (const x of t) { take(); yield x; } };
        const v = Reflect.get(t, k);
        return typeof v === 'function' ? v.bind(t) : v;
    }});
    for (const name of ['childNodes', 'children']) {
        const p = owner(name);
        const d = Object.getOwnPropertyDescriptor(p, name);
        Object.defineProperty(p, name, {configurable: true, get() { c.n++; return listed(d.get.call(this)); }});
    }
    for (const name of ['textContent', 'innerHTML', 'outerHTML', 'innerText', 'data'])
        getter(name, length);
    for (const p of [Element.prototype, Document.prototype, DocumentFragment.prototype])
        for (const name of ['querySelectorAll', 'getElementsByTagName'])
            method(p, name, length);
    for (const name of ['nextNode', 'previousNode', 'nextSibling', 'firstChild', 'parentNode'])
        method(TreeWalker.prototype, name);
    method(Node.prototype, 'contains');
    method(Range.prototype, 'intersectsNode');
    method(window, 'getComputedStyle');
    method(JSON, 'stringify', length);
    return true;
})())JS");

// The caret that far into the paragraph the keys go to.
QString caretAt(int offset)
{
    return QStringLiteral(
               "(() => { const p = document.getElementById('kw'); p.scrollIntoView({block: 'center'});"
               " getSelection().collapse(p.firstChild, %1); return true; })()")
        .arg(offset);
}

} // namespace

class TestKeyWork final : public QObject, SurfaceHost
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { closeSurface(); }
    void keysCostTheSameOnALargerPage_data();
    void keysCostTheSameOnALargerPage();
    void readingAnEditCostsTheSameOnALargerPage();
    void firstKeyCostsTheSameOnALargerPage();
    void noFrameOfTheWalkGrowsWithThePage();

private:
    // Our steps while the page of that many MB is opened and left alone:
    // in all, and in the frame that had the most of them.
    QPair<int, int> walkSteps(int megabytes);
    // Our steps for the first key on a page opened and then left alone a
    // moment, as a person opens a page and starts to type.
    QPair<int, QString> firstKeySteps(int megabytes);
    // Our steps for the keys ("\n" Enter, "\b" Backspace) with the caret
    // `at` that far into the paragraph, on the page of
    // that many MB, in all and by the interface taken.
    QPair<int, QString> stepsFor(int megabytes, const QString &keys, int at);

    QTemporaryDir m_dir;
};

void TestKeyWork::initTestCase()
{
    QVERIFY(openSurface());
    // The keys go to the same paragraph on both pages, ahead of all the
    // rest: some of the corpus's pages leave elements open, so that further
    // down each page nests deeper than the other does.
    for (const int mb : {1, 10}) {
        QByteArray page = corpuspage::make(QStringLiteral(QK_SOURCE_DIR), qsizetype(mb) * 1024 * 1024);
        page.insert(
            page.indexOf("<body>") + 6,
            "<p>Words of the paragraph edited here.</p><p id=\"kw\">Those are the words typed into.</p>\n");
        QFile f(m_dir.filePath(QStringLiteral("%1.html").arg(mb)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(page) == page.size());
    }
}

QPair<int, QString> TestKeyWork::stepsFor(int megabytes, const QString &keys, int at)
{
    if (m_surface->LoadDocument(m_dir.filePath(QStringLiteral("%1.html").arg(megabytes)), false) != codes::Ok)
        return {-1, {}};
    // The first edit of a page has its one-off work (the page's source is
    // matched with it); the keys counted come after it.
    inputTarget()->setFocus();
    QTest::qWait(200); // the page has the focus before its first key
    if (!js(caretAt(6)).toBool())
        return {-1, {}};
    QTest::keyClick(inputTarget(), Qt::Key_X);
    if (!QTest::qWaitFor([&] { return m_surface->IsDirty(); }, 30000))
        return {-1, {}};
    m_surface->DocumentHTML();
    if (!js(kCountSteps).toBool() || !js(caretAt(at)).toBool())
        return {-1, {}};
    QTest::qWait(200);
    js(QStringLiteral("window.kwSteps.n = 0"));
    // One key at a time, each with all its reports, as a person types: keys
    // that come faster share reports, by how busy the machine is.
    for (const QChar key : keys) {
        const int changes = m_surface->changeCount();
        if (key == u'\n')
            QTest::keyClick(inputTarget(), Qt::Key_Return);
        else if (key == u'\b')
            QTest::keyClick(inputTarget(), Qt::Key_Backspace);
        else
            QTest::keyClick(inputTarget(), key.toLatin1());
        if (!QTest::qWaitFor([&] { return m_surface->changeCount() != changes; }, 30000))
            return {-1, {}};
        QTest::qWait(100);
    }
    return {js(QStringLiteral("window.kwSteps.n")).toInt(),
            js(QStringLiteral("JSON.stringify(window.kwSteps.by)")).toString()};
}

void TestKeyWork::keysCostTheSameOnALargerPage_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("at");
    QTest::newRow("typing") << QStringLiteral("abcde") << 6;
    QTest::newRow("enter") << QStringLiteral("\n") << 6;
    QTest::newRow("backspace") << QStringLiteral("\b") << 6;
    QTest::newRow("backspace joining paragraphs") << QStringLiteral("\b") << 0;
}

void TestKeyWork::keysCostTheSameOnALargerPage()
{
    QFETCH(QString, keys);
    QFETCH(int, at);
    const auto [small, smallSteps] = stepsFor(1, keys, at);
    const auto [large, largeSteps] = stepsFor(10, keys, at);
    QVERIFY(small > 0);
    QVERIFY2(large <= small * 3 / 2, qPrintable(QStringLiteral("%1 steps against %2: %3 against %4")
                                                    .arg(large)
                                                    .arg(small)
                                                    .arg(largeSteps, smallSteps)));
}

// A read of the page after a one-word edit: what our script does to
// describe the page to the save walks the changed path and what it touches,
// not every node of the page.
void TestKeyWork::readingAnEditCostsTheSameOnALargerPage()
{
    QList<int> steps;
    QStringList by;
    for (const int mb : {1, 10}) {
        QVERIFY(stepsFor(mb, QStringLiteral("a"), 6).first > 0); // edited and matched with its source
        js(QStringLiteral("window.kwSteps.n = 0; window.kwSteps.by = {}"));
        QVERIFY(js(QStringLiteral("qk.recipe().ok")).toBool());
        steps << js(QStringLiteral("window.kwSteps.n")).toInt();
        by << js(QStringLiteral("JSON.stringify(window.kwSteps.by)")).toString();
    }
    QVERIFY(steps[0] > 0);
    QVERIFY2(steps[1] <= steps[0] * 3 / 2, qPrintable(QStringLiteral("%1 steps against %2: %3 against %4")
                                                          .arg(steps[1])
                                                          .arg(steps[0])
                                                          .arg(by[1], by[0])));
}

QPair<int, QString> TestKeyWork::firstKeySteps(int megabytes)
{
    const QString path = m_dir.filePath(QStringLiteral("%1.html").arg(megabytes));
    if (m_surface->LoadDocument(path, false) != codes::Ok)
        return {-1, {}};
    inputTarget()->setFocus();
    if (!js(kCountSteps).toBool())
        return {-1, {}};
    // Whatever our script does while the page is only looked at is over
    // once it has taken no step for a while.
    for (int last = -1, now = 0; last != now; QTest::qWait(500)) {
        last = now;
        now = js(QStringLiteral("window.kwSteps.n")).toInt();
    }
    if (!js(caretAt(6)).toBool())
        return {-1, {}};
    QTest::qWait(200);
    js(QStringLiteral("window.kwSteps.n = 0; window.kwSteps.by = {}"));
    const int changes = m_surface->changeCount();
    QTest::keyClick(inputTarget(), Qt::Key_A);
    if (!QTest::qWaitFor([&] { return m_surface->changeCount() != changes; }, 30000))
        return {-1, {}};
    QTest::qWait(100);
    return {js(QStringLiteral("window.kwSteps.n")).toInt(),
            js(QStringLiteral("JSON.stringify(window.kwSteps.by)")).toString()};
}

// The script's walk of the whole page is done while the page is only looked
// at, not on the first key.
void TestKeyWork::firstKeyCostsTheSameOnALargerPage()
{
    const auto [small, smallSteps] = firstKeySteps(1);
    const auto [large, largeSteps] = firstKeySteps(10);
    QVERIFY(small > 0);
    QVERIFY2(large <= small * 3 / 2, qPrintable(QStringLiteral("%1 steps against %2: %3 against %4")
                                                    .arg(large)
                                                    .arg(small)
                                                    .arg(largeSteps, smallSteps)));
}

QPair<int, int> TestKeyWork::walkSteps(int megabytes)
{
    const QString path = m_dir.filePath(QStringLiteral("%1.html").arg(megabytes));
    // Each frame takes the steps counted since the frame before, from the
    // moment the steps are counted: in the same call, or the walk could
    // come in between.
    if (m_surface->LoadDocument(path, false) != codes::Ok ||
        !js(kCountSteps +
            QStringLiteral(" && (() => { const c = window.kwSteps; c.frames = []; let last = c.n;"
                           " const frame = () => { c.frames.push(c.n - last); last = c.n;"
                           " requestAnimationFrame(frame); };"
                           " requestAnimationFrame(frame); return true; })()"))
             .toBool())
        return {-1, -1};
    for (int last = -1, now = 0; last != now; QTest::qWait(500)) {
        last = now;
        now = js(QStringLiteral("window.kwSteps.n")).toInt();
    }
    return {js(QStringLiteral("window.kwSteps.n")).toInt(),
            js(QStringLiteral("Math.max(0, ...window.kwSteps.frames)")).toInt()};
}

// The walk of the whole page goes a slice a frame: on a larger page it takes
// more frames, and none of them longer, so the page answers a key meanwhile.
void TestKeyWork::noFrameOfTheWalkGrowsWithThePage()
{
    const auto [smallAll, smallFrame] = walkSteps(1);
    const auto [largeAll, largeFrame] = walkSteps(10);
    QVERIFY(smallFrame > 0);
    // The whole walk of the larger page was seen, not only its end.
    QVERIFY2(largeAll > smallAll * 5,
             qPrintable(QStringLiteral("%1 steps against %2").arg(largeAll).arg(smallAll)));
    QVERIFY2(largeFrame <= smallFrame * 3 / 2,
             qPrintable(QStringLiteral("%1 steps in a frame against %2").arg(largeFrame).arg(smallFrame)));
}

QTEST_MAIN(TestKeyWork)
#include "tst_keywork.moc"
