#pragma once

#include <QString>

#include "store/Record.h"

#include <functional>
#include <memory>
#include <vector>

struct Menu;

// One item of the status menu as the records build it: a plain tree, testable without
// widgets, which the controller turns into QMenu/QAction. Titles are kept as the user
// should read them; whoever shows them escapes "&" for Qt's mnemonics.
struct MenuItem
{
    QString title;
    QString action;           // the operation the item calls, e.g. "openFeed"
    Record *target = nullptr; // the record that receives the action, if any
    std::function<void()> perform;
    std::unique_ptr<Menu> submenu;
    // Builds the submenu the first time it is needed instead: a feed's history of a hundred
    // entries is rebuilt with every menu, but seldom opened.
    std::function<std::unique_ptr<Menu>()> fillSubmenu;

    // A line between groups of items; it has no title and does nothing.
    bool isSeparator = false;

    static MenuItem separator();
    bool hasSubmenu() const { return submenu || fillSubmenu; }
    // The submenu, built now if it was left to be filled later; null when there is none.
    Menu *ensureSubmenu();
};

struct Menu
{
    QString title;
    std::vector<MenuItem> items;
};

// An action on a record for MenuItem::perform. The record is looked up when the item is
// chosen, not when the menu is built: a menu may outlive its records, and once the record
// is freed the item does nothing.
template<class T> std::function<void()> performOnRecord(const T *record, void (T::*action)() const)
{
    return [record, lifetime = record->lifetime(), action] {
        if (!lifetime.expired()) {
            (record->*action)();
        }
    };
}
