// Feeds arbitrary text to the HTML helpers in both directions: nothing may crash, hang or read
// out of bounds, and the results keep the properties their callers rely on.

#include "text/StringHTML.h"
#include "text/TagStripper.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The first byte picks how the rest becomes text: as raw UTF-16 code units it reaches lone
// surrogates, NUL and U+FFFF; mapped onto markup characters it makes tags and references likely.
QString textFrom(const std::uint8_t *data, std::size_t size)
{
    static const QString markup =
        QStringLiteral("<>&;#xX0123456789abfAB lt gt amp/=\"\n\u00E9") + QChar(0xD83D) + QChar(0xDE00) + QChar(0);
    QString text;
    if (data[0] & 1) {
        for (std::size_t i = 1; i + 1 < size; i += 2) {
            text += QChar(char16_t(data[i] | data[i + 1] << 8));
        }
    } else {
        for (std::size_t i = 1; i < size; ++i) {
            text += markup[data[i] % markup.size()];
        }
    }
    return text;
}

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const QString text = textFrom(data, size);

    const QString flat = flattenHTML(text);
    require(flat.size() <= text.size());
    require(TagStripper<qint64>::strip(text) == flat);
    require(stringByUnescapingFromHTML(text).size() <= text.size());

    // Escaping leaves no ampersand of its own, so unescaping gives the text back; only U+FFFF
    // comes back as its numeric reference, which unescaping leaves as written.
    const QString ascii = stringByEscapingForAsciiHTML(text);
    for (QChar unit : ascii) {
        require(unit.unicode() < 128);
    }
    require(text.contains(QChar(0xFFFF)) || stringByUnescapingFromHTML(ascii) == text);
    require(stringByUnescapingFromHTML(stringByEscapingForHTML(text)) == text);
    const QString numeric = stringByEscapingUnicodeOnlyForHTML(text);
    require(numeric.size() >= text.size());
    return 0;
}
