#pragma once

#include <string>

#include "browser/BrowserNames.h"
#include "browser/FolderBrowser.h"
#include "platform/ui/TreeCtrl.h"

// The browser's item of a folder given by its path as the browser names it
// (C:\Music\), each folder on the way expanded as a click would; null when
// one is missing. Names are matched as the browser compares them.
inline HTREEITEM ItemOfPath(CTreeCtrl& tree, const std::string& path)
{
    HTREEITEM at = TVI_ROOT;
    std::string name;
    for (int i = 0; FolderBrowser::GetPathComponent(path, i, name) && !name.empty(); ++i) {
        if (at != TVI_ROOT) {
            tree.Expand(at, TVE_EXPAND);
        }
        HTREEITEM next = tree.GetChildItem(at);
        while (next != nullptr && browser::CompareIgnoringCase(tree.GetItemText(next), name) != 0) {
            next = tree.GetNextSiblingItem(next);
        }
        if (next == nullptr) {
            return nullptr;
        }
        at = next;
    }
    return at == TVI_ROOT ? nullptr : at;
}
