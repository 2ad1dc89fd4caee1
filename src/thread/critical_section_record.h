// Heap records of critical sections, shared by the C functions and VQXCriticalSection.
// Ownership: NewCriticalSectionRecord hands out a record that DeleteCriticalSectionRecord frees.
// Thread rules: creation and deletion must not race with use of the same record.
#pragma once

namespace vqx::detail {

// A new, initialized critical section record.
void* NewCriticalSectionRecord();
// Deletes the critical section and frees its record; a null record is ignored.
void DeleteCriticalSectionRecord(void* record);

}  // namespace vqx::detail
