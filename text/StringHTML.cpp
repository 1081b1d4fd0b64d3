#include "text/StringHTML.h"

#include "text/TagStripper.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Shortest and longest references, "&lt;" and "&thetasym;": no other candidate can name one.
constexpr qsizetype MinReferenceLength = 4;
constexpr qsizetype MaxReferenceLength = 10;

const EntityEntry *findRow(const EntityEntry *rows, std::size_t count, char16_t unit)
{
    const EntityEntry *end = rows + count;
    const EntityEntry *found = std::lower_bound(
        rows, end, unit, [](const EntityEntry &row, char16_t wanted) { return row.codeUnit < wanted; });
    return found != end && found->codeUnit == unit ? found : nullptr;
}

void appendNumericReference(QString &result, char16_t unit)
{
    char16_t digits[5];
    qsizetype count = 0;
    for (unsigned value = unit; value != 0; value /= 10) {
        digits[count++] = char16_t(u'0' + value % 10);
    }
    result.append(u"&#");
    while (count > 0) {
        result.append(QChar(digits[--count]));
    }
    result.append(u';');
}

bool isAsciiDigit(char16_t unit)
{
    return unit >= u'0' && unit <= u'9';
}

int hexDigitValue(char16_t unit)
{
    if (isAsciiDigit(unit)) {
        return unit - u'0';
    }
    if (unit >= u'a' && unit <= u'f') {
        return unit - u'a' + 10;
    }
    if (unit >= u'A' && unit <= u'F') {
        return unit - u'A' + 10;
    }
    return -1;
}

// Numbers are read like a string scanner reads them: leading white space and line breaks are
// skipped, and the number must end exactly where the text does. The reference length limit keeps
// every text short enough that int cannot overflow.
qsizetype skipWhiteSpace(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) {
        ++i;
    }
    return i;
}

std::optional<int> readDecimal(QStringView text)
{
    qsizetype i = skipWhiteSpace(text);
    const bool negative = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        ++i;
    }
    const qsizetype digitsStart = i;
    int value = 0;
    for (; i < text.size() && isAsciiDigit(text[i].unicode()); ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
    }
    if (i == digitsStart || i != text.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<int> readHexadecimal(QStringView text)
{
    qsizetype i = skipWhiteSpace(text);
    if (text.size() - i >= 2 && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        i += 2;
    }
    const qsizetype digitsStart = i;
    int value = 0;
    for (; i < text.size() && hexDigitValue(text[i].unicode()) >= 0; ++i) {
        value = value * 16 + hexDigitValue(text[i].unicode());
    }
    if (i == digitsStart || i != text.size()) {
        return std::nullopt;
    }
    return value;
}

// `reference` runs from its ampersand to its semicolon and is 4 to 10 code units long.
std::optional<char16_t> resolveReference(QStringView reference)
{
    if (reference[1] != u'#') {
        return codeUnitForReference(reference);
    }
    const bool hexadecimal = reference[2] == u'x' || reference[2] == u'X';
    const std::optional<int> value = hexadecimal ? readHexadecimal(reference.sliced(3, reference.size() - 4))
                                                 : readDecimal(reference.sliced(2, reference.size() - 3));
    // 0xFFFF is a non-character and larger values need two code units: both stay as written.
    if (!value || *value < 1 || *value > 0xFFFE) {
        return std::nullopt;
    }
    return char16_t(*value);
}

} // namespace

QString stringByEscapingHTMLUsingTable(const QString &receiver, const EntityEntry *table, std::size_t size,
                                       bool escapingUnicode)
{
    const std::size_t rows = table ? size / sizeof(EntityEntry) : 0;
    const QStringView source(receiver);
    QString result;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < source.size(); ++i) {
        const char16_t unit = source[i].unicode();
        const EntityEntry *row = findRow(table, rows, unit);
        if (!row && !(escapingUnicode && unit > 127)) {
            continue;
        }
        if (result.isNull()) {
            result.reserve(source.size() + MaxReferenceLength); // at least one reference follows
        }
        result.append(source.sliced(runStart, i - runStart));
        if (row) {
            result.append(QStringView(row->reference.data(), qsizetype(row->reference.size())));
        } else {
            appendNumericReference(result, unit);
        }
        runStart = i + 1;
    }
    if (result.isNull()) {
        return receiver;
    }
    result.append(source.sliced(runStart));
    return result;
}

QString stringByEscapingForHTML(const QString &receiver)
{
    return stringByEscapingHTMLUsingTable(receiver, specialEntityTable, sizeof(specialEntityTable), false);
}

QString stringByEscapingForAsciiHTML(const QString &receiver)
{
    return stringByEscapingHTMLUsingTable(receiver, fullEntityTable, sizeof(fullEntityTable), true);
}

QString stringByEscapingUnicodeOnlyForHTML(const QString &receiver)
{
    return stringByEscapingHTMLUsingTable(receiver, nullptr, 0, true);
}

// References never span another ampersand and never overlap, so resolving them left to right
// gives the same result as replacing them from the end; each is read from the receiver only,
// so text a replacement produced is never read again.
QString stringByUnescapingFromHTML(const QString &receiver)
{
    const QStringView source(receiver);
    qsizetype ampersand = source.indexOf(u'&');
    QString result;
    qsizetype copied = 0;
    while (ampersand >= 0) {
        const qsizetype nextAmpersand = source.indexOf(u'&', ampersand + 1);
        const qsizetype limit =
            std::min(nextAmpersand < 0 ? source.size() : nextAmpersand, ampersand + MaxReferenceLength);
        const qsizetype semicolon = source.sliced(ampersand, limit - ampersand).indexOf(u';');
        if (semicolon >= MinReferenceLength - 1) {
            if (const auto unit = resolveReference(source.sliced(ampersand, semicolon + 1))) {
                if (result.isNull()) {
                    result.reserve(source.size());
                }
                result.append(source.sliced(copied, ampersand - copied));
                result.append(QChar(*unit));
                copied = ampersand + semicolon + 1;
            }
        }
        ampersand = nextAmpersand;
    }
    if (result.isNull()) {
        return receiver;
    }
    result.append(source.sliced(copied));
    return result;
}

bool canOpenTag(QStringView text, qsizetype lessThan)
{
    if (lessThan + 1 >= text.size()) {
        return false;
    }
    const QChar next = text.at(lessThan + 1);
    return !next.isSpace() && !(next >= u'0' && next <= u'9');
}

QString flattenHTML(const QString &receiver)
{
    // 32-bit positions halve the working memory; only strings beyond 2 GiB need 64 bits.
    if (receiver.size() < std::numeric_limits<qint32>::max()) {
        return TagStripper<qint32>::strip(receiver);
    }
    return TagStripper<qint64>::strip(receiver);
}
