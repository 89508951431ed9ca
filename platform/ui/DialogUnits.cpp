#include "platform/ui/DialogUnits.h"

#include "platform/ui/Dialog.h"

namespace ui {

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0) {
        return -1;
    }
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = (denominator < 0 ? -denominator : denominator) / 2;
    const long long rounded = product >= 0 ? product + half : product - half;
    return static_cast<int>(rounded / denominator);
}

RECT MapDialogRect(const BaseUnits& units, int x, int y, int width, int height)
{
    const int left = DialogToPixelsX(units, x);
    const int top = DialogToPixelsY(units, y);
    return RECT{left, top, DialogToPixelsX(units, x + width), DialogToPixelsY(units, y + height)};
}

}  // namespace ui
