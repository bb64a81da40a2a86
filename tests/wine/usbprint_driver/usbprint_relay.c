/*
 * A test-only USB printer for Wine: a kernel driver that Wine loads. It
 * makes the device a printer's registry entry points to, answers the two
 * printer-class requests, and carries the bytes written to it to the
 * simulated printer behind \??\rtqusbrelayN (the prefix's dosdevices link
 * to rtqsim's pseudo-terminal) and the simulator's answers back.
 *
 * An open of the device uses relay N+1 once it exists (a new simulator),
 * else relay N while it lasts. When the simulator goes away the printer
 * counts as unplugged: I/O on the handles opened before fails as on a
 * removed printer (invalid handle). Windows would then fail the open
 * itself; Wine opens the device whatever its create request answers, so
 * every request on a handle opened with no simulator there fails as not
 * connected instead. A pseudo-terminal whose other end closed reads as no
 * data for ever under Wine, so the relay ends on the first write that
 * fails, or when the next simulator appears.
 */
#include <ntifs.h>
#include <ntddk.h>

#define IOCTL_USBPRINT_GET_LPT_STATUS 0x220030
#define IOCTL_USBPRINT_GET_1284_ID 0x220034
#define RING_BYTES 65536

static const WCHAR kDeviceName[] = L"\\Device\\RtqUsbPrint0";
static const WCHAR kLinkName[] =
    L"\\??\\USB#VID_6D31&PID_2207#0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
/* Relay N is \??\rtqusbrelayN: each new simulator gets the next number. */
static const WCHAR kRelayPrefix[] = L"\\??\\rtqusbrelay";
/* Two-byte big-endian length (the length bytes included), then the id. */
static const char kDeviceId[] = "\x00\x21" "MFG:RTQ;MDL:RTQ650;CLS:PRINTER;";

static KSPIN_LOCK g_lock;
static FAST_MUTEX g_openLock;
static HANDLE g_relayOut;  /* written by the dispatch routines; the relay thread reads */
static LONG g_generation;  /* of the relay now open; 0: none */
static LONG g_relayNumber; /* the last relay opened */
static PIRP g_pendingRead;
static UCHAR g_ring[RING_BYTES];
static ULONG g_ringHead, g_ringCount;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR info) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = info;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static PVOID Buffer(PIRP irp) {
    return irp->AssociatedIrp.SystemBuffer ? irp->AssociatedIrp.SystemBuffer : irp->UserBuffer;
}

/* Whether the handle of this file object was opened on the relay now open. */
static BOOLEAN Current(PFILE_OBJECT file) {
    return file && g_generation != 0 && (LONG)(LONG_PTR)file->FsContext == g_generation;
}

/* The failure of I/O on a handle that is not current: Wine does not fail
 * an open whose create request failed, so a handle opened with no
 * simulator there is a printer not connected; one opened before an
 * unplug has become invalid. */
static NTSTATUS NotCurrent(PFILE_OBJECT file) {
    return file && file->FsContext == NULL ? STATUS_DEVICE_NOT_CONNECTED : STATUS_INVALID_HANDLE;
}

/* Takes up to len bytes from the ring; called with g_lock held. */
static ULONG Take(PUCHAR out, ULONG len) {
    ULONG n = 0;
    while (n < len && g_ringCount > 0) {
        out[n++] = g_ring[g_ringHead];
        g_ringHead = (g_ringHead + 1) % RING_BYTES;
        --g_ringCount;
    }
    return n;
}

static VOID CancelRead(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    BOOLEAN mine;
    (void)device;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&g_lock, &irql);
    mine = g_pendingRead == irp;
    if (mine) g_pendingRead = NULL;
    KeReleaseSpinLock(&g_lock, irql);
    if (mine) Complete(irp, STATUS_CANCELLED, 0);
}

/* Completes the waiting read with what the ring holds, or with status when
 * the printer went away. */
static VOID ServePendingRead(NTSTATUS gone) {
    KIRQL irql;
    PIRP irp;
    ULONG n = 0;
    KeAcquireSpinLock(&g_lock, &irql);
    irp = g_pendingRead;
    if (irp && (g_ringCount > 0 || gone != STATUS_SUCCESS) && IoSetCancelRoutine(irp, NULL)) {
        g_pendingRead = NULL;
        if (gone == STATUS_SUCCESS)
            n = Take(Buffer(irp), IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length);
    } else {
        irp = NULL;
    }
    KeReleaseSpinLock(&g_lock, irql);
    if (irp) Complete(irp, gone, n);
}

