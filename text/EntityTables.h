#pragma once

// Character entity references as the HTML text helpers read and write them.

#include <QStringView>

#include <cstddef>
#include <optional>
#include <string_view>

// One character entity reference and the UTF-16 code unit it stands for.
struct EntityEntry
{
    std::u16string_view reference; // complete, ampersand to semicolon: u"&amp;"
    char16_t codeUnit;
};

// Every character entity of HTML 4.01 (Latin-1, symbols and Greek, special) plus "&apos;",
// sorted strictly ascending by code unit so escaping can binary-search it.
inline constexpr std::size_t fullEntityCount = 253;
extern const EntityEntry fullEntityTable[fullEntityCount];

// The HTML 4.01 special set plus "&apos;": the characters plain HTML escaping must replace.
inline constexpr std::size_t specialEntityCount = 33;
extern const EntityEntry specialEntityTable[specialEntityCount];

// The code unit of a complete reference such as "&eacute;" (case-sensitive), if it is one
// of fullEntityTable's.
std::optional<char16_t> codeUnitForReference(QStringView reference);
