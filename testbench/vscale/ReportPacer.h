/* When a virtual scale sends which input report. Plain C without any system header, so that
 * the bus driver (freestanding) and the native unit tests share it.
 *
 * A real POS scale sends its data report continuously, every few tens of milliseconds, or
 * (some models, some modes) only when the reading changes. The pacer models both, plus a queue
 * of scripted reports that go out one per interval before the repeated report resumes. */
#ifndef PESORA_VSCALE_REPORT_PACER_H
#define PESORA_VSCALE_REPORT_PACER_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "VScaleControl.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VsPacer {
    VSCALE_REPORT current; /* the report that is repeated */
    VSCALE_REPORT queue[VSCALE_MAX_QUEUE];
    uint32_t queueHead;
    uint32_t queueCount;
    uint32_t intervalMs;
    bool onChangeOnly;
    bool currentPending; /* changed since it was last sent */
    bool everSent;
    int64_t lastSentMs;
} VsPacer;

void VsPacerInit(VsPacer* pacer, const uint8_t* report, uint32_t length, uint32_t intervalMs, bool onChangeOnly);
/* Replaces the repeated report; a different report goes out at the next chance. */
void VsPacerSet(VsPacer* pacer, const uint8_t* report, uint32_t length);
/* Appends a report sent once; false when the queue is full or the length is out of range. */
bool VsPacerQueue(VsPacer* pacer, const uint8_t* report, uint32_t length);
/* The report due at nowMs, copied to out (capacity VSCALE_MAX_REPORT); 0 when none is due. */
uint32_t VsPacerTake(VsPacer* pacer, int64_t nowMs, uint8_t* out);
/* Milliseconds from nowMs until a report is due (0: now), or -1 when none will be due without
 * a new Set or Queue. */
int64_t VsPacerWaitMs(const VsPacer* pacer, int64_t nowMs);

#ifdef __cplusplus
}
#endif

#endif
