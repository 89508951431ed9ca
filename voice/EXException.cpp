#include "voice/EXException.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Longer texts are cut, never overflowed; the last byte is always NUL.
template <std::size_t N>
void CopyText(char (&dst)[N], const char* src)
{
    std::memset(dst, 0, sizeof dst);
    if (src != nullptr) {
        std::strncpy(dst, src, sizeof dst - 1);
    }
}

}  // namespace

EXException::EXException(const char* msg, const char* source, int lineNo) : line(lineNo)
{
    CopyText(message, msg);
    CopyText(sourceFile, source);
}

EXException::~EXException() = default;

void RaiseEX(const char* message, const char* sourceFile, int line)
{
    throw new (std::nothrow) EXException(message, sourceFile, line);
}

void RaiseEX(const char* message, const char* sourceFile, int line, const char* reason)
{
    auto* e = new (std::nothrow) EXException(message, sourceFile, line);
    if (e != nullptr) {
        CopyText(e->reason, reason);
    }
    throw e;
}

void RaiseEX(const ErrorSite& site) { RaiseEX(site.message, site.unit, site.line); }

void RaiseEX(const ErrorSite& site, const char* reason) { RaiseEX(site.message, site.unit, site.line, reason); }

void RaiseEXCode(const ErrorSite& site, unsigned code, const char* reason)
{
    char text[EXException::kTextSize];
    std::snprintf(text, sizeof text, site.message, code);
    RaiseEX(text, site.unit, site.line, reason);
}

void FormatEX(const EXException* e, char* out, std::size_t outSize)
{
    if (out == nullptr || outSize == 0) {
        return;
    }
    if (e == nullptr) {
        std::snprintf(out, outSize, "Unidentified error");
        return;
    }
    std::snprintf(out, outSize, "%s:%d %s", e->sourceFile, e->line, e->message);
}
