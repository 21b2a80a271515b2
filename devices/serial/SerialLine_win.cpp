#include "devices/serial/SerialLine_win.h"

#include <string>

namespace devices::serial::win {

namespace {

// A read returns this long after the last byte came: the end of a frame at any common rate.
constexpr DWORD kCharacterGapMs = 20;
constexpr DWORD kWriteWaitMs = 500;
constexpr DWORD kReadChunk = 256;

BYTE ParityOf(char parity) {
    switch (parity) {
        case 'E':
            return EVENPARITY;
        case 'O':
            return ODDPARITY;
        default:
            return NOPARITY;
    }
}

}  // namespace

// A port whose device went away can still be opened under Wine (every call on the handle then
// fails): the port counts as there only when its state can be read.
bool SerialLineWin::Open(std::string_view portName) {
    Close();
    const std::wstring path = L"\\\\.\\" + std::wstring(portName.begin(), portName.end());
    base::unique_hfile port{::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, /* dwShareMode */ 0, nullptr,
                                          OPEN_EXISTING, /* dwFlagsAndAttributes */ 0, nullptr)};
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!port || !::GetCommState(port.get(), &dcb)) {
        return false;
    }
    _port = std::move(port);
    _readWaitMs = MAXDWORD;
    _applied.reset();
    return true;
}

// No handshake of any kind: a scale's cable often has no handshake lines, and a port waiting for
// CTS or XON would hold every write. DTR and RTS are raised, since some scales draw their
// interface's power from them.
bool SerialLineWin::Configure(const LineSettings& line) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!_port || !::GetCommState(_port.get(), &dcb)) {
        return false;
    }
    dcb.BaudRate = line.baud;
    dcb.ByteSize = line.dataBits;
    dcb.Parity = ParityOf(line.parity);
    dcb.fParity = line.parity != 'N' ? TRUE : FALSE;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!(_applied && *_applied == line) && !::SetCommState(_port.get(), &dcb)) {
        // Under Wine a pseudo-terminal refuses (ERROR_INVALID_PARAMETER) a 7-bit setting made
        // over another one, and takes it once 8 bits were set in between; 7 bits without parity
        // it refuses always, and the line is usable all the same. Only a port that is gone fails.
        DCB plain = dcb;
        plain.ByteSize = 8;
        plain.Parity = NOPARITY;
        plain.fParity = FALSE;
        const bool retried = ::GetLastError() == ERROR_INVALID_PARAMETER && ::SetCommState(_port.get(), &plain) &&
                             ::SetCommState(_port.get(), &dcb);
        if (!retried && !StillThere()) {
            return false;
        }
    }
    _applied = line;
    // Bytes that came at the old settings would only garble the first frame at the new ones.
    (void)::PurgeComm(_port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    DWORD errors = 0;
    (void)::ClearCommError(_port.get(), &errors, nullptr);
    _readWaitMs = MAXDWORD;
    return true;
}

// A port whose device went away (a USB adapter pulled out, the far end of a pseudo-terminal
// closed) may go on answering reads with nothing; its state can no longer be read.
bool SerialLineWin::StillThere() const {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(_port.get(), &dcb) != FALSE;
}

bool SerialLineWin::SetReadWait(DWORD waitMs) {
    if (waitMs == _readWaitMs) {
        return true;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kCharacterGapMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = waitMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteWaitMs;
    if (!::SetCommTimeouts(_port.get(), &timeouts)) {
        return false;
    }
    _readWaitMs = waitMs;
    return true;
}

bool SerialLineWin::Write(std::string_view bytes) {
    if (!_port || !SetReadWait(_readWaitMs == MAXDWORD ? 1 : _readWaitMs)) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(_port.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
}

// One read returns after the wait, or a character gap after the first bytes. A frame longer
// than one chunk is read on while bytes keep coming within the wait.
std::optional<std::string> SerialLineWin::Read(uint32_t waitMs) {
    if (!_port) {
        return std::nullopt;
    }
    std::string received;
    const uint64_t end = ::GetTickCount64() + waitMs;
    for (;;) {
        const uint64_t now = ::GetTickCount64();
        // Never 0: with no total time-out a read waits for its first byte for ever.
        const DWORD left = received.empty() ? static_cast<DWORD>(end > now ? end - now : 1) : kCharacterGapMs;
        if (!SetReadWait(left)) {
            return std::nullopt;
        }
        char chunk[kReadChunk];
        DWORD got = 0;
        // Line errors do not fail a read (fAbortOnError is off): a failed one means the port is gone.
        if (!::ReadFile(_port.get(), chunk, kReadChunk, &got, nullptr)) {
            return std::nullopt;
        }
        received.append(chunk, got);
        if (received.empty() && !StillThere()) {
            return std::nullopt;
        }
        if (got < kReadChunk || ::GetTickCount64() >= end) {
            return received;
        }
    }
}

}  // namespace devices::serial::win
