#pragma once

#include "platform/ui/Geometry.h"

namespace ui {

// A dialog's base units for its font, as the dialog framework measures
// them: the average width of the 52 Latin letters, and the font's height.
// One horizontal dialog unit is a quarter of the first, one vertical unit an
// eighth of the second.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

int MulDiv(int number, int numerator, int denominator);
RECT MapDialogRect(const BaseUnits& units, int x, int y, int width, int height);
inline int DialogToPixelsX(const BaseUnits& units, int x) { return MulDiv(x, units.x, 4); }
inline int DialogToPixelsY(const BaseUnits& units, int y) { return MulDiv(y, units.y, 8); }

}  // namespace ui
