#include "text/TagStripper.h"

#include <QRandomGenerator>
#include <QStringView>

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>
#include <vector>

#include "text/StringHTML.h"

namespace {

// Texts are compared by length and a polynomial hash modulo the prime 2^61 - 1. The base is
// drawn once per process, so nobody can prepare two tags that compare equal.
constexpr quint64 Modulus = (quint64(1) << 61) - 1;
__extension__ typedef unsigned __int128 WideProduct;

quint64 multiplyModulo(quint64 a, quint64 b)
{
    const WideProduct product = WideProduct(a) * b;
    const quint64 folded = quint64(product & Modulus) + quint64(product >> 61);
    return folded >= Modulus ? folded - Modulus : folded;
}

quint64 addModulo(quint64 a, quint64 b)
{
    const quint64 sum = a + b;
    return sum >= Modulus ? sum - Modulus : sum;
}

const quint64 hashBase = 1024 + QRandomGenerator::global()->generate64() % (Modulus - 2048);

// Most texts between two specials are short; their base powers come from this table.
const auto shortPowers = [] {
    std::array<quint64, 256> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i) {
        powers[i] = multiplyModulo(powers[i - 1], hashBase);
    }
    return powers;
}();

quint64 basePower(qint64 exponent)
{
    if (exponent < qint64(shortPowers.size())) {
        return shortPowers[exponent];
    }
    quint64 power = 1;
    for (quint64 square = hashBase; exponent != 0; exponent >>= 1, square = multiplyModulo(square, square)) {
        if (exponent & 1) {
            power = multiplyModulo(power, square);
        }
    }
    return power;
}

// Identifies a text; concatenating two texts concatenates their fingerprints.
template<typename Index> struct Fingerprint
{
    quint64 hash = 0;
    quint64 power = 1; // hashBase to the power of length
    Index length = 0;

    static Fingerprint of(QStringView text)
    {
        Fingerprint print;
        for (QChar unit : text) {
            print.hash = addModulo(multiplyModulo(print.hash, hashBase), quint64(unit.unicode()) + 1);
        }
        print.length = Index(text.size());
        print.power = basePower(text.size());
        return print;
    }
    void append(const Fingerprint &tail)
    {
        hash = addModulo(multiplyModulo(hash, tail.power), tail.hash);
        power = multiplyModulo(power, tail.power);
        length += tail.length;
    }
};

} // namespace

// The string is seen as its "<" and ">" characters ("specials") with the text between them.
// What is left of the string at any time is the source minus removed occurrences; an occurrence
// of a tag text is a run of alive "<" specials directly followed by the alive ">" that ends it,
// so the candidates for a ">" are the runs of "<" right in front of it. Removing an occurrence
// joins what precedes it to what follows, which can only give new candidates to the next ">".
template<typename Index> class TagStripper<Index>::Run
{
public:
    QString strip(const QString &source);

private:
    using Print = Fingerprint<Index>;
    static constexpr Index None = -1;

    // Texts from a "<" of a tag text to its end, with the tag's number or None for a mere suffix.
    struct Suffix
    {
        quint64 hash = 0;
        Index length = 0; // 0 marks a free slot: every suffix ends with ">"
        Index tag = None;
    };

    bool isOpen(Index special) const { return m_source[m_position[special]] == u'<'; }
    bool isAlive(Index special) const { return m_alivePrevious[special] == special; }
    Print &openText(Index special) { return m_openText[m_slot[special]]; }
    Print gapText(Index special) const;
    Print textAfter(Index special) const;
    Index alivePrevious(Index special);
    Index aliveNextClose(Index close);
    Suffix &suffixSlot(const Print &text);

    void findSpecials();
    void findTagTexts();
    Index indexTagText(Index first, Index end);
    void walk(Index close, Index earliestStep);
    void removeOccurrence(Index close);
    void removeInOrder();
    QString remainder(const QString &source) const;

    QStringView m_source;

    // Per special, in source order.
    std::vector<Index> m_position;
    std::vector<Index> m_slot;          // index among the specials of its kind
    std::vector<Index> m_alivePrevious; // union-find: the closest alive special at or before

    // Per "<".
    std::vector<Print> m_openText; // "<" and the alive text after it up to the next alive special
    std::vector<Index> m_blockEnd; // the ">" of the removed occurrence that started here

    // Per ">".
    std::vector<Index> m_closeSpecial;
    std::vector<Index> m_aliveNextClose; // union-find: the closest alive ">" at or after
    std::vector<Print> m_walk;           // the text from m_walkFrom up to this ">"
    std::vector<Index> m_walkFrom;
    std::vector<bool> m_walkOpen; // whether a longer text before this ">" can still be a tag text
    std::vector<Index> m_dueStep; // the step that removes the occurrence ending here
    std::vector<Index> m_dueStart;

    // Open addressing, at most half full: a walk back from a ">" stops at the first text that
    // is not in here.
    std::vector<Suffix> m_suffixes;
    Index m_tagCount = 0;
    std::vector<Index> m_tagOfStep;
    std::vector<Index> m_stepsOfTagStart; // the steps of tag t: m_stepsOfTag[start[t]..start[t+1])
    std::vector<Index> m_stepsOfTag;

    std::vector<Index> m_firstDue;              // per step, the head of its list in m_due
    std::vector<std::pair<Index, Index>> m_due; // (">", next entry)
    std::vector<Index> m_joined;                // ">" that gained text in the current step
    bool m_removedAny = false;
};

