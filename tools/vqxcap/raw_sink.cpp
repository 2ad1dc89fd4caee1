// The raw Annex-B stream, byte for byte as the encoder hands it out, and the sink factory.
#include "muxer_sink.h"
#include "output_stream.h"
#include "stream_sink.h"

namespace vqxcap {
namespace {

class RawSink final : public StreamSink {
public:
    explicit RawSink(std::wstring path) : m_path(std::move(path)) {}

    bool Open(std::wstring& error) override {
        if (m_output.Open(m_path)) return true;
        error = L"vqxcap: cannot create the output file " + m_path;
        return false;
    }

    void SetFormat(const StreamFormat&) override {}

    bool Write(const EncodedOutput& output, std::wstring& error) override {
        if (m_output.Write(output.data, output.size)) return true;
        error = L"vqxcap: writing the output failed";
        return false;
    }

    bool Finish(std::wstring& error) override {
        if (m_output.Close()) return true;
        error = L"vqxcap: writing the output failed";
        return false;
    }

private:
    const std::wstring m_path;
    OutputStream m_output;
};

}  // namespace

std::unique_ptr<StreamSink> CreateStreamSink(const Destination& destination) {
    if (destination.container == Container::RawH264) return std::make_unique<RawSink>(destination.target);
    return std::make_unique<MuxerSink>(destination);
}

}  // namespace vqxcap
