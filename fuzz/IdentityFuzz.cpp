// Any bytes as an Identity Reply: decoded only in the shapes a reply has,
// leaving the fields alone otherwise, and every member code names a model.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument/Identity.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool Same(const IdentityFields& a, const IdentityFields& b)
{
    return a.manufacturerId == b.manufacturerId && a.familyCode == b.familyCode && a.memberCode == b.memberCode &&
           a.revision1 == b.revision1 && a.revision2 == b.revision2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly `size` bytes, so that reading past the reply is caught.
    auto* reply = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
    if (size != 0) {
        std::memcpy(reply, data, size);
    }
    const IdentityFields before{7, 8, 9, 10, 11};
    IdentityFields fields = before;
    const bool decoded = DecodeIdentityReply(size == 0 ? nullptr : reply, size, fields);
    if (!decoded) {
        Check(Same(fields, before), "a refused reply leaves the fields alone");
    } else {
        Check(size == 14 || size == 15 || size == 17, "only replies of 14, 15 or 17 bytes decode");
        Check(reply[3] == 0x06 && reply[4] == 0x02, "only identity replies decode");
        const InstrumentModel model = ModelOfMember(fields.memberCode);
        Check(model.logText != nullptr && model.result != nullptr, "every member code names a model");
    }
    std::free(reply);
    return 0;
}
