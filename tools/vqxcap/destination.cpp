// Chooses the container and transport of a capture from its command-line destination.
#include "destination.h"

#include <algorithm>
#include <iterator>
#include <cwctype>

namespace vqxcap {
namespace {

struct NamedContainer {
    const wchar_t* name;
    Container container;
};

// Names --format accepts; the first of each container is FFmpeg's muxer name.
constexpr NamedContainer kFormatNames[] = {
    {L"h264", Container::RawH264},      {L"raw", Container::RawH264},  {L"mp4", Container::Mp4},
    {L"matroska", Container::Matroska}, {L"mkv", Container::Matroska}, {L"mpegts", Container::MpegTs},
    {L"ts", Container::MpegTs},         {L"rtp", Container::Rtp},
};

// File name extensions and the container each one means.
constexpr NamedContainer kExtensions[] = {
    {L"h264", Container::RawH264}, {L"264", Container::RawH264}, {L"mp4", Container::Mp4},
    {L"mkv", Container::Matroska}, {L"ts", Container::MpegTs},
};

std::wstring Lowercase(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

std::optional<Container> Lookup(const NamedContainer* table, size_t count, const std::wstring& name) {
    const std::wstring key = Lowercase(name);
    for (size_t i = 0; i < count; ++i) {
        if (key == table[i].name) return table[i].container;
    }
    return std::nullopt;
}

std::optional<Container> ContainerOfFormat(const std::wstring& format) {
    return Lookup(kFormatNames, std::size(kFormatNames), format);
}

// The extension of the last path component ("" when it has none).
std::wstring ExtensionOf(const std::wstring& path) {
    const size_t nameStart = path.find_last_of(L"/\\");
    const std::wstring name = nameStart == std::wstring::npos ? path : path.substr(nameStart + 1);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? L"" : name.substr(dot + 1);
}

DestinationChoice Refuse(std::wstring error) {
    return DestinationChoice{std::nullopt, std::move(error)};
}

bool ParsePort(const std::wstring& text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

// "scheme://HOST:PORT" with an optional "?name=value&..." that FFmpeg's protocol reads.
// HOST may be an IPv6 address in brackets.
bool ParseHostAndPort(const std::wstring& url, size_t afterScheme, Destination& destination) {
    const std::wstring rest = url.substr(afterScheme, url.find(L'?') - afterScheme);
    size_t colon = std::wstring::npos;
    if (!rest.empty() && rest[0] == L'[') {
        const size_t close = rest.find(L']');
        if (close == std::wstring::npos || close + 1 >= rest.size() || rest[close + 1] != L':') return false;
        destination.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(L':');
        if (colon == std::wstring::npos) return false;
        destination.host = rest.substr(0, colon);
        if (destination.host.find_first_of(L":/@") != std::wstring::npos) return false;
    }
    return !destination.host.empty() && ParsePort(rest.substr(colon + 1), destination.port);
}

DestinationChoice ChooseUrl(const std::wstring& url, size_t schemeEnd, const std::optional<Container>& format) {
    const std::wstring scheme = Lowercase(url.substr(0, schemeEnd));
    Destination destination;
    destination.target = url;
    if (scheme == L"udp") {
        destination.transport = Transport::Udp;
        destination.container = Container::MpegTs;
    } else if (scheme == L"rtp") {
        destination.transport = Transport::Rtp;
        destination.container = Container::Rtp;
    } else {
        return Refuse(L"unsupported destination " + url + L": use a file, -, udp://HOST:PORT or rtp://HOST:PORT");
    }
    if (format && *format != destination.container) {
        return Refuse(scheme == L"udp" ? L"udp:// carries MPEG-TS only (--format mpegts)"
                                       : L"rtp:// carries H.264 over RTP only (--format rtp)");
    }
    if (!ParseHostAndPort(url, schemeEnd + 3, destination)) {
        return Refuse(L"malformed destination " + url + L": expected " + scheme + L"://HOST:PORT with a port 1-65535");
    }
    return DestinationChoice{destination, L""};
}

DestinationChoice ChoosePath(const std::wstring& path, const std::optional<Container>& format) {
    Destination destination;
    destination.target = path;
    destination.transport = path == L"-" ? Transport::StandardOutput : Transport::File;
    if (format) {
        destination.container = *format;
    } else if (destination.transport == Transport::StandardOutput) {
        destination.container = Container::RawH264;
    } else {
        const std::wstring extension = ExtensionOf(path);
        const std::optional<Container> byExtension = Lookup(kExtensions, std::size(kExtensions), extension);
        if (!byExtension) {
            return Refuse((extension.empty() ? L"no file name extension in " + path
                                             : L"unknown file name extension ." + extension + L" in " + path) +
                          L": use .h264, .264, .mp4, .mkv or .ts, or name the container with --format");
        }
        destination.container = *byExtension;
    }
    if (destination.container == Container::Rtp) return Refuse(L"--format rtp needs an rtp://HOST:PORT destination");
    return DestinationChoice{destination, L""};
}

}  // namespace

DestinationChoice ChooseDestination(const std::wstring& output, const std::wstring& format,
                                    const std::wstring& sdpPath) {
    std::optional<Container> formatContainer;
    if (!format.empty()) {
        formatContainer = ContainerOfFormat(format);
        if (!formatContainer)
            return Refuse(L"unknown --format " + format + L": use h264, mp4, matroska, mpegts or rtp");
    }
    const size_t schemeEnd = output.find(L"://");
    DestinationChoice choice = schemeEnd == std::wstring::npos ? ChoosePath(output, formatContainer)
                                                               : ChooseUrl(output, schemeEnd, formatContainer);
    if (!choice.destination) return choice;
    if (!sdpPath.empty()) {
        if (choice.destination->transport != Transport::Rtp)
            return Refuse(L"--sdp needs an rtp://HOST:PORT destination");
        choice.destination->sdpPath = sdpPath;
    }
    return choice;
}

const char* MuxerName(Container container) {
    switch (container) {
        case Container::RawH264:
            return "";
        case Container::Mp4:
            return "mp4";
        case Container::Matroska:
            return "matroska";
        case Container::MpegTs:
            return "mpegts";
        case Container::Rtp:
            return "rtp";
    }
    return "";
}

const wchar_t* ContainerDescription(Container container) {
    switch (container) {
        case Container::RawH264:
            return L"raw H.264";
        case Container::Mp4:
            return L"fragmented MP4";
        case Container::Matroska:
            return L"Matroska";
        case Container::MpegTs:
            return L"MPEG-TS";
        case Container::Rtp:
            return L"RTP";
    }
    return L"";
}

}  // namespace vqxcap
