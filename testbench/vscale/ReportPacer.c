#include "ReportPacer.h"

#include <string.h>

static bool SameReport(const VSCALE_REPORT* report, const uint8_t* bytes, uint32_t length) {
    return report->length == length && memcmp(report->bytes, bytes, length) == 0;
}

static uint32_t ClampLength(uint32_t length) {
    return length > VSCALE_MAX_REPORT ? VSCALE_MAX_REPORT : length;
}

void VsPacerInit(VsPacer* pacer, const uint8_t* report, uint32_t length, uint32_t intervalMs, bool onChangeOnly) {
    memset(pacer, 0, sizeof(*pacer));
    /* A zero period would make the scale send as fast as the host reads, starving everything
     * else in the driver's thread: one millisecond is the shortest USB interrupt interval. */
    pacer->intervalMs = intervalMs == 0 ? 1 : intervalMs;
    pacer->onChangeOnly = onChangeOnly;
    pacer->current.length = ClampLength(length);
    memcpy(pacer->current.bytes, report, pacer->current.length);
    /* A scale reports its reading as soon as it is enumerated, whatever its mode. */
    pacer->currentPending = true;
}

void VsPacerSet(VsPacer* pacer, const uint8_t* report, uint32_t length) {
    length = ClampLength(length);
    if (SameReport(&pacer->current, report, length)) {
        return;
    }
    pacer->current.length = length;
    memcpy(pacer->current.bytes, report, length);
    pacer->currentPending = true;
}

bool VsPacerQueue(VsPacer* pacer, const uint8_t* report, uint32_t length) {
    if (length == 0 || length > VSCALE_MAX_REPORT || pacer->queueCount == VSCALE_MAX_QUEUE) {
        return false;
    }
    VSCALE_REPORT* slot = &pacer->queue[(pacer->queueHead + pacer->queueCount) % VSCALE_MAX_QUEUE];
    slot->length = length;
    memcpy(slot->bytes, report, length);
    ++pacer->queueCount;
    return true;
}

static int64_t SinceLastSend(const VsPacer* pacer, int64_t nowMs) {
    return pacer->everSent ? nowMs - pacer->lastSentMs : INT64_MAX;
}

int64_t VsPacerWaitMs(const VsPacer* pacer, int64_t nowMs) {
    int64_t since = SinceLastSend(pacer, nowMs);
    int64_t untilInterval = since >= (int64_t)pacer->intervalMs ? 0 : (int64_t)pacer->intervalMs - since;
    if (pacer->queueCount > 0) {
        /* Scripted reports keep the scale's own rhythm, so a reader sees each of them. */
        return untilInterval;
    }
    if (pacer->currentPending) {
        return 0;
    }
    return pacer->onChangeOnly ? -1 : untilInterval;
}

uint32_t VsPacerTake(VsPacer* pacer, int64_t nowMs, uint8_t* out) {
    if (VsPacerWaitMs(pacer, nowMs) != 0) {
        return 0;
    }
    uint32_t length;
    if (pacer->queueCount > 0) {
        const VSCALE_REPORT* next = &pacer->queue[pacer->queueHead];
        length = next->length;
        memcpy(out, next->bytes, length);
        pacer->queueHead = (pacer->queueHead + 1) % VSCALE_MAX_QUEUE;
        --pacer->queueCount;
    } else {
        length = pacer->current.length;
        memcpy(out, pacer->current.bytes, length);
        pacer->currentPending = false;
    }
    pacer->everSent = true;
    pacer->lastSentMs = nowMs;
    return length;
}
