/* The virtual scale bus. A root-enumerated device whose function device object owns a control
 * device (\\.\PesoraVScale); through it a test plugs and unplugs children that look like USB
 * HID point-of-sale scales. Each child answers the Plug and Play requests of a USB device and
 * the internal HID requests that its minidriver passes down, so Wine's hidclass.sys makes a HID
 * device of it: raw input, setupapi, CreateFile/ReadFile/WriteFile, arrival and removal
 * notifications all behave as with a scale on a real port.
 *
 * Threads: requests arrive on Wine's driver threads; a worker thread completes pending reads
 * when a report is due; a second thread reports bus relation changes, so that a control
 * request never waits for the Plug and Play work it starts. One spin lock guards the child
 * list and every child's state; no request is completed while it is held. */
#include "HidMini.h"

#include "../ReportPacer.h"
#include "../VScaleControl.h"

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

enum DeviceKind { KindBus = 0x56534231, KindChild = 0x56534332, KindControl = 0x56534333 };

typedef struct Child {
    ULONG kind; /* KindChild: first, like every extension of this driver */
    LIST_ENTRY link;
    PDEVICE_OBJECT self;
    VSCALE_CONFIG config;
    VsPacer pacer;
    VSCALE_REPORT outputs[VSCALE_MAX_OUTPUTS];
    ULONG outputHead;
    ULONG outputCount;
    ULONG outputsDropped;
    ULONG reportsSent;
    PIRP pendingRead;
    ULONG pnpState;
    BOOLEAN plugged;  /* to be reported in the bus relations */
    BOOLEAN reported; /* Plug and Play has seen it: its removal comes as IRP_MN_REMOVE_DEVICE */
    BOOLEAN removed;  /* surprise-removed or removed: reads fail */
    KEVENT released;  /* VSCALE_FLAG_HOLD_START: set when the child may start */
} Child;

typedef struct Bus {
    ULONG kind; /* KindBus */
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT pdo;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT control;
    KSPIN_LOCK lock;
    LIST_ENTRY children;
    KEVENT wake; /* a report may be due earlier than the worker thought */
    KEVENT relationsDirty;
    KEVENT workerStopped;
    KEVENT relationsStopped;
    volatile LONG stopping;
    LARGE_INTEGER frequency;
} Bus;

/* The one bus: a child's requests need it, and a child device object has no link to it. */
static Bus* gBus;

typedef struct Control {
    ULONG kind; /* KindControl */
    Bus* bus;
} Control;

static int64_t NowMs(Bus* bus) {
    LARGE_INTEGER counter = KeQueryPerformanceCounter(NULL);
    return (int64_t)(counter.QuadPart * 1000 / bus->frequency.QuadPart);
}

/* ---- report descriptor: a POS scale (usage page 0x8D) with the scale data report (ID 3) and
 * the scale control report (ID 2, five bytes with its ID, as hosts send 02 02 00 00 00). */

static const UCHAR kDescriptorHead[] = {
    0x05, 0x8D,       /* Usage Page (Scales) */
    0x09, 0x01,       /* Usage (Scales) */
    0xA1, 0x01,       /* Collection (Application) */
    0x09, 0x30,       /*   Usage (Scale Data Report) */
    0xA1, 0x02,       /*   Collection (Logical) */
    0x85, 0x03,       /*     Report ID (3) */
    0x15, 0x00,       /*     Logical Minimum (0) */
    0x26, 0xFF, 0x00, /*     Logical Maximum (255) */
    0x75, 0x08,       /*     Report Size (8) */
    0x95, 0x01,       /*     Report Count (1) */
    0x09, 0x70,       /*     Usage (Scale Status) */
    0x81, 0x02,       /*     Input (Data,Var,Abs) */
    0x09, 0x50,       /*     Usage (Weight Unit) */
    0x81, 0x02,       /*     Input (Data,Var,Abs) */
    0x15, 0x80,       /*     Logical Minimum (-128) */
    0x25, 0x7F,       /*     Logical Maximum (127) */
    0x09, 0x41,       /*     Usage (Data Scaling) */
    0x81, 0x02,       /*     Input (Data,Var,Abs) */
    0x16, 0x00, 0x80, /*     Logical Minimum (-32768) */
    0x26, 0xFF, 0x7F, /*     Logical Maximum (32767) */
    0x75, 0x10,       /*     Report Size (16) */
    0x09, 0x40,       /*     Usage (Data Weight) */
    0x81, 0x02,       /*     Input (Data,Var,Abs) */
};
static const UCHAR kDescriptorPadding[] = {
    0x75, 0x08, 0x95, 0x02, 0x81, 0x03, /* two padding bytes: Input (Const) */
};
static const UCHAR kDescriptorTail[] = {
    0xC0,                   /*   End Collection */
    0x09, 0x31,             /*   Usage (Scale Control Report) */
    0xA1, 0x02,             /*   Collection (Logical) */
    0x85, 0x02,             /*     Report ID (2) */
    0x15, 0x00, 0x25, 0x01, /*     Logical Minimum (0), Maximum (1) */
    0x75, 0x01, 0x95, 0x01, /*     Report Size (1), Count (1) */
    0x09, 0x81,             /*     Usage (Enforced Zero Return): bit 0 */
    0x91, 0x02,             /*     Output (Data,Var,Abs) */
    0x09, 0x80,             /*     Usage (Zero Scale): bit 1 */
    0x91, 0x02,             /*     Output (Data,Var,Abs) */
    0x95, 0x06, 0x91, 0x03, /*     six padding bits */
    0x75, 0x08, 0x95, 0x03, /*     three padding bytes */
    0x91, 0x03,             /*     Output (Const) */
    0xC0,                   /*   End Collection */
    0xC0,                   /* End Collection */
};

