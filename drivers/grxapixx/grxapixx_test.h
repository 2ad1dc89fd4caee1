/* Test controls of the stand-in display library grxapixx.dll: result codes of its GRX_ entry
 * points and the call recorder that tests read through the GRXTest_ exports.
 * Ownership: every buffer belongs to the caller; the stand-in copies into it.
 * Thread rules: every export may be called from any thread (one lock inside the stand-in). */
#ifndef GRXAPIXX_TEST_H
#define GRXAPIXX_TEST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the GRX_ entry points (0 is success). */
enum {
    GRXAPIXX_OK = 0,
    GRXAPIXX_E_NOT_CREATED = 0x101,     /* GRX_Main_Control_Create has not run */
    GRXAPIXX_E_BAD_ARGUMENT = 0x102,    /* null pointer, wrong size or flag */
    GRXAPIXX_E_NO_SUCH_ADAPTER = 0x103, /* unknown adapter index */
    GRXAPIXX_E_NO_SUCH_DISPLAY = 0x104, /* display id not on that adapter */
    GRXAPIXX_E_NOT_REMOTE = 0x105,      /* the display cannot be acquired remotely */
    GRXAPIXX_E_BUSY = 0x106,            /* the display is already acquired */
    GRXAPIXX_E_BAD_RECORD = 0x107,      /* acquire record or EDID rejected */
    GRXAPIXX_E_NOT_ACQUIRED = 0x108,    /* release or timing of a display not acquired */
    GRXAPIXX_E_REFUSED = 0x109          /* refused on request (GRXAPIXX_REFUSE_ACQUIRE) */
};

#define GRXTEST_LOGGED_CALLS 16
#define GRXTEST_ACQUIRE_RECORD_SIZE 1032
#define GRXTEST_DISPLAY_RECORD_SIZE 552

/* One call of GRX_RemoteDisplay_Display_Acquire or _Release as the stand-in received it. */
typedef struct GRXTestDisplayCall {
    int32_t adapter_index;
    int32_t display_id[4];
    int32_t handle; /* release: the handle passed; acquire: the handle returned (0 if none) */
    int32_t result; /* what the stand-in returned */
} GRXTestDisplayCall;

typedef struct GRXTestRecord {
    int32_t create_calls;
    int32_t destroy_calls;
    int32_t adapter_count_calls;
    int32_t adapter_info_calls;
    int32_t display_info_calls;
    int32_t acquire_calls;
    int32_t release_calls;
    int32_t release_all_calls;
    int32_t timing_calls;
    int32_t acquired_now;          /* displays acquired at this moment */
    int32_t created;               /* 1 between a successful Create and Destroy */
    int32_t create_version;        /* second argument of the last Create */
    int32_t adapter_info_size;     /* byte size passed to the last AdapterInfo_Get */
    int32_t display_info_flags;    /* last argument of the last DisplayInfo_Get */
    int32_t probe_at_last_release; /* -1 no probe name set, 0 absent, 1 present (GRXAPIXX_PROBE_MUTEX) */
    int32_t logged_acquires;       /* entries used in acquires[] (first GRXTEST_LOGGED_CALLS calls) */
    int32_t logged_releases;       /* entries used in releases[] */
    GRXTestDisplayCall acquires[GRXTEST_LOGGED_CALLS];
    GRXTestDisplayCall releases[GRXTEST_LOGGED_CALLS];
} GRXTestRecord;

/* Clears the recorder, releases every acquisition and restarts the refusal counter; the
 * Create state and the allocation callback stay as they are. */
typedef void(__cdecl* GRXTest_Reset_Fn)(void);
/* Copies min(size, sizeof(GRXTestRecord)) bytes of the recorder; returns sizeof(GRXTestRecord). */
typedef int32_t(__cdecl* GRXTest_GetRecord_Fn)(GRXTestRecord* out, int32_t size);
/* Copies the last acquire record received (up to size bytes); returns its length, 0 if none. */
typedef int32_t(__cdecl* GRXTest_GetLastAcquireRecord_Fn)(uint8_t* out, int32_t size);
/* Copies the display record the stand-in reports at (adapter position, display position);
 * returns 552, or 0 when there is none or size is below 552. */
typedef int32_t(__cdecl* GRXTest_GetDisplayRecord_Fn)(int32_t adapter_position, int32_t display_position, uint8_t* out,
                                                      int32_t size);

#ifdef __cplusplus
}
#endif

#endif