template<typename Index> QString TagStripper<Index>::strip(const QString &source)
{
    if (!source.contains(u'<')) {
        return source;
    }
    // Feed items are stripped one after another; keeping the working storage between calls
    // spares a dozen allocations per item.
    thread_local Run run;
    QString stripped = run.strip(source);
    // Storage grown for a huge item is not kept for the rest of the program's life.
    constexpr qsizetype KeptLength = 1 << 16;
    if (source.size() > KeptLength) {
        run = Run();
    }
    return stripped;
}

template<typename Index> QString TagStripper<Index>::Run::strip(const QString &source)
{
    m_source = source;
    findSpecials();
    findTagTexts();
    const Print close = Print::of(u">");
    m_walk.assign(m_closeSpecial.size(), close);
    m_walkFrom = m_closeSpecial;
    m_walkOpen.assign(m_closeSpecial.size(), true);
    m_dueStep.assign(m_closeSpecial.size(), None);
    m_dueStart.assign(m_closeSpecial.size(), None);
    m_firstDue.assign(m_tagOfStep.size(), None);
    m_due.clear();
    m_removedAny = false;
    for (Index each = 0; each < Index(m_closeSpecial.size()); ++each) {
        walk(each, 0);
    }
    removeInOrder();
    return remainder(source);
}

// A "<" that opens no tag (see canOpenTag) is text, part of the text between specials. It can
// never start an occurrence of a tag text either: every tag text starts with a "<" that opens one,
// and no removal gives such a "<" another character after it.

template<typename Index> void TagStripper<Index>::Run::findSpecials()
{
    m_position.clear();
    m_slot.clear();
    m_closeSpecial.clear();
    const char16_t *units = m_source.utf16();
    Index openCount = 0;
    for (Index i = 0; i < Index(m_source.size()); ++i) {
        if (units[i] == u'<' && canOpenTag(m_source, i)) {
            m_position.push_back(i);
            m_slot.push_back(openCount++);
        } else if (units[i] == u'>') {
            m_position.push_back(i);
            m_slot.push_back(Index(m_closeSpecial.size()));
            m_closeSpecial.push_back(Index(m_position.size() - 1));
        }
    }
    m_alivePrevious.resize(m_position.size());
    std::iota(m_alivePrevious.begin(), m_alivePrevious.end(), Index(0));
    m_aliveNextClose.resize(m_closeSpecial.size() + 1);
    std::iota(m_aliveNextClose.begin(), m_aliveNextClose.end(), Index(0));
    m_blockEnd.assign(openCount, None);
    m_openText.clear();
    const Print openPrint = Print::of(u"<");
    for (Index special = 0; special < Index(m_position.size()); ++special) {
        if (isOpen(special)) {
            Print text = openPrint;
            text.append(gapText(special));
            m_openText.push_back(text);
        }
    }
}

