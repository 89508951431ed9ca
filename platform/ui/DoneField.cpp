#include "platform/ui/DoneField.h"

PostedReport::PostedReport(CDialog& receiver, std::function<void(const std::string&)> handler)
    : receiver_(receiver), handler_(std::move(handler))
{
}

PostedReport::~PostedReport() = default;

void PostedReport::ReplaceSelection(const std::string& text)
{
    receiver_.PostCall([handler = handler_, text] { handler(text); });
}
