/* The HID minidriver of a virtual scale. hidclass.sys owns the device; this driver only hands
 * every request it receives down to the bus's child device, which answers it. */
#include "HidMini.h"

NTSTATUS NTAPI HidRegisterMinidriver(VS_HID_MINIDRIVER_REGISTRATION* registration);
NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

static NTSTATUS NTAPI PassDown(PDEVICE_OBJECT device, PIRP irp) {
    VS_HID_DEVICE_EXTENSION* ext = (VS_HID_DEVICE_EXTENSION*)device->DeviceExtension;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT device) {
    (void)driver;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = PassDown;
    driver->MajorFunction[IRP_MJ_PNP] = PassDown;
    driver->MajorFunction[IRP_MJ_POWER] = PassDown;
    driver->DriverExtension->AddDevice = AddDevice;

    VS_HID_MINIDRIVER_REGISTRATION registration;
    RtlZeroMemory(&registration, sizeof(registration));
    registration.Revision = VS_HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registryPath;
    registration.DeviceExtensionSize = 0;
    /* The bus completes read requests when the scale sends, like a USB interrupt endpoint. */
    registration.DevicesArePolled = FALSE;
    return HidRegisterMinidriver(&registration);
}
