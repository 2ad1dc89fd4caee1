#include "muxer_sink.h"

#include "parameter_sets.h"

#include <vqx/strings.h>

#include <array>
#include <cstring>
#include <random>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace vqxcap {
namespace {

constexpr int kMicrosecondsPerSecond = 1000000;
constexpr int kMpegClock = 90000;                        // MPEG-TS and RTP timestamps count 90 kHz
constexpr int kMatroskaClock = 1000;                     // Matroska's default: milliseconds
constexpr const char* kUdpPacketSize = "pkt_size=1316";  // seven 188-byte TS packets per datagram

std::string Utf8(const std::wstring& text) {
    const vqx::vqx_string converted = vqx::vqx_from_unicode_to_utf8(vqx::vqx_wstring(text.c_str()));
    return std::string(converted.begin(), converted.end());
}

std::wstring Wide(const std::string& text) {
    const vqx::vqx_wstring converted = vqx::vqx_from_utf8_to_unicode(vqx::vqx_string(text.c_str()));
    return std::wstring(converted.begin(), converted.end());
}

std::wstring ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return Wide(text);
}

// The URL FFmpeg opens for a destination.
std::string UrlOf(const Destination& destination) {
    switch (destination.transport) {
        case Transport::File:
            return "file:" + Utf8(destination.target);
        case Transport::StandardOutput:
            return "pipe:1";
        case Transport::Udp: {
            std::string url = Utf8(destination.target);
            if (url.find("pkt_size=") == std::string::npos) {
                url += (url.find('?') == std::string::npos ? "?" : "&");
                url += kUdpPacketSize;
            }
            return url;
        }
        case Transport::Rtp:
            return Utf8(destination.target);
    }
    return "";
}

// The time base the stream asks the muxer for. MP4 counts in frame periods (its track time scale
// is the frame rate's numerator); the others have fixed clocks.
AVRational TimeBaseHint(Container container, Fraction frameRate) {
    switch (container) {
        case Container::Mp4:
            return AVRational{1, static_cast<int>(frameRate.num)};
        case Container::Matroska:
            return AVRational{1, kMatroskaClock};
        default:
            return AVRational{1, kMpegClock};
    }
}

class Options {
public:
    ~Options() { av_dict_free(&m_dictionary); }
    void Set(const char* key, const std::string& value) { av_dict_set(&m_dictionary, key, value.c_str(), 0); }
    AVDictionary** Pointer() { return &m_dictionary; }

private:
    AVDictionary* m_dictionary = nullptr;
};

void SetMuxerOptions(Container container, Fraction frameRate, uint32_t ssrc, Options& options) {
    if (container == Container::Mp4) {
        // Fragments of at most one second, whatever the IDR period: a capture cut short still
        // plays up to its last complete fragment.
        options.Set("movflags", "empty_moov+default_base_moof");
        options.Set("frag_duration", std::to_string(kMicrosecondsPerSecond));
        options.Set("video_track_timescale", std::to_string(frameRate.num));
    } else if (container == Container::MpegTs) {
        // PES packets with their length let a receiver hand a picture on as soon as it is complete.
        options.Set("omit_video_pes_length", "0");
    } else if (container == Container::Rtp) {
        options.Set("ssrc", std::to_string(ssrc));
    }
}

// An RTP session's own SSRC, so that the goodbye at the end names the same source as the packets.
uint32_t NewSsrc() {
    std::random_device random;
    return random() & 0x7FFFFFFF;  // the muxer takes it as a non-negative int
}

// RTCP compound packet: an empty receiver report (a compound starts with a report) and a BYE.
std::array<uint8_t, 16> GoodbyePacket(uint32_t ssrc) {
    constexpr uint8_t kVersion2 = 0x80, kOneSource = 0x01, kReceiverReport = 201, kBye = 203;
    std::array<uint8_t, 16> packet = {
        kVersion2, kReceiverReport, 0, 1, 0, 0, 0, 0, kVersion2 | kOneSource, kBye, 0, 1, 0, 0, 0, 0};
    for (const size_t at : {size_t{4}, size_t{12}}) {
        for (int byte = 0; byte < 4; ++byte)
            packet[at + byte] = static_cast<uint8_t>(ssrc >> (24 - 8 * byte));
    }
    return packet;
}

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