// The scan: from the first "<" that opens a tag up to the next ">" is a tag text; the next one
// starts at the first such "<" after that ">". A "<" without a later ">" gives a last tag text with ">" appended.
// After a last tag text that had its ">", the scan passes once more without finding a "<" and
// so removes that tag text a second time.
template<typename Index> void TagStripper<Index>::Run::findTagTexts()
{
    std::size_t tableSize = 16;
    while (tableSize < 2 * m_openText.size()) {
        tableSize *= 2;
    }
    m_suffixes.assign(tableSize, Suffix());
    m_tagCount = 0;
    m_tagOfStep.clear();
    const Index specialCount = Index(m_position.size());
    bool lastHadClose = false;
    for (Index special = 0; special < specialCount; ++special) {
        if (!isOpen(special)) {
            continue;
        }
        const Index first = special;
        while (special < specialCount && isOpen(special)) {
            ++special;
        }
        m_tagOfStep.push_back(indexTagText(first, special));
        lastHadClose = special < specialCount;
    }
    if (lastHadClose) {
        m_tagOfStep.push_back(m_tagOfStep.back());
    }

    // Each tag's steps in ascending order, laid out one tag after the other.
    m_stepsOfTagStart.assign(m_tagCount + 1, 0);
    for (Index tag : m_tagOfStep) {
        ++m_stepsOfTagStart[tag + 1];
    }
    std::partial_sum(m_stepsOfTagStart.begin(), m_stepsOfTagStart.end(), m_stepsOfTagStart.begin());
    m_stepsOfTag.resize(m_tagOfStep.size());
    // Filling moves each tag's start to its end, which is where the next tag starts.
    for (Index step = 0; step < Index(m_tagOfStep.size()); ++step) {
        m_stepsOfTag[m_stepsOfTagStart[m_tagOfStep[step]]++] = step;
    }
    std::copy_backward(m_stepsOfTagStart.begin(), m_stepsOfTagStart.end() - 1, m_stepsOfTagStart.end());
    m_stepsOfTagStart[0] = 0;
}

// Records the tag text made of the "<" specials first..end-1 and a ">", with all its suffixes
// that start at a "<"; returns its tag number.
template<typename Index> Index TagStripper<Index>::Run::indexTagText(Index first, Index end)
{
    Print text = Print::of(u">");
    for (Index special = end - 1;; --special) {
        Print longer = openText(special);
        longer.append(text);
        text = longer;
        Suffix &slot = suffixSlot(text);
        slot.hash = text.hash;
        slot.length = text.length;
        if (special == first) {
            if (slot.tag == None) {
                slot.tag = m_tagCount++;
            }
            return slot.tag;
        }
    }
}

template<typename Index>
typename TagStripper<Index>::Run::Suffix &TagStripper<Index>::Run::suffixSlot(const Print &text)
{
    const std::size_t mask = m_suffixes.size() - 1;
    std::size_t slot = std::size_t(text.hash ^ (quint64(text.length) * 0x9E3779B97F4A7C15ULL)) & mask;
    while (m_suffixes[slot].length != 0
           && (m_suffixes[slot].hash != text.hash || m_suffixes[slot].length != text.length)) {
        slot = (slot + 1) & mask;
    }
    return m_suffixes[slot];
}

template<typename Index> Index TagStripper<Index>::Run::alivePrevious(Index special)
{
    Index root = special;
    while (root != None && m_alivePrevious[root] != root) {
        root = m_alivePrevious[root];
    }
    while (special != root) {
        const Index next = m_alivePrevious[special];
        m_alivePrevious[special] = root;
        special = next;
    }
    return root;
}

template<typename Index> Index TagStripper<Index>::Run::aliveNextClose(Index close)
{
    Index root = close;
    while (m_aliveNextClose[root] != root) {
        root = m_aliveNextClose[root];
    }
    while (close != root) {
        const Index next = m_aliveNextClose[close];
        m_aliveNextClose[close] = root;
        close = next;
    }
    return root == Index(m_closeSpecial.size()) ? None : root;
}

// The source text between a special and the next special.
template<typename Index> typename TagStripper<Index>::Run::Print TagStripper<Index>::Run::gapText(Index special) const
{
    const Index first = m_position[special] + 1;
    const Index end = special + 1 < Index(m_position.size()) ? m_position[special + 1] : Index(m_source.size());
    return Print::of(m_source.sliced(first, end - first));
}

// The alive text after an alive special up to the next alive one. Removed occurrences between
// them are skipped whole: the first dead special after an alive one starts the outermost
// removed occurrence there.
template<typename Index> typename TagStripper<Index>::Run::Print TagStripper<Index>::Run::textAfter(Index special) const
{
    Print text = gapText(special);
    for (Index next = special + 1; next < Index(m_position.size()) && !isAlive(next);) {
        const Index end = m_blockEnd[m_slot[next]];
        text.append(gapText(end));
        next = end + 1;
    }
    return text;
}

