#include "platform/engine/TextFold.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_TextFold : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folds_data();
    void folds();
    void matchesSearchKey_data();
    void matchesSearchKey();
};

void tst_TextFold::folds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("withoutAccents");
    QTest::addColumn<QString>("searchKey");
    QTest::newRow("plain") << u"ANA SILVA"_s << u"ANA SILVA"_s << u"ana silva"_s;
    QTest::newRow("portuguese") << u"ÁLVARO CONCEIÇÃO joão"_s << u"ALVARO CONCEICAO joao"_s
                                << u"alvaro conceicao joao"_s;
    QTest::newRow("other latin") << u"NÚÑEZ MÜLLER ŠIMEK ǕLA"_s << u"NUNEZ MULLER SIMEK ULA"_s
                                 << u"nunez muller simek ula"_s;
    QTest::newRow("stored decomposed") << u"A\u0301LVARO"_s << u"ALVARO"_s << u"alvaro"_s;
    QTest::newRow("no accent to drop")
        << u"ØSTERGAARD ŁUKASZ 3º"_s << u"ØSTERGAARD ŁUKASZ 3º"_s << u"østergaard łukasz 3º"_s;
}

void tst_TextFold::folds()
{
    QFETCH(QString, text);
    QFETCH(QString, withoutAccents);
    QFETCH(QString, searchKey);
    QCOMPARE(TextFold::withoutAccents(text), withoutAccents);
    QCOMPARE(TextFold::searchKey(text), searchKey);
}

void tst_TextFold::matchesSearchKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<bool>("whole");
    QTest::newRow("accents typed, none stored") << u"ALVARO"_s << u"Álv"_s << true << false;
    QTest::newRow("none typed, accents stored") << u"ÁLVARO"_s << u"alvaro"_s << true << true;
    QTest::newRow("mark stored apart") << u"JOA\u0303O"_s << u"joao"_s << true << true;
    QTest::newRow("longer than the text") << u"ANA"_s << u"anabela"_s << false << false;
    QTest::newRow("other letter after an accent") << u"ÁLVARO"_s << u"álb"_s << false << false;
}

void tst_TextFold::matchesSearchKey()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(bool, prefix);
    QFETCH(bool, whole);
    const QString key = TextFold::searchKey(typed);
    QCOMPARE(TextFold::matchesSearchKey(text, key, false), prefix);
    QCOMPARE(TextFold::matchesSearchKey(text, key, true), whole);
    // The same answers as comparing the two keys.
    QCOMPARE(TextFold::searchKey(text).startsWith(key), prefix);
    QCOMPARE(TextFold::searchKey(text) == key, whole);
}

QTEST_GUILESS_MAIN(tst_TextFold)
#include "tst_TextFold.moc"
