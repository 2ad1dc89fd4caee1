// Where a capture goes and in which container: chosen from the -o destination (file extension or
// URL scheme), overridden by --format, with --sdp for RTP.
// Ownership: plain values. Thread rules: pure functions.
#pragma once

#include <optional>
#include <string>

namespace vqxcap {

enum class Container {
    RawH264,  // the Annex-B stream as the encoder hands it out
    Mp4,      // fragmented MP4
    Matroska,
    MpegTs,
    Rtp,  // H.264 over RTP
};

enum class Transport { File, StandardOutput, Udp, Rtp };

struct Destination {
    Container container = Container::RawH264;
    Transport transport = Transport::File;
    std::wstring target;   // the path, "-", or the URL as given
    std::wstring host;     // URL destinations: host name or address (without brackets)
    int port = 0;          // URL destinations
    std::wstring sdpPath;  // RTP: where the session description goes ("" for none)
};

struct DestinationChoice {
    std::optional<Destination> destination;  // empty when the command line is wrong
    std::wstring error;                      // what is wrong, for the usage message
};

// output: the -o value; format: the --format value or ""; sdpPath: the --sdp value or "".
DestinationChoice ChooseDestination(const std::wstring& output, const std::wstring& format,
                                    const std::wstring& sdpPath);

// The container's FFmpeg muxer name ("" for the raw stream, which needs none).
const char* MuxerName(Container container);

// "raw H.264", "fragmented MP4", ... for messages.
const wchar_t* ContainerDescription(Container container);

}  // namespace vqxcap
