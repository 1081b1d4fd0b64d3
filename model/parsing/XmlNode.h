#pragma once

#include <QLatin1StringView>
#include <QString>

#include <cstddef>
#include <optional>

// A non-owning handle on one node of an XmlDocument; valid while that document lives.
// A default-constructed handle is null, and every navigation off the tree gives a null handle.
class XmlNode
{
public:
    class ChildIterator;
    class Children;

    XmlNode() = default;

    bool isNull() const { return m_node == nullptr; }
    bool isElement() const;

    // The qualified name exactly as written ("dc:date"); empty for anything but an element.
    QString name() const;
    // Compares the qualified name without allocating; a node that is not an element matches nothing.
    bool hasName(QLatin1StringView qualifiedName) const;
    bool hasName(const char *qualifiedName) const { return hasName(QLatin1StringView(qualifiedName)); }

    // All child nodes (elements, text, comments, ...) in document order.
    XmlNode firstChild() const;
    XmlNode lastChild() const;
    XmlNode nextSibling() const;
    XmlNode previousSibling() const;
    Children children() const;

    // For an element: the text of all its descendants (character data sections included,
    // white space kept). For text, comments and processing instructions: their own text.
    QString stringValue() const;

    // The value of the attribute with this qualified name, or no value when the element has none.
    std::optional<QString> attribute(QLatin1StringView qualifiedName) const;
    std::optional<QString> attribute(const char *qualifiedName) const
    {
        return attribute(QLatin1StringView(qualifiedName));
    }

    friend bool operator==(XmlNode a, XmlNode b) { return a.m_node == b.m_node; }
    friend bool operator!=(XmlNode a, XmlNode b) { return a.m_node != b.m_node; }

private:
    friend class XmlDocument;
    // The libxml2 node, kept untyped so that no libxml2 header leaks into ours.
    explicit XmlNode(void *node)
        : m_node(node)
    {
    }

    void *m_node = nullptr;
};

// Forward iterator over the children of one node, for range-based for loops.
class XmlNode::ChildIterator
{
public:
    using value_type = XmlNode;
    using difference_type = std::ptrdiff_t;

    ChildIterator() = default;
    explicit ChildIterator(XmlNode node)
        : m_node(node)
    {
    }

    XmlNode operator*() const { return m_node; }
    ChildIterator &operator++()
    {
        m_node = m_node.nextSibling();
        return *this;
    }
    ChildIterator operator++(int)
    {
        ChildIterator before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(ChildIterator a, ChildIterator b) { return a.m_node == b.m_node; }

private:
    XmlNode m_node;
};

class XmlNode::Children
{
public:
    explicit Children(XmlNode first)
        : m_first(first)
    {
    }
    ChildIterator begin() const { return ChildIterator(m_first); }
    ChildIterator end() const { return ChildIterator(); }

private:
    XmlNode m_first;
};

inline XmlNode::Children XmlNode::children() const
{
    return Children(firstChild());
}
