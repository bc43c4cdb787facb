#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/user_prompts.h"

namespace kyvern::links {

// "COM1" ... "COM8" give 1 to 8, anything else 0; ignoreCase compares the letters without
// regard to case.
int PortNumberOf(std::string_view text, bool ignoreCase);

// The device behind port n: the setting Ports/COMn of the settings file, else /dev/ttyS(n-1).
std::string SerialDevicePath(int portNumber);

// One serial port, opened for exclusive use: 8 data bits, no parity, one stop bit, raw, reads
// that return at once with whatever has arrived, DTR raised.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens and sets up port portNumber (1 to 8) at baudRate. A failing step shows its message
    // with the error number as eight hexadecimal digits, the device and the system's reason,
    // and leaves the port closed.
    bool Open(int portNumber, int baudRate, base::UserPrompts& prompts);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Up to capacity bytes that have arrived, without waiting; 0 when none or on failure.
    std::size_t Read(void* buffer, std::size_t capacity);
    // Writes all bytes; false when the port is closed or the write fails.
    bool Write(const void* data, std::size_t size);

private:
    int fd_ = -1;
};

}  // namespace kyvern::links
