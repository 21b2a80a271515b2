/* What a HID minidriver and the bus under it exchange with hidclass.sys. mingw-w64 ships no
 * hidport.h, and its ddk/hidclass.h numbers the internal requests 0..5, which is not what
 * hidclass sends: these are the documented Windows values. */
#ifndef PESORA_VSCALE_HIDMINI_H
#define PESORA_VSCALE_HIDMINI_H

#include <ntddk.h>

#define VS_HID_CTL(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define VS_HID_IN_CTL(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_IN_DIRECT, FILE_ANY_ACCESS)
#define VS_HID_OUT_CTL(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_OUT_DIRECT, FILE_ANY_ACCESS)

#define VS_IOCTL_HID_GET_DEVICE_DESCRIPTOR VS_HID_CTL(0)
#define VS_IOCTL_HID_GET_REPORT_DESCRIPTOR VS_HID_CTL(1)
#define VS_IOCTL_HID_READ_REPORT VS_HID_CTL(2)
#define VS_IOCTL_HID_WRITE_REPORT VS_HID_CTL(3)
#define VS_IOCTL_HID_GET_STRING VS_HID_CTL(4)
#define VS_IOCTL_HID_ACTIVATE_DEVICE VS_HID_CTL(7)
#define VS_IOCTL_HID_DEACTIVATE_DEVICE VS_HID_CTL(8)
#define VS_IOCTL_HID_GET_DEVICE_ATTRIBUTES VS_HID_CTL(9)
#define VS_IOCTL_HID_SEND_IDLE_NOTIFICATION VS_HID_CTL(10)
#define VS_IOCTL_HID_SET_OUTPUT_REPORT VS_HID_IN_CTL(101)
#define VS_IOCTL_HID_GET_INPUT_REPORT VS_HID_OUT_CTL(104)

/* Windows asks for these string IDs; Wine's hidclass asks for 1, 2 and 3. */
#define VS_HID_STRING_MANUFACTURER 14
#define VS_HID_STRING_PRODUCT 15
#define VS_HID_STRING_SERIAL 16

#include <pshpack1.h>
typedef struct VS_HID_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    UCHAR bReportType;
    USHORT wReportLength;
} VS_HID_DESCRIPTOR;
#include <poppack.h>

typedef struct VS_HID_DEVICE_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} VS_HID_DEVICE_ATTRIBUTES;

typedef struct VS_HID_XFER_PACKET {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} VS_HID_XFER_PACKET;

typedef struct VS_HID_MINIDRIVER_REGISTRATION {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} VS_HID_MINIDRIVER_REGISTRATION;

/* The head of every device extension hidclass creates for a minidriver. */
typedef struct VS_HID_DEVICE_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} VS_HID_DEVICE_EXTENSION;

#define VS_HID_REVISION 1

#endif
