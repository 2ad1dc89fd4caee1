#include "standin_model.h"

#include "standin_settings.h"

#include <cstdio>

namespace standin {
namespace {

constexpr int32_t kIdTag = 0x31585247;  // "GRX1"

}  // namespace

int AdapterCount() {
    const int32_t count = IntSettingOr("GRXAPIXX_ADAPTERS", 1);
    if (count < 0) return 0;
    return count > kMaxAdapters ? kMaxAdapters : static_cast<int>(count);
}

int32_t AdapterIndexAt(int position) {
    return position + 1;
}

int AdapterPositionOf(int32_t adapter_index) {
    const int position = static_cast<int>(adapter_index) - 1;
    return (position >= 0 && position < AdapterCount()) ? position : -1;
}

void FillAdapterRecord(int position, uint8_t* record) {
    WriteInt32(record, layout::kAdapterIndexOffset, AdapterIndexAt(position));
    char name[layout::kAdapterNameCapacity];
    if (position != 0 || !ReadTextSetting("GRXAPIXX_ADAPTER_NAME", name, sizeof name)) {
        std::snprintf(name, sizeof name, "\\\\.\\DISPLAY%d", position + 1);
    }
    std::memcpy(record + layout::kAdapterNameOffset, name, std::strlen(name) + 1);
}

DisplayId DisplayIdAt(int adapter_position, int display_position) {
    return DisplayId{{AdapterIndexAt(adapter_position), display_position + 1, kDisplayKinds[display_position], kIdTag}};
}

void FillDisplayRecord(int adapter_position, int display_position, uint8_t* record) {
    std::memset(record, 0, layout::kDisplayRecordSize);
    const DisplayId id = DisplayIdAt(adapter_position, display_position);
    std::memcpy(record + layout::kDisplayIdOffset, &id, sizeof id);
    std::snprintf(reinterpret_cast<char*>(record + layout::kDisplayNameOffset), 64, "%s display %d",
                  display_position == kRemoteDisplayPosition ? "Wireless" : "Local", display_position + 1);
    WriteInt32(record, layout::kDisplayKindOffset, kDisplayKinds[display_position]);
}

int DisplayPositionOf(int adapter_position, const DisplayId& id) {
    for (int position = 0; position < kDisplaysPerAdapter; ++position) {
        if (DisplayIdAt(adapter_position, position) == id) return position;
    }
    return -1;
}

}  // namespace standin
