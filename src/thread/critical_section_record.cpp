#include "thread/critical_section_record.h"

#include <windows.h>

#include <memory>

namespace vqx::detail {

void* NewCriticalSectionRecord() {
    auto record = std::make_unique<CRITICAL_SECTION>();
    InitializeCriticalSection(record.get());
    return record.release();
}

void DeleteCriticalSectionRecord(void* record) {
    if (record == nullptr) return;
    std::unique_ptr<CRITICAL_SECTION> owned(static_cast<CRITICAL_SECTION*>(record));
    DeleteCriticalSection(owned.get());
}

}  // namespace vqx::detail