void MuxerSink::ContextCloser::operator()(AVFormatContext* context) const {
    if (context->pb != nullptr && (context->oformat->flags & AVFMT_NOFILE) == 0) avio_closep(&context->pb);
    avformat_free_context(context);
}

MuxerSink::MuxerSink(Destination destination) : m_destination(std::move(destination)), m_ssrc(NewSsrc()) {}

MuxerSink::~MuxerSink() {
    m_context.reset();
    if (m_networkStarted) avformat_network_deinit();
}

bool MuxerSink::Failed(const std::wstring& what, int code, std::wstring& error) const {
    const std::wstring target =
        m_destination.transport == Transport::StandardOutput ? L"standard output" : m_destination.target;
    error = L"vqxcap: " + what + L" " + target + L" failed: " + ErrorText(code);
    return false;
}

bool MuxerSink::Open(std::wstring& error) {
    av_log_set_level(AV_LOG_ERROR);
    if (m_destination.transport == Transport::Udp || m_destination.transport == Transport::Rtp) {
        avformat_network_init();
        m_networkStarted = true;
    }
    const std::string url = UrlOf(m_destination);
    AVFormatContext* context = nullptr;
    const int allocated =
        avformat_alloc_output_context2(&context, nullptr, MuxerName(m_destination.container), url.c_str());
    if (allocated < 0 || context == nullptr) return Failed(L"setting up the container for", allocated, error);
    m_context.reset(context);
    m_context->flush_packets = 1;  // every picture reaches the file or the network at once
    const int opened = avio_open2(&m_context->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr);
    if (opened < 0) return Failed(L"opening the output", opened, error);
    if (!m_destination.sdpPath.empty()) {
        m_sdpFile.reset(_wfopen(m_destination.sdpPath.c_str(), L"wb"));
        if (!m_sdpFile) {
            error = L"vqxcap: cannot create the session description file " + m_destination.sdpPath;
            return false;
        }
    }
    return true;
}

void MuxerSink::SetFormat(const StreamFormat& format) {
    m_format = format;
    m_format.frameRate = Reduced(format.frameRate);
    m_joiner.emplace(format.splitOutputs);
}

bool MuxerSink::Write(const EncodedOutput& output, std::wstring& error) {
    if (!m_joiner) m_joiner.emplace(false);
    m_joiner->Add(output, m_ready);
    return WriteReady(error);
}

bool MuxerSink::WriteReady(std::wstring& error) {
    bool ok = true;
    for (Packet& packet : m_ready) {
        if (ok) ok = WritePacket(packet, error);
    }
    m_ready.clear();
    return ok;
}

