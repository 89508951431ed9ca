#include "platform/ui/ListBox.h"

// What both backends' lists do alike, over their own GetText.
std::string CListBox::GetText(int index) const
{
    std::string text;
    GetText(index, text);
    return text;
}
