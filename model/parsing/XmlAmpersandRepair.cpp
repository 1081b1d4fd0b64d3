#include "model/parsing/XmlAmpersandRepair.h"

#include <QByteArrayView>

namespace {

bool isNameByte(char c, bool first)
{
    const auto byte = static_cast<unsigned char>(c);
    const bool letter = (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
    const bool digit = byte >= '0' && byte <= '9';
    return letter || byte == '_' || byte == ':' || byte >= 0x80 || (!first && (digit || byte == '-' || byte == '.'));
}

bool isHexDigit(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'f');
}

// Whether text (just after an '&') reads as "name;", "#digits;" or "#xhex;".
bool startsReference(QByteArrayView text)
{
    qsizetype i = 0;
    if (text.startsWith('#')) {
        const bool hex = text.size() > 1 && (text[1] == 'x' || text[1] == 'X');
        i = hex ? 2 : 1;
        const qsizetype first = i;
        while (i < text.size() && (hex ? isHexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9'))) {
            ++i;
        }
        return i > first && i < text.size() && text[i] == ';';
    }
    while (i < text.size() && isNameByte(text[i], i == 0)) {
        ++i;
    }
    return i > 0 && i < text.size() && text[i] == ';';
}

bool isAsciiCompatible(const QByteArray &data)
{
    // A zero byte among the first four is UTF-16 or UTF-32 text; their marks say the same,
    // and an escape byte means a stateful ISO-2022 encoding.
    return !data.left(4).contains('\0') && !data.startsWith("\xfe\xff") && !data.startsWith("\xff\xfe")
        && !data.contains('\x1b');
}

// Markup whose text is not parsed for references, with the text that ends it.
struct Verbatim
{
    const char *start;
    const char *end;
};
constexpr Verbatim kVerbatim[] = {{"<![CDATA[", "]]>"}, {"<!--", "-->"}, {"<?", "?>"}};

} // namespace

QByteArray escapeBareAmpersands(const QByteArray &data)
{
    if (!data.contains('&') || !isAsciiCompatible(data)) {
        return data;
    }
    const QByteArrayView view(data);
    QByteArray repaired;
    qsizetype copied = 0; // data before this index is in repaired already
    qsizetype i = 0;
    while (i < view.size()) {
        const char c = view[i];
        if (c == '<') {
            for (const Verbatim &verbatim : kVerbatim) {
                if (view.sliced(i).startsWith(verbatim.start)) {
                    const qsizetype end = view.indexOf(QByteArrayView(verbatim.end), i + qstrlen(verbatim.start));
                    i = end < 0 ? view.size() : end;
                    break;
                }
            }
        } else if (c == '&' && !startsReference(view.sliced(i + 1))) {
            if (repaired.isEmpty()) {
                repaired.reserve(data.size() + 64);
            }
            repaired.append(view.sliced(copied, i + 1 - copied)).append("amp;");
            copied = i + 1;
        }
        ++i;
    }
    if (copied == 0) {
        return data;
    }
    return repaired.append(view.sliced(copied));
}