// Extends the walk back from a ">" over the alive "<" specials in front of it, as far as the
// text could still be (the end of) a tag text, and schedules the ">" for the earliest step at or
// after earliestStep whose tag text ends there. The walk resumes where it stopped, so text a
// ">" already had is never walked again.
template<typename Index> void TagStripper<Index>::Run::walk(Index close, Index earliestStep)
{
    if (!m_walkOpen[close]) {
        return;
    }
    const Index scheduled = m_dueStep[close];
    Print text = m_walk[close];
    Index from = m_walkFrom[close];
    for (Index open = alivePrevious(from - 1); open != None && isOpen(open); open = alivePrevious(open - 1)) {
        Print longer = openText(open);
        longer.append(text);
        const Suffix &suffix = suffixSlot(longer);
        if (suffix.length == 0) {
            m_walkOpen[close] = false;
            break;
        }
        text = longer;
        from = open;
        if (suffix.tag == None) {
            continue;
        }
        const auto first = m_stepsOfTag.begin() + m_stepsOfTagStart[suffix.tag];
        const auto last = m_stepsOfTag.begin() + m_stepsOfTagStart[suffix.tag + 1];
        // Before any removal the first step is the one; a tag met often has many steps.
        const auto step = *first >= earliestStep ? first : std::lower_bound(first, last, earliestStep);
        if (step != last && (m_dueStep[close] == None || *step < m_dueStep[close])) {
            m_dueStep[close] = *step;
            m_dueStart[close] = open;
        }
    }
    m_walk[close] = text;
    m_walkFrom[close] = from;
    const Index due = m_dueStep[close];
    if (due != scheduled) {
        m_due.emplace_back(close, m_firstDue[due]);
        m_firstDue[due] = Index(m_due.size() - 1);
    }
}

template<typename Index> void TagStripper<Index>::Run::removeOccurrence(Index close)
{
    const Index end = m_closeSpecial[close];
    const Index start = m_dueStart[close];
    const Index before = alivePrevious(start - 1);
    // Only a "<" left in front gives the next ">" texts it did not have; text without one
    // cannot start a tag text.
    if (before != None && isOpen(before)) {
        openText(before).append(textAfter(end));
        const Index next = aliveNextClose(close + 1);
        if (next != None) {
            m_joined.push_back(next);
        }
    }
    for (Index special = end; special != None && special >= start; special = alivePrevious(special - 1)) {
        m_alivePrevious[special] = special - 1;
    }
    m_aliveNextClose[close] = close + 1;
    m_blockEnd[m_slot[start]] = end;
    m_removedAny = true;
}

// Step by step, every occurrence of the step's tag text is removed at once; text joined by
// those removals is matched from the next step on, as a whole-string replacement would do.
template<typename Index> void TagStripper<Index>::Run::removeInOrder()
{
    for (Index step = 0; step < Index(m_tagOfStep.size()); ++step) {
        for (Index entry = m_firstDue[step]; entry != None; entry = m_due[entry].second) {
            const Index close = m_due[entry].first;
            if (m_dueStep[close] == step && isAlive(m_closeSpecial[close])) {
                removeOccurrence(close);
            }
        }
        for (Index close : m_joined) {
            if (isAlive(m_closeSpecial[close])) {
                walk(close, step + 1);
            }
        }
        m_joined.clear();
    }
}

// What is left: the source without the outermost removed occurrences, found as textAfter finds them.
template<typename Index> QString TagStripper<Index>::Run::remainder(const QString &source) const
{
    if (!m_removedAny) {
        return source;
    }
    const auto forEachKept = [this](auto &&keep) {
        Index cursor = 0;
        for (Index special = 0; special < Index(m_position.size());) {
            if (isAlive(special)) {
                ++special;
                continue;
            }
            const Index end = m_blockEnd[m_slot[special]];
            keep(m_source.sliced(cursor, m_position[special] - cursor));
            cursor = m_position[end] + 1;
            special = end + 1;
        }
        keep(m_source.sliced(cursor));
    };
    qsizetype keptLength = 0;
    forEachKept([&keptLength](QStringView piece) { keptLength += piece.size(); });
    QString kept;
    kept.reserve(keptLength);
    forEachKept([&kept](QStringView piece) { kept.append(piece); });
    return kept;
}

template class TagStripper<qint32>;
template class TagStripper<qint64>;
