#include "model/parsing/NaturalLanguageDate.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

struct CorpusRow
{
    QString input;
    QString expected; // ISO 8601 in UTC, or "NONE"
};

QList<CorpusRow> corpusRows()
{
    QFile file(TestSupport::corpusPath("dates.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QList<CorpusRow> rows;
    file.readLine(); // header
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n'));
        const qsizetype tab = line.lastIndexOf(QLatin1Char('\t'));
        if (tab >= 0) {
            rows.append({line.left(tab), line.mid(tab + 1)});
        }
    }
    return rows;
}

// Rows of the corpus this reader reads differently on purpose. The test fails when any of
// them starts to agree, so the list stays true.
const QHash<QString, const char *> &deliberateDifferences()
{
    static const QHash<QString, const char *> rows{
        {"22013",
         "read as the two-digit-year ordinal date 2022-01-13, the same compact form as the corpus's own "
         "\"03335\"; the corpus expects no date here only from a reader that knows no such form"},
    };
    return rows;
}

QString shown(const std::optional<QDateTime> &date)
{
    return date ? date->toString(Qt::ISODate) : QStringLiteral("NONE");
}

} // namespace

class tst_Dates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data();
    void corpus();
    void corpusAgreement();
    void forms_data();
    void forms();
    void resultIsUtc();
    void arbitraryTextNeverFails();
    void speed();
};

void tst_Dates::corpus_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("differsBecause");

    const QList<CorpusRow> rows = corpusRows();
    QCOMPARE(rows.size(), 108);
    for (const CorpusRow &row : rows) {
        QTest::addRow("%s", qPrintable(row.input.isEmpty() ? QStringLiteral("(empty)") : row.input))
            << row.input << row.expected << QString::fromUtf8(deliberateDifferences().value(row.input));
    }
}

void tst_Dates::corpus()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QFETCH(QString, differsBecause);

    const QString found = shown(dateWithNaturalLanguageString(input));
    if (differsBecause.isEmpty()) {
        QCOMPARE(found, expected);
    } else {
        QVERIFY2(found != expected, "listed as a deliberate difference but agrees now");
    }
}

void tst_Dates::corpusAgreement()
{
    const QList<CorpusRow> rows = corpusRows();
    int agreeing = 0;
    for (const CorpusRow &row : rows) {
        agreeing += shown(dateWithNaturalLanguageString(row.input)) == row.expected ? 1 : 0;
    }
    qInfo("dates.tsv agreement: %d of %lld rows (%.1f%%)", agreeing, rows.size(), 100.0 * agreeing / rows.size());
    QCOMPARE(agreeing, rows.size() - deliberateDifferences().size());
    QVERIFY(agreeing * 100 >= rows.size() * 95);
}

