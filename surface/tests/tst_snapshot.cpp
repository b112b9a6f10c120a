// The editing state as the script reports it: taken only whole and well formed.
#include "surface/editsurface.h"
#include "surface/snapshot.h"

#include <QTest>

using surface::Snapshot;

namespace {
// A snapshot as the engine answers it: numbers as int, status keys as text.
QVariantMap good()
{
    return {{QStringLiteral("status"), QVariantMap{{QStringLiteral("5000"), int(surface::DECMDF_LATCHED)},
                                                   {QStringLiteral("5049"), int(surface::DECMDF_DISABLED)}}},
            {QStringLiteral("fontName"), QStringLiteral("Serif")},
            {QStringLiteral("fontSize"), 3},
            {QStringLiteral("blockFormat"), QStringLiteral("Heading 1")},
            {QStringLiteral("selType"), QStringLiteral("Text")},
            {QStringLiteral("title"), QStringLiteral("T")},
            {QStringLiteral("dirty"), true},
            {QStringLiteral("changes"), 4},
            {QStringLiteral("tag"), QStringLiteral("?qk=load1")}};
}

QVariantMap with(const QString &key, const QVariant &value)
{
    QVariantMap m = good();
    if (value.isValid())
        m.insert(key, value);
    else
        m.remove(key);
    return m;
}
} // namespace

class TestSnapshot final : public QObject
{
    Q_OBJECT

private slots:
    void fromVariant_data();
    void fromVariant();
    void converts();
};

void TestSnapshot::fromVariant_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<bool>("taken");
    const auto status = [](const QString &key, const QVariant &value) {
        return with(QStringLiteral("status"), QVariantMap{{key, value}});
    };
    QTest::newRow("good") << QVariant(good()) << true;
    // From the script's JSON reports numbers arrive as double or long long.
    QTest::newRow("numbers as double") << QVariant(with(QStringLiteral("fontSize"), 3.0)) << true;
    QTest::newRow("numbers as long long") << QVariant(with(QStringLiteral("changes"), qlonglong(4))) << true;
    QTest::newRow("no status") << QVariant(with(QStringLiteral("status"), {})) << false;
    QTest::newRow("no tag") << QVariant(with(QStringLiteral("tag"), {})) << false;
    QTest::newRow("size as text") << QVariant(with(QStringLiteral("fontSize"), QStringLiteral("3"))) << false;
    QTest::newRow("size out of range") << QVariant(with(QStringLiteral("fontSize"), 8)) << false;
    QTest::newRow("fractional count") << QVariant(with(QStringLiteral("changes"), 1.5)) << false;
    QTest::newRow("unknown selection")
        << QVariant(with(QStringLiteral("selType"), QStringLiteral("Row"))) << false;
    QTest::newRow("status a list") << QVariant(with(QStringLiteral("status"), QVariantList{3})) << false;
    QTest::newRow("status key no number") << QVariant(status(QStringLiteral("bold"), 3)) << false;
    QTest::newRow("status no answer") << QVariant(status(QStringLiteral("5000"), 5)) << false;
    QTest::newRow("nothing") << QVariant() << false;
    QTest::newRow("list") << QVariant(QVariantList{good()}) << false;
}

void TestSnapshot::fromVariant()
{
    QFETCH(QVariant, input);
    QFETCH(bool, taken);
    QCOMPARE(Snapshot::fromVariant(input).has_value(), taken);
}

void TestSnapshot::converts()
{
    const std::optional<Snapshot> s = Snapshot::fromVariant(good());
    QVERIFY(s);
    QCOMPARE(s->status.value(surface::DECMD_BOLD), int(surface::DECMDF_LATCHED));
    QCOMPARE(s->status.value(surface::DECMD_UNDO), int(surface::DECMDF_DISABLED));
    QCOMPARE(s->status.size(), 2);
    QCOMPARE(std::tuple(s->fontName, s->fontSize, s->blockFormat, s->selType, s->title, s->dirty, s->changes),
             std::tuple(QStringLiteral("Serif"), 3, QStringLiteral("Heading 1"), QStringLiteral("Text"),
                        QStringLiteral("T"), true, 4));
    QCOMPARE(s->tag, QStringLiteral("?qk=load1"));
}

QTEST_GUILESS_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