/* The relay of this generation ended: the printer is unplugged. Called
 * with g_openLock held. */
static BOOLEAN RelayGone(LONG generation) {
    if (generation == 0 || g_generation != generation) return FALSE;
    g_generation = 0;
    ZwClose(g_relayOut);
    g_relayOut = NULL;
    return TRUE;
}

typedef struct {
    HANDLE in;
    LONG generation;
} RELAY;

static VOID RelayThread(PVOID context) {
    RELAY relay = *(RELAY*)context;
    IO_STATUS_BLOCK io;
    UCHAR byte;
    KIRQL irql;
    BOOLEAN gone;
    ExFreePool(context);
    /* One byte at a time: a read of more would wait for all of them. A
     * read on a simulator that went away may also never return; the
     * failed write that follows then ends the relay. */
    for (;;) {
        NTSTATUS status = ZwReadFile(relay.in, NULL, NULL, NULL, &io, &byte, 1, NULL, NULL);
        if (!NT_SUCCESS(status) || io.Information == 0) break;
        KeAcquireSpinLock(&g_lock, &irql);
        if (g_generation == relay.generation && g_ringCount < RING_BYTES) {
            g_ring[(g_ringHead + g_ringCount) % RING_BYTES] = byte;
            ++g_ringCount;
        }
        KeReleaseSpinLock(&g_lock, irql);
        ServePendingRead(STATUS_SUCCESS);
    }
    ZwClose(relay.in);
    ExAcquireFastMutex(&g_openLock);
    gone = RelayGone(relay.generation);
    ExReleaseFastMutex(&g_openLock);
    if (gone) ServePendingRead(STATUS_DEVICE_NOT_CONNECTED);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS OpenRelayFile(LONG number, ACCESS_MASK access, HANDLE* out) {
    WCHAR path[64];
    WCHAR digits[12];
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attr;
    IO_STATUS_BLOCK io;
    size_t n = 0, k = 0;
    while (kRelayPrefix[n]) {
        path[n] = kRelayPrefix[n];
        ++n;
    }
    do {
        digits[k++] = (WCHAR)(L'0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (k > 0) path[n++] = digits[--k];
    path[n] = 0;
    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&attr, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    return ZwCreateFile(out, access | SYNCHRONIZE, &attr, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
}

/* Starts relay number (its input and output open) and its thread;
 * called with g_openLock held. */
static NTSTATUS StartRelay(LONG number, HANDLE in, HANDLE out) {
    static LONG generations;
    HANDLE thread = NULL;
    RELAY* relay;
    NTSTATUS status;
    KIRQL irql;
    relay = ExAllocatePoolWithTag(NonPagedPool, sizeof *relay, 0x79616c52 /* "Rlay" */);
    if (!relay) {
        ZwClose(in);
        ZwClose(out);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    relay->in = in;
    relay->generation = ++generations;
    KeAcquireSpinLock(&g_lock, &irql);
    g_ringHead = g_ringCount = 0;
    g_generation = relay->generation;
    KeReleaseSpinLock(&g_lock, irql);
    g_relayOut = out;
    g_relayNumber = number;
    status = PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, RelayThread, relay);
    if (!NT_SUCCESS(status)) {
        ExFreePool(relay);
        ZwClose(in);
        RelayGone(g_generation);
        return status;
    }
    ZwClose(thread);
    return STATUS_SUCCESS;
}

/* Opens relay number if it exists; called with g_openLock held. */
static BOOLEAN TryRelay(LONG number) {
    HANDLE in = NULL, out = NULL;
    BOOLEAN gone;
    if (!NT_SUCCESS(OpenRelayFile(number, GENERIC_READ, &in))) return FALSE;
    if (!NT_SUCCESS(OpenRelayFile(number, GENERIC_WRITE, &out))) {
        ZwClose(in);
        return FALSE;
    }
    gone = RelayGone(g_generation);
    if (gone) ServePendingRead(STATUS_DEVICE_NOT_CONNECTED);
    return NT_SUCCESS(StartRelay(number, in, out));
}

/* Moves to a new simulator if there is one; called with g_openLock held.
 * A relay that ended stays unplugged until the next simulator. */
static NTSTATUS OpenRelay(void) {
    if (TryRelay(g_relayNumber + 1) || g_generation != 0) return STATUS_SUCCESS;
    return STATUS_NO_SUCH_DEVICE;
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    NTSTATUS status;
    (void)device;
    ExAcquireFastMutex(&g_openLock);
    status = OpenRelay();
    if (file) file->FsContext = NT_SUCCESS(status) ? (PVOID)(LONG_PTR)g_generation : NULL;
    ExReleaseFastMutex(&g_openLock);
    return Complete(irp, status, 0);
}

static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchWrite(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    IO_STATUS_BLOCK io;
    NTSTATUS status = NotCurrent(stack->FileObject);
    LONG generation;
    BOOLEAN gone = FALSE;
    (void)device;
    /* Held for the write: the relay cannot end under it. */
    ExAcquireFastMutex(&g_openLock);
    generation = g_generation;
    if (Current(stack->FileObject)) {
        status = STATUS_SUCCESS;
        io.Information = 0;
        if (stack->Parameters.Write.Length > 0)
            status = ZwWriteFile(g_relayOut, NULL, NULL, NULL, &io, Buffer(irp),
                                 stack->Parameters.Write.Length, NULL, NULL);
        if (!NT_SUCCESS(status)) {
            gone = RelayGone(generation);
            status = STATUS_INVALID_HANDLE;
        }
    }
    ExReleaseFastMutex(&g_openLock);
    if (gone) ServePendingRead(STATUS_DEVICE_NOT_CONNECTED);
    return Complete(irp, status, NT_SUCCESS(status) ? io.Information : 0);
}

static NTSTATUS DispatchRead(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    ULONG n;
    (void)device;
    KeAcquireSpinLock(&g_lock, &irql);
    if (!Current(stack->FileObject)) {
        KeReleaseSpinLock(&g_lock, irql);
        return Complete(irp, NotCurrent(stack->FileObject), 0);
    }
    n = Take(Buffer(irp), stack->Parameters.Read.Length);
    if (n > 0 || stack->Parameters.Read.Length == 0 || g_pendingRead) {
        KeReleaseSpinLock(&g_lock, irql);
        /* At most one read waits; a second one fails as a busy device. */
        return Complete(irp, n > 0 || stack->Parameters.Read.Length == 0 ? STATUS_SUCCESS
                                                                         : STATUS_DEVICE_BUSY,
                        n);
    }
    IoMarkIrpPending(irp);
    g_pendingRead = irp;
    IoSetCancelRoutine(irp, CancelRead);
    KeReleaseSpinLock(&g_lock, irql);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        KeAcquireSpinLock(&g_lock, &irql);
        if (g_pendingRead == irp) g_pendingRead = NULL;
        KeReleaseSpinLock(&g_lock, irql);
        Complete(irp, STATUS_CANCELLED, 0);
    }
    return STATUS_PENDING;
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG outLen = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PUCHAR out = irp->AssociatedIrp.SystemBuffer;
    ULONG n;
    (void)device;
    if (!Current(stack->FileObject)) return Complete(irp, NotCurrent(stack->FileObject), 0);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_USBPRINT_GET_1284_ID:
            n = sizeof kDeviceId - 1;
            if (n > outLen) n = outLen;
            RtlCopyMemory(out, kDeviceId, n);
            return Complete(irp, STATUS_SUCCESS, n);
        case IOCTL_USBPRINT_GET_LPT_STATUS:
            if (outLen < 1) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
            out[0] = 0x18; /* selected, no error */
            return Complete(irp, STATUS_SUCCESS, 1);
        default:
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING deviceName, linkName;
    PDEVICE_OBJECT device;
    NTSTATUS status;
    (void)registryPath;
    KeInitializeSpinLock(&g_lock);
    ExInitializeFastMutex(&g_openLock);
    RtlInitUnicodeString(&deviceName, kDeviceName);
    RtlInitUnicodeString(&linkName, kLinkName);
    status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    device->Flags |= DO_BUFFERED_IO;
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchClose;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
    driver->MajorFunction[IRP_MJ_READ] = DispatchRead;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    return STATUS_SUCCESS;
}
