/* The control protocol between the virtual scale's bus driver and the programs that drive it
 * (the vscale tool and the end-to-end harness). Plain C with fixed-size fields: the bus driver
 * is built freestanding, the tools are C++; both see the same layout.
 *
 * Every request is a METHOD_BUFFERED DeviceIoControl on the control device. Strings are ASCII
 * and zero-terminated within their fields. */
#ifndef PESORA_VSCALE_CONTROL_H
#define PESORA_VSCALE_CONTROL_H

#include <stdint.h>

/* User-mode name of the control device, and its kernel names. */
#define VSCALE_CONTROL_PATH "\\\\.\\PesoraVScale"
#define VSCALE_CONTROL_DEVICE_NAME L"\\Device\\PesoraVScale"
#define VSCALE_CONTROL_LINK_NAME L"\\DosDevices\\PesoraVScale"
/* Hardware ID of the root-enumerated bus device, and the compatible ID every child carries so
 * that the HID minidriver installs whatever vendor and product IDs the child is given. */
#define VSCALE_BUS_HARDWARE_ID "ROOT\\PesoraVScale"
#define VSCALE_CHILD_COMPATIBLE_ID "PESORA\\VScaleHid"

#define VSCALE_MAX_SERIAL 32  /* serial (the child's instance ID), terminator included */
#define VSCALE_MAX_PRODUCT 64 /* product string, terminator included */
#define VSCALE_MAX_REPORT 64  /* bytes of one input or output report, report ID included */
#define VSCALE_MAX_QUEUE 64   /* queued input reports per scale */
#define VSCALE_MAX_OUTPUTS 64 /* recorded output reports per scale (the oldest are dropped) */
#define VSCALE_MAX_SCALES 16  /* scales plugged at once */

/* CTL_CODE(0x8000, 0x800 + n, METHOD_BUFFERED, FILE_ANY_ACCESS), spelled out so that this
 * header needs neither <winioctl.h> nor <wdm.h>. */
#define VSCALE_CTL(n) ((uint32_t)((0x8000u << 16) | ((0x800u + (n)) << 2)))
#define IOCTL_VSCALE_PLUG VSCALE_CTL(1)          /* in: VSCALE_CONFIG */
#define IOCTL_VSCALE_UNPLUG VSCALE_CTL(2)        /* in: VSCALE_SERIAL_REQUEST */
#define IOCTL_VSCALE_SET_REPORT VSCALE_CTL(3)    /* in: VSCALE_REPORT_REQUEST: the repeated report */
#define IOCTL_VSCALE_QUEUE_REPORT VSCALE_CTL(4)  /* in: VSCALE_REPORT_REQUEST: sent once, in order */
#define IOCTL_VSCALE_GET_OUTPUTS VSCALE_CTL(5)   /* in: VSCALE_SERIAL_REQUEST, out: VSCALE_OUTPUTS */
#define IOCTL_VSCALE_CLEAR_OUTPUTS VSCALE_CTL(6) /* in: VSCALE_SERIAL_REQUEST */
#define IOCTL_VSCALE_GET_STATE VSCALE_CTL(7)     /* out: VSCALE_STATE */
#define IOCTL_VSCALE_RELEASE VSCALE_CTL(8)       /* in: VSCALE_SERIAL_REQUEST: let a held child start */
#define IOCTL_VSCALE_TAKE_OUTPUTS VSCALE_CTL(9)  /* GET_OUTPUTS and CLEAR_OUTPUTS in one step */

/* Flags of VSCALE_CONFIG. */
#define VSCALE_FLAG_INTERFACE 0x01 /* composite device: interfaceNumber is reported as MI_xx */
#define VSCALE_FLAG_ON_CHANGE 0x02 /* send a report only when it changes, instead of repeating it */
#define VSCALE_FLAG_NO_INPUT_REQUESTS                                        \
    0x08 /* refuse IOCTL_HID_GET_INPUT_REPORT (HidD_GetInputReport), as some \
          * scales do: they only report by themselves */
#define VSCALE_FLAG_HOLD_START                                             \
    0x04 /* hold the child's start until IOCTL_VSCALE_RELEASE (or 3 s), so \
          * that its device node can be named before it appears */

typedef struct VSCALE_CONFIG {
    char serial[VSCALE_MAX_SERIAL];
    char product[VSCALE_MAX_PRODUCT]; /* product string in UTF-8; empty: a default */
    uint16_t vendorId;
    uint16_t productId;
    uint16_t revision; /* bcdDevice, as in REV_xxxx */
    uint8_t interfaceNumber;
    uint8_t flags;
    uint8_t reportLength; /* input report length with its ID: 6, or 8 with two padding bytes */
    uint8_t reserved[3];
    uint32_t intervalMs; /* repeat period of the last report, and spacing of queued reports */
} VSCALE_CONFIG;

typedef struct VSCALE_SERIAL_REQUEST {
    char serial[VSCALE_MAX_SERIAL];
} VSCALE_SERIAL_REQUEST;

typedef struct VSCALE_REPORT_REQUEST {
    char serial[VSCALE_MAX_SERIAL];
    uint32_t length;
    uint8_t bytes[VSCALE_MAX_REPORT];
} VSCALE_REPORT_REQUEST;

typedef struct VSCALE_REPORT {
    uint32_t length;
    uint8_t bytes[VSCALE_MAX_REPORT];
} VSCALE_REPORT;

typedef struct VSCALE_OUTPUTS {
    uint32_t count;   /* entries filled, oldest first */
    uint32_t dropped; /* reports lost because the record was full */
    VSCALE_REPORT reports[VSCALE_MAX_OUTPUTS];
} VSCALE_OUTPUTS;

/* Where a child is in its life, as the bus sees it. */
#define VSCALE_PNP_ENUMERATING 0 /* plugged, not started yet */
#define VSCALE_PNP_STARTED 1     /* started: hidclass is reading it */
#define VSCALE_PNP_REMOVING 2    /* unplugged, removal not finished */

typedef struct VSCALE_SCALE_STATE {
    VSCALE_CONFIG config;
    VSCALE_REPORT report; /* the report it repeats */
    uint32_t pnpState;
    uint32_t queued;      /* queued reports not yet sent */
    uint32_t outputs;     /* output reports recorded */
    uint32_t reportsSent; /* input reports delivered since plug */
} VSCALE_SCALE_STATE;

typedef struct VSCALE_STATE {
    uint32_t count;
    VSCALE_SCALE_STATE scales[VSCALE_MAX_SCALES];
} VSCALE_STATE;

#endif
