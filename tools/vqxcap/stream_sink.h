// Where the captured stream goes: the raw Annex-B stream into a file or standard output, or a
// container (MP4, Matroska, MPEG-TS, RTP) written by FFmpeg into a file, standard output or the
// network. Every capture, however it ends (--frames, --seconds, Ctrl+C, an error), ends its
// stream through Finish.
// Ownership: a sink owns what it opened. Thread rules: one thread.
#pragma once

#include "destination.h"
#include "output_joiner.h"
#include "packet_timing.h"

#include <memory>
#include <string>

namespace vqxcap {

// What the encoder says about the stream, once it is created.
struct StreamFormat {
    int width = 0;
    int height = 0;
    Fraction frameRate;         // frames per second
    bool splitOutputs = false;  // "Output Type" 1: each output comes as two buffers
};

class StreamSink {
public:
    virtual ~StreamSink() = default;

    // Before the encoder starts: creates the file or opens the socket (resolving the host), so
    // that a bad destination fails before anything is captured. False with `error` filled.
    virtual bool Open(std::wstring& error) = 0;
    // Once the encoder exists.
    virtual void SetFormat(const StreamFormat& format) = 0;
    // One output in the order the encoder hands them out. False with `error` filled.
    virtual bool Write(const EncodedOutput& output, std::wstring& error) = 0;
    // Writes what is still held, ends the container (its trailer) and closes the destination.
    // False with `error` filled when anything written was lost.
    virtual bool Finish(std::wstring& error) = 0;
};

// The sink for a destination: the raw stream needs no FFmpeg, the containers do.
std::unique_ptr<StreamSink> CreateStreamSink(const Destination& destination);

}  // namespace vqxcap
