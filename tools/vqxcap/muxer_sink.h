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

    const Destination destination_;
    const uint32_t ssrc_;  // RTP synchronisation source
    StreamFormat format_;
    std::optional<OutputJoiner> joiner_;
    std::vector<Packet> ready_;
    std::unique_ptr<AVFormatContext, ContextCloser> context_;
    std::unique_ptr<std::FILE, FileCloser> sdpFile_;
    std::vector<uint8_t> parameterSets_;  // Annex-B SPS and PPS of the first picture
    bool networkStarted_ = false;
    bool headerWritten_ = false;
    bool finished_ = false;
    std::optional<int64_t> lastTimestamp_;  // of the last packet written, in the container's time base
};

}  // namespace vqxcap
