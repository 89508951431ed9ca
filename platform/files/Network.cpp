// WNetOpenEnumA, WNetEnumResourceA, WNetCloseEnum over the mounted shares.

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/NoCase.h"
#include "platform/files/DriveTable.h"
#include "platform/files/HandleTable.h"
#include "platform/files/Paths.h"
#include "platform/files/WinFiles.h"

namespace {

using platform::EqualNoCase;
using platform::files::Share;

struct Record {
    DWORD scope = 0;
    DWORD type = 0;
    DWORD displayType = 0;
    DWORD usage = 0;
    std::optional<std::string> local;
    std::optional<std::string> remote;
    std::optional<std::string> comment;
    std::optional<std::string> provider;

    std::size_t Size() const
    {
        std::size_t size = sizeof(NETRESOURCEA);
        for (const std::optional<std::string>* text : {&local, &remote, &comment, &provider}) {
            size += text->has_value() ? (*text)->size() + 1 : 0;
        }
        return size;
    }
};

// The records of one enumeration, taken when it was opened.
struct Enumeration {
    std::mutex lock;
    std::vector<Record> records;
    std::size_t next = 0;
};

platform::files::HandleTable<Enumeration>& Enumerations()
{
    static platform::files::HandleTable<Enumeration> enumerations;
    return enumerations;
}

Record ServerRecord(const Share& share)
{
    Record record;
    record.scope = RESOURCE_GLOBALNET;
    record.type = RESOURCETYPE_ANY;
    record.displayType = RESOURCEDISPLAYTYPE_SERVER;
    record.usage = RESOURCEUSAGE_CONTAINER;
    record.remote = "\\\\" + share.server;
    record.provider = share.provider;
    return record;
}

Record ShareRecord(const Share& share, char letter, DWORD scope)
{
    Record record;
    record.scope = scope;
    record.type = RESOURCETYPE_DISK;
    record.displayType = RESOURCEDISPLAYTYPE_SHARE;
    record.usage = RESOURCEUSAGE_CONNECTABLE;
    if (letter != 0) {
        record.local = std::string{letter, ':'};
    }
    record.remote = "\\\\" + share.server + "\\" + share.share;
    record.comment = share.folder;
    record.provider = share.provider;
    return record;
}

std::vector<Record> Servers(const std::vector<Share>& shares)
{
    std::vector<Record> servers;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        // The shares come ordered by server, so a server's shares are together.
        if (i == 0 || !EqualNoCase(shares[i - 1].server, shares[i].server)) {
            servers.push_back(ServerRecord(shares[i]));
        }
    }
    return servers;
}

// Copies `text` to the end of the free space and returns where it went.
LPSTR PackString(const std::optional<std::string>& text, char* base, std::size_t& back)
{
    if (!text) {
        return nullptr;
    }
    back -= text->size() + 1;
    std::memcpy(base + back, text->c_str(), text->size() + 1);
    return base + back;
}

}  // namespace

DWORD WNetOpenEnumA(DWORD scope, DWORD type, DWORD usage, LPNETRESOURCEA netResource, LPHANDLE enumHandle)
{
    using namespace platform::files;
    if (enumHandle == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *enumHandle = nullptr;
    if (type != RESOURCETYPE_ANY && type != RESOURCETYPE_DISK && type != RESOURCETYPE_PRINT) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::shared_ptr<const DriveTable> table = CurrentDriveTable();
    const std::vector<Share> shares = CurrentShares(*table, CurrentDriveSources());
    auto enumeration = std::make_shared<Enumeration>();
    std::vector<Record>& records = enumeration->records;

    const char* container = netResource == nullptr ? nullptr : netResource->lpRemoteName;
    if (scope == RESOURCE_CONTEXT || (scope == RESOURCE_GLOBALNET && (container == nullptr || *container == '\0'))) {
        records = Servers(shares);
    } else if (scope == RESOURCE_GLOBALNET) {
        // "\\SERVER" gives its shares; a share is no container.
        std::string_view name = container;
        if (name.size() < 3 || !IsSeparator(name[0]) || !IsSeparator(name[1])) {
            return ERROR_BAD_NETPATH;
        }
        name.remove_prefix(2);
        while (!name.empty() && IsSeparator(name.back())) {
            name.remove_suffix(1);
        }
        if (name.find_first_of("\\/") != std::string_view::npos) {
            return ERROR_NOT_CONTAINER;
        }
        for (const Share& share : shares) {
            if (EqualNoCase(share.server, name)) {
                records.push_back(ShareRecord(share, LetterOfFolder(*table, share.folder), RESOURCE_GLOBALNET));
            }
        }
        if (records.empty()) {
            return ERROR_BAD_NETPATH;
        }
    } else if (scope == RESOURCE_CONNECTED || scope == RESOURCE_REMEMBERED) {
        for (const Share& share : shares) {
            records.push_back(ShareRecord(share, LetterOfFolder(*table, share.folder), scope));
        }
    } else {
        return ERROR_INVALID_PARAMETER;
    }

    if (type == RESOURCETYPE_PRINT) {
        records.clear();  // no printers are shared here
    }
    const DWORD wanted = usage & (RESOURCEUSAGE_CONNECTABLE | RESOURCEUSAGE_CONTAINER);
    if (wanted != 0) {
        std::erase_if(records, [&](const Record& record) { return (record.usage & wanted) == 0; });
    }
    *enumHandle = Enumerations().Add(std::move(enumeration));
    return NO_ERROR;
}

DWORD WNetEnumResourceA(HANDLE enumHandle, LPDWORD count, LPVOID buffer, LPDWORD bufferSize)
{
    const std::shared_ptr<Enumeration> enumeration = Enumerations().Find(enumHandle);
    if (enumeration == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (count == nullptr || bufferSize == nullptr || (buffer == nullptr && *bufferSize != 0) || *count == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::lock_guard<std::mutex> hold(enumeration->lock);
    if (enumeration->next == enumeration->records.size()) {
        *count = 0;
        return ERROR_NO_MORE_ITEMS;
    }
    // Records from the front of the block, their strings from its end.
    auto* base = static_cast<char*>(buffer);
    std::size_t front = 0;
    std::size_t back = *bufferSize;
    DWORD packed = 0;
    while (packed < *count && enumeration->next < enumeration->records.size()) {
        const Record& record = enumeration->records[enumeration->next];
        if (record.Size() > back - front) {
            break;
        }
        NETRESOURCEA out{};
        out.dwScope = record.scope;
        out.dwType = record.type;
        out.dwDisplayType = record.displayType;
        out.dwUsage = record.usage;
        out.lpLocalName = PackString(record.local, base, back);
        out.lpRemoteName = PackString(record.remote, base, back);
        out.lpComment = PackString(record.comment, base, back);
        out.lpProvider = PackString(record.provider, base, back);
        std::memcpy(base + front, &out, sizeof out);
        front += sizeof out;
        ++packed;
        ++enumeration->next;
    }
    if (packed == 0) {
        *bufferSize = static_cast<DWORD>(enumeration->records[enumeration->next].Size());
        return ERROR_MORE_DATA;
    }
    *count = packed;
    return NO_ERROR;
}

DWORD WNetCloseEnum(HANDLE enumHandle)
{
    return Enumerations().Remove(enumHandle) == nullptr ? ERROR_INVALID_HANDLE : NO_ERROR;
}
