#pragma once

// Removes HTML tag texts the way flattenHTML defines them, in close to linear time.

#include <QString>
#include <QtGlobal>

// A forward scan names the tag texts ("<" up to the next ">", plus ">") in order, and each one
// in turn is removed everywhere in the string, including where earlier removals joined pieces
// into it. Done literally that is one pass over the whole string per tag; a hostile feed item
// with tens of thousands of distinct tags would freeze the program. Since a tag text holds one
// ">", at its end, every occurrence is named by the ">" that ends it: this class keeps, for each
// ">", the earliest tag text that ends there and removes occurrences in that order.
// `Index` is the integer type for positions; it must hold the source length plus one.
template<typename Index> class TagStripper
{
public:
    // The source without its tags; the source itself when nothing was removed.
    static QString strip(const QString &source);

private:
    class Run;
};

extern template class TagStripper<qint32>;
extern template class TagStripper<qint64>;