void tst_Dates::forms_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // RFC 822 and RFC 2822
    QTest::newRow("RFC 2822") << "Sat, 07 Sep 2002 00:00:01 GMT"
                              << "2002-09-07T00:00:01Z";
    QTest::newRow("no weekday, UT") << "07 Sep 2002 00:00:01 UT"
                                    << "2002-09-07T00:00:01Z";
    QTest::newRow("no seconds, EST") << "Sat, 07 Sep 2002 00:00 EST"
                                     << "2002-09-07T05:00:00Z";
    QTest::newRow("EDT") << "7 Sep 2002 10:00:00 EDT"
                         << "2002-09-07T14:00:00Z";
    QTest::newRow("CST") << "7 Sep 2002 10:00:00 CST"
                         << "2002-09-07T16:00:00Z";
    QTest::newRow("CDT") << "7 Sep 2002 10:00:00 CDT"
                         << "2002-09-07T15:00:00Z";
    QTest::newRow("MST") << "7 Sep 2002 10:00:00 MST"
                         << "2002-09-07T17:00:00Z";
    QTest::newRow("MDT") << "7 Sep 2002 10:00:00 MDT"
                         << "2002-09-07T16:00:00Z";
    QTest::newRow("PST") << "7 Sep 2002 10:00:00 PST"
                         << "2002-09-07T18:00:00Z";
    QTest::newRow("PDT") << "7 Sep 2002 10:00:00 PDT"
                         << "2002-09-07T17:00:00Z";
    QTest::newRow("positive offset") << "Sat, 07 Sep 2002 00:00:01 +0530"
                                     << "2002-09-06T18:30:01Z";
    QTest::newRow("unknown offset -0000") << "Sat, 07 Sep 2002 00:00:01 -0000"
                                          << "2002-09-07T00:00:01Z";
    // RFC 2822 4.3: RFC 822 gave the military letters the wrong sign, so all read as UTC.
    QTest::newRow("military letter") << "Sat, 07 Sep 2002 10:00:00 A"
                                     << "2002-09-07T10:00:00Z";
    QTest::newRow("military Z") << "Sat, 07 Sep 2002 10:00:00 Z"
                                << "2002-09-07T10:00:00Z";
    QTest::newRow("unknown zone name is UTC") << "Sat, 07 Sep 2002 10:00:00 XYZT"
                                              << "2002-09-07T10:00:00Z";
    QTest::newRow("two-digit year 02") << "07 Sep 02 10:00 GMT"
                                       << "2002-09-07T10:00:00Z";
    QTest::newRow("two-digit year 49") << "07 Sep 49 10:00 GMT"
                                       << "2049-09-07T10:00:00Z";
    QTest::newRow("two-digit year 50") << "07 Sep 50 10:00 GMT"
                                       << "1950-09-07T10:00:00Z";
    QTest::newRow("three-digit year") << "07 Sep 102 10:00 GMT"
                                      << "2002-09-07T10:00:00Z";
    QTest::newRow("extra white space") << "  Sat,\t07  Sep\n2002   00:00:01   GMT  "
                                       << "2002-09-07T00:00:01Z";
    QTest::newRow("nested comments") << "Sat, 07 Sep 2002 00:00:01 +0100 (CET (Berlin))"
                                     << "2002-09-06T23:00:01Z";
    QTest::newRow("lower case") << "sat, 07 sep 2002 00:00:01 gmt"
                                << "2002-09-07T00:00:01Z";
    QTest::newRow("leap second") << "Sat, 07 Sep 2002 23:59:60 GMT"
                                 << "2002-09-08T00:00:00Z";
    QTest::newRow("GMT with offset") << "Sat, 07 Sep 2002 10:00:00 GMT+2"
                                     << "2002-09-07T08:00:00Z";
    QTest::newRow("RFC 850") << "Sunday, 06-Nov-94 08:49:37 GMT"
                             << "1994-11-06T08:49:37Z";
    QTest::newRow("zone identifier") << "Sun, 16 Dec 2012 11:47:32 Europe/Berlin"
                                     << "2012-12-16T10:47:32Z";
    QTest::newRow("zone identifier with sign") << "Sun, 16 Dec 2012 11:47:32 Etc/GMT+5"
                                               << "2012-12-16T16:47:32Z";
    // W3C-DTF, ISO 8601, RFC 3339
    QTest::newRow("year") << "1997"
                          << "1997-01-01T00:00:00Z";
    QTest::newRow("year and month") << "1997-07"
                                    << "1997-07-01T00:00:00Z";
    QTest::newRow("date") << "1997-07-16"
                          << "1997-07-16T00:00:00Z";
    QTest::newRow("minutes and offset") << "1997-07-16T19:20+01:00"
                                        << "1997-07-16T18:20:00Z";
    QTest::newRow("seconds and offset") << "1997-07-16T19:20:30-01:30"
                                        << "1997-07-16T20:50:30Z";
    QTest::newRow("fraction dropped") << "1997-07-16T19:20:30.999Z"
                                      << "1997-07-16T19:20:30Z";
    QTest::newRow("lower-case t and z") << "1997-07-16t19:20:30z"
                                        << "1997-07-16T19:20:30Z";
    QTest::newRow("space for T") << "1997-07-16 19:20:30Z"
                                 << "1997-07-16T19:20:30Z";
    QTest::newRow("offset without colon") << "1997-07-16T19:20:30+0100"
                                          << "1997-07-16T18:20:30Z";
    QTest::newRow("hour offset") << "1997-07-16T19:20:30+01"
                                 << "1997-07-16T18:20:30Z";
    QTest::newRow("zone name after time") << "1997-07-16 19:20:30 GMT"
                                          << "1997-07-16T19:20:30Z";
    QTest::newRow("end of day") << "1997-07-16T24:00:00Z"
                                << "1997-07-17T00:00:00Z";
    QTest::newRow("compact") << "19970716T192030Z"
                             << "1997-07-16T19:20:30Z";
    QTest::newRow("ordinal in leap year") << "2004-366"
                                          << "2004-12-31T00:00:00Z";
    // English
    QTest::newRow("month day, year") << "January 26, 2004"
                                     << "2004-01-26T00:00:00Z";
    QTest::newRow("long form") << "Monday, January 26th, 2004 at 4:31 PM EST"
                               << "2004-01-26T21:31:00Z";
    QTest::newRow("midnight am") << "26 January 2004 12:00 am"
                                 << "2004-01-26T00:00:00Z";
    QTest::newRow("abbreviation Sept") << "Sept 5 2004"
                                       << "2004-09-05T00:00:00Z";
    QTest::newRow("month and year") << "Dec 2012"
                                    << "2012-12-01T00:00:00Z";
    // Not dates
    QTest::newRow("empty") << ""
                           << "NONE";
    QTest::newRow("white space") << " \t\n "
                                 << "NONE";
    QTest::newRow("31 February") << "31 Feb 2004"
                                 << "NONE";
    QTest::newRow("hour 24 with minutes") << "Sat, 07 Sep 2002 24:01:00 GMT"
                                          << "NONE";
    QTest::newRow("month 13") << "2004-13-01"
                              << "NONE";
    QTest::newRow("month 0") << "2004-00-10"
                             << "NONE";
    QTest::newRow("year 0") << "0000-01-01"
                            << "NONE";
    QTest::newRow("day 366 of common year") << "2003-366"
                                            << "NONE";
    QTest::newRow("two zones") << "Sat, 07 Sep 2002 00:00:01 GMT EST"
                               << "NONE";
    QTest::newRow("two times") << "Jan 5 2004 10:00 11:00"
                               << "NONE";
    QTest::newRow("time only") << "12:00 GMT"
                               << "NONE";
    QTest::newRow("relative word") << "yesterday"
                                   << "NONE";
    QTest::newRow("huge number") << "99999999999999999999"
                                 << "NONE";
    QTest::newRow("huge day") << "Sat, 99999999999 Sep 2002"
                              << "NONE";
    QTest::newRow("offset hour 24") << "1997-07-16T19:20:30+24:00"
                                    << "NONE";
    QTest::newRow("unclosed comment") << "Sat, 07 Sep 2002 00:00:01 GMT (note"
                                      << "NONE";
    QTest::newRow("sign alone") << "+"
                                << "NONE";
    QTest::newRow("non-ASCII letters") << u"7 \u00e9t\u00e9 2002"_qs << "NONE";
}