static ULONG BuildDescriptor(const Child* child, UCHAR* out) {
    ULONG length = 0;
    RtlCopyMemory(out, kDescriptorHead, sizeof(kDescriptorHead));
    length += sizeof(kDescriptorHead);
    if (child->config.reportLength == 8) {
        RtlCopyMemory(out + length, kDescriptorPadding, sizeof(kDescriptorPadding));
        length += sizeof(kDescriptorPadding);
    }
    RtlCopyMemory(out + length, kDescriptorTail, sizeof(kDescriptorTail));
    return length + sizeof(kDescriptorTail);
}

#define kMaxDescriptor (sizeof(kDescriptorHead) + sizeof(kDescriptorPadding) + sizeof(kDescriptorTail))

/* ---- small helpers ---- */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static BOOLEAN SerialEquals(const char* a, const char* b) {
    for (ULONG i = 0; i < VSCALE_MAX_SERIAL; ++i) {
        if (a[i] != b[i]) {
            return FALSE;
        }
        if (a[i] == 0) {
            return TRUE;
        }
    }
    return TRUE;
}

/* Caller holds the lock. */
static Child* FindChild(Bus* bus, const char* serial) {
    for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        Child* child = CONTAINING_RECORD(entry, Child, link);
        if (child->plugged && SerialEquals(child->config.serial, serial)) {
            return child;
        }
    }
    return NULL;
}

static ULONG CountChildren(Bus* bus) {
    ULONG count = 0;
    for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        ++count;
    }
    return count;
}

/* Appends "text" as UTF-16 at out[*at], then a terminator; returns the new position. */
static ULONG PutText(WCHAR* out, ULONG at, const char* text) {
    while (*text) {
        out[at++] = (WCHAR)(UCHAR)*text++;
    }
    out[at] = 0;
    return at;
}

static ULONG PutHex4(WCHAR* out, ULONG at, USHORT value) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out[at++] = (WCHAR)kDigits[(value >> shift) & 0xF];
    }
    out[at] = 0;
    return at;
}

static ULONG PutHex2(WCHAR* out, ULONG at, UCHAR value) {
    static const char kDigits[] = "0123456789ABCDEF";
    out[at++] = (WCHAR)kDigits[value >> 4];
    out[at++] = (WCHAR)kDigits[value & 0xF];
    out[at] = 0;
    return at;
}

/* USB\VID_xxxx&PID_xxxx, then &REV_xxxx when asked, then &MI_xx on a composite device. */
static ULONG PutUsbId(WCHAR* out, ULONG at, const VSCALE_CONFIG* config, BOOLEAN withRevision) {
    at = PutText(out, at, "USB\\VID_");
    at = PutHex4(out, at, config->vendorId);
    at = PutText(out, at, "&PID_");
    at = PutHex4(out, at, config->productId);
    if (withRevision) {
        at = PutText(out, at, "&REV_");
        at = PutHex4(out, at, config->revision);
    }
    if (config->flags & VSCALE_FLAG_INTERFACE) {
        at = PutText(out, at, "&MI_");
        at = PutHex2(out, at, config->interfaceNumber);
    }
    return at;
}

/* ---- reports ---- */

/* Hands the due report, if any, to the pending read. Returns the IRP to complete (outside the
 * lock) or NULL. Caller holds the lock. */
static PIRP TakeDueRead(Bus* bus, Child* child, int64_t now) {
    PIRP irp = child->pendingRead;
    if (irp == NULL || child->removed) {
        return NULL;
    }
    UCHAR report[VSCALE_MAX_REPORT];
    if (VsPacerWaitMs(&child->pacer, now) != 0) {
        return NULL;
    }
    if (IoSetCancelRoutine(irp, NULL) == NULL) {
        return NULL; /* being cancelled: the cancel routine completes it */
    }
    ULONG length = VsPacerTake(&child->pacer, now, report);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length > room) {
        length = room;
    }
    RtlCopyMemory(irp->UserBuffer, report, length);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = length;
    child->pendingRead = NULL;
    ++child->reportsSent;
    (void)bus;
    return irp;
}

