#include "platform/ui/Names.h"

#include "platform/NoCase.h"

namespace ui {

int CompareNoCase(std::string_view a, std::string_view b) { return platform::CompareNoCase(a, b); }

bool EqualNoCase(std::string_view a, std::string_view b) { return platform::EqualNoCase(a, b); }

}  // namespace ui
