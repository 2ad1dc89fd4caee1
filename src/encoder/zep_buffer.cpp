#include "encoder/zep_buffer.h"

namespace vqx {

VideoEncoder::VQXZepBufferImpl::VQXZepBufferImpl(VideoEncoder* encoder, const zep::ZEPOutputEntry& entry,
                                                 bool lastOfResource)
    : m_encoder(encoder), m_entry(entry), m_lastOfResource(lastOfResource) {}

VideoEncoder::VQXZepBufferImpl::~VQXZepBufferImpl() {
    Detach(false);
}

VQX_ERROR VQX_CALL VideoEncoder::VQXZepBufferImpl::GetMemory(void** ppMemory) {
    if (ppMemory != nullptr) *ppMemory = m_entry.data;
    return VQX_OK;
}

int32 VQX_CALL VideoEncoder::VQXZepBufferImpl::GetType() {
    return MapTypeCode(m_entry.typeCode);
}

uint32 VQX_CALL VideoEncoder::VQXZepBufferImpl::GetSize() {
    return m_entry.dataSize;
}

int64 VQX_CALL VideoEncoder::VQXZepBufferImpl::GetTimestamp() {
    return m_entry.timestamp;
}

void VideoEncoder::VQXZepBufferImpl::Detach(bool withCopy) {
    if (m_encoder == nullptr) return;
    // A service entry without an address has nothing to copy; it keeps its null address.
    if (withCopy && m_entry.dataSize != 0 && m_entry.data != nullptr) {
        m_privateCopy.assign(m_entry.data, m_entry.data + m_entry.dataSize);
        m_entry.data = m_privateCopy.data();
    }
    if (m_lastOfResource) m_encoder->ReclaimResource(m_entry.resourceId);
    m_encoder->ForgetBuffer(this);
    m_encoder = nullptr;
}

int32 VideoEncoder::VQXZepBufferImpl::MapTypeCode(uint32 typeCode) {
    struct TypePair {
        uint32 code;
        int32 type;
    };
    static constexpr TypePair kTypes[] = {{0, -1}, {1, 0}, {2, 2}, {4, 3}, {5, 4}};
    for (const TypePair& pair : kTypes) {
        if (pair.code == typeCode) return pair.type;
    }
    return kTypes[0].type;
}

}  // namespace vqx