static VOID NTAPI CancelRead(PDEVICE_OBJECT device, PIRP irp) {
    Child* child = (Child*)device->DeviceExtension;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&gBus->lock, &irql);
    if (child->pendingRead == irp) {
        child->pendingRead = NULL;
    }
    KeReleaseSpinLock(&gBus->lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

static NTSTATUS ReadReport(Bus* bus, Child* child, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    if (child->removed) {
        KeReleaseSpinLock(&bus->lock, irql);
        return Complete(irp, STATUS_DELETE_PENDING, 0);
    }
    if (child->pendingRead != NULL) {
        KeReleaseSpinLock(&bus->lock, irql);
        return Complete(irp, STATUS_DEVICE_BUSY, 0);
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelRead);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        /* Cancelled before the routine was in place: nobody else will complete it. */
        KeReleaseSpinLock(&bus->lock, irql);
        Complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    child->pendingRead = irp;
    PIRP done = TakeDueRead(bus, child, NowMs(bus));
    KeReleaseSpinLock(&bus->lock, irql);
    if (done != NULL) {
        IoCompleteRequest(done, IO_NO_INCREMENT);
    } else {
        KeSetEvent(&bus->wake, IO_NO_INCREMENT, FALSE);
    }
    return STATUS_PENDING;
}

/* Fails the pending read of a child that is going away. */
static void FailPendingRead(Bus* bus, Child* child) {
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    child->removed = TRUE;
    PIRP irp = child->pendingRead;
    if (irp != NULL && IoSetCancelRoutine(irp, NULL) != NULL) {
        child->pendingRead = NULL;
    } else {
        irp = NULL;
    }
    KeReleaseSpinLock(&bus->lock, irql);
    if (irp != NULL) {
        Complete(irp, STATUS_DELETE_PENDING, 0);
    }
}

static VOID NTAPI WorkerThread(PVOID context) {
    Bus* bus = (Bus*)context;
    while (!bus->stopping) {
        PIRP done[VSCALE_MAX_SCALES];
        ULONG doneCount = 0;
        int64_t wait = 1000;
        KIRQL irql;
        KeAcquireSpinLock(&bus->lock, &irql);
        int64_t now = NowMs(bus);
        for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
            Child* child = CONTAINING_RECORD(entry, Child, link);
            PIRP irp = TakeDueRead(bus, child, now);
            if (irp != NULL && doneCount < VSCALE_MAX_SCALES) {
                done[doneCount++] = irp;
            }
            int64_t childWait = VsPacerWaitMs(&child->pacer, now);
            if (child->pendingRead != NULL && childWait >= 0 && childWait < wait) {
                wait = childWait;
            }
        }
        KeReleaseSpinLock(&bus->lock, irql);
        for (ULONG i = 0; i < doneCount; ++i) {
            IoCompleteRequest(done[i], IO_NO_INCREMENT);
        }
        if (doneCount > 0) {
            continue; /* hidclass sends the next read at once: look again */
        }
        LARGE_INTEGER timeout;
        timeout.QuadPart = -(wait < 1 ? 1 : wait) * 10000LL;
        KeWaitForSingleObject(&bus->wake, Executive, KernelMode, FALSE, &timeout);
    }
    KeSetEvent(&bus->workerStopped, IO_NO_INCREMENT, FALSE);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

/* Reports relation changes from a thread of its own: Wine enumerates the new children (and
 * installs their driver) inside IoInvalidateDeviceRelations. */
static VOID NTAPI RelationsThread(PVOID context) {
    Bus* bus = (Bus*)context;
    for (;;) {
        KeWaitForSingleObject(&bus->relationsDirty, Executive, KernelMode, FALSE, NULL);
        if (bus->stopping) {
            break;
        }
        IoInvalidateDeviceRelations(bus->pdo, BusRelations);
    }
    KeSetEvent(&bus->relationsStopped, IO_NO_INCREMENT, FALSE);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

/* ---- the child's Plug and Play and HID requests ---- */

static NTSTATUS QueryId(Child* child, PIRP irp, IO_STACK_LOCATION* stack) {
    const ULONG kChars = 512;
    WCHAR* id = (WCHAR*)ExAllocatePool(PagedPool, kChars * sizeof(WCHAR));
    if (id == NULL) {
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    RtlZeroMemory(id, kChars * sizeof(WCHAR));
    ULONG at = 0;
    switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID:
            PutUsbId(id, 0, &child->config, FALSE);
            break;
        case BusQueryInstanceID:
            PutText(id, 0, child->config.serial);
            break;
        case BusQueryHardwareIDs:
            at = PutUsbId(id, at, &child->config, TRUE) + 1;
            at = PutUsbId(id, at, &child->config, FALSE) + 1;
            id[at] = 0;
            break;
        case BusQueryCompatibleIDs:
            at = PutText(id, at, "USB\\Class_03&SubClass_00&Prot_00") + 1;
            at = PutText(id, at, "USB\\Class_03") + 1;
            at = PutText(id, at, VSCALE_CHILD_COMPATIBLE_ID) + 1;
            id[at] = 0;
            break;
        default:
            ExFreePool(id);
            return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
    return Complete(irp, STATUS_SUCCESS, (ULONG_PTR)id);
}

static NTSTATUS ChildPnp(Bus* bus, Child* child, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    switch (stack->MinorFunction) {
        case IRP_MN_QUERY_ID:
            return QueryId(child, irp, stack);
        case IRP_MN_QUERY_CAPABILITIES: {
            DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
            caps->Removable = 1;
            caps->SurpriseRemovalOK = 1;
            caps->UniqueID = 1;
            caps->Address = 1;
            caps->UINumber = 1;
            return Complete(irp, STATUS_SUCCESS, 0);
        }
        case IRP_MN_START_DEVICE:
            if (child->config.flags & VSCALE_FLAG_HOLD_START) {
                /* Give the control tool time to name the device node before hidclass announces the
                 * device; never hold it for ever. */
                LARGE_INTEGER timeout;
                timeout.QuadPart = -3000LL * 10000LL;
                KeWaitForSingleObject(&child->released, Executive, KernelMode, FALSE, &timeout);
            }
            KeAcquireSpinLock(&bus->lock, &irql);
            child->pnpState = VSCALE_PNP_STARTED;
            child->removed = FALSE;
            KeReleaseSpinLock(&bus->lock, irql);
            return Complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_SURPRISE_REMOVAL:
            FailPendingRead(bus, child);
            return Complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_REMOVE_DEVICE: {
            FailPendingRead(bus, child);
            KeAcquireSpinLock(&bus->lock, &irql);
            BOOLEAN gone = !child->plugged;
            if (gone) {
                RemoveEntryList(&child->link);
            } else {
                child->pnpState = VSCALE_PNP_ENUMERATING;
            }
            KeReleaseSpinLock(&bus->lock, irql);
            Complete(irp, STATUS_SUCCESS, 0);
            if (gone) {
                IoDeleteDevice(child->self);
            }
            return STATUS_SUCCESS;
        }
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
            return Complete(irp, STATUS_SUCCESS, 0);
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
                DEVICE_RELATIONS* relations = (DEVICE_RELATIONS*)ExAllocatePool(PagedPool, sizeof(DEVICE_RELATIONS));
                if (relations == NULL) {
                    return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
                }
                relations->Count = 1;
                relations->Objects[0] = child->self;
                ObReferenceObject(child->self);
                return Complete(irp, STATUS_SUCCESS, (ULONG_PTR)relations);
            }
            return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
        default:
            return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
    }
}

static void RecordOutput(Bus* bus, Child* child, const UCHAR* bytes, ULONG length, UCHAR reportId) {
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    if (child->outputCount == VSCALE_MAX_OUTPUTS) {
        child->outputHead = (child->outputHead + 1) % VSCALE_MAX_OUTPUTS;
        --child->outputCount;
        ++child->outputsDropped;
    }
    VSCALE_REPORT* slot = &child->outputs[(child->outputHead + child->outputCount) % VSCALE_MAX_OUTPUTS];
    ULONG at = 0;
    /* hidclass hands the report with its ID in front; a packet without it gets it back, so the
     * record always reads as the bytes the host wrote. */
    if (reportId != 0 && (length == 0 || bytes[0] != reportId)) {
        slot->bytes[at++] = reportId;
    }
    for (ULONG i = 0; i < length && at < VSCALE_MAX_REPORT; ++i) {
        slot->bytes[at++] = bytes[i];
    }
    slot->length = at;
    ++child->outputCount;
    KeReleaseSpinLock(&bus->lock, irql);
}

static NTSTATUS CopyOut(PIRP irp, const void* data, ULONG length) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (irp->UserBuffer == NULL || stack->Parameters.DeviceIoControl.OutputBufferLength < length) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    RtlCopyMemory(irp->UserBuffer, data, length);
    return Complete(irp, STATUS_SUCCESS, length);
}

/* The strings are UTF-8, so that tests can give a scale any name; a device reports UTF-16.
 * Writes at most room - 1 code units (no terminator); a byte that is not UTF-8 becomes U+FFFD. */
static ULONG Utf8ToUtf16(const char* text, WCHAR* out, ULONG room) {
    ULONG n = 0;
    const UCHAR* p = (const UCHAR*)text;
    while (*p && n + 1 < room) {
        ULONG c = *p;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0x80 && extra == 0) {
            c = 0xFFFD;
            ++p;
        } else {
            c = extra == 0 ? c : c & (0x3F >> extra);
            ++p;
            for (int k = 0; k < extra; ++k) {
                if ((*p & 0xC0) != 0x80) {
                    c = 0xFFFD;
                    break;
                }
                c = (c << 6) | (*p++ & 0x3F);
            }
        }
        if (c >= 0x10000) {
            if (n + 2 >= room) {
                break;
            }
            out[n++] = (WCHAR)(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = (WCHAR)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[n++] = (WCHAR)c;
        }
    }
    return n;
}

static NTSTATUS GetString(Child* child, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG id = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
    const char* text;
    if (id == VS_HID_STRING_MANUFACTURER || id == 1) {
        text = "Pesora Virtual Devices";
    } else if (id == VS_HID_STRING_PRODUCT || id == 2) {
        text = child->config.product[0] ? child->config.product : "Virtual POS Scale";
    } else if (id == VS_HID_STRING_SERIAL || id == 3) {
        text = child->config.serial;
    } else {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    WCHAR buffer[VSCALE_MAX_PRODUCT];
    ULONG chars = Utf8ToUtf16(text, buffer, VSCALE_MAX_PRODUCT);
    buffer[chars++] = 0;
    ULONG bytes = chars * sizeof(WCHAR);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (irp->UserBuffer == NULL || room < sizeof(WCHAR)) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    if (bytes > room) {
        bytes = room & ~1u;
        buffer[bytes / sizeof(WCHAR) - 1] = 0;
    }
    RtlCopyMemory(irp->UserBuffer, buffer, bytes);
    return Complete(irp, STATUS_SUCCESS, bytes);
}

static VS_HID_XFER_PACKET* PacketOf(PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (irp->UserBuffer != NULL) {
        return (VS_HID_XFER_PACKET*)irp->UserBuffer;
    }
    return (VS_HID_XFER_PACKET*)stack->Parameters.DeviceIoControl.Type3InputBuffer;
}

static NTSTATUS ChildInternalIoctl(Bus* bus, Child* child, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case VS_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            UCHAR descriptor[kMaxDescriptor];
            VS_HID_DESCRIPTOR hid;
            RtlZeroMemory(&hid, sizeof(hid));
            hid.bLength = sizeof(hid);
            hid.bDescriptorType = 0x21;
            hid.bcdHID = 0x0111;
            hid.bNumDescriptors = 1;
            hid.bReportType = 0x22;
            hid.wReportLength = (USHORT)BuildDescriptor(child, descriptor);
            return CopyOut(irp, &hid, sizeof(hid));
        }
        case VS_IOCTL_HID_GET_REPORT_DESCRIPTOR: {
            UCHAR descriptor[kMaxDescriptor];
            ULONG length = BuildDescriptor(child, descriptor);
            return CopyOut(irp, descriptor, length);
        }
        case VS_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            VS_HID_DEVICE_ATTRIBUTES attributes;
            RtlZeroMemory(&attributes, sizeof(attributes));
            attributes.Size = sizeof(attributes);
            attributes.VendorID = child->config.vendorId;
            attributes.ProductID = child->config.productId;
            attributes.VersionNumber = child->config.revision;
            return CopyOut(irp, &attributes, sizeof(attributes));
        }
        case VS_IOCTL_HID_GET_STRING:
            return GetString(child, irp);
        case VS_IOCTL_HID_READ_REPORT:
            return ReadReport(bus, child, irp);
        case VS_IOCTL_HID_WRITE_REPORT:
        case VS_IOCTL_HID_SET_OUTPUT_REPORT: {
            VS_HID_XFER_PACKET* packet = PacketOf(irp);
            if (packet == NULL || packet->reportBuffer == NULL) {
                return Complete(irp, STATUS_INVALID_PARAMETER, 0);
            }
            RecordOutput(bus, child, packet->reportBuffer, packet->reportBufferLen, packet->reportId);
            /* Wine's hidclass takes one byte off the count a minidriver reports for a device with
             * report IDs; count the ID so that WriteFile tells the caller every byte was written. */
            return Complete(irp, STATUS_SUCCESS, packet->reportBufferLen + (packet->reportId != 0 ? 1 : 0));
        }
        case VS_IOCTL_HID_GET_INPUT_REPORT: {
            VS_HID_XFER_PACKET* packet = PacketOf(irp);
            if (packet == NULL || packet->reportBuffer == NULL) {
                return Complete(irp, STATUS_INVALID_PARAMETER, 0);
            }
            if (child->config.flags & VSCALE_FLAG_NO_INPUT_REQUESTS) {
                return Complete(irp, STATUS_NOT_SUPPORTED, 0);
            }
            KIRQL irql;
            KeAcquireSpinLock(&bus->lock, &irql);
            ULONG length = child->pacer.current.length;
            if (length > packet->reportBufferLen) {
                length = packet->reportBufferLen;
            }
            RtlCopyMemory(packet->reportBuffer, child->pacer.current.bytes, length);
            KeReleaseSpinLock(&bus->lock, irql);
            return Complete(irp, STATUS_SUCCESS, length);
        }
        case VS_IOCTL_HID_ACTIVATE_DEVICE:
        case VS_IOCTL_HID_DEACTIVATE_DEVICE:
            return Complete(irp, STATUS_SUCCESS, 0);
        default:
            return Complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* ---- control requests ---- */

static BOOLEAN ValidConfig(const VSCALE_CONFIG* config) {
    if (config->serial[0] == 0 || config->serial[VSCALE_MAX_SERIAL - 1] != 0 ||
        config->product[VSCALE_MAX_PRODUCT - 1] != 0) {
        return FALSE;
    }
    for (const char* c = config->serial; *c; ++c) {
        /* The serial is the device's instance ID: no separators, nothing outside ASCII. */
        if (*c <= ' ' || *c > '~' || *c == '\\' || *c == '#' || *c == '&' || *c == ',') {
            return FALSE;
        }
    }
    return (config->reportLength == 6 || config->reportLength == 8) && config->intervalMs >= 1 &&
           config->intervalMs <= 60000;
}

static NTSTATUS Plug(Bus* bus, const VSCALE_CONFIG* config) {
    if (!ValidConfig(config)) {
        return STATUS_INVALID_PARAMETER;
    }
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    BOOLEAN taken = FALSE;
    for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        Child* other = CONTAINING_RECORD(entry, Child, link);
        /* Also refuse a serial whose removal is still running: its node is being torn down. */
        if (SerialEquals(other->config.serial, config->serial)) {
            taken = TRUE;
        }
    }
    BOOLEAN full = CountChildren(bus) >= VSCALE_MAX_SCALES;
    KeReleaseSpinLock(&bus->lock, irql);
    if (taken) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    if (full) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(bus->self->DriverObject, sizeof(Child), NULL, FILE_DEVICE_BUS_EXTENDER,
                                     FILE_AUTOGENERATED_DEVICE_NAME, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    Child* child = (Child*)device->DeviceExtension;
    RtlZeroMemory(child, sizeof(*child));
    child->kind = KindChild;
    child->self = device;
    child->config = *config;
    child->plugged = TRUE;
    child->pnpState = VSCALE_PNP_ENUMERATING;
    KeInitializeEvent(&child->released, NotificationEvent, FALSE);
    /* Until told otherwise the scale shows a stable zero in grams. */
    UCHAR zero[8] = {3, 2, 2, 0, 0, 0, 0, 0};
    VsPacerInit(&child->pacer, zero, config->reportLength, config->intervalMs,
                (config->flags & VSCALE_FLAG_ON_CHANGE) != 0);
    device->Flags &= ~DO_DEVICE_INITIALIZING;

    KeAcquireSpinLock(&bus->lock, &irql);
    InsertTailList(&bus->children, &child->link);
    KeReleaseSpinLock(&bus->lock, irql);
    KeSetEvent(&bus->relationsDirty, IO_NO_INCREMENT, FALSE);
    return STATUS_SUCCESS;
}

static NTSTATUS ControlIoctl(Bus* bus, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;

    if (code == IOCTL_VSCALE_PLUG) {
        if (inLength < sizeof(VSCALE_CONFIG)) {
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
        VSCALE_CONFIG config = *(const VSCALE_CONFIG*)buffer;
        return Complete(irp, Plug(bus, &config), 0);
    }
    if (code == IOCTL_VSCALE_GET_STATE) {
        if (outLength < sizeof(VSCALE_STATE)) {
            return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        }
        VSCALE_STATE* state = (VSCALE_STATE*)buffer;
        RtlZeroMemory(state, sizeof(*state));
        KeAcquireSpinLock(&bus->lock, &irql);
        for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
            Child* child = CONTAINING_RECORD(entry, Child, link);
            if (state->count == VSCALE_MAX_SCALES) {
                break;
            }
            VSCALE_SCALE_STATE* scale = &state->scales[state->count++];
            scale->config = child->config;
            scale->report = child->pacer.current;
            scale->pnpState = child->plugged ? child->pnpState : VSCALE_PNP_REMOVING;
            scale->queued = child->pacer.queueCount;
            scale->outputs = child->outputCount;
            scale->reportsSent = child->reportsSent;
        }
        KeReleaseSpinLock(&bus->lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof(VSCALE_STATE));
    }

    /* Every other request names one plugged scale. */
    if (inLength < sizeof(VSCALE_SERIAL_REQUEST)) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    char serial[VSCALE_MAX_SERIAL];
    RtlCopyMemory(serial, buffer, VSCALE_MAX_SERIAL);
    serial[VSCALE_MAX_SERIAL - 1] = 0;
    VSCALE_REPORT_REQUEST report;
    RtlZeroMemory(&report, sizeof(report));
    if (code == IOCTL_VSCALE_SET_REPORT || code == IOCTL_VSCALE_QUEUE_REPORT) {
        if (inLength < sizeof(VSCALE_REPORT_REQUEST)) {
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
        report = *(const VSCALE_REPORT_REQUEST*)buffer;
        if (report.length == 0 || report.length > VSCALE_MAX_REPORT) {
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
    }
    BOOLEAN readsOutputs = code == IOCTL_VSCALE_GET_OUTPUTS || code == IOCTL_VSCALE_TAKE_OUTPUTS;
    if (readsOutputs && outLength < sizeof(VSCALE_OUTPUTS)) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }

    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    BOOLEAN relationsChanged = FALSE;
    PDEVICE_OBJECT neverSeen = NULL;
    KeAcquireSpinLock(&bus->lock, &irql);
    Child* child = FindChild(bus, serial);
    if (child == NULL) {
        status = STATUS_NOT_FOUND;
    } else if (code == IOCTL_VSCALE_UNPLUG) {
        child->plugged = FALSE;
        if (child->reported) {
            relationsChanged = TRUE;
        } else {
            /* Unplugged before Plug and Play enumerated it: no removal request will come. */
            RemoveEntryList(&child->link);
            neverSeen = child->self;
        }
    } else if (code == IOCTL_VSCALE_SET_REPORT) {
        VsPacerSet(&child->pacer, report.bytes, report.length);
    } else if (code == IOCTL_VSCALE_QUEUE_REPORT) {
        if (!VsPacerQueue(&child->pacer, report.bytes, report.length)) {
            status = STATUS_QUOTA_EXCEEDED;
        }
    } else if (readsOutputs) {
        VSCALE_OUTPUTS* outputs = (VSCALE_OUTPUTS*)buffer;
        RtlZeroMemory(outputs, sizeof(*outputs));
        outputs->count = child->outputCount;
        outputs->dropped = child->outputsDropped;
        for (ULONG i = 0; i < child->outputCount; ++i) {
            outputs->reports[i] = child->outputs[(child->outputHead + i) % VSCALE_MAX_OUTPUTS];
        }
        information = sizeof(VSCALE_OUTPUTS);
        if (code == IOCTL_VSCALE_TAKE_OUTPUTS) {
            child->outputHead = 0;
            child->outputCount = 0;
            child->outputsDropped = 0;
        }
    } else if (code == IOCTL_VSCALE_CLEAR_OUTPUTS) {
        child->outputHead = 0;
        child->outputCount = 0;
        child->outputsDropped = 0;
    } else if (code == IOCTL_VSCALE_RELEASE) {
        KeSetEvent(&child->released, IO_NO_INCREMENT, FALSE);
    } else {
        status = STATUS_INVALID_DEVICE_REQUEST;
    }
    KeReleaseSpinLock(&bus->lock, irql);
    if (neverSeen != NULL) {
        IoDeleteDevice(neverSeen);
    }
    if (relationsChanged) {
        KeSetEvent(&bus->relationsDirty, IO_NO_INCREMENT, FALSE);
    }
    KeSetEvent(&bus->wake, IO_NO_INCREMENT, FALSE);
    return Complete(irp, status, information);
}

/* ---- the bus's own Plug and Play ---- */

static NTSTATUS ReportBusRelations(Bus* bus, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&bus->lock, &irql);
    ULONG count = 0;
    for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        if (CONTAINING_RECORD(entry, Child, link)->plugged) {
            ++count;
        }
    }
    KeReleaseSpinLock(&bus->lock, irql);
    /* Room for children plugged meanwhile; they are counted again under the lock. */
    ULONG room = count + VSCALE_MAX_SCALES;
    DEVICE_RELATIONS* relations =
        (DEVICE_RELATIONS*)ExAllocatePool(PagedPool, sizeof(DEVICE_RELATIONS) + room * sizeof(PDEVICE_OBJECT));
    if (relations == NULL) {
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    relations->Count = 0;
    KeAcquireSpinLock(&bus->lock, &irql);
    for (LIST_ENTRY* entry = bus->children.Flink; entry != &bus->children; entry = entry->Flink) {
        Child* child = CONTAINING_RECORD(entry, Child, link);
        if (child->plugged && relations->Count < room) {
            relations->Objects[relations->Count++] = child->self;
            ObReferenceObject(child->self);
            child->reported = TRUE;
        }
    }
    KeReleaseSpinLock(&bus->lock, irql);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = (ULONG_PTR)relations;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus->lower, irp);
}

