#pragma once

#include <optional>

#include "model/MenuItem.h"
#include "store/Record.h"

class RSSItem;

// A link found in an entry's text: an "rdar://" issue reference with the rest of its
// line, or a plain "http://" link.
class SubLink : public Record
{
public:
    explicit SubLink(ObjectContext *context);

    static const EntityDescription &entityDescription();

    std::optional<QString> link() const { return m_link; }
    void setLink(const std::optional<QString> &link);
    std::optional<QString> text() const { return m_text; }
    void setText(const std::optional<QString> &text);
    RSSItem *owner() const { return m_owner; }

    MenuItem subLinkMenuItem();
    void openLink() const;

private:
    static void openAddress(const QString &link);

    friend class RSSItem;

    std::optional<QString> m_link;
    std::optional<QString> m_text;
    RSSItem *m_owner = nullptr;
};
