#include "browser/FolderBrowser.h"

#include <cstring>

#include "browser/BrowserNames.h"
#include "browser/FolderListing.h"
#include "platform/NoCase.h"
#include "platform/files/WinFiles.h"
#include "platform/ui/Bitmaps.h"

namespace {

constexpr DWORD kEnumBlock = 16384;
const std::string kNetwork = "Network";

// A node's own copy of a network record: the record and its four texts.
NETRESOURCEA* CopyResource(const NETRESOURCEA& from);
void FreeResource(NETRESOURCEA* copy);

char* CopyString(const char* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

NETRESOURCEA* CopyResource(const NETRESOURCEA& from)
{
    auto* copy = new NETRESOURCEA(from);
    copy->lpLocalName = CopyString(from.lpLocalName);
    copy->lpRemoteName = CopyString(from.lpRemoteName);
    copy->lpComment = CopyString(from.lpComment);
    copy->lpProvider = CopyString(from.lpProvider);
    return copy;
}

void FreeResource(NETRESOURCEA* copy)
{
    if (copy == nullptr) {
        return;
    }
    delete[] copy->lpLocalName;
    delete[] copy->lpRemoteName;
    delete[] copy->lpComment;
    delete[] copy->lpProvider;
    delete copy;
}

NETRESOURCEA* ResourceOf(const CTreeCtrl& tree, HTREEITEM item)
{
    return reinterpret_cast<NETRESOURCEA*>(tree.GetItemData(item));
}


}  // namespace

FolderBrowser::FolderBrowser(CTreeCtrl& tree, CListBox& files, CStatic& pathLabel, std::string& currentPath,
                             bool& treeFilled)
    : tree_(tree), files_(files), pathLabel_(pathLabel), currentPath_(currentPath), treeFilled_(treeFilled)
{
    // The tree's levels and the file list in the browser's order of names.
    tree_.SetSortOrder(&browser::ShownBefore);
    files_.SetSortOrder(&browser::ShownBefore);
}

FolderBrowser::~FolderBrowser()
{
    // The records of a tree that was not taken apart at close go too.
    if (tree_.GetSafeHwnd() == nullptr) {
        return;
    }
    std::vector<HTREEITEM> open;
    for (HTREEITEM at = tree_.GetRootItem(); at != nullptr; at = tree_.GetNextSiblingItem(at)) {
        open.push_back(at);
    }
    while (!open.empty()) {
        HTREEITEM item = open.back();
        open.pop_back();
        FreeResource(ResourceOf(tree_, item));
        tree_.SetItemData(item, 0);
        for (HTREEITEM kid = tree_.GetChildItem(item); kid != nullptr; kid = tree_.GetNextSiblingItem(kid)) {
            open.push_back(kid);
        }
    }
}

bool FolderBrowser::GetPathComponent(const std::string& path, int index, std::string& component)
{
    std::size_t start = 0;
    for (int skipped = 0; skipped < index; ++skipped) {
        const std::size_t slash = path.find('\\', start);
        if (slash == std::string::npos) {
            return false;
        }
        start = slash + 1;
    }
    const std::size_t end = path.find('\\', start);
    component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return true;
}

HTREEITEM FolderBrowser::InsertTreeItem(HTREEITEM parent, LPARAM data, const std::string& text, int image,
                                        int selectedImage)
{
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    const std::string shown = browser::GetDisplayName(text);
    insert.item.pszText = const_cast<LPSTR>(shown.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage == -1 ? image : selectedImage;
    insert.item.lParam = data;
    insert.item.cChildren = 1;
    return tree_.InsertItem(insert);
}

bool FolderBrowser::FillTreeRoot(const std::string& openPath)
{
    images_ = std::make_unique<CImageList>();
    images_->Create(ui::kTreeImagesBitmap, ui::kTreeImageWidth, 1, RGB(255, 255, 255));
    tree_.SetImageList(images_.get());

    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root{letter, ':', '\\'};
        const UINT type = GetDriveTypeA(root.c_str());
        if (type >= DRIVE_REMOVABLE && type <= DRIVE_RAMDISK) {
            InsertTreeItem(TVI_ROOT, 0, std::string{letter, ':'}, static_cast<int>(type), static_cast<int>(type));
        }
    }
    network_ = InsertTreeItem(TVI_ROOT, 0, kNetwork, 7, 7);
    OpenPath(openPath);
    treeFilled_ = true;
    return true;
}

bool FolderBrowser::OpenPath(const std::string& path)
{
    // A component that matches nothing is skipped.
    HTREEITEM parent = TVI_ROOT;
    std::string component;
    for (int index = 0; GetPathComponent(path, index, component); ++index) {
        if (index == 0 && component.empty()) {
            component = kNetwork;
        }
        for (HTREEITEM child = tree_.GetChildItem(parent); child != nullptr; child = tree_.GetNextSiblingItem(child)) {
            if (platform::EqualNoCase(tree_.GetItemText(child), component)) {
                tree_.Expand(child, TVE_EXPAND);
                parent = child;
                break;
            }
        }
    }
    // Expanding selects a node only the first time: one opened before is
    // selected here.
    if (parent != TVI_ROOT && tree_.GetSelectedItem() != parent) {
        tree_.SelectItem(parent);
    }
    return parent != TVI_ROOT;
}

bool FolderBrowser::OnItemExpanding(HTREEITEM item, UINT action)
{
    if (action == TVE_EXPAND) {
        const std::string path = GetItemPath(item);
        if (tree_.GetChildItem(item) == nullptr) {
            if (!PopulateChildren(path, item) && item != network_ && ResourceOf(tree_, item) == nullptr) {
                CheckListable(path);
            }
            if (tree_.GetSelectedItem() != item) {
                tree_.SelectItem(item);
            }
        }
    }
    return false;
}

bool FolderBrowser::PopulateChildren(const std::string& path, HTREEITEM item)
{
    bool found = false;
    if (item == network_ || ResourceOf(tree_, item) != nullptr) {
        found = EnumerateNetwork(item);
    } else {
        // In the tree's own order, so that each lands at the end.
        for (const std::string& name : browser::ShownSubfolders(path)) {
            InsertTreeItem(item, 0, name, 1, 0);
            found = true;
        }
    }
    if (!found) {
        TVITEMA none{};
        none.mask = TVIF_CHILDREN;
        none.hItem = item;
        none.cChildren = 0;
        tree_.SetItem(none);
    }
    return found;
}

bool FolderBrowser::EnumerateNetwork(HTREEITEM item)
{
    NETRESOURCEA* container = ResourceOf(tree_, item);
    HANDLE enumeration = nullptr;
    if (WNetOpenEnumA(container != nullptr ? RESOURCE_GLOBALNET : RESOURCE_CONTEXT, RESOURCETYPE_ANY, 0, container,
                      &enumeration) != static_cast<DWORD>(NO_ERROR)) {
        return false;
    }
    bool found = false;
    // A block that cannot be had shows as a node without children.
    if (HGLOBAL block = allocateBlock(GMEM_ZEROINIT, kEnumBlock); block != nullptr) {
        DWORD count = 0xFFFFFFFFu;
        DWORD size = kEnumBlock;
        if (WNetEnumResourceA(enumeration, &count, block, &size) == static_cast<DWORD>(NO_ERROR) && count > 0) {
            found = true;
            const auto* records = static_cast<const NETRESOURCEA*>(block);
            for (DWORD i = 0; i < count; ++i) {
                const NETRESOURCEA& record = records[i];
                std::string name = record.lpRemoteName != nullptr ? record.lpRemoteName : "";
                if (name.empty() && record.lpComment != nullptr) {
                    name = record.lpComment;
                }
                for (int drop = 0; drop < 2 && !name.empty() && name.front() == '\\'; ++drop) {
                    name.erase(0, 1);
                }
                if (record.dwDisplayType == RESOURCEDISPLAYTYPE_SHARE) {
                    if (const std::size_t slash = name.find('\\'); slash != std::string::npos) {
                        name = name.substr(slash + 1);
                    }
                    InsertTreeItem(item, 0, name, 1, 0);
                } else {
                    InsertTreeItem(item, reinterpret_cast<LPARAM>(CopyResource(record)), name,
                                   static_cast<int>(record.dwDisplayType) + 7, -1);
                }
            }
        }
        GlobalFree(block);
    }
    WNetCloseEnum(enumeration);
    return found;
}

std::string FolderBrowser::GetItemPath(HTREEITEM item) const
{
    std::string path;
    for (HTREEITEM at = item; at != nullptr; at = tree_.GetParentItem(at)) {
        if (const NETRESOURCEA* resource = ResourceOf(tree_, at)) {
            path = std::string(resource->lpRemoteName != nullptr ? resource->lpRemoteName : "") + "\\" + path;
            break;
        }
        path = tree_.GetItemText(at) + "\\" + path;
    }
    return path;
}

void FolderBrowser::SetCurrentPath(const std::string& path) { currentPath_ = path; }

void FolderBrowser::OnSelChanged(HTREEITEM item)
{
    const bool noFolder = item == nullptr || item == network_ || ResourceOf(tree_, item) != nullptr;
    const std::string path = noFolder ? std::string() : GetItemPath(item);
    pathLabel_.SetWindowText(path);
    SetCurrentPath(path);
    files_.SetRedraw(false);
    files_.ResetContent();
    // A node without a folder lists nothing, rather than the process's folder.
    if (!path.empty()) {
        FillFileList(path);
        if (files_.GetCount() == 0) {
            CheckListable(path);
        }
    }
    files_.SetRedraw(true);
}

void FolderBrowser::CheckListable(const std::string& path)
{
    if (const std::string problem = browser::ListingProblem(path); !problem.empty() && onProblem) {
        onProblem(path, problem);
    }
}

void FolderBrowser::FillFileList(const std::string& path)
{
    // Added in the list's own order, each lands at the end: no line moves.
    for (const std::string& name : browser::ShownVoiceFiles(path)) {
        files_.AddString(name);
    }
}

void FolderBrowser::Dismantle()
{
    if (tree_.GetSafeHwnd() == nullptr || tree_.GetSelectedItem() == nullptr) {
        return;
    }
    HTREEITEM item = tree_.GetRootItem();
    while (item != nullptr) {
        if (HTREEITEM child = tree_.GetChildItem(item)) {
            item = child;
            continue;
        }
        HTREEITEM next = tree_.GetNextSiblingItem(item);
        HTREEITEM previous = tree_.GetPrevSiblingItem(item);
        HTREEITEM parent = tree_.GetParentItem(item);
        FreeResource(ResourceOf(tree_, item));
        tree_.DeleteItem(item);
        item = next != nullptr ? next : (previous != nullptr ? previous : parent);
    }
    network_ = nullptr;
}
