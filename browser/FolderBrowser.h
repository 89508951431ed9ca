#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/files/WinFiles.h"
#include "platform/ui/ListBox.h"
#include "platform/ui/TreeCtrl.h"

// The dialog's file browser: the tree of drives, the network and folders
// (control 1010), the path label (1021) and the voice file list (1022). It
// works on the dialog's controls and on the dialog's current folder path and
// tree-filled flag, which it is given by reference; everything runs on the
// dialog's thread, inside the dialog's handlers.
class FolderBrowser {
public:
    FolderBrowser(CTreeCtrl& tree, CListBox& files, CStatic& pathLabel, std::string& currentPath, bool& treeFilled);
    ~FolderBrowser();
    FolderBrowser(const FolderBrowser&) = delete;
    FolderBrowser& operator=(const FolderBrowser&) = delete;

    // Fills the root (drives and the Network node) and re-opens `openPath`.
    bool FillTreeRoot(const std::string& openPath);
    // Opens the filled tree down to `path` (a folder path ending in '\')
    // and selects the deepest node found; false when not even its drive is.
    bool OpenPath(const std::string& path);
    // TVN_ITEMEXPANDING: reads a node's children at its first expansion.
    // Always allows (false).
    bool OnItemExpanding(HTREEITEM item, UINT action);
    // TVN_SELCHANGED: the selected node's folder becomes the current one.
    void OnSelChanged(HTREEITEM item);
    // Adds the voice files of `path` to the file list.
    void FillFileList(const std::string& path);
    // Close: when a node is selected, the tree is taken apart leaves first
    // and every network resource copy is freed.
    void Dismantle();

    std::string GetItemPath(HTREEITEM item) const;
    bool PopulateChildren(const std::string& path, HTREEITEM item);
    HTREEITEM NetworkNode() const { return network_; }

    // A folder that shows nothing because it cannot be listed: its path and
    // why ("cannot be read: permission denied"), for the dialog to say.
    std::function<void(const std::string& path, const std::string& problem)> onProblem;
    const CImageList& Images() const { return *images_; }
    // Where the network enumeration takes its block from; it gives the block
    // back to GlobalFree. A test puts a source here that runs out, which
    // GlobalAlloc itself cannot be made to do.
    std::function<HGLOBAL(UINT flags, SIZE_T bytes)> allocateBlock = GlobalAlloc;

    // Splits at backslashes: component `index`, true when there is one.
    static bool GetPathComponent(const std::string& path, int index, std::string& component);

private:
    HTREEITEM InsertTreeItem(HTREEITEM parent, LPARAM data, const std::string& text, int image, int selectedImage);
    bool EnumerateNetwork(HTREEITEM item);
    void SetCurrentPath(const std::string& path);
    // Says so when `path` cannot be listed; called only when it showed nothing.
    void CheckListable(const std::string& path);

    CTreeCtrl& tree_;
    CListBox& files_;
    CStatic& pathLabel_;
    std::string& currentPath_;
    bool& treeFilled_;
    std::unique_ptr<CImageList> images_;
    HTREEITEM network_ = nullptr;
};