void tst_Dates::forms()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);

    QCOMPARE(shown(dateWithNaturalLanguageString(input)), expected);
}

void tst_Dates::resultIsUtc()
{
    const std::optional<QDateTime> date = dateWithNaturalLanguageString("Sat, 07 Sep 2002 02:00:00 +0200");
    QVERIFY(date);
    QCOMPARE(date->timeSpec(), Qt::UTC);
    QCOMPARE(date->toSecsSinceEpoch(), 1031356800);
}

// Random text over the characters dates are made of: never a crash, and every answer is a
// valid UTC date.
void tst_Dates::arbitraryTextNeverFails()
{
    const QString alphabet = " ,.:+-/()0123456789TZzGMTESTAPMJanFebSunDecetc/";
    QRandomGenerator random(42);
    for (int i = 0; i < 100'000; ++i) {
        QString text;
        for (int length = int(random.bounded(40)); length > 0; --length) {
            text += alphabet[int(random.bounded(alphabet.size()))];
        }
        const std::optional<QDateTime> date = dateWithNaturalLanguageString(text);
        QVERIFY2(!date || (date->isValid() && date->timeSpec() == Qt::UTC), qPrintable(text));
    }
}

void tst_Dates::speed()
{
    const QList<CorpusRow> rows = corpusRows();
    int read = 0;
    QBENCHMARK
    {
        for (const CorpusRow &row : rows) {
            read += dateWithNaturalLanguageString(row.input) ? 1 : 0;
        }
    }
    QVERIFY(read > 0);
}

QTEST_GUILESS_MAIN(tst_Dates)
#include "tst_dates.moc"
