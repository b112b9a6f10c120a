// The rules of the spelling dictionaries that need no engine.
#include "surface/spelling.h"

#include <QTest>

class TestSpelling final : public QObject
{
    Q_OBJECT
private slots:
    void withWords_data();
    void withWords();
    void forLanguage_data();
    void forLanguage();
};

void TestSpelling::withWords_data()
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

void TestSpelling::withWords()
{
    QFETCH(QByteArray, dic);
    QFETCH(QByteArray, aff);
    QFETCH(QStringList, words);
    QFETCH(QByteArray, expected);
    QCOMPARE(spelling::withWords(dic, aff, words), expected);
}

void TestSpelling::forLanguage_data()
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

void TestSpelling::forLanguage()
{
    QFETCH(QString, lang);
    QFETCH(QString, expected);
    const QStringList installed = {QStringLiteral("de_DE"), QStringLiteral("en_GB"), QStringLiteral("en_US"),
                                   QStringLiteral("fr")};
    QCOMPARE(spelling::forLanguage(lang, installed), expected);
}

QTEST_GUILESS_MAIN(TestSpelling)
#include "tst_spelling.moc"
