#include "simulator/VirtualEX5.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace virtual_ex5 {

namespace {

constexpr std::size_t kHeader = 9;
constexpr std::size_t kCommon = 236;
constexpr std::size_t kElement = 132;
constexpr std::size_t kMaxElements = 4;
constexpr std::size_t kMaxReply = 1024;

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<unsigned> Number(std::string_view s)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size() || s.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<Bytes> Hex(std::string_view s)
{
    if (s.empty() || s.size() % 2 != 0 || s.size() / 2 > kMaxReply) {
        return std::nullopt;
    }
    Bytes bytes;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(s.data() + i, s.data() + i + 2, value, 16);
        if (error != std::errc() || end != s.data() + i + 2) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

std::string Describe(std::span<const std::uint8_t> message)
{
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < message.size() && i < 12; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", message[i]);
        text += hex;
    }
    if (message.size() > 12) {
        text += " ...";
    }
    return text;
}

}  // namespace

const char* ModelName(Model model)
{
    switch (model) {
    case Model::EX5R: return "EX5R";
    case Model::EX7: return "EX7";
    case Model::EX5: break;
    }
    return "EX5";
}

Config ParseConfig(std::string_view text, std::vector<std::string>* problems)
{
    Config config;
    auto complain = [&](std::string_view item, const char* why) {
        if (problems != nullptr) {
            problems->push_back("'" + std::string(item) + "': " + why);
        }
    };
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty()) {
            continue;
        }
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            complain(item, "expected key=value");
            continue;
        }
        const std::string_view key = Trim(item.substr(0, equals));
        const std::string_view value = Trim(item.substr(equals + 1));
        if (key == "model") {
            if (value == "EX5") {
                config.model = Model::EX5;
            } else if (value == "EX5R") {
                config.model = Model::EX5R;
            } else if (value == "EX7") {
                config.model = Model::EX7;
            } else {
                complain(item, "model is EX5, EX5R or EX7");
            }
        } else if (key == "device") {
            const auto n = Number(value);
            if (n && *n <= 15) {
                config.device = static_cast<std::uint8_t>(*n);
            } else {
                complain(item, "device is a number from 0 to 15");
            }
        } else if (key == "silent") {
            const auto n = Number(value);
            if (n) {
                config.silent = *n;
            } else {
                complain(item, "silent is a count of requests");
            }
        } else if (key == "reply") {
            auto bytes = Hex(value);
            if (bytes) {
                config.reply = std::move(bytes);
            } else {
                complain(item, "reply is 1 to 1024 bytes in hexadecimal digits");
            }
        } else if (key == "wire") {
            if (value == "0" || value == "1") {
                config.wire = value == "1";
            } else {
                complain(item, "wire is 0 or 1");
            }
        } else {
            complain(item, "unknown key (model, device, silent, reply, wire)");
        }
    }
    return config;
}

std::array<std::uint8_t, 15> IdentityReply(Model model, std::uint8_t device)
{
    std::uint8_t member = 0x33;
    if (model == Model::EX7) {
        member = 0x34;
    } else if (model == Model::EX5R) {
        member = 0x40;
    }
    return {0xF0, 0x7E, static_cast<std::uint8_t>(device & 0x7F), 0x06, 0x02, 0x43, 0x00, 0x41,
            0x02, member, 0x00, 0x00, 0x00, 0x01, 0xF7};
}

std::optional<std::uint8_t> IdentityRequestTarget(std::span<const std::uint8_t> m)
{
    if (m.size() == 6 && m[0] == 0xF0 && m[1] == 0x7E && m[2] < 0x80 && m[3] == 0x06 && m[4] == 0x01 &&
        m[5] == 0xF7) {
        return m[2];
    }
    return std::nullopt;
}

