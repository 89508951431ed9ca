#include "browser/FolderBrowser.h"

FolderBrowser::FolderBrowser(CTreeCtrl& tree, CListBox& files, CStatic& pathLabel, std::string& currentPath,
                             bool& treeFilled)
    : tree_(tree), files_(files), pathLabel_(pathLabel), currentPath_(currentPath), treeFilled_(treeFilled)
{
}

FolderBrowser::~FolderBrowser() = default;

bool FolderBrowser::FillTreeRoot(const std::string&)
{
    treeFilled_ = true;
    return true;
}

bool FolderBrowser::OnItemExpanding(HTREEITEM, UINT) { return false; }
void FolderBrowser::OnSelChanged(HTREEITEM) {}
void FolderBrowser::FillFileList(const std::string&) {}
void FolderBrowser::Dismantle() {}
std::string FolderBrowser::GetItemPath(HTREEITEM) const { return {}; }
bool FolderBrowser::PopulateChildren(const std::string&, HTREEITEM) { return false; }
bool FolderBrowser::GetPathComponent(const std::string&, int, std::string&) { return false; }
HTREEITEM FolderBrowser::InsertTreeItem(HTREEITEM, LPARAM, const std::string&, int, int) { return nullptr; }
bool FolderBrowser::EnumerateNetwork(HTREEITEM) { return false; }
void FolderBrowser::SetCurrentPath(const std::string& path) { currentPath_ = path; }
