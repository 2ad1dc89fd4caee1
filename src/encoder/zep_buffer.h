// One encoded output handed to the host. While attached it reads the service's memory directly;
// detached with copying it owns a private copy of the bytes.
// Ownership: reference-counted; while attached it points at its video encoder (not owning), and
// its last release gives the service resource back when it is the last buffer of that resource.
// Thread rules: release on the thread that queries the encoder.
#pragma once

#include "encoder/video_encoder.h"

#include <vector>

namespace vqx {

class VideoEncoder::VQXZepBufferImpl final : public VQXInterfaceImpl<VQXZepBuffer> {
public:
    VQXZepBufferImpl(VideoEncoder* encoder, const zep::ZEPOutputEntry& entry, bool lastOfResource);
    // Detaches without copying.
    ~VQXZepBufferImpl() override;

    VQX_ERROR VQX_CALL GetMemory(void** ppMemory) override;  // a null ppMemory stores nothing
    int32 VQX_CALL GetType() override;
    uint32 VQX_CALL GetSize() override;
    int64 VQX_CALL GetTimestamp() override;

    // Copies the bytes first when asked (and when there are any), reclaims the resource when this
    // is its last buffer, and forgets the video encoder. Nothing happens once detached.
    void Detach(bool withCopy);

    bool IsAttached() const { return m_encoder != nullptr; }
    bool IsLastOfResource() const { return m_lastOfResource; }
    const zep::ZEPOutputEntry& Entry() const { return m_entry; }

    // The host-facing type of a service type code: 0->-1, 1->0, 2->2, 4->3, 5->4, else -1.
    static int32 MapTypeCode(uint32 typeCode);

private:
    VideoEncoder* m_encoder;
    zep::ZEPOutputEntry m_entry;
    bool m_lastOfResource;
    std::vector<uint8> m_privateCopy;
};

}  // namespace vqx
