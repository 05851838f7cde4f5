#include "connection/serial_port_win32.h"

#include <string>

#include "connection/serial_port.h"

namespace tarvex {

void ApplyLineSettings(DCB& dcb, DWORD baudRate) {
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
}

namespace {

HANDLE H(PortHandle h) { return reinterpret_cast<HANDLE>(h); }

class Win32SerialPorts final : public SerialPorts {
 public:
  PortHandle Open(std::uint8_t portNum, std::uint32_t baudRate) override {
    const std::wstring path = L"\\\\.\\COM" + std::to_wstring(portNum);
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandleValue;
    // When GetCommState fails the block holds only zeros and its length; it
    // is written back all the same, so the driver at least sees the rate and
    // 8N1. The open counts either way, and neither result is looked at.
    DCB dcb {};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(h, &dcb)) {
      dcb = DCB {};
      dcb.DCBlength = sizeof(dcb);
    }
    ApplyLineSettings(dcb, baudRate);
    SetCommState(h, &dcb);
    return reinterpret_cast<PortHandle>(h);
  }

  void Close(PortHandle h) override {
    if (h != kInvalidHandleValue) CloseHandle(H(h));
  }

  void PurgeTransmit(PortHandle h) override { PurgeComm(H(h), PURGE_TXCLEAR); }
  void PurgeReceive(PortHandle h) override { PurgeComm(H(h), PURGE_RXCLEAR); }
  void PurgeReceiveAbort(PortHandle h) override {
    PurgeComm(H(h), PURGE_RXABORT);
    PurgeComm(H(h), PURGE_RXCLEAR);
  }

  std::uint32_t WriteByte(PortHandle h, std::uint8_t byte) override {
    DWORD written = 0;
    if (WriteFile(H(h), &byte, 1, &written, nullptr)) return 0;
    return GetLastError();
  }

  std::uint32_t QueuedCount(PortHandle h) override {
    DWORD errors = 0;
    COMSTAT stat {};
    if (!ClearCommError(H(h), &errors, &stat)) return 0;
    return stat.cbInQue;
  }

  std::uint32_t Read(PortHandle h, std::uint8_t* buf, std::uint32_t n) override {
    DWORD got = 0;
    ReadFile(H(h), buf, n, &got, nullptr);  // a failed read reports what it placed, 0 at worst
    return got;
  }

  std::uint32_t GetTickCount() override { return ::GetTickCount(); }
};

}  // namespace

std::unique_ptr<SerialPorts> MakeSystemSerialPorts() { return std::make_unique<Win32SerialPorts>(); }

}  // namespace tarvex
