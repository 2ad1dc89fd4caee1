#include "capture_loop.h"

#include "access_unit_counter.h"
#include "encoder_session.h"
#include "error_report.h"
#include "property_settings.h"
#include "stream_format.h"
#include "stream_sink.h"

#include <windows.h>

#include <atomic>

namespace vqxcap {
namespace {

// Ctrl+C: ask the loop to stop and end a query that is waiting for output.
std::atomic<bool> g_interrupted{false};
std::atomic<EncoderSession*> g_session{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    g_interrupted = true;
    if (EncoderSession* session = g_session.load()) session->Cancel();
    return TRUE;
}

// Installs the Ctrl+C handler for the life of the capture.
class InterruptScope {
public:
    explicit InterruptScope(EncoderSession& session) {
        g_interrupted = false;
        g_session = &session;
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    }
    ~InterruptScope() {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        g_session = nullptr;
    }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

int ExitCodeForStep(const StepFailure& failure) {
    if (failure.code == vqx::VQX_ZEP_DISPLAY_FAILED) return kExitDisplayFailed;
    if (failure.operation == L"AcquireDisplay") return kExitDisplayFailed;
    if (failure.operation == L"CreateEncoder" || failure.operation == L"StartEncode") return kExitEncoderFailed;
    return kExitPropertyRefused;
}

CaptureOutcome StepFailed(const StepFailure& failure) {
    CaptureOutcome outcome;
    outcome.exitCode = ExitCodeForStep(failure);
    outcome.message = FailureMessage(failure.operation, failure.code);
    return outcome;
}

class Capture {
public:
    Capture(const Options& options, bool showProgress)
        : m_options(options), m_sink(CreateStreamSink(options.destination)), m_progress(showProgress) {}

    CaptureOutcome Run() {
        std::wstring error;
        if (!m_sink->Open(error)) return {kExitOutputFailed, error, {}, false};
        CaptureOutcome outcome = Start();
        if (outcome.exitCode == kExitOk) outcome = PullOutputs();
        m_session.TearDown();
        m_progress.Finish();
        // Every way a capture ends (goal met, Ctrl+C, failure) finishes the stream here.
        if (!m_sink->Finish(error) && outcome.exitCode == kExitOk) outcome = {kExitOutputFailed, error, {}, false};
        outcome.stats = m_stats;
        return outcome;
    }

private:
    CaptureOutcome Start() {
        PropertySettings settings(m_options.settings);
        StepFailure failure;
        StreamFormat format;
        vqx::VQXEncoderKLTZEP& encoder = *m_session.Encoder();
        if (!settings.ApplyBeforeCreate(encoder, failure) || !m_session.AcquireDisplay(failure) ||
            !m_session.CreateEncoder(failure) || !settings.ApplyAfterCreate(encoder, failure) ||
            !ReadStreamFormat(encoder, format, failure) || !m_session.StartEncode(failure)) {
            return StepFailed(failure);
        }
        m_sink->SetFormat(format);
        m_startSeconds = NowSeconds();
        return {};
    }

    bool TimeIsUp() const {
        if (m_options.frames && m_stats.pictures >= *m_options.frames) return true;
        return m_options.seconds && NowSeconds() - m_startSeconds >= *m_options.seconds;
    }

    CaptureOutcome PullOutputs() {
        InterruptScope interrupt(m_session);
        bool finishing = false;  // the goal is met: write up to the next access unit
        while (!g_interrupted) {
            finishing = finishing || TimeIsUp();
            vqx::VQXPtr<vqx::VQXZepBuffer> buffer;
            const vqx::VQX_ERROR result = m_session.Encoder()->QueryOutput(buffer.put());
            if (result == vqx::VQX_REPEAT) {
                ++m_stats.timeouts;
                if (finishing) break;
                continue;
            }
            if (result != vqx::VQX_OK) {
                return {kExitQueryFailed, FailureMessage(L"QueryOutput", result), {}, false};
            }
            if (!buffer) continue;
            void* memory = nullptr;
            buffer->GetMemory(&memory);
            const auto* bytes = static_cast<const uint8_t*>(memory);
            const size_t size = buffer->GetSize();
            if (finishing && (size == 0 || BeginsAccessUnit(bytes, size))) break;
            std::wstring error;
            if (!m_sink->Write({bytes, size, buffer->GetType(), buffer->GetTimestamp()}, error)) {
                return {kExitOutputFailed, error, {}, false};
            }
            const int64_t timestamp = buffer->GetTimestamp();
            const double delayMs = m_delivery.DelayMs(NowSeconds(), timestamp);
            m_stats.AddOutput(size, m_counter.Feed(bytes, size), timestamp, delayMs);
            m_stats.elapsedSeconds = NowSeconds() - m_startSeconds;
            m_progress.Update(m_stats);
        }
        CaptureOutcome outcome;
        outcome.interrupted = g_interrupted;
        return outcome;
    }

    const Options& m_options;
    EncoderSession m_session;
    std::unique_ptr<StreamSink> m_sink;
    AccessUnitCounter m_counter;
    CaptureStats m_stats;
    DeliveryClock m_delivery;
    ProgressLine m_progress;
    double m_startSeconds = 0;
};

}  // namespace

CaptureOutcome RunCapture(const Options& options, bool showProgress) {
    Capture capture(options, showProgress);
    return capture.Run();
}

}  // namespace vqxcap