static void StopBus(Bus* bus) {
    InterlockedExchange(&bus->stopping, 1);
    KeSetEvent(&bus->wake, IO_NO_INCREMENT, FALSE);
    KeSetEvent(&bus->relationsDirty, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&bus->workerStopped, Executive, KernelMode, FALSE, NULL);
    KeWaitForSingleObject(&bus->relationsStopped, Executive, KernelMode, FALSE, NULL);
    if (bus->control != NULL) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, VSCALE_CONTROL_LINK_NAME);
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(bus->control);
        bus->control = NULL;
    }
}

static NTSTATUS BusPnp(Bus* bus, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    switch (stack->MinorFunction) {
        case IRP_MN_QUERY_DEVICE_RELATIONS:
            if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
                return ReportBusRelations(bus, irp);
            }
            break;
        case IRP_MN_START_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE: {
            StopBus(bus);
            irp->IoStatus.Status = STATUS_SUCCESS;
            IoSkipCurrentIrpStackLocation(irp);
            NTSTATUS status = IoCallDriver(bus->lower, irp);
            IoDetachDevice(bus->lower);
            gBus = NULL;
            IoDeleteDevice(bus->self);
            return status;
        }
        default:
            break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(bus->lower, irp);
}

/* ---- dispatch ---- */

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    ULONG kind = *(ULONG*)device->DeviceExtension;
    if (kind == KindBus) {
        return BusPnp((Bus*)device->DeviceExtension, irp);
    }
    if (kind == KindChild && gBus != NULL) {
        return ChildPnp(gBus, (Child*)device->DeviceExtension, irp);
    }
    return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
}

static NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    ULONG kind = *(ULONG*)device->DeviceExtension;
    if (kind == KindBus) {
        Bus* bus = (Bus*)device->DeviceExtension;
        PoStartNextPowerIrp(irp);
        IoSkipCurrentIrpStackLocation(irp);
        return PoCallDriver(bus->lower, irp);
    }
    PoStartNextPowerIrp(irp);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchIoctl(PDEVICE_OBJECT device, PIRP irp) {
    ULONG kind = *(ULONG*)device->DeviceExtension;
    if (kind == KindControl) {
        Control* control = (Control*)device->DeviceExtension;
        return ControlIoctl(control->bus, irp);
    }
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static NTSTATUS NTAPI DispatchInternalIoctl(PDEVICE_OBJECT device, PIRP irp) {
    ULONG kind = *(ULONG*)device->DeviceExtension;
    if (kind == KindChild && gBus != NULL) {
        return ChildInternalIoctl(gBus, (Child*)device->DeviceExtension, irp);
    }
    return Complete(irp, STATUS_NOT_SUPPORTED, 0);
}

static NTSTATUS StartThread(Bus* bus, PKSTART_ROUTINE routine) {
    HANDLE thread;
    NTSTATUS status = PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, routine, bus);
    if (NT_SUCCESS(status)) {
        ZwClose(thread);
    }
    return status;
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    if (gBus != NULL) {
        return STATUS_DEVICE_ALREADY_ATTACHED; /* one bus serves every virtual scale */
    }
    PDEVICE_OBJECT fdo;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Bus), NULL, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &fdo);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    Bus* bus = (Bus*)fdo->DeviceExtension;
    RtlZeroMemory(bus, sizeof(*bus));
    bus->kind = KindBus;
    bus->self = fdo;
    bus->pdo = pdo;
    KeInitializeSpinLock(&bus->lock);
    InitializeListHead(&bus->children);
    KeInitializeEvent(&bus->wake, SynchronizationEvent, FALSE);
    KeInitializeEvent(&bus->relationsDirty, SynchronizationEvent, FALSE);
    KeInitializeEvent(&bus->workerStopped, NotificationEvent, FALSE);
    KeInitializeEvent(&bus->relationsStopped, NotificationEvent, FALSE);
    KeQueryPerformanceCounter(&bus->frequency);

    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&name, VSCALE_CONTROL_DEVICE_NAME);
    RtlInitUnicodeString(&link, VSCALE_CONTROL_LINK_NAME);
    PDEVICE_OBJECT control;
    status = IoCreateDevice(driver, sizeof(Control), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(fdo);
        return status;
    }
    ((Control*)control->DeviceExtension)->kind = KindControl;
    ((Control*)control->DeviceExtension)->bus = bus;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control);
        IoDeleteDevice(fdo);
        return status;
    }
    bus->control = control;
    control->Flags &= ~DO_DEVICE_INITIALIZING;

    bus->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    gBus = bus;
    if (!NT_SUCCESS(StartThread(bus, WorkerThread))) {
        KeSetEvent(&bus->workerStopped, IO_NO_INCREMENT, FALSE);
    }
    if (!NT_SUCCESS(StartThread(bus, RelationsThread))) {
        KeSetEvent(&bus->relationsStopped, IO_NO_INCREMENT, FALSE);
    }
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

/* Everything the driver owns belongs to the bus device, released by its removal request. */
static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    (void)driver;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    (void)registryPath;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchIoctl;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalIoctl;
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
