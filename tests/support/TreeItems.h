#pragma once

#include <string>
#include <vector>

#include "platform/ui/TreeCtrl.h"

// The tree's items below `parent` by their text, in the order shown.
inline std::vector<std::string> Children(CTreeCtrl& tree, HTREEITEM parent)
{
    std::vector<std::string> names;
    for (HTREEITEM at = tree.GetChildItem(parent); at != nullptr; at = tree.GetNextSiblingItem(at)) {
        names.push_back(tree.GetItemText(at));
    }
    return names;
}

// The first item below `parent` whose text is `name`, or nullptr.
inline HTREEITEM Child(CTreeCtrl& tree, HTREEITEM parent, const std::string& name)
{
    for (HTREEITEM at = tree.GetChildItem(parent); at != nullptr; at = tree.GetNextSiblingItem(at)) {
        if (tree.GetItemText(at) == name) {
            return at;
        }
    }
    return nullptr;
}
