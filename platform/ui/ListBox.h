#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Names.h"

#ifndef _WIN32  // on Windows these are the system's own
constexpr DWORD LBS_NOTIFY = 0x0001;
constexpr DWORD LBS_SORT = 0x0002;
constexpr DWORD LBS_MULTIPLESEL = 0x0008;
constexpr DWORD LBS_USETABSTOPS = 0x0080;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;
constexpr DWORD LBS_EXTENDEDSEL = 0x0800;
constexpr int LB_ERR = -1;
#endif


// A list box. Sorted or not from its creation (LBS_SORT): a sorted list
// places each new line by CompareNoCase of the whole text. Notifications go
// to the control object, so a window re-created under it keeps them.
class CListBox : public CWnd {
public:
    bool Create(DWORD style, const RECT& rect, CDialog* parent, int id);
    // Makes a list box with `style` in the place of `other`'s window: its
    // parent, place, id and font, stacked under it and next to it in the tab
    // order, and hidden until shown; false when `other` has no window.
    bool CreateInPlaceOf(const CListBox& other, DWORD style);
    // Binds the object to `window`, a list box made by Create of another object.
    void Attach(CListBox& from);
    // Destroys the window; the object stays, unbound.
    void DestroyWindow();

    int AddString(const std::string& text);
    int InsertString(int index, const std::string& text);
    void ResetContent();
    int GetCount() const;
    int GetText(int index, std::string& text) const;
    std::string GetText(int index) const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetSel(int index) const;
    int SetSel(int index, bool select);
    std::uintptr_t GetItemData(int index) const;
    int SetItemData(int index, std::uintptr_t data);
    // The first line equal to `text`, letter case ignored, from index 0; LB_ERR when none.
    int FindStringExact(int startAfter, const std::string& text) const;
    // In dialog units of the list's font.
    bool SetTabStops(const std::vector<int>& dialogUnits);
    // WM_SETREDRAW: while off, the lines change without being drawn or laid out.
    void SetRedraw(bool redraw);
    // Changes the style noted for the next creation (LBS_SORT takes effect only then).
    void ModifyStyle(DWORD remove, DWORD add);
    // The order of a sorted list, kept for every window made under this
    // object; by default CompareNoCase, equal lines in arrival order.
    void SetSortOrder(ui::NameOrder less);

    std::function<void()> onSelChange;  // LBN_SELCHANGE, from the user only
    std::function<void()> onDblClk;     // LBN_DBLCLK
    // A right click on the list, at this point of the screen.
    std::function<void(POINT screen)> onContextMenu;

private:
    void Connect();
    void Disconnect();

    bool quiet_ = false;
    ui::NameOrder less_ = nullptr;
};
