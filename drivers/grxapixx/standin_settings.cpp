#include "standin_settings.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {
namespace {

struct NamedMode {
    const char* name;
    Mode mode;
};

// Totals and pixel clocks chosen so that pixel clock x 10000 / (htotal x vtotal) is the named
// rate exactly: 1280x720@29.97 gives 36720000 / 1225224 = 30000 / 1001 and 720x480@59.94 gives
// 27000000 / 450450 = 60000 / 1001.
constexpr NamedMode kNamedModes[] = {
    {"1920x1080@60", {1920, 1080, 2200, 1125, 14850}}, {"1920x1080@30", {1920, 1080, 2200, 1125, 7425}},
    {"1280x720@60", {1280, 720, 1650, 750, 7425}},     {"1280x720@29.97", {1280, 720, 1638, 748, 3672}},
    {"720x480@59.94", {720, 480, 858, 525, 2700}},     {"640x480@60", {640, 480, 800, 525, 2520}},
};

// "W,H,HTOTAL,VTOTAL,PCLK": five integers, each kept in 16 bits as the timing record holds them.
bool ParseCustomMode(const char* text, Mode* mode) {
    long values[5];
    const char* cursor = text;
    for (int i = 0; i < 5; ++i) {
        char* end = nullptr;
        errno = 0;
        values[i] = std::strtol(cursor, &end, 10);
        if (end == cursor || errno != 0) return false;
        const char expected = (i < 4) ? ',' : '\0';
        if (*end != expected) return false;
        cursor = end + 1;
    }
    mode->width = static_cast<int16_t>(values[0]);
    mode->height = static_cast<int16_t>(values[1]);
    mode->htotal = static_cast<int16_t>(values[2]);
    mode->vtotal = static_cast<int16_t>(values[3]);
    mode->pixel_clock = static_cast<int16_t>(values[4]);
    return true;
}

}  // namespace

bool ReadTextSetting(const char* name, char* buffer, std::size_t size) {
    if (size == 0) return false;
    const DWORD length = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(size));
    if (length == 0 || length >= size) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool ReadIntSetting(const char* name, int32_t* value) {
    char text[32];
    if (!ReadTextSetting(name, text, sizeof text)) return false;
    if (_stricmp(text, "all") == 0) {
        *value = -1;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 0);
    if (end == text || *end != '\0' || errno != 0) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

int32_t IntSettingOr(const char* name, int32_t fallback) {
    int32_t value = 0;
    return ReadIntSetting(name, &value) ? value : fallback;
}

bool ReadChosenMode(Mode* mode) {
    char text[64];
    if (!ReadTextSetting("GRXAPIXX_MODE", text, sizeof text)) return false;
    if (_stricmp(text, "edid") == 0) return false;
    for (const NamedMode& named : kNamedModes) {
        if (_stricmp(text, named.name) == 0) {
            *mode = named.mode;
            return true;
        }
    }
    if (ParseCustomMode(text, mode)) return true;
    char message[128];
    std::snprintf(message, sizeof message, "grxapixx: GRXAPIXX_MODE \"%s\" not understood; using the EDID\n", text);
    OutputDebugStringA(message);
    return false;
}

}  // namespace standin
