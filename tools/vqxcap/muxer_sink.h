// A container written by FFmpeg's libavformat: fragmented MP4, Matroska, MPEG-TS (a file, standard
// output or UDP) or H.264 over RTP (with an optional SDP file). Packets carry the outputs' own
// timestamps rounded to nearest in the container's time base; keyframes come from the output type,
// size and frame rate from the encoder. The container starts with the first picture, whose
// parameter sets become the stream's codec record.
// Ownership: owns the FFmpeg context, its I/O and the SDP file. Thread rules: one thread.
#pragma once

#include "stream_sink.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

struct AVFormatContext;

namespace vqxcap {

class MuxerSink final : public StreamSink {
public:
    explicit MuxerSink(Destination destination);
    ~MuxerSink() override;
    MuxerSink(const MuxerSink&) = delete;
    MuxerSink& operator=(const MuxerSink&) = delete;

    bool Open(std::wstring& error) override;
    void SetFormat(const StreamFormat& format) override;
    bool Write(const EncodedOutput& output, std::wstring& error) override;
    bool Finish(std::wstring& error) override;

private:
    struct ContextCloser {
        void operator()(AVFormatContext* context) const;
    };
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool WriteReady(std::wstring& error);
    bool WritePacket(Packet& packet, std::wstring& error);
    bool StartContainer(const Packet& first, std::wstring& error);
    bool WriteSessionDescription(std::wstring& error);
    void SayGoodbye();
    bool Failed(const std::wstring& what, int code, std::wstring& error) const;

    const Destination m_destination;
    const uint32_t m_ssrc;  // RTP synchronisation source
    StreamFormat m_format;
    std::optional<OutputJoiner> m_joiner;
    std::vector<Packet> m_ready;
    std::unique_ptr<AVFormatContext, ContextCloser> m_context;
    std::unique_ptr<std::FILE, FileCloser> m_sdpFile;
    std::vector<uint8_t> m_parameterSets;  // Annex-B SPS and PPS of the first picture
    bool m_networkStarted = false;
    bool m_headerWritten = false;
    bool m_finished = false;
    std::optional<int64_t> m_lastTimestamp;  // of the last packet written, in the container's time base
};

}  // namespace vqxcap
