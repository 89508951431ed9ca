#include "platform/files/MountTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>

#include "platform/files/WinFiles.h"

namespace platform::files {

namespace {

}  // namespace

std::string UnescapeOctal(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string_view digits = text.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string_view::npos) {
                out.push_back(static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string EscapeOctal(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || c == '\\' || byte == 0x7F) {
            out.push_back('\\');
            out.push_back(static_cast<char>('0' + ((byte >> 6) & 7)));
            out.push_back(static_cast<char>('0' + ((byte >> 3) & 7)));
            out.push_back(static_cast<char>('0' + (byte & 7)));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

namespace {

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = line.find(' ', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        at = end == std::string_view::npos ? line.size() : end;
    }
    return fields;
}

bool ReadsAsOne(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    std::array<char, 8> text{};
    const ssize_t got = ::read(fd, text.data(), text.size());
    ::close(fd);
    return got > 0 && text[0] == '1';
}

// A name a Windows path can carry as one component.
bool Nameable(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string_view::npos;
}

std::string_view LastComponent(std::string_view path)
{
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<Share> MakeShare(std::string_view server, std::string_view share, const Mount& mount)
{
    if (share.empty() || share == "." || share == "..") {
        share = LastComponent(mount.mountPoint);
    }
    if (!Nameable(server) || !Nameable(share)) {
        return std::nullopt;
    }
    return Share{std::string(server), std::string(share), mount.mountPoint, mount.fsType};
}

// "host:/path", "[v6::addr]:/path"; `host` may carry "user@".
bool SplitHostPath(std::string_view source, std::string_view& host, std::string_view& path)
{
    std::size_t colon = std::string_view::npos;
    if (!source.empty() && source.front() == '[') {
        const std::size_t close = source.find(']');
        if (close == std::string_view::npos || close + 1 >= source.size() || source[close + 1] != ':') {
            return false;
        }
        host = source.substr(1, close - 1);
        path = source.substr(close + 2);
        return true;
    }
    colon = source.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    host = source.substr(0, colon);
    path = source.substr(colon + 1);
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::vector<Mount> ParseMountInfo(std::string_view text)
{
    std::vector<Mount> mounts;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        const std::vector<std::string_view> fields = Fields(line);
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        if (fields.size() < 7 || dash + 2 >= fields.size()) {
            continue;
        }
        Mount mount;
        const std::string_view device = fields[2];
        const std::size_t colon = device.find(':');
        if (colon == std::string_view::npos ||
            std::from_chars(device.data(), device.data() + colon, mount.major).ec != std::errc() ||
            std::from_chars(device.data() + colon + 1, device.data() + device.size(), mount.minor).ec !=
                std::errc()) {
            continue;
        }
        mount.mountPoint = UnescapeOctal(fields[4]);
        mount.fsType = UnescapeOctal(fields[dash + 1]);
        mount.source = UnescapeOctal(fields[dash + 2]);
        if (mount.mountPoint.empty() || mount.mountPoint.front() != '/') {
            continue;
        }
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

bool IsRemoteFileSystem(std::string_view fsType)
{
    static constexpr std::string_view kRemote[] = {"nfs",   "nfs4",       "cifs",  "smb3",
                                                   "smbfs", "fuse.sshfs", "davfs", "fuse.davfs"};
    for (std::string_view remote : kRemote) {
        if (fsType == remote) {
            return true;
        }
    }
    return false;
}

UINT DriveTypeOfMount(const Mount& mount, const std::string& sysfs)
{
    if (IsRemoteFileSystem(mount.fsType)) {
        return DRIVE_REMOTE;
    }
    if (mount.fsType == "iso9660" || mount.fsType == "udf") {
        return DRIVE_CDROM;
    }
    if (mount.fsType == "tmpfs" || mount.fsType == "ramfs") {
        return DRIVE_RAMDISK;
    }
    // A partition's own folder has no "removable"; its disk, one up, does.
    const std::string device = sysfs + "/dev/block/" + std::to_string(mount.major) + ":" + std::to_string(mount.minor);
    if (ReadsAsOne(device + "/removable") || ReadsAsOne(device + "/../removable")) {
        return DRIVE_REMOVABLE;
    }
    return DRIVE_FIXED;
}

std::optional<Share> ShareOfMount(const Mount& mount)
{
    const std::string_view type = mount.fsType;
    const std::string_view source = mount.source;
    if (type == "cifs" || type == "smb3" || type == "smbfs") {
        // //server/share[/more]; some tools write backslashes.
        std::string normal(source);
        for (char& c : normal) {
            if (c == '\\') {
                c = '/';
            }
        }
        std::string_view rest = normal;
        if (rest.substr(0, 2) != "//") {
            return std::nullopt;
        }
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view server = rest.substr(0, slash);
        std::string_view share = rest.substr(slash + 1);
        share = share.substr(0, share.find('/'));
        return MakeShare(server, share, mount);
    }
    if (type == "nfs" || type == "nfs4" || type == "fuse.sshfs") {
        std::string_view host;
        std::string_view path;
        if (!SplitHostPath(source, host, path)) {
            return std::nullopt;
        }
        if (const std::size_t at = host.rfind('@'); at != std::string_view::npos) {
            host.remove_prefix(at + 1);
        }
        return MakeShare(host, LastComponent(path), mount);
    }
    return std::nullopt;
}

std::optional<Share> ShareOfGvfsFolder(std::string_view folderName, const std::string& gvfsFolder)
{
    constexpr std::string_view kPrefix = "smb-share:";
    if (folderName.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    std::string_view rest = folderName.substr(kPrefix.size());
    std::string server;
    std::string share;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = item.substr(0, equals);
        if (key == "server") {
            server = PercentDecode(item.substr(equals + 1));
        } else if (key == "share") {
            share = PercentDecode(item.substr(equals + 1));
        }
    }
    if (!Nameable(server) || !Nameable(share)) {
        return std::nullopt;
    }
    return Share{server, share, gvfsFolder + "/" + std::string(folderName), "gvfs smb"};
}

}  // namespace platform::files
