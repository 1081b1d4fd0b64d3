// Throughput of the HTML text helpers on real feed text, and the time a hostile item costs.
// Prints unescape_mb_per_s, flatten_mb_per_s and flatten_hostile_ms; megabytes are of the text
// as UTF-8, each figure the best of several rounds.

#include "text/StringHTML.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 5;
constexpr qsizetype WorkloadBytes = 4 * 1000 * 1000;

// The titles and texts of every corpus feed, as the feed parser hands them over: markup that
// was escaped in the XML arrives as tags and references.
QStringList corpusTexts()
{
    static const QSet<QString> textElements = {
        QStringLiteral("title"),   QStringLiteral("description"), QStringLiteral("summary"),
        QStringLiteral("content"), QStringLiteral("encoded"),     QStringLiteral("subtitle"),
    };
    QStringList texts;
    QDirIterator files(QStringLiteral(BREVLIN_SOURCE "/tests/corpus/feeds"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && textElements.contains(xml.name().toString())) {
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (!text.trimmed().isEmpty()) {
                    texts << text;
                }
            }
        }
    }
    return texts;
}

// The corpus texts repeated until they make a few megabytes; returns their UTF-8 size.
qsizetype repeatToWorkload(const QStringList &texts, QStringList *workload)
{
    qsizetype bytes = 0;
    while (bytes < WorkloadBytes && !texts.isEmpty()) {
        for (const QString &text : texts) {
            *workload << text;
            bytes += text.toUtf8().size();
        }
    }
    return bytes;
}

double bestSeconds(const std::function<void()> &work)
{
    double best = 1e300;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

// A feed item made to freeze a one-pass-per-tag flattening: a megabyte holding 20,000 distinct tags.
QString hostileItem()
{
    QString item;
    for (int tag = 0; item.size() < 1000 * 1000; ++tag) {
        if (tag < 20000) {
            item += QStringLiteral("<a href=\"http://example.com/%1\" id=\"t%1\">").arg(tag);
        }
        item += QStringLiteral("some text ");
    }
    return item;
}

} // namespace

int main()
{
    QStringList workload;
    const qsizetype bytes = repeatToWorkload(corpusTexts(), &workload);
    if (bytes == 0) {
        std::fprintf(stderr, "bench_text: no texts found in the feed corpus\n");
        return 1;
    }
    qsizetype kept = 0;
    QStringList flattened;
    const double flattenSeconds = bestSeconds([&] {
        flattened.clear();
        for (const QString &text : workload) {
            flattened << flattenHTML(text);
        }
    });
    // The parser unescapes what flattening left, so that is what unescaping is timed on.
    const double unescapeSeconds = bestSeconds([&] {
        for (const QString &text : flattened) {
            kept += stringByUnescapingFromHTML(text).size();
        }
    });
    const QString hostile = hostileItem();
    const double hostileSeconds = bestSeconds([&] { kept += flattenHTML(hostile).size(); });

    std::printf("unescape_mb_per_s: %.1f MB/s\n", double(bytes) / 1e6 / unescapeSeconds);
    std::printf("flatten_mb_per_s: %.1f MB/s\n", double(bytes) / 1e6 / flattenSeconds);
    std::printf("flatten_hostile_ms: %.1f ms\n", hostileSeconds * 1e3);
    return kept > 0 ? 0 : 1;
}
