#include "platform/ui/DoneField.h"

PostedReport::PostedReport(CDialog& receiver, std::function<void(const std::string&)> handler)
    : ForwardingText([&receiver, handler = std::move(handler)](const std::string& text) {
          receiver.PostCall([handler, text] { handler(text); });
      })
{
}

PostedReport::~PostedReport() = default;