bool MuxerSink::StartContainer(const Packet& first, std::wstring& error) {
    m_parameterSets = ExtractParameterSets(first.bytes.data(), first.bytes.size());
    AVStream* stream = avformat_new_stream(m_context.get(), nullptr);
    if (stream == nullptr) return Failed(L"setting up the container for", AVERROR(ENOMEM), error);
    AVCodecParameters* codec = stream->codecpar;
    codec->codec_type = AVMEDIA_TYPE_VIDEO;
    codec->codec_id = AV_CODEC_ID_H264;
    codec->width = m_format.width;
    codec->height = m_format.height;
    if (!m_parameterSets.empty()) {
        codec->extradata = static_cast<uint8_t*>(av_mallocz(m_parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (codec->extradata == nullptr) return Failed(L"setting up the container for", AVERROR(ENOMEM), error);
        std::memcpy(codec->extradata, m_parameterSets.data(), m_parameterSets.size());
        codec->extradata_size = static_cast<int>(m_parameterSets.size());
    }
    const AVRational rate{static_cast<int>(m_format.frameRate.num), static_cast<int>(m_format.frameRate.den)};
    stream->avg_frame_rate = rate;
    stream->r_frame_rate = rate;
    stream->time_base = TimeBaseHint(m_destination.container, m_format.frameRate);

    Options options;
    SetMuxerOptions(m_destination.container, m_format.frameRate, m_ssrc, options);
    const int written = avformat_write_header(m_context.get(), options.Pointer());
    if (written < 0) return Failed(L"writing the container header to", written, error);
    m_headerWritten = true;
    return WriteSessionDescription(error);
}

// The SDP a player opens, written before the first packet is sent.
bool MuxerSink::WriteSessionDescription(std::wstring& error) {
    if (!m_sdpFile) return true;
    char text[16384] = {};
    AVFormatContext* contexts[] = {m_context.get()};
    const int made = av_sdp_create(contexts, 1, text, sizeof text);
    if (made < 0) return Failed(L"describing the session of", made, error);
    const size_t length = std::strlen(text);
    const bool written = std::fwrite(text, 1, length, m_sdpFile.get()) == length;
    const bool closed = std::fclose(m_sdpFile.release()) == 0;
    if (written && closed) return true;
    error = L"vqxcap: writing the session description file " + m_destination.sdpPath + L" failed";
    return false;
}

bool MuxerSink::WritePacket(Packet& packet, std::wstring& error) {
    if (!m_headerWritten && !StartContainer(packet, error)) return false;
    // RTP receivers that join late find the parameter sets in-band before every IDR picture.
    if (m_destination.container == Container::Rtp && packet.keyframe && !m_parameterSets.empty() &&
        !ContainsSequenceParameterSet(packet.bytes.data(), packet.bytes.size())) {
        packet.bytes.insert(packet.bytes.begin(), m_parameterSets.begin(), m_parameterSets.end());
    }
    const AVStream* stream = m_context->streams[0];
    const Fraction timeBase{stream->time_base.num, stream->time_base.den};
    int64_t timestamp = TimestampInTimeBase(packet.timestamp, timeBase);
    // Two outputs closer than the container's resolution still need increasing timestamps.
    if (m_lastTimestamp && timestamp <= *m_lastTimestamp) timestamp = *m_lastTimestamp + 1;
    std::unique_ptr<AVPacket, PacketDeleter> avPacket(av_packet_alloc());
    if (!avPacket || av_new_packet(avPacket.get(), static_cast<int>(packet.bytes.size())) < 0) {
        return Failed(L"writing to", AVERROR(ENOMEM), error);
    }
    std::memcpy(avPacket->data, packet.bytes.data(), packet.bytes.size());
    avPacket->stream_index = 0;
    avPacket->pts = timestamp;
    avPacket->dts = timestamp;
    avPacket->duration = FramePeriodInTimeBase(m_format.frameRate, timeBase);
    if (packet.keyframe) avPacket->flags |= AV_PKT_FLAG_KEY;
    const int written = av_write_frame(m_context.get(), avPacket.get());
    if (written < 0) return Failed(L"writing to", written, error);
    m_lastTimestamp = timestamp;
    return true;
}

// RTP: tells receivers that the session ends (RTCP BYE), so that a player or recorder stops at
// once instead of waiting for a time-out.
void MuxerSink::SayGoodbye() {
    if (m_destination.container != Container::Rtp || m_context->pb == nullptr) return;
    const std::array<uint8_t, 16> goodbye = GoodbyePacket(m_ssrc);
    avio_write(m_context->pb, goodbye.data(), static_cast<int>(goodbye.size()));
    avio_flush(m_context->pb);
}

bool MuxerSink::Finish(std::wstring& error) {
    if (m_finished || !m_context) return true;
    m_finished = true;
    bool ok = true;
    if (m_joiner) {
        m_joiner->Flush(m_ready);
        ok = WriteReady(error);
    }
    if (m_headerWritten) {
        const int ended = av_write_trailer(m_context.get());
        if (ended < 0 && ok) ok = Failed(L"ending the container of", ended, error);
        SayGoodbye();
    }
    if (m_context->pb != nullptr) {
        avio_flush(m_context->pb);
        const int flushed = m_context->pb->error;
        const int closed = avio_closep(&m_context->pb);
        if (ok && (flushed < 0 || closed < 0)) ok = Failed(L"closing", flushed < 0 ? flushed : closed, error);
    }
    m_sdpFile.reset();
    m_context.reset();
    return ok;
}

}  // namespace vqxcap