BulkResult DecodeVoiceBulk(std::span<const std::uint8_t> m)
{
    BulkResult result;
    if (m.size() < kHeader + 2 || m[0] != 0xF0 || m[1] != 0x43 || (m[2] & 0xF0) != 0 || m[3] != 0x5B) {
        result.fault = "not a voice bulk message";
        return result;
    }
    if (m[6] != 0x40 || m[7] != 0x00 || m[8] != 0x00) {
        result.fault = "address is not 40 00 00";
        return result;
    }
    if (m.back() != 0xF7) {
        result.fault = "does not end with F7";
        return result;
    }
    const std::size_t count = (static_cast<std::size_t>(m[4] & 0x7F) << 7) | (m[5] & 0x7F);
    if (m[4] > 0x7F || m[5] > 0x7F || kHeader + count + 2 != m.size()) {
        result.fault = "byte count does not match the message length";
        return result;
    }
    unsigned sum = 0;
    for (std::size_t i = 4; i < kHeader + count + 1; ++i) {
        if (m[i] > 0x7F) {
            result.fault = "a data byte has bit 7 set";
            return result;
        }
        sum += m[i];
    }
    if (sum % 128 != 0) {
        result.fault = "checksum is wrong";
        return result;
    }
    if (count % 8 != 0) {
        result.fault = "packed data is not whole groups of eight";
        return result;
    }
    Bytes plain;
    for (std::size_t g = kHeader; g < kHeader + count; g += 8) {
        const std::uint8_t high = m[g + 7];
        for (std::size_t k = 0; k < 7; ++k) {
            plain.push_back(static_cast<std::uint8_t>(m[g + k] | (((high >> k) & 1) << 7)));
        }
    }
    if (plain.size() < kCommon) {
        result.fault = "too short for a common block";
        return result;
    }
    const std::size_t elements = (plain.size() - kCommon) / kElement;
    const std::size_t used = kCommon + elements * kElement;
    if (elements > kMaxElements || plain.size() - used >= 7) {
        result.fault = "length fits no voice of 0 to 4 elements";
        return result;
    }
    for (std::size_t i = used; i < plain.size(); ++i) {
        if (plain[i] != 0) {
            result.fault = "packing is not completed with zero bytes";
            return result;
        }
    }
    Voice voice;
    voice.deviceByte = m[2];
    std::copy_n(plain.begin(), kCommon, voice.common.begin());
    for (std::size_t e = 0; e < elements; ++e) {
        auto& element = voice.elements.emplace_back();
        std::copy_n(plain.begin() + static_cast<std::ptrdiff_t>(kCommon + e * kElement), kElement, element.begin());
    }
    result.voice = std::move(voice);
    return result;
}

std::vector<Bytes> SplitMessages(std::span<const std::uint8_t> stream)
{
    std::vector<Bytes> messages;
    std::size_t i = 0;
    while (i < stream.size()) {
        const std::uint8_t status = stream[i];
        if (status == 0xF0) {
            std::size_t end = i + 1;
            while (end < stream.size() && stream[end] != 0xF7) {
                ++end;
            }
            end = std::min(end + 1, stream.size());
            messages.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i),
                                  stream.begin() + static_cast<std::ptrdiff_t>(end));
            i = end;
            continue;
        }
        std::size_t length = 0;
        if (status >= 0x80 && status < 0xF0) {
            length = (status & 0xE0) == 0xC0 ? 2 : 3;
        } else if (status == 0xF1 || status == 0xF3) {
            length = 2;
        } else if (status == 0xF2) {
            length = 3;
        } else if (status >= 0xF4) {
            length = 1;
        }
        if (length == 0) {
            ++i;  // stray data byte
            continue;
        }
        const std::size_t end = std::min(i + length, stream.size());
        messages.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(i),
                              stream.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    return messages;
}

}  // namespace virtual_ex5

using namespace virtual_ex5;

namespace {

template <typename T>
void Keep(std::vector<T>& list, T item)
{
    if (list.size() >= kReceivedKept) {
        list.erase(list.begin());
    }
    list.push_back(std::move(item));
}

}  // namespace

VirtualEX5::VirtualEX5(const Config& config) : config_(config) {}

std::vector<Bytes> VirtualEX5::Receive(std::span<const std::uint8_t> stream)
{
    std::vector<Bytes> answers;
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    for (Bytes& message : SplitMessages(stream)) {
        if (message[0] != 0xF0) {
            Keep(received_.channelMessages, std::move(message));
            Keep(received_.channelTimes, now);
            continue;
        }
        if (const auto target = IdentityRequestTarget(message)) {
            if (*target != config_.device && *target != 0x7F) {
                continue;  // addressed to another instrument
            }
            ++received_.identityRequests;
            if (requestsSeen_++ < config_.silent) {
                continue;
            }
            if (config_.reply) {
                answers.push_back(*config_.reply);
            } else {
                const auto reply = IdentityReply(config_.model, config_.device);
                answers.emplace_back(reply.begin(), reply.end());
            }
            ++received_.identityReplies;
            continue;
        }
        BulkResult bulk = DecodeVoiceBulk(message);
        if (bulk.voice) {
            ++received_.voicesTaken;
            Keep(received_.voices, std::move(*bulk.voice));
        } else {
            Keep(received_.refused, std::to_string(message.size()) + " bytes" + Describe(message) + ": " + bulk.fault);
        }
    }
    return answers;
}

Received VirtualEX5::GetReceived() const
{
    const std::lock_guard lock(mutex_);
    return received_;
}

void VirtualEX5::Clear()
{
    const std::lock_guard lock(mutex_);
    received_ = Received{};
    requestsSeen_ = 0;
}
