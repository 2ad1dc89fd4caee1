#include <vqx/sync.h>

#include "thread/critical_section_record.h"

#include <windows.h>

namespace vqx {

VQXCriticalSection::VQXCriticalSection() : m_section(detail::NewCriticalSectionRecord()) {}

VQXCriticalSection::~VQXCriticalSection() {
    detail::DeleteCriticalSectionRecord(m_section);
}

// A critical section cannot time out: the wait is always without limit.
bool VQXCriticalSection::Lock(uint32 /*timeout*/) {
    EnterCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
    return true;
}

bool VQXCriticalSection::Unlock() {
    LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(m_section));
    return true;
}

}  // namespace vqx
